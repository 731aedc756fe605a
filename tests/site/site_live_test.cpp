#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "site/ForecastSource.h"
#include "site/OpenMeteo.h"
#include "site/WeatherWords.h"
#include "site_live_fixtures.h"
#include "site_rows.h"

namespace skycall {
namespace {

using nlohmann::json;
using sitetest::fixture;

const Place kSpringfield{"Springfield, IL", 39.80172, -89.64371};

// The rows the program gets from a recorded answer; the fixtures' first day is Wednesday.
std::vector<std::string> rowsFrom(const std::string& fixtureName) {
  const ForecastData data = forecastFromAnswer(fixture(fixtureName), kSpringfield);
  return sitetest::cycleRows([&](const std::string&) { return data; }, 4);
}

TEST(LiveForecast, RecordedForecastGivesTheseRows) {
  // One line per block of rows, "|" between rows.
  const char* const blocks[] = {
      "Currently 78 degrees.|feels like 81 degrees.|Partly Cloudy|-----",
      "High of 85|Partly Cloudy|Chance of rain, 10%|Winds are North-West 12  miles per hour|"
      "Humidity is at 62%|UV index is at 8, Very High|-----",
      "High of 79|Thunder Storm|Chance of rain, 70%|Winds are South South-East 19  miles per hour|"
      "Humidity is at 81%|UV index is at 3, Moderate|-----",
      "Friday|High of 72|Low of 58|Light Rain|Chance of rain, 55%|"
      "Winds will be West 10  miles per hour",
      "Saturday|High of 100|Low of 76|Clear Sky|Chance of rain, 0%|Winds will be Calm",
      "Sunday|High of 100|Low of 80|Overcast|Chance of rain, 5%|"
      "Winds will be East 7  miles per hour",
      "Monday|High of  9|Low of  0|Light Rain Showers|Chance of rain, 40%|"
      "Winds will be South South-West 23  miles per hour",
      "Tuesday|High of -5|Low of -13|Fog|Chance of rain, 15%|Winds will be North 3  miles per "
      "hour"};
  std::vector<std::string> expected;
  for (const char* block : blocks) {
    std::istringstream rows(block);
    for (std::string row; std::getline(rows, row, '|');) expected.push_back(row);
  }
  EXPECT_EQ(rowsFrom("forecast-springfield.json"), expected);
}

TEST(LiveForecast, NullsBecomeUnknownAndNeverAGuess) {
  const std::vector<std::string> rows = rowsFrom("forecast-nulls.json");
  ASSERT_EQ(rows.size(), 48u);  // the eighth day has no high: seven days are enough
  const std::pair<std::size_t, const char*> changed[] = {
      {2, "Unknown Conditions"},           {6, "Chance of rain, unknown"},
      {7, "Winds are 12  miles per hour"}, {8, "Humidity is at 62%"},
      {9, "UV index is at unknown"},       {14, "Winds are unknown"},
      {15, "Humidity is at unknown"},      {28, "Chance of rain, unknown"},
      {33, "Unknown Conditions"},          {47, "Winds will be North 3  miles per hour"}};
  for (const auto& [index, row] : changed) EXPECT_EQ(rows[index], row) << "row " << index;
}

// Answers that cannot be shown as a forecast fail the page with 502, rather than show
// something the service did not say.
TEST(LiveForecast, AnswersThatAreNoForecastFail) {
  const std::pair<const char*, std::function<void(json&)>> cases[] = {
      {"no current temperature", [](json& j) { j["current"]["temperature_2m"] = nullptr; }},
      {"a high missing within the week",
       [](json& j) { j["daily"]["temperature_2m_max"][3] = nullptr; }},
      {"a short week", [](json& j) { j["daily"]["time"] = json::array({"2025-06-04"}); }},
      {"an unreadable date", [](json& j) { j["daily"]["time"][2] = "June 6th"; }},
      {"Celsius", [](json& j) { j["daily_units"]["temperature_2m_max"] = "°C"; }},
      {"km/h", [](json& j) { j["daily_units"]["wind_speed_10m_max"] = "km/h"; }},
      {"an error body", [](json& j) { j = json::parse(fixture("error-400.json")); }},
      {"not JSON", [](json& j) { j = "<html>Bad Gateway</html>"; }}};
  for (const auto& [what, edit] : cases) {
    json answer = json::parse(fixture("forecast-springfield.json"));
    edit(answer);
    const std::string body = answer.is_string() ? answer.get<std::string>() : answer.dump();
    try {
      forecastFromAnswer(body, kSpringfield);
      ADD_FAILURE() << what << ": no failure";
    } catch (const SourceError& error) {
      EXPECT_EQ(error.status(), 502) << what;
    }
  }
}

TEST(LiveGeocoding, LocationsBecomeQueries) {
  const std::tuple<const char*, const char*, const char*, bool> cases[] = {
      // location, name searched, state ("" for none), searched as a zip code
      {"62701", "62701", "", true},
      {"springfield,+illinois", "springfield", "IL", false},
      {"  San   Antonio  TX ", "San Antonio", "TX", false},
      {"Charleston West Virginia", "Charleston", "WV", false},
      {"Paris, France", "Paris", "", false},
      {"62701-12", "62701-12", "", false}};
  for (const auto& [location, name, state, zip] : cases) {
    const auto query = placeQueryFor(location);
    ASSERT_TRUE(query) << location;
    EXPECT_EQ(query->name, name) << location;
    EXPECT_EQ(query->state ? std::string(query->state->code) : "", state) << location;
    EXPECT_EQ(query->zipCode, zip) << location;
  }
  EXPECT_FALSE(placeQueryFor(" + "));
  EXPECT_EQ(placeKey(*placeQueryFor("Springfield, IL")),
            placeKey(*placeQueryFor("springfield il")));
  EXPECT_NE(placeKey(*placeQueryFor("Springfield, IL")), placeKey(*placeQueryFor("Springfield")));
}

TEST(LiveGeocoding, ChoosesTheMostPopulousPlaceThatFits) {
  const std::tuple<const char*, const char*, std::optional<double>, const char*> cases[] = {
      // location, answer, latitude of the place chosen (nothing: none), its name
      {"Springfield, IL", "geocoding-springfield.json", 39.80172, "Springfield, IL"},
      {"Springfield VT", "geocoding-springfield.json", 43.29841, "Springfield, VT"},
      {"Springfield", "geocoding-springfield.json", 41.0, "Springfield Lake"},
      {"Springfield, TX", "geocoding-springfield.json", std::nullopt, ""},
      {"62701", "geocoding-62701.json", 39.80172, "Springfield, IL 62701"}};
  for (const auto& [location, answer, latitude, shown] : cases) {
    const auto place = choosePlace(fixture(answer), *placeQueryFor(location));
    ASSERT_EQ(place.has_value(), latitude.has_value()) << location;
    if (!place) continue;
    EXPECT_DOUBLE_EQ(place->latitude, *latitude) << location;
    EXPECT_EQ(place->shownName, shown) << location;
  }
  try {
    choosePlace(fixture("error-400.json"), *placeQueryFor("Springfield"));
    ADD_FAILURE() << "an error body chose a place";
  } catch (const SourceError& error) {
    EXPECT_EQ(error.status(), 502);
    EXPECT_NE(std::string(error.what()).find("Parameter 'name' is required"), std::string::npos);
  }
}

TEST(LiveWords, WeatherCodesAndCompassPoints) {
  const std::pair<std::optional<int>, const char*> phrases[] = {
      {0, "Clear Sky"}, {99, "T-Storm with Heavy Hail"}, {4, "Unknown Conditions"}};
  for (const auto& [code, phrase] : phrases) EXPECT_EQ(weatherPhrase(code), phrase);
  const std::pair<std::optional<double>, const char*> points[] = {
      {11.2, "N"}, {11.3, "NNE"}, {202.5, "SSW"},     {348.7, "NNW"},
      {360, "N"},  {-45, "NW"},   {std::nullopt, ""}, {NAN, ""}};
  for (const auto& [degrees, point] : points)
    EXPECT_EQ(compassPoint(degrees), point) << (degrees ? *degrees : -1);
}

}  // namespace
}  // namespace skycall
