#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "site/DemoSource.h"
#include "site/PageRenderer.h"
#include "site_rows.h"

namespace skycall {
namespace {

using namespace std::chrono;

// Text outside ASCII comes out whole, and a place name that looks like the pages' own markup
// moves no value: the scanners find only what the renderer put there.
TEST(SitePages, AnyTextReachesTheRowsWhole) {
  const year_month_day date = 2025y / March / 14;
  ForecastData data = demoForecast("62701", date);
  data.placeName = "<h3>Sun <p class=\"wx-temp\"> 99 temperature-fahrenheit\">1 </span> <dd>";
  data.now.phrase = "Brume l\u00e9g\u00e8re \u2013 patchy fog";
  data.today.phrase = "Haze, 30\u00b0 colder";
  const auto rows = sitetest::cycleRows([&](const std::string&) { return data; },
                                        sitetest::clockWeekday(weekday(sys_days(date))));
  EXPECT_EQ(rows, sitetest::expectedRows(data));
  ASSERT_EQ(rows.size(), 48u);
  EXPECT_EQ(rows[5], "Haze, 30\u00b0 colder");
}

TEST(SitePages, TemperatureWindAndUvTexts) {
  const std::pair<int, const char*> temperatures[] = {
      {72, "72"}, {5, " 5"}, {0, " 0"}, {-5, "-5"}, {-12, "-12"}, {101, "101"}, {-150, "-99"}};
  for (const auto& [degrees, text] : temperatures) EXPECT_EQ(temperatureText(degrees), text);
  EXPECT_EQ(windText({"NW", 12}), "NW 12 mph");
  EXPECT_EQ(windText({"", 7}), "7 mph");
  EXPECT_EQ(windText({"S", 0}), "Calm");
  EXPECT_EQ(windText({"NW", std::nullopt}), "unknown");
  const std::pair<std::optional<int>, const char*> uv[] = {
      {0, "0, Low"},       {2, "2, Low"},       {3, "3, Moderate"},       {6, "6, High"},
      {8, "8, Very High"}, {11, "11, Extreme"}, {std::nullopt, "unknown"}};
  for (const auto& [index, text] : uv) EXPECT_EQ(uvText(index), text);
}

}  // namespace
}  // namespace skycall
