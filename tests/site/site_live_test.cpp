#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "forecast/TextCodec.h"
#include "site/ForecastSource.h"
#include "site/OpenMeteo.h"
#include "site/WeatherWords.h"
#include "site_live_fixtures.h"
#include "site_rows.h"

namespace skycall {
namespace {

using nlohmann::json;
using sitetest::fixture;

constexpr int kWednesday = 4;  // the fixtures' first day, 2025-06-04

std::vector<std::string> rowsFrom(const ForecastData& data) {
  std::vector<std::string> rows;
  for (const auto& row : sitetest::cycleRows([&](const std::string&) { return data; }, kWednesday))
    rows.push_back(toUtf8(row));
  return rows;
}

const Place kSpringfield{"Springfield, IL", 39.80172, -89.64371};

TEST(LiveForecast, RecordedForecastGivesTheseRows) {
  const std::vector<std::string> expected = {
      "Currently 78 degrees.",
      "feels like 81 degrees.",
      "Partly Cloudy",
      "-----",
      "High of 85",
      "Partly Cloudy",
      "Chance of rain, 10%",
      "Winds are North-West 12  miles per hour",
      "Humidity is at 62%",
      "UV index is at 8, Very High",
      "-----",
      "High of 79",
      "Thunder Storm",
      "Chance of rain, 70%",
      "Winds are South South-East 19  miles per hour",
      "Humidity is at 81%",
      "UV index is at 3, Moderate",
      "-----",
      "Friday",
      "High of 72",
      "Low of 58",
      "Light Rain",
      "Chance of rain, 55%",
      "Winds will be West 10  miles per hour",
      "Saturday",
      "High of 100",
      "Low of 76",
      "Clear Sky",
      "Chance of rain, 0%",
      "Winds will be Calm",
      "Sunday",
      "High of 100",
      "Low of 80",
      "Overcast",
      "Chance of rain, 5%",
      "Winds will be East 7  miles per hour",
      "Monday",
      "High of  9",
      "Low of  0",
      "Light Rain Showers",
      "Chance of rain, 40%",
      "Winds will be South South-West 23  miles per hour",
      "Tuesday",
      "High of -5",
      "Low of -13",
      "Fog",
      "Chance of rain, 15%",
      "Winds will be North 3  miles per hour",
  };
  const ForecastData data = forecastFromAnswer(fixture("forecast-springfield.json"), kSpringfield);
  EXPECT_EQ(rowsFrom(data), expected);
  EXPECT_EQ(data.outlook.size(), 8u);
  EXPECT_EQ(data.placeName, "Springfield, IL");
}

TEST(LiveForecast, NullsBecomeUnknownAndNeverAGuess) {
  const ForecastData data = forecastFromAnswer(fixture("forecast-nulls.json"), kSpringfield);
  const std::vector<std::string> rows = rowsFrom(data);
  ASSERT_EQ(rows.size(), 48u);
  const std::pair<std::size_t, const char*> changed[] = {
      {2, "Unknown Conditions"},           {6, "Chance of rain, unknown"},
      {7, "Winds are 12  miles per hour"}, {9, "UV index is at unknown"},
      {14, "Winds are unknown"},           {15, "Humidity is at unknown"},
      {16, "UV index is at unknown"},      {28, "Chance of rain, unknown"},
      {33, "Unknown Conditions"},
  };
  for (const auto& [index, row] : changed) EXPECT_EQ(rows[index], row) << "row " << index;
  EXPECT_EQ(rows[8], "Humidity is at 62%");
  EXPECT_EQ(rows[47], "Winds will be North 3  miles per hour");
  EXPECT_EQ(data.outlook.size(), 7u);  // the eighth day has no high
}

// Answers that cannot be shown as a forecast fail the page with 502, rather than show
// something the service did not say.
TEST(LiveForecast, AnswersThatAreNoForecastFail) {
  const json recorded = json::parse(fixture("forecast-springfield.json"));
  const std::pair<const char*, std::function<void(json&)>> cases[] = {
      {"no current temperature", [](json& j) { j["current"]["temperature_2m"] = nullptr; }},
      {"no felt temperature", [](json& j) { j["current"].erase("apparent_temperature"); }},
      {"no current block", [](json& j) { j.erase("current"); }},
      {"a high missing within the week",
       [](json& j) { j["daily"]["temperature_2m_max"][3] = nullptr; }},
      {"a short week", [](json& j) { j["daily"]["time"] = json::array({"2025-06-04"}); }},
      {"no daily block", [](json& j) { j["daily"] = nullptr; }},
      {"an unreadable date", [](json& j) { j["daily"]["time"][2] = "June 6th"; }},
      {"Celsius", [](json& j) { j["daily_units"]["temperature_2m_max"] = "°C"; }},
      {"km/h", [](json& j) { j["daily_units"]["wind_speed_10m_max"] = "km/h"; }},
      {"an error body", [](json& j) { j = json::parse(fixture("error-400.json")); }},
      {"an array", [](json& j) { j = json::array(); }},
  };
  for (const auto& [what, edit] : cases) {
    json answer = recorded;
    edit(answer);
    try {
      forecastFromAnswer(answer.dump(), kSpringfield);
      ADD_FAILURE() << what << ": no failure";
    } catch (const SourceError& error) {
      EXPECT_EQ(error.status(), 502) << what;
    }
  }
  EXPECT_THROW(forecastFromAnswer("<html>Bad Gateway</html>", kSpringfield), SourceError);
}

TEST(LiveGeocoding, LocationsBecomeQueries) {
  struct Case {
    const char* location;
    const char* name;
    const char* state;  // "" for none
    bool zip;
  };
  const Case cases[] = {
      {"62701", "62701", "", true},
      {"62701-1234", "62701", "", true},
      {"Springfield, IL", "Springfield", "IL", false},
      {"Springfield IL", "Springfield", "IL", false},
      {"Springfield+IL", "Springfield", "IL", false},
      {"springfield,+illinois", "springfield", "IL", false},
      {"  San   Antonio  TX ", "San Antonio", "TX", false},
      {"Charleston West Virginia", "Charleston", "WV", false},
      {"New York NY", "New York", "NY", false},
      {"New York", "New York", "", false},
      {"Kansas City", "Kansas City", "", false},
      {"Washington", "Washington", "", false},
      {"Paris, France", "Paris", "", false},
      {"1234", "1234", "", false},
      {"62701-12", "62701-12", "", false},
  };
  for (const Case& c : cases) {
    const auto query = placeQueryFor(c.location);
    ASSERT_TRUE(query) << c.location;
    EXPECT_EQ(query->name, c.name) << c.location;
    EXPECT_EQ(query->state ? std::string(query->state->code) : "", c.state) << c.location;
    EXPECT_EQ(query->zipCode, c.zip) << c.location;
  }
  EXPECT_FALSE(placeQueryFor(""));
  EXPECT_FALSE(placeQueryFor(" + "));
  EXPECT_EQ(placeKey(*placeQueryFor("Springfield, IL")),
            placeKey(*placeQueryFor("springfield il")));
  EXPECT_NE(placeKey(*placeQueryFor("Springfield, IL")), placeKey(*placeQueryFor("Springfield")));
}

TEST(LiveGeocoding, ChoosesTheMostPopulousPlaceThatFits) {
  struct Case {
    const char* location;
    const char* fixtureName;
    std::optional<double> latitude;  // nothing: no place
    const char* shown;
  };
  const Case cases[] = {
      {"Springfield, IL", "geocoding-springfield.json", 39.80172, "Springfield, IL"},
      {"Springfield Illinois", "geocoding-springfield.json", 39.80172, "Springfield, IL"},
      {"Springfield, OH", "geocoding-springfield.json", 39.92423, "Springfield, OH"},
      {"Springfield VT", "geocoding-springfield.json", 43.29841, "Springfield, VT"},
      {"Springfield", "geocoding-springfield.json", 41.0, "Springfield Lake"},
      {"Springfield, TX", "geocoding-springfield.json", std::nullopt, ""},
      {"62701", "geocoding-62701.json", 39.80172, "Springfield, IL 62701"},
      {"Nowhere, IL", "geocoding-none.json", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    const auto place = choosePlace(fixture(c.fixtureName), *placeQueryFor(c.location));
    ASSERT_EQ(place.has_value(), c.latitude.has_value()) << c.location;
    if (!place) continue;
    EXPECT_DOUBLE_EQ(place->latitude, *c.latitude) << c.location;
    EXPECT_EQ(place->shownName, c.shown) << c.location;
  }
  try {
    choosePlace(fixture("error-400.json"), *placeQueryFor("Springfield"));
    ADD_FAILURE() << "an error body chose a place";
  } catch (const SourceError& error) {
    EXPECT_EQ(error.status(), 502);
    EXPECT_NE(std::string(error.what()).find("Parameter 'name' is required"), std::string::npos);
  }
}

TEST(LiveGeocoding, AddressesAskForWhatThePagesNeed) {
  EXPECT_EQ(geocodingAddress("http://g/v1/search", *placeQueryFor("San Antonio, TX")),
            "http://g/v1/search?name=San+Antonio&count=100&language=en&countryCode=US&format=json");
  const std::string forecast = forecastAddress("http://f/v1/forecast", kSpringfield);
  for (const char* part :
       {"latitude=39.8017&longitude=-89.6437", "temperature_unit=fahrenheit", "wind_speed_unit=mph",
        "timezone=auto", "forecast_days=8", "hourly=relative_humidity_2m",
        "current=temperature_2m,apparent_temperature,weather_code,",
        "precipitation_probability_max", "wind_direction_10m_dominant", "uv_index_max"})
    EXPECT_NE(forecast.find(part), std::string::npos) << part;
}

TEST(LiveWords, WeatherCodesAndCompassPoints) {
  const std::pair<std::optional<int>, const char*> phrases[] = {
      {0, "Clear Sky"},
      {3, "Overcast"},
      {63, "Rain"},
      {95, "T-Storm"},
      {99, "T-Storm with Heavy Hail"},
      {4, "Unknown Conditions"},
      {std::nullopt, "Unknown Conditions"}};
  for (const auto& [code, phrase] : phrases) EXPECT_EQ(weatherPhrase(code), phrase);

  const std::pair<std::optional<double>, const char*> points[] = {
      {0, "N"},    {11.2, "N"},    {11.3, "NNE"}, {90, "E"},   {180, "S"},         {202.5, "SSW"},
      {315, "NW"}, {348.7, "NNW"}, {360, "N"},    {-45, "NW"}, {std::nullopt, ""}, {NAN, ""}};
  for (const auto& [degrees, point] : points)
    EXPECT_EQ(compassPoint(degrees), point) << (degrees ? *degrees : -1);
}

}  // namespace
}  // namespace skycall
