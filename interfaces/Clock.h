// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace skycall {

// The local date as a day of the week.
class Clock {
 public:
  virtual ~Clock() = default;
  // 1 = Sunday ... 7 = Saturday.
  virtual int weekday() const = 0;
};

}  // namespace skycall
