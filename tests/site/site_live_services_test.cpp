#include <curl/curl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "site/LiveSource.h"
#include "site_live_fixtures.h"

namespace skycall {
namespace {

using namespace std::chrono_literals;
using sitetest::FakeWeatherServices;

struct LiveRig {
  FakeWeatherServices services;
  std::chrono::steady_clock::time_point now{};
  LiveForecastSource source{
      {services.geocodingUrl(), services.forecastUrl()}, curlUpstream(1.0), [this] { return now; }};
};

int statusOf(LiveForecastSource& source, const std::string& location) {
  try {
    source.forecastFor(location);
    return 200;
  } catch (const SourceError& error) {
    return error.status();
  }
}

TEST(LiveSource, AsksBothServicesOnceAndKeepsTheForecastTenMinutes) {
  LiveRig rig;
  const ForecastData first = rig.source.forecastFor("Springfield, IL");
  EXPECT_EQ(first.now.temperature, 78);
  EXPECT_EQ(rig.services.requests(),
            (std::vector<std::string>{
                "/v1/search?count=100&countryCode=US&format=json&language=en&name=Springfield",
                "/v1/forecast?current=temperature_2m,apparent_temperature,weather_code,"
                "relative_humidity_2m,wind_speed_10m,wind_direction_10m&daily=weather_code,"
                "temperature_2m_max,temperature_2m_min,precipitation_probability_max,"
                "wind_speed_10m_max,wind_direction_10m_dominant,uv_index_max&forecast_days=8&"
                "hourly=relative_humidity_2m&latitude=39.8017&longitude=-89.6437&"
                "temperature_unit=fahrenheit&timezone=auto&wind_speed_unit=mph"}));

  // The other pages of the cycle, written another way, a moment later: nothing asked again.
  rig.now += 9min;
  rig.source.forecastFor("springfield il");
  rig.source.forecastFor("Springfield+IL");
  EXPECT_EQ(rig.services.requests().size(), 2u);
  rig.now += 2min;
  rig.source.forecastFor("Springfield, IL");
  EXPECT_EQ(rig.services.requests().size(), 4u);
}

TEST(LiveSource, FailuresGiveTheirStatus) {
  struct Case {
    const char* location;
    int forecastStatus;
    std::chrono::milliseconds delay;
    int status;
  };
  const Case cases[] = {{"62701", 200, 0ms, 200},
                        {"Nowhere, IL", 200, 0ms, 404},
                        {"", 200, 0ms, 404},
                        {"Springfield, IL", 400, 0ms, 502},
                        {"Springfield, IL", 500, 0ms, 502},
                        {"Springfield, IL", 200, 1500ms, 504}};
  for (const Case& c : cases) {
    LiveRig rig;
    rig.services.forecastStatus = c.forecastStatus;
    if (c.forecastStatus == 400) rig.services.forecastBody = sitetest::fixture("error-400.json");
    rig.services.forecastDelay = c.delay;
    EXPECT_EQ(statusOf(rig.source, c.location), c.status) << c.location << " " << c.forecastStatus;
  }
  // Nobody listening at all.
  const WeatherServices nobody{"http://127.0.0.1:1/v1/search", "http://127.0.0.1:1/v1/forecast"};
  LiveForecastSource unreachable(nobody, curlUpstream(1.0));
  EXPECT_EQ(statusOf(unreachable, "Springfield, IL"), 502);
  EXPECT_FALSE(weatherServicesAnswer(nobody, curlUpstream(1.0)));
}

}  // namespace
}  // namespace skycall

// libcurl is set up once for the whole suite, before any test's threads start.
namespace {
const bool kCurlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}
