#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/FakeFetcher.h"
#include "fakes/VectorList.h"
#include "fixtures/Fixtures.h"
#include "forecast/FetchCycle.h"

namespace skycall {
namespace {

const std::string kHost = "localhost:8722";

struct Cycle {
  fakes::VectorList list;
  fakes::FakeFetcher fetcher;
  fakes::FakeClock clock{4};  // Wednesday
  std::vector<std::string> events;

  Cycle() {
    fetcher.onFetch = [this](const std::string& address) { events.push_back("fetch " + address); };
  }
  void serveFullForecast() {
    for (const std::string page : {"right-now", "today", "tomorrow", "tenday"})
      fetcher.pages["/weather/" + page + "/"] = {fixtures::page(page + "-full").body, "utf-8"};
  }
  void run(std::wstring& location) {
    runFetchCycle(list, location, fetcher, clock, kHost, [this] { events.push_back("pump"); });
  }
};

TEST(FetchCycle, FullForecastGivesTheFortyEightSpokenRows) {
  Cycle cycle;
  cycle.serveFullForecast();
  cycle.list.append(L"a row from the previous cycle");
  std::wstring location = L"62701";
  cycle.run(location);

  ASSERT_EQ(cycle.list.rows.size(), 48u);
  EXPECT_EQ(cycle.list.rows, fixtures::rows("pages/cycle-full.rows"));
  for (int separator : {3, 10, 17}) EXPECT_EQ(cycle.list.rows[separator], L"-----");
}

TEST(FetchCycle, AddressesCarryTheLocationAndTheCallerSeesItRewritten) {
  struct Case {
    std::wstring location;
    std::wstring stored;
    std::string suffix;
  };
  const Case cases[] = {
      {L"San Antonio TX", L"San+Antonio+TX", "San+Antonio+TX"},
      {L"90210", L"90210", "90210"},
      {L"", L"", ""},
      {L" a  b ", L"+a++b+", "+a++b+"},
  };
  for (const Case& c : cases) {
    Cycle cycle;
    std::wstring location = c.location;
    cycle.run(location);
    EXPECT_EQ(location, c.stored);
    EXPECT_EQ(cycle.list.rows, std::vector<std::wstring>(3, L"-----"));  // empty pages
    // The four pages in order, with one event pump after each.
    const std::string base = "fetch http://" + kHost + "/weather/";
    EXPECT_EQ(cycle.events,
              (std::vector<std::string>{
                  base + "right-now/" + c.suffix, "pump", base + "today/" + c.suffix, "pump",
                  base + "tomorrow/" + c.suffix, "pump", base + "tenday/" + c.suffix, "pump"}));
  }
}

TEST(FetchCycle, AFailedFetchStopsTheCycleKeepingTheRowsSoFarUnnormalised) {
  Cycle cycle;
  cycle.serveFullForecast();
  cycle.fetcher.failOn = "/weather/tomorrow/";
  std::wstring location = L"62701";
  EXPECT_THROW(cycle.run(location), FetchError);

  std::vector<std::wstring> expected = fixtures::page("right-now-full").rows;
  expected.push_back(L"-----");
  for (const std::wstring& row : fixtures::page("today-full").rows) expected.push_back(row);
  expected.push_back(L"-----");
  EXPECT_EQ(cycle.list.rows, expected);  // no separator for the failed page, nothing spelled out
  EXPECT_EQ(cycle.fetcher.addresses.size(), 3u);
  EXPECT_EQ(cycle.events.back(), "fetch http://" + kHost + "/weather/tomorrow/62701");
}

TEST(FetchCycle, EachPageIsDecodedByTheCharsetItsResponseDeclared) {
  Cycle cycle;
  // As UTF-8 these bytes would be one degree sign; declared latin-1 they are two characters.
  cycle.fetcher.pages["/weather/right-now/"] = {
      "temperature-fahrenheit\">\xC2\xB0"
      "F<",
      "iso-8859-1"};
  std::wstring location = L"62701";
  cycle.run(location);
  EXPECT_EQ(cycle.list.row(0), L"Currently \u00C2\u00B0F degrees.");
}

}  // namespace
}  // namespace skycall
