#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "forecast/MarkerScan.h"
#include "forecast/PageSteps.h"
#include "forecast/TextCodec.h"
#include "site/LiveSource.h"
#include "site_live_fixtures.h"
#include "site_process.h"

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
  EXPECT_EQ(first.placeName, "Springfield, IL");

  const auto requests = rig.services.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0],
            "/v1/search?count=100&countryCode=US&format=json&language=en&name=Springfield");
  EXPECT_EQ(requests[1].rfind("/v1/forecast?", 0), 0u);
  EXPECT_NE(requests[1].find("latitude=39.8017"), std::string::npos);  // Illinois, not Missouri

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
    const char* what;
    const char* location;
    int forecastStatus;
    std::chrono::milliseconds delay;
    int status;
  };
  const Case cases[] = {
      {"a zip code found", "62701", 200, 0ms, 200},
      {"no such place", "Nowhere, IL", 200, 0ms, 404},
      {"a Springfield in a state without one", "Springfield, TX", 200, 0ms, 404},
      {"no location", "", 200, 0ms, 404},
      {"the forecast service refuses", "Springfield, IL", 400, 0ms, 502},
      {"the forecast service breaks", "Springfield, IL", 500, 0ms, 502},
      {"the forecast service is too slow", "Springfield, IL", 200, 1500ms, 504},
  };
  for (const Case& c : cases) {
    LiveRig rig;
    rig.services.forecastStatus = c.forecastStatus;
    if (c.forecastStatus == 400) rig.services.forecastBody = sitetest::fixture("error-400.json");
    rig.services.forecastDelay = c.delay;
    EXPECT_EQ(statusOf(rig.source, c.location), c.status) << c.what;
  }

  // Nobody listening at all.
  LiveForecastSource unreachable({"http://127.0.0.1:1/v1/search", "http://127.0.0.1:1/v1/forecast"},
                                 curlUpstream(1.0));
  EXPECT_EQ(statusOf(unreachable, "Springfield, IL"), 502);
  EXPECT_FALSE(
      weatherServicesAnswer({"http://127.0.0.1:1/a", "http://127.0.0.1:1/b"}, curlUpstream(1.0)));
}

TEST(LiveSource, TheSiteServesLiveWeatherAndErrorStatuses) {
  FakeWeatherServices services;
  sitetest::SiteProcess site({"--source", "live", "--timeout", "2", "--geocoding-url",
                              services.geocodingUrl(), "--forecast-url", services.forecastUrl()});
  ASSERT_GT(site.port(), 0) << site.announcement();
  EXPECT_NE(site.announcement().find("live source"), std::string::npos) << site.announcement();

  httplib::Client client("127.0.0.1", site.port());
  client.set_url_encode(false);
  const auto today = client.Get("/weather/today/Springfield,+IL");
  ASSERT_TRUE(today);
  EXPECT_EQ(today->status, 200);
  const auto rows = scanPage(decodePage(today->body, "utf-8"), todayTomorrowSteps());
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(toUtf8(rows[0]), "High of 85");
  EXPECT_EQ(toUtf8(rows[3]), "Winds are NW 12 mph");

  const auto unknown = client.Get("/weather/today/Nowhere,+IL");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
  EXPECT_TRUE(scanPage(decodePage(unknown->body, "utf-8"), todayTomorrowSteps()).empty());

  EXPECT_EQ(site.stop(SIGTERM), 0);
  EXPECT_NE(site.log().find(" GET /weather/today/Nowhere,+IL 404"), std::string::npos);
}

TEST(LiveSource, AutoPicksLiveWhenTheServicesAnswerAndDemoWhenNot) {
  {
    FakeWeatherServices services;
    sitetest::SiteProcess site({"--source", "auto", "--geocoding-url", services.geocodingUrl(),
                                "--forecast-url", services.forecastUrl()});
    EXPECT_NE(site.announcement().find("serving the live source"), std::string::npos)
        << site.announcement();
    EXPECT_EQ(site.stop(SIGTERM), 0);
  }
  sitetest::SiteProcess site({"--source", "auto", "--timeout", "1", "--geocoding-url",
                              "http://127.0.0.1:1/v1/search", "--forecast-url",
                              "http://127.0.0.1:1/v1/forecast"});
  EXPECT_NE(site.announcement().find("serving the demo source"), std::string::npos)
      << site.announcement();
  httplib::Client client("127.0.0.1", site.port());
  const auto now = client.Get("/weather/right-now/62701");
  ASSERT_TRUE(now);
  EXPECT_NE(now->body.find("Demo forecast, "), std::string::npos);
  EXPECT_EQ(site.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace skycall

// libcurl is set up once for the whole suite, before any test's threads start.
namespace {
const bool kCurlReady = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
}
