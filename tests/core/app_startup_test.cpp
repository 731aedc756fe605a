// Start-up as the user meets it: the log and version file it leaves, what is said, and how
// it copes with missing or damaged pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "commands/KeyCodes.h"
#include "fakes/TestRig.h"

namespace skycall {
namespace {

using fakes::readBytes;
using fakes::settingsFile;
using fakes::TestRig;
using fakes::writeBytes;

const std::string kWelcome = "Welcome to Skycall. Version 0.3b, by Korvel.";
const std::string kPrompt =
    "Enter your zip code or type the city and state you wish to know about.";
const std::string kLogStart = "Starting program\r\nLoading JAWS Api\r\n";
const std::string kLogRest =
    "Version is 0.3b\r\nSapi is set to 0\r\nLoading settings/progress\r\nAdding to System Tray\r\n"
    "Load finished.\r\n";

TEST(Startup, LogVersionFileAndWelcomeWithAndWithoutTheScreenReader) {
  for (bool reader : {true, false}) {
    TestRig rig;
    rig.screenReaderAnswers = reader;
    rig.window.answers = {L"12345"};
    ASSERT_TRUE(rig.form->start());
    EXPECT_EQ(rig.startupLog(),
              kLogStart + (reader ? "" : "error: No screen reader answers on the session bus\r\n") +
                  kLogRest);
    EXPECT_EQ(rig.form->JawsFlag, reader ? 1 : 0);
    EXPECT_EQ(rig.form->JawsApi == nullptr, !reader);
    EXPECT_EQ(readBytes(rig.workingFolder.path() / "myversion.txt"), "0.3b\r\n");
    EXPECT_EQ(rig.window.captionText, L"Skycall (v0.3b) by Korvel");
    EXPECT_EQ(rig.voice->rateValue, 3);
    EXPECT_EQ(rig.voice->volume, 100);
    EXPECT_EQ(rig.log.with("prompt:"),
              std::vector<std::string>{"Location|Enter your zip code or type the city and state "
                                       "you wish to know about.|"});
    // The forecast is fetched before the window shows, and the welcome comes after it.
    EXPECT_EQ(rig.log.with("voice3: "),
              (std::vector<std::string>{"Loading the forecast.", kPrompt, kWelcome}));
    const auto& e = rig.log.entries;
    auto at = [&](const std::string& s) { return std::find(e.begin(), e.end(), s) - e.begin(); };
    EXPECT_LT(at("voice3: Loading the forecast."), at("show"));
    EXPECT_LT(at("show"), at("voice3: " + kWelcome));
    EXPECT_EQ(rig.fetcher.addresses.size(), 4u);
    rig.form->Form_Activate();  // the welcome is for the first activation only
    EXPECT_EQ(rig.spoken().size(), 3u);
  }
}

TEST(Startup, LoadingMessageAlwaysGoesToTheVoiceAndTheWelcomeByTheSavedRoute) {
  struct Case {
    std::string saved;
    int route;
    std::string welcome;
  };
  // A route outside the four (a hand-edited file) falls back to the voice.
  const Case cases[] = {{" 0 ", 0, "voice3: " + kWelcome}, {" 1 ", 1, "caption=" + kWelcome},
                        {" 2 ", 2, "caption=" + kWelcome}, {" 3 ", 3, "reader0: " + kWelcome},
                        {" 5 ", 0, "voice3: " + kWelcome}, {"-1 ", 0, "voice3: " + kWelcome}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.saved);
    TestRig rig;
    writeBytes(rig.settingsPath(), settingsFile(c.saved, "-10 ", "12345"));
    ASSERT_TRUE(rig.form->start());
    EXPECT_EQ(rig.form->route(), c.route);
    EXPECT_EQ(rig.voice->rateValue, -10);
    EXPECT_EQ(rig.spoken().front(), "Loading the forecast.");
    const auto& e = rig.log.entries;
    const auto shown = std::find(e.begin(), e.end(), "show");
    ASSERT_NE(shown, e.end());
    EXPECT_NE(std::find(shown, e.end(), c.welcome), e.end());
    EXPECT_EQ(rig.window.prompts, 0);
  }
}

TEST(Startup, LocationBoxComesBackUntilAnAnswerOtherThanZeroOrCancel) {
  struct Case {
    std::string savedLocation;  // "-" = no settings file
    std::deque<std::wstring> answers;
    int prompts;
    std::wstring location;
  };
  const Case cases[] = {
      {"-", {L"0", L"", L"12345"}, 3, L"12345"},
      {"0", {L"Austin TX"}, 1, L"Austin+TX"},
      {"", {L"\r\n", L"Boise\r\n ID"}, 2, L"Boise+ID"},  // line breaks never reach line 4
      {" ", {}, 0, L"+"},                                // a single space is a location
  };
  for (const Case& c : cases) {
    TestRig rig;
    if (c.savedLocation != "-")
      writeBytes(rig.settingsPath(), settingsFile(" 0 ", " 0 ", c.savedLocation));
    rig.window.answers = c.answers;
    ASSERT_TRUE(rig.form->start());
    EXPECT_EQ(rig.window.prompts, c.prompts) << c.savedLocation;
    // The question is heard each time the box is shown.
    EXPECT_EQ(std::ranges::count(rig.spoken(), kPrompt), c.prompts);
    EXPECT_EQ(rig.form->Location, c.location);
  }
}

TEST(Startup, DamagedSettingsAreLoggedAndStartUpGoesOnWithWhatWasRead) {
  struct Case {
    std::string file;
    std::string error;
    int route;
    int rate;
    int prompts;
  };
  const std::string big(15u << 20, 'A');
  const Case cases[] = {
      {" 2 \r\n-4 \r\n\r\n12345\r\n\r\n", "Input past end of file", 2, -4, 0},
      {" 1 \r\n 50 \r\n\r\n12345\r\n", "Invalid procedure call or argument", 1, 3, 1},
      {"abc\r\n 0 \r\n", "Type mismatch", 0, 3, 1},
      {"99999\r\n", "Overflow", 0, 3, 1},
      {"", "Input past end of file", 0, 3, 1},
      {std::string(15u << 20, '7'), "Type mismatch", 0, 3, 1},
      // read whole: no error line
      {"-5 \r\n 3 \r\n\r\nH\xFF\x01\x80\"me\r\n\x7F\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n\r\n", "", 0, 3,
       0},
      {" 2 \n-1 \n\nHome\n\n\n\n\n\n\n\n\n\n", "", 2, -1, 0},
      {" 2 \r-1 \r\rHome\r\r\r\r\r\r\r\r\r\r", "", 2, -1, 0},
      {fakes::settingsFile(" 0 ", " 3 ", big), "", 0, 3, 0},
      {fakes::settingsFile(" 1 ", " 4 ", "Home") + std::string(15u << 20, '\n'), "", 1, 4, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.substr(0, 40));
    TestRig rig;
    writeBytes(rig.settingsPath(), c.file);
    rig.window.answers = {L"54321"};
    ASSERT_TRUE(rig.form->start());
    const std::string error = c.error.empty() ? "" : "error: " + c.error + "\r\n";
    EXPECT_NE(
        rig.startupLog().find("Loading settings/progress\r\n" + error + "Adding to System Tray"),
        std::string::npos);
    EXPECT_EQ(rig.form->route(), c.route);
    EXPECT_EQ(rig.voice->rateValue, c.rate);
    EXPECT_EQ(rig.window.prompts, c.prompts);
    // Whatever was read is saved as thirteen lines and read back the same at the next start.
    EXPECT_THROW(rig.press(vk::Esc, mask::Shift), fakes::ProgramEnded);
    TestRig next;
    writeBytes(next.settingsPath(), fakes::readBytes(rig.settingsPath()));
    ASSERT_TRUE(next.form->start());
    EXPECT_EQ(next.window.prompts, 0);
    EXPECT_TRUE(next.form->Location == rig.form->Location);
    EXPECT_EQ(next.form->route(), c.route);
    EXPECT_EQ(next.voice->rateValue, c.rate);
  }
}

TEST(Startup, NoVoiceEndsStartUpBeforeTheWindow) {
  TestRig mute;
  mute.voiceAnswers = false;
  EXPECT_FALSE(mute.form->start());
  EXPECT_EQ(mute.startupLog(), "error: speech-dispatcher does not answer\r\n");
  EXPECT_TRUE(mute.fetcher.addresses.empty());
  EXPECT_TRUE(mute.log.with("show").empty());
}

TEST(Startup, SideFilesThatCannotBeWrittenAreReportedAndStartUpGoesOn) {
  namespace fs = std::filesystem;
  struct Case {
    std::string what;
    std::function<void(const fs::path&)> spoil;  // given the working folder
    std::string reported;                        // on standard error
    std::string logStart;                        // "-": no log at all
  };
  const Case cases[] = {
      {"version file a folder", [](auto& d) { fs::create_directory(d / "myversion.txt"); },
       "myversion.txt: Is a directory", kLogStart + "Version is 0.3b\r\nerror: Cannot write"},
      {"log a folder", [](auto& d) { fs::create_directory(d / "debuglog.txt"); },
       "debuglog.txt: Is a directory", "-"},
      {"disk full", [](auto& d) { fs::create_symlink("/dev/full", d / "debuglog.txt"); },
       "debuglog.txt: No space left on device", ""},
      {"folder gone", [](auto& d) { fs::remove(d); }, "debuglog.txt: No such file", "-"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TestRig rig;
    rig.window.answers = {L"12345"};
    c.spoil(rig.workingFolder.path());
    testing::internal::CaptureStderr();
    EXPECT_TRUE(rig.form->start());
    EXPECT_NE(testing::internal::GetCapturedStderr().find(c.reported), std::string::npos);
    EXPECT_EQ(rig.spoken().back(), kWelcome);
    if (c.logStart == "-") continue;
    if (fs::is_regular_file(rig.workingFolder.path() / "debuglog.txt")) {
      EXPECT_EQ(rig.startupLog().rfind(c.logStart, 0), 0u);
    }
  }
}

TEST(Startup, FirstForecastThatFailsIsLoggedAndHeardWithTheWelcome) {
  TestRig rig;
  rig.window.answers = {L"12345"};
  rig.fetcher.pages["/weather/right-now/"] = {"temperature-fahrenheit\">71<", "utf-8"};
  rig.fetcher.failOn = "/weather/tomorrow/";
  ASSERT_TRUE(rig.form->start());
  EXPECT_EQ(rig.startupLog(),
            kLogStart + kLogRest + "error: Could not connect to the forecast site\r\n");
  EXPECT_EQ(rig.spoken().back(), kWelcome + "  The forecast could not be loaded.");
  EXPECT_EQ(rig.window.list.rows,
            (std::vector<std::wstring>{L"Currently 71 degrees.", L"-----", L"-----"}));
  EXPECT_FALSE(rig.form->FetchRunning);

  // A saved screen-reader route with no screen reader falls back to the voice, aloud.
  TestRig fallback;
  fallback.screenReaderAnswers = false;
  writeBytes(fallback.settingsPath(), settingsFile(" 3 ", " 0 ", "12345"));
  fallback.fetcher.failOn = "/weather/right-now/";
  ASSERT_TRUE(fallback.form->start());
  EXPECT_EQ(fallback.form->route(), 0);
  EXPECT_EQ(fallback.spoken().back(), kWelcome +
                                          "  The forecast could not be loaded."
                                          "  Jaws does not seem to be responding, Sapi on.");
}

}  // namespace
}  // namespace skycall
