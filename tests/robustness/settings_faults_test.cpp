// The settings file damaged, huge, unwritable, or cut short by a killed save: the program
// always starts, and the file is always one whole version of itself.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <random>

#include "app/SettingsFile.h"
#include "commands/KeyCodes.h"
#include "robustness/RealFetchRig.h"

namespace skycall::robustness {
namespace {

using fakes::readBytes;
using fakes::TestRig;
using fakes::writeBytes;

constexpr std::size_t kFifteenMegabytes = 15u << 20;

std::size_t filesIn(const std::filesystem::path& folder) {
  return std::distance(std::filesystem::directory_iterator(folder),
                       std::filesystem::directory_iterator());
}

TEST(SettingsFaults, EveryDamagedFileStillStartsTheProgram) {
  // Random bytes, none of them a line end, in the location line and the spare ones.
  std::mt19937 random(1313);
  std::string garbage = " 1 \r\n-2 \r\n\r\n";
  for (int line = 4; line <= 13; ++line) {
    for (int i = 0; i < 40; ++i)
      if (const char c = static_cast<char>(random() & 0xFF); c != '\r' && c != '\n') garbage += c;
    garbage += "\r\n";
  }
  const struct {
    std::string name, file;
    std::string error;  // the start-up log line; "" for none
    int route, rate;
    int prompts;  // 0: the location came from the file
  } cases[] = {
      {"garbage from line 4 on", garbage, "", 1, -2, 0},
      {"line 1 of -5", settingsFile("-5 ", " 3 ", "Home"), "", 0, 3, 0},  // back to the voice
      {"line ends of LF alone", " 2 \n-1 \n\nHome\n\n\n\n\n\n\n\n\n\n", "", 2, -1, 0},
      {"line ends of CR alone", " 2 \r-1 \r\rHome\r\r\r\r\r\r\r\r\r\r", "", 2, -1, 0},
      {"15 MB location", settingsFile(" 0 ", " 3 ", std::string(kFifteenMegabytes, 'A')), "", 0, 3,
       0},
      {"15 MB after line 13",
       settingsFile(" 1 ", " 4 ", "Home") + std::string(kFifteenMegabytes, '\n'), "", 1, 4, 0},
      {"15 MB of digits on one line", std::string(kFifteenMegabytes, '7'), "error: Type mismatch",
       0, 3, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestRig rig;
    writeBytes(rig.settingsPath(), c.file);
    rig.window.answers = {L"12345"};
    const auto started = SteadyClock::now();
    ASSERT_TRUE(rig.form->start());
    EXPECT_LT(secondsSince(started), 10);
    const std::string log = rig.startupLog();
    const std::size_t error = std::min(log.find("error: "), log.size());
    EXPECT_EQ(log.substr(error, log.find("\r\n", error) - error), c.error) << log.substr(0, 300);
    EXPECT_EQ(rig.form->route(), c.route);
    EXPECT_EQ(rig.voice->rateValue, c.rate);
    EXPECT_EQ(rig.window.prompts, c.prompts);
    EXPECT_EQ(rig.fetcher.addresses.size(), 4u);

    // Whatever was read is saved as thirteen lines and read back the same at the next start.
    const std::wstring location = rig.form->Location;
    EXPECT_THROW(rig.press(vk::Esc, mask::Shift), fakes::ProgramEnded);
    const std::string saved = readBytes(rig.settingsPath());
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 13);
    TestRig next;
    writeBytes(next.settingsPath(), saved);
    ASSERT_TRUE(next.form->start());
    EXPECT_EQ(next.window.prompts, 0);
    EXPECT_TRUE(next.form->Location == location);
    EXPECT_EQ(next.form->route(), c.route);
  }
}

TEST(SettingsFaults, ASaveIntoAReadOnlyFolderLeavesTheFileAsItWas) {
  const std::string before = settingsFile(" 1 ", " 2 ", "Home");
  TestRig rig;
  const std::filesystem::path folder = rig.programFolder.path();
  writeBytes(rig.settingsPath(), before);
  ASSERT_TRUE(rig.form->start());
  rig.press(vk::PageUp);  // something new to save
  std::filesystem::permissions(
      folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  // Root writes through permissions; only the immutable attribute stops it.
  const auto immutable = [&folder](bool on) {
    const std::string command = (on ? "chattr +i '" : "chattr -i '") + folder.string() + "'";
    return ::geteuid() != 0 || std::system(command.c_str()) == 0;
  };
  if (!immutable(true)) GTEST_SKIP() << "a folder root cannot write to cannot be arranged here";
  EXPECT_THROW(rig.press(vk::Esc, mask::Shift), fakes::ProgramEnded);
  EXPECT_TRUE(immutable(false));
  // Route 1 writes the caption: the message went there, and the hold lets it be read.
  EXPECT_EQ(rig.log.with("caption=").back(), "The settings could not be saved.  Good bye");
  EXPECT_EQ(rig.window.elapsedMs, 2500);
  EXPECT_EQ(readBytes(rig.settingsPath()), before);
  EXPECT_EQ(filesIn(folder), 1u);
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
