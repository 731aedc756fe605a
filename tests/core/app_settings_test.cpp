// The settings file: its exact bytes, reading it back, and saving it whole or not at all.
#include <gtest/gtest.h>

#include "app/SettingsFile.h"
#include "app/SideFolders.h"
#include "commands/KeyCodes.h"
#include "fakes/TestRig.h"

namespace skycall {
namespace {

using fakes::ProgramEnded;
using fakes::readBytes;
using fakes::TestRig;
using fakes::writeBytes;

const std::string kNineEmptyLines = "\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n";

TEST(SettingsFile, BytesAsWritten) {
  struct Case {
    SettingValue route;
    int rate;
    SettingValue spare;
    std::wstring location;
    std::string bytes;
  };
  const Case cases[] = {
      {0.0, 0, {}, L"12345", " 0 \r\n 0 \r\n\r\n12345\r\n" + kNineEmptyLines},
      {2.0, 1, {}, L"12345", " 2 \r\n 1 \r\n\r\n12345\r\n" + kNineEmptyLines},
      {0.0, -3, {}, L"Austin+TX", " 0 \r\n-3 \r\n\r\nAustin+TX\r\n" + kNineEmptyLines},
      {{},
       10,
       std::wstring(L"kept"),
       L"Paris, TX",
       "\r\n 10 \r\nkept\r\nParis, TX\r\n" + kNineEmptyLines},
      {1.0, 0, 2.5, L"Zürich", " 1 \r\n 0 \r\n 2.5 \r\nZ\xC3\xBCrich\r\n" + kNineEmptyLines},
  };
  for (const Case& c : cases)
    EXPECT_EQ(settingsFileBytes(c.route, c.rate, c.spare, c.location), c.bytes);
}

TEST(SettingsFile, ValuesReadAsWritten) {
  SettingsReader in(L" 2 \r\n-3\r\n  \"quoted, kept\"  \r\n\"open\r\nhello, there\r\n1,two\nlast");
  EXPECT_EQ(in.readValue(), SettingValue(2.0));
  EXPECT_EQ(in.readValue(), SettingValue(-3.0));
  EXPECT_EQ(in.readValue(), SettingValue(std::wstring(L"quoted, kept")));
  // A quote never closed ends with its line: the value cannot swallow the lines after it.
  EXPECT_EQ(in.readValue(), SettingValue(std::wstring(L"open")));
  EXPECT_EQ(in.readLine(), L"hello, there");     // a whole line keeps its commas
  EXPECT_EQ(in.readValue(), SettingValue(1.0));  // a comma ends a value
  EXPECT_EQ(in.readValue(), SettingValue(std::wstring(L"two")));
  EXPECT_EQ(in.readValue(), SettingValue(std::wstring(L"last")));
  EXPECT_THROW(in.readValue(), SettingsError);
  EXPECT_THROW(in.readLine(), SettingsError);
}

TEST(SettingsFile, QuitSavesBeforeGoodByeAndTheNextStartRestoresEverything) {
  TestRig first;
  first.window.answers = {L"San Antonio, TX"};
  ASSERT_TRUE(first.form->start());
  first.press(vk::Tab);       // route 1
  first.press(vk::Tab);       // route 2
  first.press(vk::PageDown);  // rate 2
  first.window.post([&] {
    // The file is complete by the time "Good bye" is being heard.
    EXPECT_EQ(readBytes(first.settingsPath()),
              " 2 \r\n 2 \r\n\r\nSan+Antonio,+TX\r\n" + kNineEmptyLines);
  });
  EXPECT_THROW(first.press(vk::Esc, mask::Shift), ProgramEnded);
  EXPECT_EQ(first.log.with("caption=").back(), "Good bye");
  EXPECT_EQ(first.window.elapsedMs, 500);
  EXPECT_EQ(first.log.entries.back(), "end");

  // The next start reads it all back; a hand-edited spare value is carried through a save,
  // byte for byte, a comma or quotes in it included.
  for (const std::string spare : {"my note", "\"a,b\"", "\"say \"\"hi\"\", then\"", "\" pad \""}) {
    SCOPED_TRACE(spare);
    TestRig second;
    const std::string edited =
        " 2 \r\n 2 \r\n" + spare + "\r\nSan+Antonio,+TX\r\n" + kNineEmptyLines;
    writeBytes(second.settingsPath(), edited);
    ASSERT_TRUE(second.form->start());
    EXPECT_EQ(second.form->route(), 2);
    EXPECT_EQ(second.voice->rateValue, 2);
    EXPECT_EQ(second.form->Location, L"San+Antonio,+TX");
    EXPECT_EQ(second.window.prompts, 0);
    second.form->saveprogress();
    EXPECT_EQ(readBytes(second.settingsPath()), edited);
  }
}

TEST(SettingsFile, SaveThatCannotReplaceTheFileLeavesNoTraceAndTellsTheUser) {
  TestRig rig;
  rig.window.answers = {L"12345"};
  ASSERT_TRUE(rig.form->start());
  // A folder where the file should be: the rename over it fails.
  std::filesystem::create_directory(rig.settingsPath());
  EXPECT_THROW(rig.press(vk::Esc, mask::Shift), ProgramEnded);
  EXPECT_EQ(rig.spoken().back(), "The settings could not be saved.  Good bye");
  EXPECT_EQ(rig.window.elapsedMs, 2500);
  using Folder = std::filesystem::directory_iterator;
  EXPECT_EQ(std::distance(Folder(rig.programFolder.path()), Folder()), 1);  // no temporary left
}

TEST(SettingsFile, AtomicWriteReplacesWholeFilesAndClearsWhatKilledSavesLeft) {
  fakes::TempFolder folder;
  const auto path = folder.path() / "progress.ini";
  writeBytes(path, "old");
  // What saves killed before their rename left: one long ago, one maybe still being written.
  const auto stale = folder.path() / "progress.ini.skycall-a1B2c3";
  const auto fresh = folder.path() / "progress.ini.skycall-d4E5f6";
  const auto notOurs = folder.path() / "progress.ini.backup";  // a user's, as old
  for (const auto& p : {stale, fresh, notOurs}) writeBytes(p, "x");
  std::filesystem::last_write_time(
      stale, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  std::filesystem::last_write_time(
      notOurs, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  writeFileAtomically(path, "new contents");
  EXPECT_EQ(readBytes(path), "new contents");
  // Readable by everyone, whatever the umask, like the file it replaces.
  namespace fs = std::filesystem;
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0644));
  EXPECT_FALSE(std::filesystem::exists(stale));
  EXPECT_TRUE(std::filesystem::exists(fresh));
  EXPECT_TRUE(std::filesystem::exists(notOurs));
  EXPECT_THROW(writeFileAtomically(folder.path() / "missing" / "progress.ini", "x"),
               std::runtime_error);
}

TEST(SettingsFile, FoldersForACopyRunInPlaceAndForAnInstalledCopy) {
  struct Case {
    ProgramPlace place;
    UserFolders user;
    const char* settings;
    const char* log;
  };
  const UserFolders home{"/home/ann", "", ""};
  const UserFolders xdg{"/home/ann", "/cfg", "/st"};
  const Case cases[] = {
      {{"/opt/sky", true, false}, xdg, "/opt/sky", "/cwd"},  // build or unpacked folder
      {{"/opt/sky", false, true}, xdg, "/opt/sky", "/cwd"},  // settings already beside it
      {{"/opt/sky", false, false},
       home,
       "/home/ann/.config/skycall",
       "/home/ann/.local/state/skycall"},
      {{"/usr/bin", false, false}, xdg, "/cfg/skycall", "/st/skycall"},
      {{"/usr/bin/", true, false}, xdg, "/cfg/skycall", "/st/skycall"},  // root, installed
      {{"/usr/bin", false, false},
       {"/home/ann", "cfg", "rel/st"},
       "/home/ann/.config/skycall",
       "/home/ann/.local/state/skycall"},  // relative paths do not count
  };
  for (const Case& c : cases) {
    const SideFolders got = sideFolders(c.place, "/cwd", c.user);
    EXPECT_EQ(got.settings, c.settings) << c.place.folder;
    EXPECT_EQ(got.log, c.log) << c.place.folder;
  }
}

}  // namespace
}  // namespace skycall
