// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace skycall {

// The rows of the forecast list box: plain texts indexed from 0, never sorted.
class ForecastList {
 public:
  virtual ~ForecastList() = default;
  virtual void clear() = 0;
  virtual void append(const std::wstring& row) = 0;
  virtual void insert(int index, const std::wstring& row) = 0;
  virtual void remove(int index) = 0;
  // A row at or beyond the end of the list reads as the empty text.
  virtual std::wstring row(int index) const = 0;
  virtual int count() const = 0;
};

}  // namespace skycall
