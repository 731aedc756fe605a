// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemClock.h"

#include <langinfo.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include "text/TextCodec.h"

namespace skycall {

namespace {

std::tm localTime(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  return local;
}

// A 24-hour clock where the locale reads the time so ("%T", "%H:%M"); the C locale and the
// American ones read it with AM and PM, as the forecast's own times are given.
bool twelveHourClock() {
  const char* format = nl_langinfo(T_FMT);
  const char* locale = std::setlocale(LC_TIME, nullptr);
  if (locale == nullptr || std::strcmp(locale, "C") == 0 || std::strcmp(locale, "POSIX") == 0 ||
      std::strncmp(locale, "C.", 2) == 0)
    return true;
  return std::strstr(format, "%I") != nullptr || std::strstr(format, "%r") != nullptr ||
         std::strstr(format, "%p") != nullptr;
}

}  // namespace

std::time_t SystemClock::now() const {
  return std::time(nullptr);
}

int SystemClock::weekday(std::time_t time) const {
  return localTime(time).tm_wday + 1;
}

std::time_t SystemClock::nextMidnight(std::time_t time) const {
  std::tm midnight = localTime(time);
  midnight.tm_hour = midnight.tm_min = midnight.tm_sec = 0;
  ++midnight.tm_mday;
  midnight.tm_isdst = -1;  // whatever daylight saving time says that night
  return std::mktime(&midnight);
}

std::wstring SystemClock::timeOfDay(std::time_t time) const {
  static constexpr const char* kWeekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                              "Thursday", "Friday", "Saturday"};
  const std::tm then = localTime(time);
  const std::tm today = localTime(now());
  char text[32];
  if (twelveHourClock())
    std::snprintf(text, sizeof text, "%d:%02d %s", (then.tm_hour + 11) % 12 + 1, then.tm_min,
                  then.tm_hour < 12 ? "AM" : "PM");
  else
    std::snprintf(text, sizeof text, "%02d:%02d", then.tm_hour, then.tm_min);
  // Every text the program says is English, the weekday too.
  const bool otherDay = then.tm_yday != today.tm_yday || then.tm_year != today.tm_year;
  return fromUtf8(otherDay ? std::string(kWeekdays[then.tm_wday]) + " " + text : text);
}

}  // namespace skycall
