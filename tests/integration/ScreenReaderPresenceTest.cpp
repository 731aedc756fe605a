// SPDX-License-Identifier: GPL-3.0-or-later
// Which Orca counts as this desktop's screen reader: one of this user's whose session bus and
// displays are ours, or that does not say which it has; never another desktop's.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fakes/Fixtures.h"
#include "platform/ScreenReaderPresence.h"

namespace skycall {
namespace {

namespace fs = std::filesystem;

constexpr char kOurBus[] = "unix:path=/nonexistent/skycall-test-bus";
constexpr char kOurDisplay[] = ":4321";

// A sleeping process under the given name, with the given environment, for as long as it lives.
class Process {
 public:
  Process(const fs::path& folder, const std::string& name, std::vector<std::string> environment) {
    const fs::path file = folder / name;
    fs::copy_file("/bin/sleep", file, fs::copy_options::overwrite_existing);
    std::string program = file;
    std::string seconds = "60";
    char* argv[] = {program.data(), seconds.data(), nullptr};
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, argv, envp.data()) != 0) pid_ = -1;
    // posix_spawn returns once the new program's memory is in place, a moment before the
    // process takes its name: wait for the name, as an Orca started earlier has it.
    const fs::path comm = "/proc/" + std::to_string(pid_) + "/comm";
    for (int tries = 0; tries < 1000 && pid_ > 0 && nameIn(comm) != name; ++tries) ::usleep(1000);
  }
  ~Process() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  bool started() const { return pid_ > 0; }

 private:
  static std::string nameIn(const fs::path& comm) {
    std::string name;
    std::getline(std::ifstream(comm), name);
    return name;
  }

  pid_t pid_ = -1;
};

TEST(ScreenReaderPresence, AnOrcaCountsOnlyOnThisDesktop) {
  ::setenv("DBUS_SESSION_BUS_ADDRESS", kOurBus, 1);
  ::setenv("DISPLAY", kOurDisplay, 1);
  ::unsetenv("WAYLAND_DISPLAY");
  const std::string ourBus = std::string("DBUS_SESSION_BUS_ADDRESS=") + kOurBus;
  const std::string ourDisplay = std::string("DISPLAY=") + kOurDisplay;
  struct Case {
    const char* name;
    const char* process;
    std::vector<std::string> environment;
    bool counts;
  };
  const Case cases[] = {
      {"ours", "orca", {ourBus, ourDisplay, "WAYLAND_DISPLAY=wayland-7"}, true},
      {"says-nothing", "orca", {"HOME=/tmp"}, true},
      {"other-display", "orca", {ourBus, "DISPLAY=:4322"}, false},
      {"other-bus", "orca", {"DBUS_SESSION_BUS_ADDRESS=unix:path=/x", ourDisplay}, false},
      {"not-orca", "orca-helper", {ourBus, ourDisplay}, false},
  };
  fixtures::TempFolder folder;
  ASSERT_FALSE(screenReaderRunning()) << "an Orca of this desktop before any was started";
  for (const Case& c : cases) {
    const Process process(folder.dir, c.process, c.environment);
    ASSERT_TRUE(process.started()) << c.name;
    EXPECT_EQ(screenReaderRunning(), c.counts) << c.name;
  }
}

}  // namespace
}  // namespace skycall
