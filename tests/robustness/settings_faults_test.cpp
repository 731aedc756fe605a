// A save killed at any moment: the settings file is always one whole version of itself, and
// the program starts from it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "app/SettingsFile.h"
#include "robustness/RealFetchRig.h"

namespace skycall::robustness {
namespace {

using fakes::readBytes;
using fakes::TestRig;
using fakes::writeBytes;

std::size_t filesIn(const std::filesystem::path& folder) {
  return std::distance(std::filesystem::directory_iterator(folder),
                       std::filesystem::directory_iterator());
}

TEST(SettingsFaults, ASaveKilledAtAnyMomentLeavesTheOldFileOrTheNew) {
  TestRig rig;
  const auto path = rig.settingsPath();
  // Two versions of different lengths: any mix of them, or a cut, reads as neither.
  const std::string oldFile = settingsFile(" 0 ", " 3 ", "Old+Town");
  const std::string newFile = settingsFile(" 2 ", "-4 ", std::string(3000, 'N'));
  writeBytes(path, oldFile);
  std::mt19937 random(4242);
  int interrupted = 0;  // kills that left a save's temporary file behind
  for (int kill = 0; kill < 250; ++kill) {
    const std::size_t filesBefore = filesIn(path.parent_path());
    const pid_t saver = ::fork();
    ASSERT_GE(saver, 0);
    for (unsigned i = 0; saver == 0; ++i) {  // the child saves one version after the other
      try {
        writeFileAtomically(path, i % 2 ? oldFile : newFile);
      } catch (...) {
        ::_exit(3);
      }
    }
    ::usleep(static_cast<useconds_t>(random() % 4000));
    ::kill(saver, SIGKILL);
    int status = 0;
    ::waitpid(saver, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saver stopped by itself: " << status;
    const std::string now = readBytes(path);
    ASSERT_TRUE(now == oldFile || now == newFile) << "kill " << kill << " left " << now.size();
    interrupted += filesIn(path.parent_path()) > filesBefore;
  }
  EXPECT_GT(interrupted, 0) << "no kill landed inside a save: the test proved nothing";
  // The program starts from what is there.
  ASSERT_TRUE(rig.form->start());
  EXPECT_EQ(rig.window.prompts, 0);
  EXPECT_TRUE(rig.form->Location == L"Old+Town" || rig.form->Location == std::wstring(3000, L'N'));
}

}  // namespace
}  // namespace skycall::robustness
