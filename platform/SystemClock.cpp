// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemClock.h"

#include <chrono>
#include <ctime>

namespace skycall {

int SystemClock::weekday() const {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  // The local offset from UTC decides which day it is here.
  const auto localTime = std::chrono::sys_seconds(std::chrono::seconds(now + local.tm_gmtoff));
  const std::chrono::weekday day{std::chrono::floor<std::chrono::days>(localTime)};
  return static_cast<int>(day.c_encoding()) + 1;  // c_encoding: 0 = Sunday
}

}  // namespace skycall
