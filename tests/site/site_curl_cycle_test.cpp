#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <string>

#include "fakes/FakeClock.h"
#include "fakes/VectorList.h"
#include "forecast/FetchCycle.h"
#include "platform/CurlFetcher.h"
#include "site/DemoSource.h"
#include "site_process.h"
#include "site_rows.h"

namespace skycall {
namespace {

std::chrono::year_month_day localToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return std::chrono::year(local.tm_year + 1900) /
         std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)) /
         std::chrono::day(static_cast<unsigned>(local.tm_mday));
}

// The program's own fetcher and fetch cycle against the site binary: the whole way a forecast
// takes to the rows the user hears.
TEST(SiteWithProgramFetcher, FetchCycleGetsAllFortyEightRows) {
  sitetest::SiteProcess site;
  ASSERT_GT(site.port(), 0) << site.announcement();

  for (const char* typed : {"Springfield, IL", "62701", "Cañon City CO"}) {
    const auto dayBefore = localToday();
    fakes::VectorList list;
    std::wstring location = fromUtf8(typed);
    CurlFetcher fetcher;
    fakes::FakeClock clock(
        sitetest::clockWeekday(std::chrono::weekday(std::chrono::sys_days(dayBefore))));
    runFetchCycle(list, location, fetcher, clock, site.host(), {});
    const auto dayAfter = localToday();
    ASSERT_EQ(dayBefore, dayAfter) << "midnight passed during the cycle; run again";
    EXPECT_EQ(sitetest::rowProblems(list.rows, demoForecast(typed, dayBefore)),
              std::vector<std::string>{})
        << typed;
  }
  EXPECT_EQ(site.stop(SIGTERM), 0);
}

}  // namespace
}  // namespace skycall
