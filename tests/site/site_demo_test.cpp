#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>

#include "site/DemoSource.h"
#include "site_rows.h"

namespace skycall {
namespace {

using namespace std::chrono;

const char* const kPlaces[] = {"62701",      "Springfield, IL", "Fairbanks AK",   "Phoenix, AZ",
                               "Miami FL",   "Death Valley CA", "Cañon City, CO", "Barrow AK",
                               "Seattle WA", "Honolulu HI"};

// Across places, weekdays and the whole year every demo forecast reaches the user whole, and the
// demo weather ranges over the values that are easy to get wrong.
TEST(DemoSource, AYearOfDemoWeatherGivesTheFullLayoutEverywhere) {
  std::set<std::string> seen;
  const auto note = [&](int t) {
    if (t < 0) seen.insert("negative");
    if (t >= 0 && t <= 9) seen.insert("one digit");
    if (t >= 100) seen.insert("three digits");
  };
  for (const char* place : kPlaces) {
    for (int week = 0; week < 52; week += 3) {
      // Every third week of 2025, stepping through all seven weekdays.
      const year_month_day date{sys_days(2025y / January / 6) + days(week * 7 + week % 7)};
      const ForecastData data = demoForecast(place, date);
      const auto rows =
          sitetest::cycleRows([&](const std::string& at) { return demoForecast(at, date); },
                              sitetest::clockWeekday(weekday(sys_days(date))), fromUtf8(place));
      ASSERT_EQ(rows, sitetest::expectedRows(data)) << place << " in week " << week;
      EXPECT_EQ(data.now.phrase.rfind("Demo forecast, ", 0), 0u) << data.now.phrase;
      note(data.now.temperature);
      for (const OutlookDay& day : data.outlook) {
        note(day.high);
        note(day.low);
        if (day.phrase.find("T-Storm") != std::string::npos) seen.insert("storm");
        if (day.chanceOfRain == 0) seen.insert("dry");
        if (day.wind.speedMph == 0) seen.insert("calm");
      }
    }
  }
  EXPECT_EQ(seen, (std::set<std::string>{"calm", "dry", "negative", "one digit", "storm",
                                         "three digits"}));
}

// The same place and date always give the same weather, however the place is written; other
// places and other days differ; the outlook starts today and agrees with the day pages.
TEST(DemoSource, DeterministicPerPlaceAndDate) {
  const year_month_day date = 2024y / February / 29;
  std::set<std::vector<std::string>> forecasts;
  for (const char* place : kPlaces)
    forecasts.insert(sitetest::expectedRows(demoForecast(place, date)));
  EXPECT_EQ(forecasts.size(), std::size(kPlaces));
  EXPECT_EQ(sitetest::expectedRows(demoForecast("Springfield, IL", date)),
            sitetest::expectedRows(demoForecast("springfield+IL", date)));

  const ForecastData data = demoForecast("Fairbanks AK", date);
  const ForecastData next = demoForecast("Fairbanks AK", sys_days(date) + days(1));
  ASSERT_EQ(data.outlook.size(), 10u);
  EXPECT_EQ(data.outlook[0].weekday, Thursday);
  EXPECT_EQ(data.today.high, data.outlook[0].high);
  EXPECT_EQ(data.tomorrow.phrase, data.outlook[1].phrase);
  EXPECT_EQ(next.today.high, data.tomorrow.high);
  EXPECT_EQ(next.outlook[4].low, data.outlook[5].low);
}

}  // namespace
}  // namespace skycall
