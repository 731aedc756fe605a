// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile conditions at the program's input edges, through the program core with the real
// libcurl fetcher against a misbehaving loopback site, and saves killed at any moment.
#include <dlfcn.h>
#include <netdb.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>

#include "app/SettingsFile.h"
#include "fakes/LoopbackSite.h"
#include "fakes/Rig.h"
#include "platform/CurlFetcher.h"

namespace {
std::atomic<int> reservedNamesAnswered{0};
}

// Names under ".invalid" never resolve, and asking the machine's name server to confirm that
// would send a query off the machine, so this suite answers them itself: libcurl looks names up
// through getaddrinfo, and a definition in the executable comes before the C library's.
extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints,
                           addrinfo** result) {
  if (node && std::string_view(node).ends_with(".invalid"))
    return ++reservedNamesAnswered, EAI_NONAME;
  using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
  static const auto systemLookup = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
  return systemLookup(node, service, hints, result);
}

namespace skycall::fakes {
namespace {

// Limits short enough that every hostile transfer ends within a second.
const CurlFetcher::FetchLimits kLimits{.connectTimeoutMs = 500,
                                       .totalTimeoutMs = 1000,
                                       .lowSpeedBytesPerSec = 100,
                                       .lowSpeedSeconds = 1,
                                       .maxBodyBytes = 1u << 20,
                                       .maxRedirects = 5};
const Texts kPages = {"right-now", "today", "tomorrow", "tenday"};

std::map<std::string, std::string> fullForecast() {
  std::map<std::string, std::string> pages;
  for (const auto& p : kPages) pages[p] = page(p + "-full").body;
  return pages;
}

// A script on the real fetcher, its program started (or not) with a location saved.
void started(Script& s, CurlFetcher& curl, const std::string& host, const std::string& location,
             bool start) {
  s.real = &curl;
  s.host = host;
  s.begin();
  s.rig->clock.day = 4;  // the day the full forecast was saved on
  s.step("saved  0  |  3  | " + location);
  if (start) s.step("start");
}

// Each fault of the table, met at start-up and during a location change: the user hears of a
// failure, keeps the rows scanned before it, and the location is kept and saved as it was.
TEST(FetchFaultMatrix, EveryFaultAtStartUpAndDuringALocationChange) {
  for (const TableRow& row : table(path("robustness/faults.txt")))
    for (const bool atStart : {true, false}) {
      const auto& f = row.fields;
      SCOPED_TRACE(row.where + (atStart ? " at start-up" : " during a location change"));
      std::optional<LoopbackSite> site(std::in_place);
      site->serveForecast(fullForecast(), "Fault+Town", f[3], static_cast<Fault>(std::stoi(f[2])));
      const std::string host = site->host();
      CurlFetcher curl{kLimits};  // its open connections closed before the site stops
      Script s;
      started(s, curl, f[1] == "unresolved" ? "forecast.invalid:" + host.substr(10) : host,
              atStart ? "Fault Town" : "Home", !atStart);
      if (f[1] == "refused") site.reset();
      const auto begun = std::chrono::steady_clock::now();
      for (const std::string& step : Texts{"key 13", "forget", "answers Fault Town", "key 13"})
        s.step(atStart ? "forget" : step);
      if (atStart) s.step("start");
      // The total time-out, and time for libcurl to notice on a loaded machine.
      const std::chrono::duration<double> took = std::chrono::steady_clock::now() - begun;
      EXPECT_LT(took.count(), 2.0);
      std::cout << f[0] << (atStart ? " at start-up: " : " in a change: ") << took.count()
                << " s\n";
      const std::string failed = f[4] == "1" ? "The forecast could not be loaded." : "";
      if (atStart) {
        s.step(
            "expect said | Loading the forecast. | Welcome to Skycall. Version 0.3b, by Korvel." +
            (failed.empty() ? "" : "  " + failed));
        EXPECT_EQ(
            readBytes(s.folder("working") / "debuglog.txt").find("error: ") != std::string::npos,
            !failed.empty());
      } else {
        s.step(
            "expect said | Enter your zip code or type the city and state you wish to know "
            "about. | Location changed to Fault Town" +
            (failed.empty() ? "" : " | Location changed to Fault Town  " + failed));
      }
      EXPECT_EQ(s.since(L"fetch ").size(), std::stoul(f[5]));
      std::string rows = "expect rows";
      for (std::size_t i = 6; i < f.size(); ++i) rows += " | " + f[i];
      s.step(rows);
      for (const std::string& step : Texts{"expect location | Fault+Town", "expect fetching | 0"})
        s.step(step);
      s.step("expect saved |  0  |  3  | " + std::string(atStart ? "Fault Town" : "Home"));
      s.step("key 38");
      EXPECT_EQ(s.since(L"voice3: ").back(),
                L"Location is set to Fault+Town.  Press Enter to change it.");
    }
  EXPECT_GT(reservedNamesAnswered, 0) << "the unresolvable host went to the name server";
}

// Each still makes one well-formed request per page, and is saved as one line that reads back
// whole.
TEST(HostileLocations, OneWellFormedRequestPerPageAndOneSettingsLine) {
  LoopbackSite site;
  site.serveForecast(fullForecast());
  CurlFetcher curl{kLimits};
  for (const TableRow& row : table(path("robustness/hostile.txt"))) {
    SCOPED_TRACE(row.where);
    const auto& f = row.fields;
    Script s;
    started(s, curl, site.host(), "Home Town", true);
    site.takeTargets();
    for (const std::string& step : Texts{"key 13", "forget", "answers " + f[0], "key 13"})
      s.step(step);
    // The site's http server, like the real one's, refuses request lines past 8 KB: that
    // location's first page fails as any refused page does, and only its address is checked.
    const std::string encoded = bytes(f[2]);
    const bool fits = encoded.size() < 8000;
    Texts targets;
    Said addresses;
    for (const std::string& page : kPages) {
      targets.push_back("/weather/" + page + "/" + encoded);
      addresses.push_back(text("http://" + site.host() + "/weather/" + page + "/" + f[2]));
    }
    if (!fits) addresses.resize(1), targets.clear();
    EXPECT_TRUE(s.since(L"fetch ") == addresses);
    EXPECT_TRUE(site.takeTargets() == targets);
    EXPECT_EQ(s.rig->list.rows.size(), fits ? 48u : 0u);
    s.real = nullptr;
    for (const std::string& step :
         Texts{"expect location | " + f[1], "key 27 | 1", "restart", "start", "expect prompts | 0",
               "expect location | " + f[1]})
      s.step(step);
  }
}

// A save killed at any moment leaves the settings file one whole version of itself.
TEST(SettingsFaults, ASaveKilledAtAnyMomentLeavesTheOldFileOrTheNew) {
  TempFolder folder;
  const auto file = folder.dir / "progress.ini";
  // Two versions of different lengths: any mix of them, or a cut, reads as neither.
  const std::string oldFile = settingsFile(" 0 ", " 3 ", "Old+Town"),
                    newFile = settingsFile(" 2 ", "-4 ", std::string(3000, 'N'));
  writeBytes(file, oldFile);
  std::mt19937 random(4242);
  int interrupted = 0;  // kills that left a save's temporary file behind
  for (int kill = 0; kill < 250; ++kill) {
    const pid_t saver = ::fork();
    ASSERT_GE(saver, 0);
    for (unsigned i = 0; saver == 0; ++i) try {  // the child saves one version after the other
        writeFileAtomically(file, i % 2 ? oldFile : newFile);
      } catch (...) {
        ::_exit(3);
      }
    ::usleep(static_cast<useconds_t>(random() % 4000));
    ::kill(saver, SIGKILL);
    int status = 0;
    ::waitpid(saver, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saver stopped by itself: " << status;
    const std::string now = readBytes(file);
    ASSERT_TRUE(now == oldFile || now == newFile) << "kill " << kill << " left " << now.size();
    interrupted += std::distance(fs::directory_iterator(folder.dir), fs::directory_iterator()) > 1;
  }
  EXPECT_GT(interrupted, 0) << "no kill landed inside a save: the test proved nothing";
}

}  // namespace
}  // namespace skycall::fakes
