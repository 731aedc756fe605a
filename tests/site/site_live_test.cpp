// SPDX-License-Identifier: GPL-3.0-or-later
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "platform/CurlFetcher.h"
#include "site/LiveSource.h"
#include "site/OpenMeteo.h"
#include "site_rig.h"

namespace skycall {
namespace {

using namespace std::chrono_literals;
using sitetest::FakeWeatherServices;

// Each place the user may type, through the live site binary and the program's own fetcher and
// fetch cycle: the place its pages name, ten days on the ten-day page, and the rows the user
// hears; or the status of a place the site must not guess.
TEST(LiveSite, TypedPlacesGiveTheRightPlaceAndItsRows) {
  FakeWeatherServices services;
  sitetest::SiteProcess site({"--source", "live", "--timeout", "2", "--geocoding-url",
                              services.url("/v1/search"), "--forecast-url",
                              services.url("/v1/forecast")});
  ASSERT_GT(site.port(), 0) << site.announcement();
  httplib::Client client("127.0.0.1", site.port());
  client.set_url_encode(false);
  for (const std::string& line : sitetest::lines(sitetest::fixture("places.txt"))) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> field;
    for (std::size_t from = 0, bar = 0; bar != std::string::npos; from = bar + 1)
      field.push_back(line.substr(from, (bar = line.find('|', from)) - from));
    const std::string& typed = field[0];
    std::string asked = typed;
    std::replace(asked.begin(), asked.end(), ' ', '+');
    const auto now = client.Get("/weather/right-now/" + asked);
    ASSERT_TRUE(now) << typed;
    if (field[2] == "404") {
      EXPECT_EQ(now->status, 404) << typed;
      continue;
    }
    ASSERT_EQ(now->status, 200) << typed << "\n" << now->body;
    EXPECT_NE(now->body.find("<p class=\"place\">" + field[2] + "</p>"), std::string::npos)
        << typed << "\n"
        << now->body.substr(0, 1200);
    const auto tenDay = client.Get("/weather/tenday/" + asked);
    ASSERT_TRUE(tenDay);
    int days = 0;
    for (auto at = tenDay->body.find("<h3>"); at != std::string::npos;
         at = tenDay->body.find("<h3>", at + 1))
      ++days;
    EXPECT_EQ(days, 10) << typed;
    CurlFetcher fetcher;
    EXPECT_EQ(sitetest::cycleRows(fetcher, site.host(), typed, std::stoi(field[1])),
              sitetest::lines(sitetest::fixture(field[3])))
        << typed;
  }
}

struct LiveRig {
  FakeWeatherServices services;
  std::chrono::steady_clock::time_point now{};
  LiveForecastSource source{{services.url("/v1/search"), services.url("/v1/forecast"), 1.0},
                            [this] { return now; }};

  int statusOf(const std::string& location) {
    try {
      source.forecastFor(location);
      return 200;
    } catch (const SourceError& error) {
      return error.status();
    }
  }
};

TEST(LiveSource, KeepsAForecastTenMinutesForEveryWayOfWritingThePlace) {
  LiveRig rig;
  for (const char* typed : {"Springfield, IL", "springfield il", "Springfield+Illinois"})
    EXPECT_EQ(rig.statusOf(typed), 200) << typed;
  EXPECT_EQ(rig.services.forecastRequests(), 1);
  rig.now += 9min;
  rig.statusOf("Springfield, IL");
  EXPECT_EQ(rig.services.forecastRequests(), 1);
  rig.now += 2min;
  rig.statusOf("Springfield, IL");
  EXPECT_EQ(rig.services.forecastRequests(), 2);
}

TEST(LiveSource, ServiceFailuresGiveTheirStatus) {
  const std::tuple<int, std::chrono::milliseconds, int> cases[] = {
      // the forecast service's status, its delay, the site's status
      {400, 0ms, 502},
      {500, 0ms, 502},
      {200, 1500ms, 504}};
  for (const auto& [forecastStatus, delay, status] : cases) {
    LiveRig rig;
    rig.services.forecastStatus = forecastStatus;
    rig.services.forecastDelay = delay;
    EXPECT_EQ(rig.statusOf("Springfield, IL"), status) << forecastStatus;
  }
  const WeatherServices nobody{"http://127.0.0.1:1/v1/search", "http://127.0.0.1:1/v1/forecast",
                               1.0};
  LiveForecastSource unreachable(nobody);
  try {
    unreachable.forecastFor("Springfield, IL");
    ADD_FAILURE() << "a forecast from nobody";
  } catch (const SourceError& error) {
    EXPECT_EQ(error.status(), 502);
  }
  EXPECT_FALSE(weatherServicesAnswer(nobody));
}

// Answers that are no forecast fail the page rather than show what the service did not say.
TEST(LiveSource, AnswersThatAreNoForecastFail) {
  using nlohmann::json;
  const std::pair<const char*, void (*)(json&)> cases[] = {
      {"Celsius", [](json& j) { j["daily_units"]["temperature_2m_max"] = "°C"; }},
      {"km/h", [](json& j) { j["daily_units"]["wind_speed_10m_max"] = "km/h"; }},
      {"no dated day", [](json& j) { j["daily"]["time"] = json::array({"June 4th"}); }},
      {"an error body", [](json& j) { j = json::parse(sitetest::fixture("error-400.json")); }},
      {"not JSON", [](json& j) { j = "<html>Bad Gateway</html>"; }}};
  for (const auto& [what, edit] : cases) {
    json answer = json::parse(sitetest::fixture("forecast-springfield.json"));
    edit(answer);
    try {
      forecastFromAnswer(answer.is_string() ? answer.get<std::string>() : answer.dump(), {});
      ADD_FAILURE() << what << ": no failure";
    } catch (const SourceError& error) {
      EXPECT_EQ(error.status(), 502) << what;
    }
  }
}

}  // namespace
}  // namespace skycall

// libcurl is set up once for the whole suite, before any test's threads start.
namespace {
const bool kCurlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}
