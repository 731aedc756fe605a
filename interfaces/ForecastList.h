// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

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
  // Every row replaced at once by a forecast loaded elsewhere. The list box rewrites its rows in
  // place, so that nothing moves under the user.
  virtual void replace(const std::vector<std::wstring>& rows) {
    clear();
    for (const std::wstring& row : rows) append(row);
  }
};

}  // namespace skycall
