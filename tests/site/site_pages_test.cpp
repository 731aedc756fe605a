#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "forecast/MarkerScan.h"
#include "forecast/PageSteps.h"
#include "site/DemoSource.h"
#include "site/PageRenderer.h"
#include "site/SitePage.h"
#include "site_rows.h"

namespace skycall {
namespace {

using namespace std::chrono;
using sitetest::cycleRows;
using sitetest::rowProblems;

// A forecast with every value set by hand; the outlook starts on `first`.
ForecastData handMade(weekday first, int seed) {
  ForecastData data;
  data.placeName = "Springfield, IL";
  data.sourceNote = "Hand-made test weather";
  data.now = {70 + seed, 68 + seed, "Partly Cloudy"};
  data.today = {81, "Mostly Sunny", 10, {"NW", 12}, 64, 7};
  data.tomorrow = {77, "Scattered T-Storms", 60, {"SSE", 8}, 88, 3};
  const char* phrases[] = {"Sunny", "Rain", "T-Storms", "Cloudy", "Snow Showers"};
  const char* directions[] = {"N", "ENE", "WSW", "S", "NNW"};
  for (int i = 0; i < 10; ++i)
    data.outlook.push_back(
        {first + days(i), 60 + i, 45 + i, phrases[i % 5], i * 10, Wind{directions[i % 5], 3 + i}});
  return data;
}

TEST(SitePages, EveryWeekdayGivesTheFullRowLayout) {
  for (unsigned day = 0; day < 7; ++day) {
    const ForecastData data = handMade(weekday(day), static_cast<int>(day));
    const auto rows =
        cycleRows([&](const std::string&) { return data; }, sitetest::clockWeekday(weekday(day)));
    EXPECT_EQ(rowProblems(rows, data), std::vector<std::string>{}) << "weekday " << day;
  }
}

TEST(SitePages, EdgeValuesReachTheRowsWhole) {
  struct Case {
    const char* what;
    void (*edit)(ForecastData&);
  };
  const Case cases[] = {
      {"one-digit temperatures",
       [](ForecastData& d) {
         d.now = {0, 9, "Fog"};
         d.today.high = 5;
         d.outlook[2].high = 9;
         d.outlook[2].low = 0;
         d.outlook[6].low = 1;
       }},
      {"negative temperatures",
       [](ForecastData& d) {
         d.now = {-5, -12, "Light Snow"};
         d.tomorrow.high = -1;
         d.outlook[3].high = -9;
         d.outlook[3].low = -40;
         d.outlook[4].low = -99;
       }},
      {"three-digit temperatures",
       [](ForecastData& d) {
         d.now = {100, 118, "Hot"};
         d.today.high = 104;
         d.outlook[5].high = 111;
         d.outlook[5].low = 100;
       }},
      {"storms, no rain, calm and every chance",
       [](ForecastData& d) {
         d.now.phrase = "Demo forecast, Isolated T-Storms";
         d.today.chanceOfRain = 0;
         d.today.wind = {"E", 0};
         d.tomorrow.chanceOfRain = 100;
         d.tomorrow.phrase = "T-Storms then T-Storm";
         d.outlook[2].chanceOfRain = 0;
         d.outlook[2].wind = {"", 0};
         d.outlook[6].chanceOfRain = 100;
       }},
      {"facts the weather service did not give",
       [](ForecastData& d) {
         d.today.chanceOfRain.reset();
         d.today.wind = {"", std::nullopt};
         d.tomorrow.humidity.reset();
         d.tomorrow.uvIndex.reset();
         d.tomorrow.wind = {"", 9};
         d.outlook[4].chanceOfRain.reset();
         d.outlook[5].wind = {"", std::nullopt};
       }},
      {"text outside ASCII",
       [](ForecastData& d) {
         d.now.phrase = "Brume l\u00e9g\u00e8re \u2013 patchy fog";
         d.outlook[4].phrase = "Haze, 30\u00b0 colder";
       }},
      {"a location that looks like markup",
       [](ForecastData& d) {
         d.placeName = "<h3>Tue <p class=\"wx-temp\"> 99 temperature-fahrenheit\">1 </span> <dd>";
       }},
  };
  for (const Case& c : cases) {
    for (unsigned day : {0u, 3u, 6u}) {
      ForecastData data = handMade(weekday(day), 1);
      c.edit(data);
      const auto rows =
          cycleRows([&](const std::string&) { return data; }, sitetest::clockWeekday(weekday(day)));
      EXPECT_EQ(rowProblems(rows, data), std::vector<std::string>{}) << c.what << ", day " << day;
    }
  }
}

// Every page read on its own carries exactly its own facts, in the order the readers expect.
TEST(SitePages, EachPageGivesItsOwnRowsOnly) {
  const ForecastData data = handMade(Thursday, 0);
  const auto rowsOf = [&](SitePage page, std::span<const Step> steps) {
    return scanPage(decodePage(renderPage(page, data, "Springfield, IL"), "utf-8"), steps);
  };
  EXPECT_EQ(rowsOf(SitePage::RightNow, currentConditionsSteps()).size(), 3u);
  EXPECT_EQ(rowsOf(SitePage::Today, todayTomorrowSteps()).size(), 6u);
  EXPECT_EQ(rowsOf(SitePage::Tomorrow, todayTomorrowSteps()).size(), 6u);
  EXPECT_EQ(rowsOf(SitePage::TenDay, tenDaySteps(sitetest::clockWeekday(Thursday))).size(), 30u);
  // The other pages hold none of the markup one page's facts are found by.
  EXPECT_EQ(rowsOf(SitePage::Today, currentConditionsSteps()).size(), 0u);
  EXPECT_EQ(rowsOf(SitePage::TenDay, currentConditionsSteps()).size(), 0u);
  EXPECT_EQ(rowsOf(SitePage::RightNow, tenDaySteps(5)).size(), 0u);
}

TEST(SitePages, OutlookOfSevenDaysIsEnoughAndFewerShortensTheList) {
  ForecastData data = handMade(Monday, 0);
  data.outlook.resize(7);  // what the live source's eight-day forecast leaves after a day change
  EXPECT_EQ(rowProblems(cycleRows([&](const std::string&) { return data; }, 2), data),
            std::vector<std::string>{});
  data.outlook.resize(5);
  EXPECT_EQ(cycleRows([&](const std::string&) { return data; }, 2).size(), 18u + 18u);
}

TEST(SitePages, TemperatureWindAndUvTexts) {
  const std::pair<int, const char*> temperatures[] = {
      {72, "72"}, {5, " 5"}, {0, " 0"}, {-5, "-5"}, {-12, "-12"}, {101, "101"}, {-150, "-99"}};
  for (const auto& [degrees, text] : temperatures) EXPECT_EQ(temperatureText(degrees), text);

  EXPECT_EQ(windText({"NW", 12}), "NW 12 mph");
  EXPECT_EQ(windText({"", 7}), "7 mph");
  EXPECT_EQ(windText({"S", 0}), "Calm");

  EXPECT_EQ(windText({"NW", std::nullopt}), "unknown");
  EXPECT_EQ(percentText(std::nullopt), "unknown");
  EXPECT_EQ(uvText(std::nullopt), "unknown");

  const std::pair<int, const char*> uv[] = {{0, "0, Low"},       {2, "2, Low"},
                                            {3, "3, Moderate"},  {6, "6, High"},
                                            {8, "8, Very High"}, {11, "11, Extreme"}};
  for (const auto& [index, text] : uv) EXPECT_EQ(uvText(index), text);
}

}  // namespace
}  // namespace skycall
