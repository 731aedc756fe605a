// Every way a page fetch can go wrong, met by the whole program with the real libcurl fetcher:
// at start-up and during a location change the program keeps running, says what it must, keeps
// the rows fetched before the fault, and never blocks past the time-out.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netdb.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <iomanip>
#include <optional>
#include <sstream>

#include "fixtures/Fixtures.h"
#include "robustness/FaultSite.h"
#include "robustness/RealFetchRig.h"

namespace {
std::atomic<int> reservedNamesAnswered{0};
}

// Names under ".invalid" never resolve, and asking the machine's name server to confirm that
// would send a query off the machine, so this suite answers them itself. libcurl looks names up
// through getaddrinfo, and a definition in the executable comes before the C library's.
extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
  const std::string_view name = node ? node : "";
  if (name.size() >= 8 && name.substr(name.size() - 8) == ".invalid") {
    ++reservedNamesAnswered;
    return EAI_NONAME;
  }
  using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
  static const auto systemLookup = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
  return systemLookup(node, service, hints, result);
}

namespace skycall::robustness {
namespace {

using Rows = std::vector<std::wstring>;

const std::vector<std::string> kPages = {"right-now", "today", "tomorrow", "tenday"};
const std::string kCouldNotLoad = "The forecast could not be loaded.";
// The total time-out plus the time it takes libcurl to notice, with room for a loaded machine.
constexpr double kLongestCycleSeconds = 3.0 + 1.5;

enum class Where { Site, RefusedHost, UnresolvedHost };

struct FaultCase {
  std::string name;
  Where where;
  Fault fault;
  std::string page;    // the page that goes wrong; the pages before it come in whole
  bool transferFails;  // false: the page arrives, but is no forecast
};

const FaultCase kCases[] = {
    {"full forecast (control)", Where::Site, Fault::None, "", false},
    {"connection refused", Where::RefusedHost, Fault::None, "right-now", true},
    {"host does not resolve", Where::UnresolvedHost, Fault::None, "right-now", true},
    {"accepts, never answers", Where::Site, Fault::NeverAnswers, "tomorrow", true},
    {"slow drip, 4 bytes/s", Where::Site, Fault::SlowDrip, "tomorrow", true},
    {"404 with a forecast body", Where::Site, Fault::NotFound, "tomorrow", true},
    {"500 with a forecast body", Where::Site, Fault::ServerError, "tomorrow", true},
    {"body cut off mid-transfer", Where::Site, Fault::CutOff, "today", true},
    {"50 MB body", Where::Site, Fault::FiftyMegabytes, "tomorrow", true},
    {"redirect loop", Where::Site, Fault::RedirectLoop, "tomorrow", true},
    {"invalid UTF-8", Where::Site, Fault::InvalidUtf8, "tenday", false},
    {"binary garbage", Where::Site, Fault::BinaryGarbage, "tenday", false},
};

Rows expectedRows(const FaultCase& c) {
  const Rows full = fixtures::rows("pages/cycle-full.rows");
  if (!c.transferFails) return c.page.empty() ? full : Rows(full.begin(), full.begin() + 18);
  // A failed page ends the cycle with the pages before it as scanned, not yet cleaned.
  Rows rows;
  for (auto page = kPages.begin(); *page != c.page; ++page) {
    for (const auto& row : fixtures::page(*page + "-full").rows) rows.push_back(row);
    rows.push_back(L"-----");
  }
  return rows;
}

// One run through the program; its row of the matrix goes to table.
void runCase(const FaultCase& c, bool atStartUp, std::ostream& table) {
  std::optional<FaultSite> site(std::in_place, "Fault+Town", c.page, c.fault);
  const std::string host = c.where == Where::UnresolvedHost
                               ? "forecast.invalid" + site->host().substr(site->host().find(':'))
                               : site->host();
  const std::string settings = settingsFile(" 0 ", " 3 ", atStartUp ? "Fault Town" : "Home");
  RealFetchRig rig(host, settings);
  if (!atStartUp) {
    EXPECT_TRUE(rig.form->start());
    EXPECT_EQ(rig.rows().size(), c.where == Where::UnresolvedHost ? 0u : 48u);
    rig.press(13);
    rig.log.entries.clear();
    rig.fetcher.addresses.clear();
  }
  if (c.where == Where::RefusedHost) site.reset();

  const auto started = SteadyClock::now();
  if (atStartUp)
    EXPECT_TRUE(rig.form->start());
  else
    rig.changeLocation(L"Fault Town");
  const double seconds = secondsSince(started);
  const std::vector<std::string> heard = rig.spoken();

  // At start-up the failure is heard joined to the welcome, and logged.
  const std::string welcome = "Welcome to Skycall. Version 0.3b, by Korvel.";
  const std::string prompt =
      "Enter your zip code or type the city and state you wish to know about.";
  std::vector<std::string> expected = {prompt, "Location changed to Fault Town"};
  if (atStartUp)
    expected = {"Loading the forecast.", welcome + (c.transferFails ? "  " + kCouldNotLoad : "")};
  else if (c.transferFails)
    expected.push_back(expected.back() + "  " + kCouldNotLoad);
  EXPECT_EQ(heard, expected);
  const std::string log = fakes::readBytes(rig.workingFolder.path() / "debuglog.txt");
  EXPECT_TRUE(!atStartUp || (log.find("error: ") != std::string::npos) == c.transferFails) << log;
  EXPECT_LT(seconds, kLongestCycleSeconds);
  // A failed page ends the cycle: no later page is asked for.
  const auto failedPage = std::find(kPages.begin(), kPages.end(), c.page) - kPages.begin();
  EXPECT_EQ(rig.fetcher.addresses.size(), c.transferFails ? failedPage + 1u : 4u);
  EXPECT_EQ(rig.rows(), expectedRows(c));
  EXPECT_EQ(rig.form->Location, L"Fault+Town");
  EXPECT_FALSE(rig.form->FetchRunning);
  EXPECT_EQ(fakes::readBytes(rig.settingsPath()), settings);
  rig.press(38);  // Up: the location topic, from wherever the menu stands
  EXPECT_EQ(rig.spoken().back(), "Location is set to Fault+Town.  Press Enter to change it.");
  table << "| " << c.name << " | " << (atStartUp ? "start-up" : "location change") << " | "
        << (heard.size() > 1 ? heard.back() : "(nothing more)") << " | " << rig.rows().size()
        << " | " << std::fixed << std::setprecision(3) << seconds << " s |\n";
}

TEST(FetchFaultMatrix, EveryFaultAtStartUpAndDuringALocationChange) {
  std::ostringstream table;
  table << "| Case | When | What the user heard | Rows kept | Time taken |\n";
  table << "|---|---|---|---|---|\n";
  for (const FaultCase& c : kCases) {
    for (const bool atStartUp : {true, false}) {
      SCOPED_TRACE(c.name + (atStartUp ? " at start-up" : " during a location change"));
      runCase(c, atStartUp, table);
    }
  }
  EXPECT_GT(reservedNamesAnswered, 0) << "the unresolvable host went to the name server";
  std::cout << "\nFetch fault matrix (connect 1 s, total 3 s, under 100 B/s for 2 s, cap 1 MB):\n"
            << table.str() << std::flush;
  std::ofstream(std::string(SKYCALL_REPORT_FOLDER) + "/fetch-fault-matrix.md") << table.str();
}

}  // namespace
}  // namespace skycall::robustness
