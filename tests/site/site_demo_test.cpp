// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <set>
#include <string>

#include "forecast/SiteAddress.h"
#include "site/DemoSource.h"
#include "site/PageRenderer.h"
#include "site_rig.h"

namespace skycall {
namespace {

using namespace std::chrono;

// The four pages of one forecast, rendered as the site serves them.
class RenderingFetcher : public PageFetcher {
 public:
  explicit RenderingFetcher(const ForecastData& data) : data_(data) {}
  FetchedPage fetch(const std::string& address) override {
    for (std::size_t i = 0; i < kPagePaths.size(); ++i)
      if (address.find(kPagePaths[i]) != std::string::npos)
        return {renderPage(static_cast<SitePage>(i), data_, "x"), "utf-8"};
    throw FetchError("no page at " + address);
  }

 private:
  const ForecastData& data_;
};

const char* const kPlaces[] = {"62701",      "Springfield, IL", "Fairbanks AK",   "Phoenix, AZ",
                               "Miami FL",   "Death Valley CA", "Cañon City, CO", "Barrow AK",
                               "Seattle WA", "Honolulu HI"};
const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};

// The number a row holds after its label ("High of  9" holds 9).
int numberIn(const std::string& row, const char* label) {
  std::smatch match;
  if (!std::regex_match(row, match,
                        std::regex(std::string(label) + R"( +(-?[0-9]+)( degrees\.)?)")))
    return -1000;
  return std::stoi(match[1]);
}

// Across places, weekdays and the whole year every demo forecast reaches the program whole: each
// temperature the pages print comes back as the same number under its label, and the days under
// the names the program looks for; a place name that looks like the pages' own markup moves no
// value. The demo weather ranges over the values that are easy to get wrong.
TEST(DemoSource, AYearOfDemoWeatherReachesTheProgramWhole) {
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
      ForecastData data = demoForecast(place, date);
      data.placeName = "<h3>Sun <p class=\"wx-temp\"> 99 temperature-fahrenheit\">1 </dd>";
      const int weekday = static_cast<int>(year_month_weekday(date).weekday().c_encoding());
      RenderingFetcher fetcher(data);
      const auto rows = sitetest::cycleRows(fetcher, "site", place, weekday + 1);
      ASSERT_EQ(rows.size(), 48u) << place << " in week " << week;
      EXPECT_EQ(rows[2].rfind("Demo forecast, ", 0), 0u) << rows[2];
      EXPECT_EQ(numberIn(rows[0], "Currently"), data.now.temperature);
      EXPECT_EQ(numberIn(rows[1], "feels like"), data.now.feelsLike);
      EXPECT_EQ(numberIn(rows[4], "High of"), data.today.high);
      EXPECT_EQ(numberIn(rows[11], "High of"), data.tomorrow.high);
      note(*data.now.temperature);
      for (int k = 0; k < 5; ++k) {
        const OutlookDay& day = data.outlook.at(k + 2);
        EXPECT_EQ(rows[18 + 6 * k], kDayNames[(weekday + 2 + k) % 7]);
        EXPECT_EQ(numberIn(rows[19 + 6 * k], "High of"), day.high) << place << " " << k;
        EXPECT_EQ(numberIn(rows[20 + 6 * k], "Low of"), day.low) << place << " " << k;
      }
      for (const OutlookDay& day : data.outlook) {
        note(*day.high);
        note(*day.low);
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
  const auto rowsOf = [&](const char* place) {
    const ForecastData data = demoForecast(place, date);
    RenderingFetcher fetcher(data);
    return sitetest::cycleRows(fetcher, "site", place, 5);
  };
  std::set<std::vector<std::string>> forecasts;
  for (const char* place : kPlaces) forecasts.insert(rowsOf(place));
  EXPECT_EQ(forecasts.size(), std::size(kPlaces));
  EXPECT_EQ(rowsOf("Springfield, IL"), rowsOf("springfield+IL"));

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
