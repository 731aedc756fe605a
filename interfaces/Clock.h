// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ctime>
#include <string>

namespace skycall {

// The wall clock, as the user's local date and time.
class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since the epoch. The wall clock: it moves on over a suspend.
  virtual std::time_t now() const = 0;
  // The day of the week at `time`, here: 1 = Sunday ... 7 = Saturday.
  virtual int weekday(std::time_t time) const = 0;
  int weekday() const { return weekday(now()); }
  // The first local midnight after `time`.
  virtual std::time_t nextMidnight(std::time_t time) const = 0;
  // `time` as the user reads the clock ("9:40 AM", or "21:40" in a 24-hour locale), with its
  // weekday before it when it is not today ("Tuesday 9:40 AM").
  virtual std::wstring timeOfDay(std::time_t time) const = 0;
};

}  // namespace skycall
