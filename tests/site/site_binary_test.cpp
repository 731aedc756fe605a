#include <gtest/gtest.h>
#include <httplib.h>

#include <csignal>
#include <string>

#include "forecast/MarkerScan.h"
#include "forecast/PageSteps.h"
#include "forecast/TextCodec.h"
#include "site_process.h"

namespace skycall {
namespace {

using sitetest::SiteProcess;

TEST(SiteBinary, ServesThePagesOnLoopbackAndLogsEachRequest) {
  SiteProcess site;
  ASSERT_GT(site.port(), 0) << "announcement: " << site.announcement();
  EXPECT_NE(site.announcement().find("demo source"), std::string::npos);

  httplib::Client client("127.0.0.1", site.port());
  client.set_url_encode(false);  // send the path as the program does
  const auto today = client.Get("/weather/today/Springfield%2C+IL");
  ASSERT_TRUE(today);
  EXPECT_EQ(today->status, 200);
  EXPECT_EQ(today->get_header_value("Content-Type"), "text/html; charset=utf-8");
  EXPECT_EQ(scanPage(decodePage(today->body, "utf-8"), todayTomorrowSteps()).size(), 6u);
  EXPECT_NE(today->body.find("Springfield, IL"), std::string::npos);

  const auto now = client.Get("/weather/right-now/62701");
  ASSERT_TRUE(now);
  const auto rows = scanPage(decodePage(now->body, "utf-8"), currentConditionsSteps());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(toUtf8(rows[2]).find("Demo forecast, "), 7u);  // after the line break and indent

  for (const char* missing : {"/", "/weather/today", "/weather/hourly/62701", "/favicon.ico"}) {
    const auto answer = client.Get(missing);
    ASSERT_TRUE(answer) << missing;
    EXPECT_EQ(answer->status, 404) << missing;
  }

  EXPECT_EQ(site.stop(SIGTERM), 0);
  const std::string log = site.log();
  EXPECT_NE(log.find(" GET /weather/today/Springfield%2C+IL 200\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" GET /favicon.ico 404\n"), std::string::npos) << log;
}

TEST(SiteBinary, StopsCleanlyOnInterruptAndTerminate) {
  for (int signal : {SIGINT, SIGTERM}) {
    SiteProcess site;
    ASSERT_GT(site.port(), 0);
    EXPECT_EQ(site.stop(signal), 0) << "signal " << signal;
  }
}

TEST(SiteBinary, RefusesAnAddressOffThisMachine) {
  SiteProcess site({"--listen", "0.0.0.0:0"});  // the later flag wins
  EXPECT_EQ(site.port(), 0);
  EXPECT_EQ(site.stop(SIGTERM), 2);
}

}  // namespace
}  // namespace skycall
