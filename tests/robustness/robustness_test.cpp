// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile conditions at the program's input edges: the scenarios under
// tests/scenarios/robustness through the program core with the real libcurl fetcher against a
// misbehaving loopback site, and saves killed at any moment.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "app/SettingsFile.h"
#include "fakes/LoopbackSite.h"
#include "fakes/Scenario.h"
#include "http/CurlFetcher.h"

namespace skycall::fakes {
namespace {

// Limits short enough that every hostile transfer ends within a second: connect 0.5 s, total
// 1 s, under 100 B/s for 1 s, 1 MB, 5 redirects.
const CurlFetcher::FetchLimits kLimits{500, 1000, 100, 1, 1u << 20, 5};

void play(const Scenario& scenario) {
  std::optional<LoopbackSite> site;
  std::optional<CurlFetcher> curl;
  std::map<std::string, std::string> pages;
  for (const std::string p : {"right-now", "today", "tomorrow", "tenday"})
    pages[p] = page(path("pages/" + p + "-full.html")).body;
  Play(Play::Verbs{
           {"site",
            {"site FAULT | PAGE: a new program on a new loopback site, the fault on that "
             "page of Fault+Town (refused, unresolved: the host)",
             [&](Play& p, const Fields& f) {
               curl.reset();  // its open connections closed before the site stops
               site.emplace();
               const bool host = f.at(0) == "refused" || f[0] == "unresolved";
               site->serveForecast(pages, "Fault+Town", f.at(1),
                                   host ? Fault::None : faultNamed(f[0]));
               p.begin(&curl.emplace(kLimits), f[0] == "refused" ? "127.0.0.1:1"
                                               : f[0] == "unresolved"
                                                   ? std::string(64, 'u') + ".invalid:1"
                                                   : site->host());
               p.rig->clock.setWeekday(4);  // the day the full forecast was saved on
             }}},
           {"expect targets",
            {"expect targets | TARGET ...: what the site was asked since the last look, as sent",
             [&](Play&, const Fields& f) { Play::same(site->takeTargets(), f, "targets"); }}},
       })
      .run(scenario);
}

// A save killed at any moment leaves the settings file one whole version of itself.
TEST(SettingsFaults, ASaveKilledAtAnyMomentLeavesTheOldFileOrTheNew) {
  TempFolder folder;
  const auto file = folder.dir / "progress.ini";
  // Two versions of different lengths: any mix of them, or a cut, reads as neither.
  const std::string oldFile = " 0 \r\n 3 \r\n\r\nOld\r\n", newFile = std::string(3000, 'N');
  writeBytes(file, oldFile);
  std::mt19937 random(4242);
  int interrupted = 0;  // kills that left a save's temporary file behind
  for (int kill = 0; kill < 250; ++kill) {
    const pid_t saver = ::fork();
    ASSERT_GE(saver, 0);
    if (saver == 0)  // the child saves one version after the other; a failure aborts it
      [&]() noexcept {
        for (unsigned i = 0;; ++i) writeFileAtomically(file, i % 2 ? oldFile : newFile);
      }();
    ::usleep(static_cast<useconds_t>(random() % 4000));
    ::kill(saver, SIGKILL);
    int status = 0;
    ::waitpid(saver, &status, 0);
    ASSERT_EQ(WTERMSIG(status), SIGKILL) << "the saver stopped by itself: " << status;
    const std::string now = readBytes(file);
    ASSERT_TRUE(now == oldFile || now == newFile) << "kill " << kill << " left " << now.size();
    interrupted += std::distance(fs::directory_iterator(folder.dir), {}) > 1;
  }
  EXPECT_GT(interrupted, 0) << "no kill landed inside a save: the test proved nothing";
}

}  // namespace
}  // namespace skycall::fakes

int main(int argc, char** argv) {
  using namespace skycall::fakes;
  testing::InitGoogleTest(&argc, argv);
  registerScenarios("robustness", play);
  return RUN_ALL_TESTS();
}
