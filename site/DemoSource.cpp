// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/DemoSource.h"

#include <array>
#include <cctype>
#include <ctime>

namespace skycall {

namespace {

constexpr int kOutlookDays = 10;

struct DemoDay {
  int high, low;
  const char* phrase;
  int chanceOfRain;
  Wind wind;
  int humidity, uvIndex;
};

// Plausible days in a plausible order. A place starts somewhere in them, each date moves it on
// by one, and the place warms or cools the whole run by a few degrees.
const std::array<DemoDay, 10> kDemoDays{{
    {72, 55, "Partly Cloudy", 20, {"NW", 8}, 54, 6},
    {75, 58, "Sunny", 0, {"W", 6}, 45, 8},
    {69, 57, "Scattered T-Storms", 60, {"SSW", 14}, 71, 4},
    {64, 50, "Rain Showers", 80, {"S", 12}, 82, 2},
    {58, 44, "Mostly Cloudy", 30, {"NNE", 10}, 66, 3},
    {61, 43, "Sunny", 10, {"NE", 0}, 48, 5},
    {66, 49, "Partly Cloudy", 20, {"ENE", 7}, 52, 6},
    {33, 24, "Snow Showers", 50, {"N", 15}, 78, 1},
    {28, 19, "Sunny", 0, {"WNW", 18}, 40, 2},
    {45, 31, "Mostly Sunny", 10, {"SE", 9}, 55, 3},
}};

// The place's letters and digits, case ignored, as one number.
unsigned placeNumber(std::string_view location) {
  unsigned number = 0;
  for (const char c : location)
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c < 0)
      number = number * 31 + static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return number;
}

}  // namespace

ForecastData DemoForecastSource::forecastFor(const std::string& location) {
  // Today where the site runs.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  const auto first = std::chrono::floor<std::chrono::days>(
      std::chrono::sys_seconds(std::chrono::seconds(now + localtime_r(&now, &local)->tm_gmtoff)));
  const unsigned place = placeNumber(location);
  const int warmer = static_cast<int>(place % 21) - 10;
  ForecastData data;
  data.placeName = location;
  data.sourceNote = "Demo forecast: made-up weather, not a real forecast.";
  for (int i = 0; i < kOutlookDays; ++i) {
    const auto dayNumber = static_cast<unsigned long>(first.time_since_epoch().count()) + i;
    const DemoDay& d = kDemoDays[(place + dayNumber) % kDemoDays.size()];
    const std::chrono::sys_days day = first + std::chrono::days(i);
    data.outlook.push_back({std::chrono::weekday(day), d.high + warmer, d.low + warmer, d.phrase,
                            d.chanceOfRain, d.wind});
    if (i >= 2) continue;
    DayDetail& detail = i == 0 ? data.today : data.tomorrow;
    detail = {d.high + warmer, d.phrase, d.chanceOfRain, d.wind, d.humidity, d.uvIndex};
  }
  const int temperature = *data.today.high - 4;
  data.now = {temperature, temperature - *data.today.wind.speedMph / 4,
              "Demo forecast, " + data.today.phrase};
  return data;
}

std::vector<SiteAlert> DemoForecastSource::alertsFor(const std::string& location) {
  std::string letters;
  for (const char c : location)
    if (std::isalnum(static_cast<unsigned char>(c)))
      letters += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (letters != "mooreok" && letters != "73160") return {};
  // Until a minute before the local midnight, one alert a day.
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char date[16];
  std::strftime(date, sizeof date, "%Y-%m-%d", &local);
  local.tm_hour = 23;
  local.tm_min = 59;
  local.tm_sec = 0;
  local.tm_isdst = -1;
  return {{std::string("demo-tornado-warning-") + date, "Demo Tornado Warning", "Extreme",
           std::mktime(&local),
           "This is a demonstration, not a real warning. In a real tornado warning, go at once "
           "to a basement or an inner room on the lowest floor."}};
}

}  // namespace skycall
