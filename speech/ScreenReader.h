// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace skycall {

// A screen reader's own speech interface (speech route 3).
class ScreenReader {
 public:
  virtual ~ScreenReader() = default;
  // Throws on failure; the router ignores it.
  virtual void SayString(const std::wstring& text, int flags) = 0;
};

}  // namespace skycall
