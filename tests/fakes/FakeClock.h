// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

#include "interfaces/Clock.h"

namespace skycall::fakes {

// A clock set by hand, whose local time is UTC: Sunday 6 December 2026, 9:40 AM, to begin with.
struct FakeClock : Clock {
  static constexpr std::time_t kDay = 24 * 60 * 60;
  std::time_t t = 1796550000;

  std::time_t now() const override { return t; }
  using Clock::weekday;
  // The same time of day on another day of the same week.
  void setWeekday(int day) { t += (day - weekday()) * kDay; }
  // The epoch began on a Thursday.
  int weekday(std::time_t time) const override { return int(time / kDay + 4) % 7 + 1; }
  std::time_t nextMidnight(std::time_t time) const override { return (time / kDay + 1) * kDay; }
  std::wstring timeOfDay(std::time_t time) const override {
    const int minutes = int(time % kDay / 60);
    char text[16];
    std::snprintf(text, sizeof text, "%d:%02d %s", (minutes / 60 + 11) % 12 + 1, minutes % 60,
                  minutes < 12 * 60 ? "AM" : "PM");
    const std::wstring shown(text, text + std::char_traits<char>::length(text));
    static const wchar_t* const kNames[] = {L"Sunday ",   L"Monday ", L"Tuesday ", L"Wednesday ",
                                            L"Thursday ", L"Friday ", L"Saturday "};
    return time / kDay == t / kDay ? shown : kNames[weekday(time) - 1] + shown;
  }
};

}  // namespace skycall::fakes
