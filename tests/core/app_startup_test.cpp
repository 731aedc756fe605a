// Start-up as the user meets it: the log and version file it leaves, what is said, and how
// it copes with missing or damaged pieces.
#include <gtest/gtest.h>

#include "fakes/TestRig.h"

namespace skycall {
namespace {

using fakes::readBytes;
using fakes::TestRig;
using fakes::writeBytes;

const std::string kWelcome = "Welcome to Skycall. Version 0.3b, by Korvel.";
const std::string kNormalLog =
    "Starting program\r\nLoading JAWS Api\r\nVersion is 0.3b\r\nSapi is set to 0\r\n"
    "Loading settings/progress\r\nAdding to System Tray\r\nLoad finished.\r\n";

std::string settingsFile(const std::string& route, const std::string& rate,
                         const std::string& location) {
  std::string s = route + "\r\n" + rate + "\r\n\r\n" + location + "\r\n";
  for (int i = 0; i < 9; ++i) s += "\r\n";
  return s;
}

TEST(Startup, NormalStartLeavesSevenLogLinesVersionFileAndWelcome) {
  TestRig rig;
  rig.window.answers = {L"12345"};
  ASSERT_TRUE(rig.form->start());
  EXPECT_EQ(rig.startupLog(), kNormalLog);
  EXPECT_EQ(readBytes(rig.workingFolder.path() / "myversion.txt"), "0.3b\r\n");
  EXPECT_EQ(rig.window.captionText, L"Skycall (v0.3b) by Korvel");
  EXPECT_EQ(rig.voice->rateValue, 3);
  EXPECT_EQ(rig.voice->volume, 100);
  EXPECT_EQ(rig.form->JawsFlag, 1);
  EXPECT_EQ(rig.form->MenuMode, 1);
  EXPECT_EQ(rig.form->MenuPosition, 0);
  EXPECT_EQ(rig.form->Location, L"12345");
  EXPECT_EQ(rig.window.prompts, 1);
  EXPECT_EQ(rig.spoken(), (std::vector<std::string>{"Loading the forecast.", kWelcome}));
  // The forecast is fetched before the window shows, and the welcome comes after it.
  const auto& e = rig.log.entries;
  auto at = [&](const std::string& s) { return std::find(e.begin(), e.end(), s) - e.begin(); };
  EXPECT_LT(at("voice3: Loading the forecast."), at("show"));
  EXPECT_LT(at("show"), at("voice3: " + kWelcome));
  EXPECT_EQ(rig.fetcher.addresses.size(), 4u);
}

TEST(Startup, WithoutScreenReaderTheErrorIsTheThirdOfEightLines) {
  TestRig rig;
  rig.screenReaderAnswers = false;
  rig.window.answers = {L"12345"};
  ASSERT_TRUE(rig.form->start());
  EXPECT_EQ(rig.startupLog(),
            "Starting program\r\nLoading JAWS Api\r\n"
            "error: No screen reader answers on the session bus\r\n"
            "Version is 0.3b\r\nSapi is set to 0\r\nLoading settings/progress\r\n"
            "Adding to System Tray\r\nLoad finished.\r\n");
  EXPECT_EQ(rig.form->JawsFlag, 0);
  EXPECT_EQ(rig.form->JawsApi, nullptr);
}

TEST(Startup, LoadingMessageAlwaysGoesToTheVoiceAndTheWelcomeByTheSavedRoute) {
  struct Case {
    std::string route;
    std::string welcomeEntry;  // where the welcome must arrive
  };
  for (const Case& c : {Case{" 0 ", "voice3: " + kWelcome}, Case{" 1 ", "caption=" + kWelcome},
                        Case{" 2 ", "caption=" + kWelcome}, Case{" 3 ", "reader0: " + kWelcome}}) {
    SCOPED_TRACE(c.route);
    TestRig rig;
    writeBytes(rig.settingsPath(), settingsFile(c.route, " 0 ", "12345"));
    ASSERT_TRUE(rig.form->start());
    EXPECT_EQ(rig.spoken().front(), "Loading the forecast.");
    const auto& e = rig.log.entries;
    const auto shown = std::find(e.begin(), e.end(), "show");
    EXPECT_NE(std::find(shown, e.end(), c.welcomeEntry), e.end()) << "route " << c.route;
    EXPECT_EQ(rig.window.prompts, 0);
  }
}

TEST(Startup, LocationBoxComesBackUntilAnAnswerOtherThanZeroOrCancel) {
  struct Case {
    std::string savedLocation;  // "" = no settings file
    std::deque<std::wstring> answers;
    int prompts;
    std::wstring location;
  };
  const Case cases[] = {
      {"", {L"0", L"", L"12345"}, 3, L"12345"},
      {"0", {L"Austin TX"}, 1, L"Austin+TX"},
      {"-", {L"\r\n", L"Boise\r\n ID"}, 2, L"Boise+ID"},  // line breaks never reach line 4
      {" ", {}, 0, L"+"},                                 // a single space is a location
  };
  for (const Case& c : cases) {
    TestRig rig;
    if (c.savedLocation == "-")
      writeBytes(rig.settingsPath(), settingsFile(" 0 ", " 0 ", ""));
    else if (!c.savedLocation.empty())
      writeBytes(rig.settingsPath(), settingsFile(" 0 ", " 0 ", c.savedLocation));
    rig.window.answers = c.answers;
    ASSERT_TRUE(rig.form->start());
    EXPECT_EQ(rig.window.prompts, c.prompts) << c.savedLocation;
    EXPECT_EQ(rig.form->Location, c.location);
  }
  TestRig rig;
  rig.window.answers = {L"12345"};
  rig.form->start();
  EXPECT_EQ(rig.log.with("prompt:").front(),
            "Location|Enter your zip code or type the city and state you wish to know "
            "about.|");
}

TEST(Startup, DamagedSettingsAreLoggedAndStartUpGoesOnWithWhatWasRead) {
  struct Case {
    const char* name;
    std::string file;
    std::string error;
    int route;
    int rate;
    int prompts;
  };
  const Case cases[] = {
      {"short", " 2 \r\n-4 \r\n\r\n12345\r\n\r\n", "error: Input past end of file", 2, -4, 0},
      {"rate refused", " 1 \r\n 50 \r\n\r\n12345\r\n", "error: Invalid procedure call or argument",
       1, 3, 1},
      {"text route", "abc\r\n 0 \r\n", "error: Type mismatch", 0, 3, 1},
      {"huge route", "99999\r\n", "error: Overflow", 0, 3, 1},
      {"empty", "", "error: Input past end of file", 0, 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestRig rig;
    writeBytes(rig.settingsPath(), c.file);
    rig.window.answers = {L"54321"};
    ASSERT_TRUE(rig.form->start());
    const std::string log = rig.startupLog();
    EXPECT_NE(log.find("Loading settings/progress\r\n" + c.error + "\r\nAdding to System Tray"),
              std::string::npos)
        << log;
    EXPECT_EQ(rig.form->route(), c.route);
    EXPECT_EQ(rig.voice->rateValue, c.rate);
    EXPECT_EQ(rig.window.prompts, c.prompts);
  }
}

TEST(Startup, SettingsAreTakenAsSavedIncludingRoutesOutsideTheFour) {
  TestRig rig;
  writeBytes(rig.settingsPath(), settingsFile(" 7 ", "-10 ", "Twin Falls, ID"));
  ASSERT_TRUE(rig.form->start());
  EXPECT_EQ(rig.form->route(), 7);
  EXPECT_EQ(rig.voice->rateValue, -10);
  EXPECT_EQ(rig.form->Location, L"Twin+Falls,+ID");
  EXPECT_EQ(rig.spoken(), std::vector<std::string>{"Loading the forecast."});  // route 7 is mute
}

TEST(Startup, NoVoiceEndsStartUpWithOneLogLineAndNoWindow) {
  TestRig rig;
  rig.voiceAnswers = false;
  EXPECT_FALSE(rig.form->start());
  EXPECT_EQ(rig.startupLog(), "error: speech-dispatcher does not answer\r\n");
  EXPECT_TRUE(rig.log.with("show").empty());
  EXPECT_TRUE(rig.fetcher.addresses.empty());
}

TEST(Startup, VersionFileThatCannotBeWrittenEndsStartUp) {
  TestRig rig;
  std::filesystem::create_directory(rig.workingFolder.path() / "myversion.txt");
  EXPECT_FALSE(rig.form->start());
  const std::string log = rig.startupLog();
  EXPECT_EQ(log.rfind("Starting program\r\nLoading JAWS Api\r\nVersion is 0.3b\r\nerror: ", 0), 0u)
      << log;
  EXPECT_TRUE(rig.log.with("show").empty());
}

TEST(Startup, FirstForecastThatFailsIsLoggedAndHeardWithTheWelcome) {
  TestRig rig;
  rig.window.answers = {L"12345"};
  rig.fetcher.pages["/weather/right-now/"] = {"temperature-fahrenheit\">71<", "utf-8"};
  rig.fetcher.failOn = "/weather/tomorrow/";
  ASSERT_TRUE(rig.form->start());
  EXPECT_EQ(rig.startupLog(), kNormalLog + "error: Could not connect to the forecast site\r\n");
  EXPECT_EQ(rig.spoken().back(), kWelcome + "  The forecast could not be loaded.");
  EXPECT_EQ(rig.window.list.rows,
            (std::vector<std::wstring>{L"Currently 71 degrees.", L"-----", L"-----"}));
  EXPECT_FALSE(rig.form->FetchRunning);
}

TEST(Startup, SavedScreenReaderRouteWithoutAScreenReaderFallsBackToTheVoiceAloud) {
  TestRig rig;
  rig.screenReaderAnswers = false;
  writeBytes(rig.settingsPath(), settingsFile(" 3 ", " 0 ", "12345"));
  rig.fetcher.failOn = "/weather/right-now/";
  ASSERT_TRUE(rig.form->start());
  EXPECT_EQ(rig.form->route(), 0);
  EXPECT_EQ(rig.spoken().back(), kWelcome +
                                     "  The forecast could not be loaded."
                                     "  Jaws does not seem to be responding, Sapi on.");
}

TEST(Startup, WelcomeIsSpokenOnTheFirstActivationOnly) {
  TestRig rig;
  rig.window.answers = {L"12345"};
  rig.form->start();
  rig.form->Form_Activate();
  rig.form->Form_Activate();
  EXPECT_EQ(rig.spoken().size(), 2u);
}

}  // namespace
}  // namespace skycall
