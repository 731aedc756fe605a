#include <gtest/gtest.h>

#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "site/DemoSource.h"
#include "site/PageRenderer.h"
#include "site_rows.h"

namespace skycall {
namespace {

using namespace std::chrono;
using sitetest::cycleRows;
using sitetest::rowProblems;

const char* const kPlaces[] = {"62701",
                               "Springfield, IL",
                               "Fairbanks AK",
                               "Phoenix, AZ",
                               "Death Valley CA",
                               "Miami FL",
                               "International Falls, MN",
                               "Seattle WA",
                               "10001",
                               "Cañon City, CO",
                               "Barrow AK",
                               "Honolulu HI"};

std::string allPages(const ForecastData& data) {
  std::string out;
  for (const SitePath& entry : kSitePaths) out += renderPage(entry.page, data, "x");
  return out;
}

// Across places and the whole year, every demo forecast reaches the user whole, and the
// demo weather ranges over the values that are easy to get wrong.
TEST(DemoSource, AYearOfDemoWeatherGivesTheFullLayoutEverywhere) {
  bool oneDigit = false, negative = false, threeDigit = false, storm = false, dry = false,
       calm = false;
  const auto note = [&](int t) {
    oneDigit |= t >= 0 && t <= 9;
    negative |= t < 0;
    threeDigit |= t >= 100;
  };
  for (const char* place : kPlaces) {
    for (int week = 0; week < 52; week += 3) {
      const year_month_day date{sys_days(2025y / January / 6) + days(week * 7 + week % 7)};
      const ForecastData data = demoForecast(place, date);
      const auto rows =
          cycleRows([&](const std::string& location) { return demoForecast(location, date); },
                    sitetest::clockWeekday(weekday(sys_days(date))), fromUtf8(place));
      ASSERT_EQ(rowProblems(rows, data), std::vector<std::string>{})
          << place << " on " << static_cast<int>(date.year()) << "-"
          << static_cast<unsigned>(date.month()) << "-" << static_cast<unsigned>(date.day());
      EXPECT_EQ(data.now.phrase.rfind("Demo forecast, ", 0), 0u) << data.now.phrase;
      note(data.now.temperature);
      note(data.now.feelsLike);
      for (const OutlookDay& day : data.outlook) {
        note(day.high);
        note(day.low);
        storm |= day.phrase.find("T-Storm") != std::string::npos;
        dry |= day.chanceOfRain == 0;
        calm |= day.wind.speedMph == 0;
      }
    }
  }
  EXPECT_TRUE(oneDigit);
  EXPECT_TRUE(negative);
  EXPECT_TRUE(threeDigit);
  EXPECT_TRUE(storm);
  EXPECT_TRUE(dry);
  EXPECT_TRUE(calm);
}

TEST(DemoSource, SamePlaceAndDateGiveTheSameForecast) {
  const year_month_day date = 2025y / March / 14;
  for (const char* place : kPlaces)
    EXPECT_EQ(allPages(demoForecast(place, date)), allPages(demoForecast(place, date))) << place;
  // One place however it is typed or sent.
  const ForecastData a = demoForecast("Springfield, IL", date);
  const ForecastData b = demoForecast("springfield+IL", date);
  EXPECT_EQ(a.now.temperature, b.now.temperature);
  EXPECT_EQ(a.today.phrase, b.today.phrase);
  EXPECT_EQ(a.outlook[5].low, b.outlook[5].low);
}

TEST(DemoSource, PlacesAndDaysDiffer) {
  const year_month_day date = 2025y / July / 2;
  std::set<std::string> forecasts;
  for (const char* place : kPlaces) forecasts.insert(allPages(demoForecast(place, date)));
  EXPECT_EQ(forecasts.size(), std::size(kPlaces));

  std::set<int> highs;
  for (const OutlookDay& day : demoForecast("Miami FL", date).outlook) highs.insert(day.high);
  EXPECT_GT(highs.size(), 3u);
}

TEST(DemoSource, OutlookRunsFromTodayAndAgreesWithTheDayPages) {
  for (const year_month_day date :
       {2025y / January / 1, 2024y / February / 29, 2025y / December / 31}) {
    const ForecastData data = demoForecast("Fairbanks AK", date);
    ASSERT_EQ(data.outlook.size(), 10u);
    for (std::size_t i = 0; i < data.outlook.size(); ++i)
      EXPECT_EQ(data.outlook[i].weekday, weekday(sys_days(date) + days(i)));
    EXPECT_EQ(data.today.high, data.outlook[0].high);
    EXPECT_EQ(data.tomorrow.phrase, data.outlook[1].phrase);
    EXPECT_EQ(data.tomorrow.wind.speedMph, data.outlook[1].wind.speedMph);
    // Tomorrow seen from today is today seen tomorrow.
    const ForecastData next = demoForecast("Fairbanks AK", sys_days(date) + days(1));
    EXPECT_EQ(next.today.high, data.tomorrow.high);
    EXPECT_EQ(next.outlook[4].low, data.outlook[5].low);
  }
}

}  // namespace
}  // namespace skycall
