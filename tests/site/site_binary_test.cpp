#include <gtest/gtest.h>
#include <httplib.h>

#include <csignal>
#include <ctime>
#include <string>

#include "fakes/FakeClock.h"
#include "fakes/VectorList.h"
#include "forecast/FetchCycle.h"
#include "platform/CurlFetcher.h"
#include "site/DemoSource.h"
#include "site_live_fixtures.h"
#include "site_process.h"
#include "site_rows.h"

namespace skycall {
namespace {

using namespace std::chrono;
using sitetest::SiteProcess;

year_month_day localToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return year(local.tm_year + 1900) / month(local.tm_mon + 1) / day(local.tm_mday);
}

int statusOf(httplib::Client& client, const std::string& path) {
  const auto answer = client.Get(path);
  return answer ? answer->status : -1;
}

// The whole way a forecast takes: the program's own fetcher and fetch cycle against the site
// binary, down to the rows the user hears.
TEST(SiteBinary, GivesTheProgramsFetchCycleAllFortyEightRowsAndLogsEachRequest) {
  SiteProcess site;
  ASSERT_GT(site.port(), 0) << site.announcement();
  EXPECT_NE(site.announcement().find("demo source"), std::string::npos);
  for (const char* typed : {"Springfield, IL", "Cañon City CO"}) {
    const auto today = localToday();
    fakes::VectorList list;
    std::wstring location = fromUtf8(typed);
    CurlFetcher fetcher;
    const fakes::FakeClock clock(sitetest::clockWeekday(weekday(sys_days(today))));
    runFetchCycle(list, location, fetcher, clock, "127.0.0.1:" + std::to_string(site.port()), {});
    ASSERT_EQ(today, localToday()) << "midnight passed during the cycle; run again";
    EXPECT_EQ(sitetest::utf8Rows(list.rows), sitetest::expectedRows(demoForecast(typed, today)));
  }
  httplib::Client client("127.0.0.1", site.port());
  const auto page = client.Get("/weather/today/62701");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(statusOf(client, "/favicon.ico"), 404);

  EXPECT_EQ(site.stop(SIGINT), 0);
  const std::string log = site.log();
  EXPECT_NE(log.find(" GET /weather/tenday/Ca%C3%B1on+City+CO 200\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" GET /favicon.ico 404\n"), std::string::npos) << log;
}

TEST(SiteBinary, StopsCleanlyOnTerminateAndRefusesAnAddressOffThisMachine) {
  SiteProcess site;
  EXPECT_EQ(site.stop(SIGTERM), 0);
  SiteProcess open({"--listen", "0.0.0.0:0"});  // the later flag wins
  EXPECT_EQ(open.port(), 0);
  EXPECT_EQ(open.stop(SIGTERM), 2);
}

// "auto" serves live weather when the services answer: a place's pages, an unknown place's
// error status; when they do not answer, the demo forecast.
TEST(SiteBinary, AutoSourceServesLiveWeatherOrTheDemo) {
  sitetest::FakeWeatherServices services;
  SiteProcess live({"--source", "auto", "--timeout", "2", "--geocoding-url",
                    services.geocodingUrl(), "--forecast-url", services.forecastUrl()});
  ASSERT_GT(live.port(), 0) << live.announcement();
  EXPECT_NE(live.announcement().find("serving the live source"), std::string::npos);
  httplib::Client client("127.0.0.1", live.port());
  client.set_url_encode(false);
  const auto today = client.Get("/weather/today/Springfield,+IL");
  ASSERT_TRUE(today);
  EXPECT_EQ(today->status, 200);
  EXPECT_NE(today->body.find("NW 12 mph"), std::string::npos);
  EXPECT_EQ(statusOf(client, "/weather/today/Nowhere,+IL"), 404);
  EXPECT_EQ(live.stop(SIGTERM), 0);

  SiteProcess demo({"--source", "auto", "--timeout", "1", "--geocoding-url",
                    "http://127.0.0.1:1/v1/search", "--forecast-url",
                    "http://127.0.0.1:1/v1/forecast"});
  EXPECT_NE(demo.announcement().find("serving the demo source"), std::string::npos);
  const auto now = httplib::Client("127.0.0.1", demo.port()).Get("/weather/right-now/62701");
  ASSERT_TRUE(now);
  EXPECT_NE(now->body.find("Demo forecast, "), std::string::npos);
}

}  // namespace
}  // namespace skycall
