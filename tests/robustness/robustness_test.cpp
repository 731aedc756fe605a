// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile conditions at the program's input edges, through the program core with the real
// libcurl fetcher against a misbehaving loopback site, and saves killed at any moment.
#include <dlfcn.h>
#include <netdb.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <iomanip>

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
  const std::string_view name = node ? node : "";
  if (name.ends_with(".invalid")) return ++reservedNamesAnswered, EAI_NONAME;
  using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
  static const auto systemLookup = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
  return systemLookup(node, service, hints, result);
}

namespace skycall {
namespace {

using namespace fixtures;
using fakes::Fault;
using fakes::Script;

// Limits short enough that every hostile transfer ends within seconds.
CurlFetcher curl{{.connectTimeoutMs = 1000,
                  .totalTimeoutMs = 3000,
                  .lowSpeedBytesPerSec = 100,
                  .lowSpeedSeconds = 2,
                  .maxBodyBytes = 1u << 20,
                  .maxRedirects = 5}};
const std::vector<std::string> kPages = {"right-now", "today", "tomorrow", "tenday"};

std::map<std::string, std::string> fullForecast() {
  std::map<std::string, std::string> pages;
  for (const auto& p : kPages) pages[p] = page(p + "-full").body;
  return pages;
}

// A started script on the real fetcher; the clock reads the day the full forecast was saved on.
void started(Script& s, const std::string& host, const std::string& location, bool start = true) {
  s.real = &curl;
  s.host = host;
  s.begin();
  s.rig->clock.day = 4;
  writeBytes(s.rig->settingsPath(), settingsFile(" 0 ", " 3 ", location));
  if (start) {
    EXPECT_TRUE(s.rig->form->start());
  }
}

void change(Script& s, const std::string& typed) {
  s.step("key 13");
  s.forget();
  s.step("answers " + typed);
  s.step("key 13");
}

TEST(FetchFaultMatrix, EveryFaultAtStartUpAndDuringALocationChange) {
  std::ostringstream table;
  table
      << "| Case | When | What the user heard | Rows kept | Time taken |\n|---|---|---|---|---|\n";
  for (const TableRow& row : fixtures::table(path("robustness/faults.txt")))
    for (const bool atStartUp : {true, false}) {
      const auto& f = row.fields;
      SCOPED_TRACE(f[0] + (atStartUp ? " at start-up" : " during a location change"));
      const bool fails = f[4] == "1";
      std::optional<fakes::LoopbackSite> site(std::in_place);
      site->serveForecast(fullForecast(), "Fault+Town", f[3], static_cast<Fault>(std::stoi(f[2])));
      const std::string host =
          (f[1] == "unresolved" ? "forecast.invalid:" + site->host().substr(10) : site->host());
      Script s;
      started(s, host, atStartUp ? "Fault Town" : "Home", !atStartUp);
      if (f[1] == "refused") site.reset();
      const auto begun = std::chrono::steady_clock::now();
      if (atStartUp)
        EXPECT_TRUE(s.rig->form->start());
      else
        change(s, "Fault Town");
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
      EXPECT_LT(
          seconds,
          3.0 + 1.5);  // the total time-out, and time for libcurl to notice on a loaded machine
      const std::string welcome = "Welcome to Skycall. Version 0.3b, by Korvel.",
                        failed = "The forecast could not be loaded.";
      if (atStartUp) {
        s.step("expect said | Loading the forecast. | " + welcome + (fails ? "  " + failed : ""));
        EXPECT_EQ(readBytes(s.rig->workingFolder.path() / "debuglog.txt").find("error: ") !=
                      std::string::npos,
                  fails);
      } else {
        s.step(
            "expect said | Enter your zip code or type the city and state you wish to know about. "
            "| Location changed to Fault Town" +
            (fails ? " | Location changed to Fault Town  " + failed : ""));
      }
      // A failed page ends the cycle with the pages before it as scanned; no later page is asked
      // for.
      const auto bad = std::find(kPages.begin(), kPages.end(), f[3]) - kPages.begin();
      if (fails) {
        std::string rows = "expect rows";
        for (long p = 0; p < bad; ++p) rows += " | @page:" + kPages[p] + "-full | -----";
        s.step(rows);
      } else {  // a page that is no forecast gives no rows of its own
        std::istringstream in(readBytes(path("pages/cycle-full.rows")));
        auto full = fixtures::rows(in);
        if (!f[3].empty()) full.resize(18);
        EXPECT_EQ(s.rig->window.list.rows, full);
      }
      EXPECT_EQ(s.rig->fetcher.addresses.size(), fails ? bad + 1u : 4u);
      s.step("expect location | Fault+Town");
      s.step("expect fetching | 0");
      s.step("expect saved |  0  |  3  | " + std::string(atStartUp ? "Fault Town" : "Home"));
      s.step("key 38");
      EXPECT_EQ(s.since(L"voice3: ").back(),
                L"Location is set to Fault+Town.  Press Enter to change it.");
      table << "| " << f[0] << " | " << (atStartUp ? "start-up" : "location change") << " | "
            << (fails ? failed : "(nothing more)") << " | " << s.rig->window.list.rows.size()
            << " | " << std::fixed << std::setprecision(3) << seconds << " s |\n";
    }
  EXPECT_GT(reservedNamesAnswered, 0) << "the unresolvable host went to the name server";
  std::cout << "\nFetch fault matrix (connect 1 s, total 3 s, under 100 B/s for 2 s, cap 1 MB):\n"
            << table.str();
  std::ofstream(std::string(SKYCALL_REPORT_FOLDER) + "/fetch-fault-matrix.md") << table.str();
}

// Each still makes one well-formed request per page, and is saved as one line that reads back
// whole.
TEST(HostileLocations, OneWellFormedRequestPerPageAndOneSettingsLine) {
  fakes::LoopbackSite site;
  site.serveForecast(fullForecast());
  for (const TableRow& row : fixtures::table(path("robustness/hostile.txt"))) {
    SCOPED_TRACE(row.where);
    const auto& f = row.fields;
    Script s;
    started(s, site.host(), "Home Town");
    site.takeTargets();
    change(s, f[0]);
    // The site's http server, like the real one's, refuses request lines past 8 KB: that
    // location's first page fails as any refused page does, and only its address is checked.
    const std::string encoded = bytes(f[2]);
    const bool fits = encoded.size() < 8000;
    std::vector<std::string> targets, addresses;
    for (const std::string& page : kPages) {
      targets.push_back("/weather/" + page + "/" + encoded);
      addresses.push_back("http://" + site.host() + targets.back());
    }
    if (!fits) addresses.resize(1), targets.clear();
    EXPECT_TRUE(s.rig->fetcher.addresses == addresses);
    EXPECT_TRUE(site.takeTargets() == targets);
    EXPECT_EQ(s.rig->window.list.rows.size(), fits ? 48u : 0u);
    s.step("expect location | " + f[1]);
    s.step("key 27 | 1");
    s.step("restart");
    s.rig->fetcher.real = nullptr;
    s.step("start");
    s.step("expect prompts | 0");
    s.step("expect location | " + f[1]);
  }
}

// A save killed at any moment leaves the settings file one whole version of itself.
TEST(SettingsFaults, ASaveKilledAtAnyMomentLeavesTheOldFileOrTheNew) {
  TempFolder folder;
  const auto file = folder.path() / "progress.ini";
  // Two versions of different lengths: any mix of them, or a cut, reads as neither.
  const std::string oldFile = settingsFile(" 0 ", " 3 ", "Old+Town"),
                    newFile = settingsFile(" 2 ", "-4 ", std::string(3000, 'N'));
  writeBytes(file, oldFile);
  std::mt19937 random(4242);
  int interrupted = 0;  // kills that left a save's temporary file behind
  const auto count = [&] {
    return std::distance(fs::directory_iterator(folder.path()), fs::directory_iterator());
  };
  for (int kill = 0; kill < 250; ++kill) {
    const auto before = count();
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
    interrupted += count() > before;
  }
  EXPECT_GT(interrupted, 0) << "no kill landed inside a save: the test proved nothing";
}

}  // namespace
}  // namespace skycall
