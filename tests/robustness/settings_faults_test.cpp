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
#include "fakes/TestRig.h"
#include "robustness/RealFetchRig.h"

namespace skycall::robustness {
namespace {

using fakes::readBytes;
using fakes::TestRig;
using fakes::writeBytes;

constexpr std::size_t kFifteenMegabytes = 15u << 20;
constexpr double kLongestStartSeconds = 10;

// Random bytes, none of them a line end.
std::string garbageLine(std::mt19937& random, std::size_t size) {
  std::string line;
  while (line.size() < size) {
    const char c = static_cast<char>(random() & 0xFF);
    if (c != '\r' && c != '\n') line.push_back(c);
  }
  return line;
}

std::string garbageFile(bool keepFirstThree) {
  std::mt19937 random(1313);
  std::string file = keepFirstThree ? " 1 \r\n-2 \r\n\r\n" : "";
  for (int line = keepFirstThree ? 4 : 1; line <= 13; ++line)
    file += garbageLine(random, 40) + "\r\n";
  // Line 1 must not read as a number by chance, or the case tests nothing.
  if (!keepFirstThree) file.insert(0, "x");
  return file;
}

struct DamagedCase {
  std::string name;
  std::string file;
  std::string error;  // the start-up log line; "" for none
  int route;
  int rate;
  int prompts;  // 0: the location came from the file
};

std::vector<DamagedCase> damagedCases() {
  return {
      {"short file", " 2 \r\n 5 \r\n", "error: Input past end of file", 2, 5, 1},
      {"garbage in every line", garbageFile(false), "error: Type mismatch", 0, 3, 1},
      {"garbage from line 4 on", garbageFile(true), "", 1, -2, 0},
      {"line 1 of 99", settingsBytes(" 99 ", " 3 ", "Home"), "", 99, 3, 0},
      {"line 1 of -5", settingsBytes("-5 ", " 3 ", "Home"), "", -5, 3, 0},
      {"rate of 50", settingsBytes(" 0 ", " 50 ", "Home"),
       "error: Invalid procedure call or argument", 0, 3, 1},
      {"line ends of LF alone", " 2 \n-1 \n\nHome\n\n\n\n\n\n\n\n\n\n", "", 2, -1, 0},
      {"line ends of CR alone", " 2 \r-1 \r\rHome\r\r\r\r\r\r\r\r\r\r", "", 2, -1, 0},
      {"15 MB location", settingsBytes(" 0 ", " 3 ", std::string(kFifteenMegabytes, 'A')), "", 0, 3,
       0},
      {"15 MB after line 13",
       settingsBytes(" 1 ", " 4 ", "Home") + std::string(kFifteenMegabytes, '\n'), "", 1, 4, 0},
      {"15 MB of digits on one line", std::string(kFifteenMegabytes, '7'), "error: Type mismatch",
       0, 3, 1},
  };
}

TEST(SettingsFaults, EveryDamagedFileStillStartsTheProgram) {
  for (const DamagedCase& c : damagedCases()) {
    SCOPED_TRACE(c.name);
    TestRig rig;
    writeBytes(rig.settingsPath(), c.file);
    rig.window.answers = {L"12345"};
    const auto started = SteadyClock::now();
    ASSERT_TRUE(rig.form->start());
    EXPECT_LT(secondsSince(started), kLongestStartSeconds);
    const std::string log = rig.startupLog();
    if (c.error.empty())
      EXPECT_EQ(log.find("error: "), std::string::npos) << log.substr(0, 300);
    else
      EXPECT_NE(log.find("Loading settings/progress\r\n" + c.error + "\r\n"), std::string::npos)
          << log.substr(0, 300);
    EXPECT_EQ(rig.form->route(), c.route);
    EXPECT_EQ(rig.voice->rateValue, c.rate);
    EXPECT_EQ(rig.window.prompts, c.prompts);
    EXPECT_EQ(rig.fetcher.addresses.size(), 4u);
    EXPECT_FALSE(rig.form->Location.empty());

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

// A folder nothing can be created in, even by root: the immutable attribute. Returns false
// where the file system or the process's rights do not allow setting it.
bool makeImmutable(const std::filesystem::path& folder, bool on) {
  const std::string command =
      std::string("chattr ") + (on ? "+i" : "-i") + " '" + folder.string() + "' 2>/dev/null";
  return std::system(command.c_str()) == 0;
}

TEST(SettingsFaults, ASaveThatCannotReplaceTheFileLeavesItAsItWas) {
  struct Case {
    std::string name;
    std::function<bool(TestRig&)> breakFolder;  // false: cannot be arranged here
    std::function<void(TestRig&)> mendFolder;
  };
  const std::vector<Case> cases = {
      {"the folder vanished",
       [](TestRig& rig) {
         std::filesystem::remove_all(rig.programFolder.path());
         return true;
       },
       [](TestRig&) {}},
      {"the folder cannot be written",
       [](TestRig& rig) {
         std::filesystem::permissions(
             rig.programFolder.path(),
             std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
         // Root writes through permissions; only the immutable attribute stops it.
         if (::geteuid() == 0) return makeImmutable(rig.programFolder.path(), true);
         return true;
       },
       [](TestRig& rig) { makeImmutable(rig.programFolder.path(), false); }},
  };
  const std::string before = settingsBytes(" 1 ", " 2 ", "Home");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRig rig;
    writeBytes(rig.settingsPath(), before);
    ASSERT_TRUE(rig.form->start());
    rig.press(vk::PageUp);  // something new to save
    if (!c.breakFolder(rig)) {
      std::cout << "[ skipped  ] " << c.name << ": cannot be arranged on this machine\n";
      continue;
    }
    rig.log.entries.clear();
    EXPECT_THROW(rig.press(vk::Esc, mask::Shift), fakes::ProgramEnded);
    c.mendFolder(rig);
    // Route 1 writes the caption: the message went there, and the hold lets it be read.
    EXPECT_EQ(rig.log.with("caption=").back(), "The settings could not be saved.  Good bye");
    EXPECT_EQ(rig.window.elapsedMs, 2500);
    if (std::filesystem::exists(rig.programFolder.path())) {
      EXPECT_EQ(readBytes(rig.settingsPath()), before);
      EXPECT_EQ(std::distance(std::filesystem::directory_iterator(rig.programFolder.path()),
                              std::filesystem::directory_iterator()),
                1);
    }
  }
}

std::size_t temporariesBeside(const std::filesystem::path& file) {
  std::size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(file.parent_path()))
    if (entry.path() != file) ++count;
  return count;
}

// Saves one version after the other for ever, as fast as it can.
[[noreturn]] void saveForEver(const std::filesystem::path& path, const std::string& a,
                              const std::string& b) {
  for (unsigned i = 0;; ++i) {
    try {
      writeFileAtomically(path, i % 2 ? a : b);
    } catch (...) {
      ::_exit(3);
    }
  }
}

TEST(SettingsFaults, ASaveKilledAtAnyMomentLeavesTheOldFileOrTheNew) {
  constexpr int kKills = 250;
  TestRig rig;
  const auto path = rig.settingsPath();
  // Two versions of different lengths: any mix of them, or a cut, reads as neither.
  const std::string oldFile = settingsBytes(" 0 ", " 3 ", "Old+Town");
  const std::string newFile = settingsBytes(" 2 ", "-4 ", std::string(3000, 'N'));
  writeBytes(path, oldFile);

  std::mt19937 random(4242);
  std::uniform_int_distribution<int> pauseMicroseconds(0, 4000);
  int interrupted = 0;  // kills that left a save's temporary file behind
  int grewByMore = 0;   // kills after which more than one new temporary appeared
  for (int kill = 0; kill < kKills; ++kill) {
    const std::size_t temporariesBefore = temporariesBeside(path);
    const pid_t saver = ::fork();
    ASSERT_GE(saver, 0);
    if (saver == 0) saveForEver(path, oldFile, newFile);
    ::usleep(static_cast<useconds_t>(pauseMicroseconds(random)));
    ::kill(saver, SIGKILL);
    int status = 0;
    ::waitpid(saver, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saver stopped by itself: " << status;

    const std::string now = readBytes(path);
    ASSERT_TRUE(now == oldFile || now == newFile)
        << "kill " << kill << " left " << now.size() << " bytes";
    const std::size_t temporariesAfter = temporariesBeside(path);
    interrupted += temporariesAfter > temporariesBefore;
    grewByMore += temporariesAfter > temporariesBefore + 1;
  }
  const std::size_t leftOver = temporariesBeside(path);
  std::cout << "Killed saves: " << kKills << "; interrupted mid-save: " << interrupted
            << "; temporary files left beside the settings file: " << leftOver << "\n";
  EXPECT_GT(interrupted, 0) << "no kill landed inside a save: the test proved nothing";
  EXPECT_EQ(grewByMore, 0) << "one interrupted save left more than one temporary file";

  // The program starts from what is there, and its own save still goes through.
  const std::string survivor = readBytes(path);
  rig.window.answers = {L"12345"};
  ASSERT_TRUE(rig.form->start());
  EXPECT_TRUE(rig.form->Location == L"Old+Town" || rig.form->Location == std::wstring(3000, L'N'));
  EXPECT_EQ(rig.window.prompts, 0);
  EXPECT_THROW(rig.press(vk::Esc, mask::Shift), fakes::ProgramEnded);
  const auto& said = rig.log.entries;
  EXPECT_FALSE(std::any_of(said.begin(), said.end(), [](const std::string& e) {
    return e.find("could not be saved") != std::string::npos;
  }));
  // Nothing changed since the start, so the save wrote back what it read.
  EXPECT_EQ(readBytes(path), survivor);
  EXPECT_EQ(temporariesBeside(path), leftOver);
}

}  // namespace
}  // namespace skycall::robustness
