// SPDX-License-Identifier: GPL-3.0-or-later
// One fetch cycle against the user's own forecast site on loopback, found and checked as the
// program finds and checks it, next to the curl command line fetching the same four addresses
// over one connection.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>

#include "forecast/FetchCycle.h"
#include "forecast/RowList.h"
#include "http/CurlFetcher.h"
#include "http/OwnSite.h"
#include "platform/SystemClock.h"

namespace {

using namespace skycall;

const std::string kHost = publishedSiteAddress();
constexpr wchar_t kLocation[] = L"12345";
constexpr std::array<const char*, 4> kPaths = {"/weather/right-now/", "/weather/today/",
                                               "/weather/tomorrow/", "/weather/tenday/"};

// A new fetcher for every cycle: one new connection, then the four pages over it, as at start.
void BM_FetchCycle(benchmark::State& state) {
  SystemClock clock;
  RowList list;
  for (auto _ : state) {
    CurlFetcher fetcher;
    fetcher.checkEachConnection(ownSitesOnly());
    try {
      runFetchCycle(list, kLocation, fetcher, clock.weekday(), kHost, {});
    } catch (const FetchError& e) {
      state.SkipWithError(e.what());
      return;
    }
  }
  if (list.count() != 48) state.SkipWithError("the site's pages did not give 48 rows");
}
BENCHMARK(BM_FetchCycle)->UseRealTime();

// The floor: `curl URL1 URL2 URL3 URL4` reuses its connection. Only the transfers count, by
// curl's own clock, not the start of the curl process.
void BM_CurlFourGetsFloor(benchmark::State& state) {
  std::string command = "curl --silent --show-error --fail --noproxy '*'";
  command += " --write-out '%{num_connects} %{time_total}\\n'";
  for (const char* path : kPaths) command += " --output /dev/null http://" + kHost + path + "12345";
  command += " 2>&1";
  for (auto _ : state) {
    const std::unique_ptr<FILE, int (*)(FILE*)> curl(popen(command.c_str(), "r"), pclose);
    if (!curl) {
      state.SkipWithError("curl could not be started");
      return;
    }
    std::string output;
    std::array<char, 256> chunk;
    while (std::fgets(chunk.data(), chunk.size(), curl.get())) output += chunk.data();
    std::istringstream lines(output);
    int connects = 0;
    int transfers = 0;
    double seconds = 0;
    int c = 0;
    double s = 0;
    while (lines >> c >> s) {
      connects += c;
      seconds += s;
      ++transfers;
    }
    if (transfers != 4 || connects != 1) {
      state.SkipWithError(
          ("curl did not fetch the four pages over one connection: " + output).c_str());
      return;
    }
    state.SetIterationTime(seconds);
  }
}
BENCHMARK(BM_CurlFourGetsFloor)->UseManualTime();

}  // namespace
