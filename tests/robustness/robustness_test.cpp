// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile conditions at the program's input edges: the scenarios under tests/fixtures/robustness
// through the program core with the real libcurl fetcher against a misbehaving loopback site,
// and saves killed at any moment.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "app/SettingsFile.h"
#include "fakes/LoopbackSite.h"
#include "fakes/Rig.h"
#include "http/CurlFetcher.h"

namespace skycall::fakes {
namespace {

// Limits short enough that every hostile transfer ends within a second: connect 0.5 s, total
// 1 s, under 100 B/s for 1 s, 1 MB, 5 redirects.
const CurlFetcher::FetchLimits kLimits{500, 1000, 100, 1, 1u << 20, 5};

// Adds `site FAULT | PAGE [| HOST]` (a new program on a new site serving the full forecast, with
// the fault on that page of the location Fault+Town; or on another host) and `targets | ...` (the
// request targets the site saw since the last look, as sent: no escapes).
TEST(Robustness, Scripts) {
  std::optional<LoopbackSite> site;
  std::optional<CurlFetcher> curl;
  Script s;
  std::map<std::string, std::string> pages;
  for (const std::string p : {"right-now", "today", "tomorrow", "tenday"})
    pages[p] = page(p + "-full.html").body;
  s.more["site"] = [&](const Texts& f) {
    curl.reset();  // its open connections closed before the site stops
    site.emplace();
    site->serveForecast(pages, "Fault+Town", f.at(1), static_cast<Fault>(std::stoi(f[0])));
    s.real = &curl.emplace(kLimits);
    s.host = f.size() > 2 ? bytes(f[2]) : site->host();  // or one that refuses or cannot resolve
    s.begin();
    s.rig->clock.day = 4;  // the day the full forecast was saved on
  };
  s.more["targets"] = [&](const Texts& f) { EXPECT_EQ(site->takeTargets(), f); };
  for (const auto& file : files("robustness", ".txt")) s.runFile(file);
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
    interrupted += entries(folder.dir) > 1;
  }
  EXPECT_GT(interrupted, 0) << "no kill landed inside a save: the test proved nothing";
}

}  // namespace
}  // namespace skycall::fakes
