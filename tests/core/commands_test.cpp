// The keyboard as the user meets it: what each key says and does, by route and topic.
#include <gtest/gtest.h>

#include "commands/KeyCodes.h"
#include "commands/TopicMenu.h"
#include "fakes/TestRig.h"

namespace skycall {
namespace {

using fakes::ProgramEnded;
using fakes::TestRig;
using Said = std::vector<std::string>;

const std::string kPrompt =
    "Enter your zip code or type the city and state you wish to know about.";

// A started program, its start-up speech forgotten.
struct Started : TestRig {
  explicit Started(bool screenReader = true, std::wstring location = L"12345") {
    screenReaderAnswers = screenReader;
    window.answers = {location};
    form->start();
    log.entries.clear();
    window.prompts = 0;
  }
};

TEST(KeyDispatcher, TabCyclesTheRoutesWithCaptionAndName) {
  struct Step {
    int route;
    std::string said;    // the entry that speaks the route's name
    bool normalCaption;  // the normal caption was put back first
  };
  const std::vector<Step> withReader = {{1, "caption=Screen reader", false},
                                        {2, "caption=Window eyes support", false},
                                        {3, "reader0: Jaws", true},
                                        {0, "voice3: Sapi on", true}};
  const std::vector<Step> without = {
      {1, "caption=Screen reader", false},
      {2, "caption=Window eyes support", false},
      {0, "voice3: Jaws does not seem to be responding, Sapi on.", true},
      {1, "caption=Screen reader", false}};
  for (bool reader : {true, false}) {
    Started rig(reader);
    for (const Step& s : reader ? withReader : without) {
      rig.log.entries.clear();
      rig.window.captionText = L"something said";
      rig.press(vk::Tab);
      EXPECT_EQ(rig.form->route(), s.route);
      const auto& e = rig.log.entries;
      ASSERT_FALSE(e.empty());
      EXPECT_NE(std::find(e.begin(), e.end(), s.said), e.end()) << s.said;
      EXPECT_EQ(e.front() == "caption=Skycall (v0.3b) by Korvel", s.normalCaption) << s.said;
    }
  }
}

TEST(KeyDispatcher, HandEditedRoutesFindTheirWayBack) {
  Started rig;
  rig.form->SpeechMode = -2;
  rig.press(vk::Tab);
  EXPECT_EQ(rig.form->route(), -1);
  EXPECT_TRUE(rig.log.entries.empty());
  rig.press(vk::Tab);
  EXPECT_EQ(rig.spoken(), Said{"Sapi on"});
  rig.form->SpeechMode = 9;
  rig.press(vk::Tab);
  EXPECT_EQ(rig.form->route(), 0);
}

TEST(KeyDispatcher, RateStepsAndTheirBounds) {
  struct Case {
    int rate;
    std::int16_t key;
    int after;
    std::string said;
  };
  const Case cases[] = {
      {3, vk::PageUp, 4, "Sapi faster."},
      {3, vk::PageDown, 2, "Sapi slower."},
      {10, vk::PageUp, 10, "Sapi is at its fastest."},
      {-10, vk::PageDown, -10, "Sapi is at its slowest."},
      {9, vk::PageUp, 10, "Sapi faster."},
      {-9, vk::PageDown, -10, "Sapi slower."},
  };
  for (const Case& c : cases) {
    Started rig;
    rig.voice->rateValue = c.rate;
    rig.press(c.key);
    EXPECT_EQ(rig.voice->rateValue, c.after);
    // The message and the current topic (the first when none was chosen) as one text: the
    // topic said on its own would cut the message off.
    EXPECT_EQ(rig.spoken(),
              Said{c.said + "  Location is set to 12345.  Press Enter to change it."});
    EXPECT_EQ(rig.form->MenuPosition, 1);
  }
}

TEST(KeyDispatcher, KeysThatDoNothing) {
  Started rig;
  // Shift, Alt and 233 alone; Esc with Ctrl or Alt, with Shift or without.
  for (std::int16_t key : {vk::Shift, vk::Alt, vk::OemSpecific}) rig.press(key);
  for (int shift :
       {int{mask::Ctrl}, int{mask::Alt}, mask::Shift | mask::Ctrl, mask::Shift | mask::Alt})
    rig.press(vk::Esc, static_cast<std::int16_t>(shift));
  // Every key while the hot key is being sent.
  rig.form->SendingKeys = 1;
  for (std::int16_t key :
       {vk::Ctrl, vk::Tab, vk::Esc, vk::PageUp, vk::Down, vk::Enter, std::int16_t{'T'}}) {
    rig.press(key, mask::Shift);
    rig.press(key);
  }
  EXPECT_TRUE(rig.log.entries.empty());
  EXPECT_FALSE(std::filesystem::exists(rig.settingsPath()));
  EXPECT_EQ(rig.form->route(), 0);
  EXPECT_EQ(rig.voice->rateValue, 3);
  EXPECT_EQ(rig.form->MenuPosition, 0);
}

TEST(KeyDispatcher, CtrlSilencesAndEscMinimises) {
  Started rig;
  rig.press(vk::Ctrl);
  EXPECT_EQ(rig.log.entries, (Said{"voice3: ", "pump"}));
  rig.log.entries.clear();
  rig.press(vk::Esc);
  EXPECT_EQ(rig.log.entries, (Said{"voice3: Minimizing", "pump", "minimize"}));
  EXPECT_EQ(rig.form->MenuPosition, 0);
}

TEST(KeyDispatcher, SecondQuitDuringTheHoldRunsItsOwnSaveAndGoodBye) {
  Started rig;
  // The first pump is the voice route's; the next events are handled inside the hold.
  rig.window.post([&] { rig.window.post([&] { rig.press(vk::Esc, mask::Shift); }); });
  EXPECT_THROW(rig.press(vk::Esc, mask::Shift), ProgramEnded);
  EXPECT_EQ(rig.spoken(), (Said{"Good bye", "Good bye"}));
  EXPECT_EQ(rig.log.entries.back(), "end");
  EXPECT_TRUE(std::filesystem::exists(rig.settingsPath()));
}

TEST(TopicMenu, EveryTopicFromAFullListAndFromAnEmptyOne) {
  Started rig;
  rig.window.list.rows.clear();
  for (int i = 0; i < 48; ++i) rig.window.list.rows.push_back(L"R" + std::to_wstring(i));
  const Said full = {
      "Location is set to 12345.  Press Enter to change it.",
      "Right now we have R2.",
      "The temperature is R0 with a R4.  It R1",
      "Currently R7.",
      "Current R6.",
      "Summary Right now, R2, R0 R8 and the R9.",
      "Summary Tomorrow, R11.  R12 with R13.  R14.  R15 and the R16.",
      "R18, R19, R20.  R21 with R22.  R23.",
      "R24, R25, R26.  R27 with R28.  R29.",
      "R30, R31, R32.  R33 with R34.  R35.",
      "R36, R37, R38.  R39 with R40.  R41.",
      "R42, R43, R44.  R45 with R46.  R47.",
  };
  // Rows missing (a load that failed, or failed part way): the forecast could not be loaded.
  const Said empty(12, "The forecast could not be loaded.");
  for (int n = 0; n < 12; ++n) rig.press(vk::Down);
  rig.press(vk::Down);  // no wrap-around at the last topic
  EXPECT_EQ(rig.form->MenuPosition, 12);
  Said expected = full;
  expected.push_back(full.back());
  EXPECT_EQ(rig.spoken(), expected);

  // 23 rows: topic 7 reads up to row 16 and is whole; topic 8 reads rows 18 to 23.
  rig.window.list.rows.resize(23);
  rig.log.entries.clear();
  for (int n = 0; n < 6; ++n) rig.press(vk::Up);
  EXPECT_EQ(rig.spoken(), (Said{empty[10], empty[9], empty[8], empty[7], full[6], full[5]}));

  rig.window.list.rows.clear();
  rig.log.entries.clear();
  for (int n = 0; n < 6; ++n) rig.press(vk::Up);  // from 6 down to 1, then once more
  EXPECT_EQ(rig.spoken(), (Said{empty[4], empty[3], empty[2], empty[1], full[0], full[0]}));
  EXPECT_EQ(rig.form->MenuPosition, 1);
}

TEST(TopicMenu, FirstKeyOfAnyKindAnnouncesTheLocationTopic) {
  for (std::int16_t key :
       {vk::Down, vk::Up, vk::Right, vk::Left, vk::Enter, std::int16_t{'A'}, std::int16_t{45}}) {
    Started rig;
    std::int16_t code = key;
    rig.form->Form_KeyDown(code, 0);
    EXPECT_EQ(rig.form->MenuPosition, 1) << key;
    EXPECT_EQ(rig.spoken(), Said{"Location is set to 12345.  Press Enter to change it."});
    EXPECT_EQ(code, key == vk::Enter ? vk::Tab : key);  // the first Enter is made a Tab
    EXPECT_EQ(rig.window.prompts, 0);
  }
}

TEST(TopicMenu, LocationChangeAsksUntilAnsweredThenFetchesAndHolds) {
  Started rig;
  rig.press(vk::Enter);
  rig.window.answers = {L"0", L"", L"New York NY"};
  rig.fetcher.addresses.clear();
  rig.log.entries.clear();
  rig.press(vk::Enter);
  EXPECT_EQ(rig.window.prompts, 3);
  EXPECT_EQ(rig.spoken(), (Said{kPrompt, kPrompt, kPrompt, "Location changed to New York NY"}));
  EXPECT_EQ(rig.fetcher.addresses.front(), "http://forecast.test/weather/right-now/New+York+NY");
  EXPECT_EQ(rig.window.elapsedMs, 500);
  EXPECT_EQ(rig.form->MenuPosition, 1);
  rig.press(vk::Left);
  EXPECT_EQ(rig.spoken().back(), "Location is set to New+York+NY.  Press Enter to change it.");
}

TEST(TopicMenu, LocationChangeThatCannotFetchKeepsTheRowsAndSaysSo) {
  Started rig;
  rig.fetcher.pages["/weather/right-now/"] = {"temperature-fahrenheit\">64<", "utf-8"};
  rig.fetcher.failOn = "/weather/today/";
  rig.press(vk::Enter);
  rig.window.answers = {L"Nowhere"};
  rig.press(vk::Enter);
  EXPECT_EQ(rig.spoken(), (Said{"Location is set to 12345.  Press Enter to change it.", kPrompt,
                                "Location changed to Nowhere",
                                "Location changed to Nowhere  The forecast could not be loaded."}));
  EXPECT_EQ(rig.window.list.rows, (std::vector<std::wstring>{L"Currently 64 degrees.", L"-----"}));
  EXPECT_FALSE(rig.form->FetchRunning);
  rig.press(vk::Down);  // still running, still answering
  EXPECT_EQ(rig.spoken().back(), "The forecast could not be loaded.");
}

TEST(TopicMenu, LocationChangeDuringAFetchIsRefused) {
  Started rig;
  rig.press(vk::Enter);
  rig.window.answers = {L"Boise ID", L"Reno NV"};
  int cycles = 0;
  rig.fetcher.onFetch = [&](const std::string& address) {
    if (address.find("right-now") != std::string::npos) ++cycles;
    if (cycles == 1 && address.find("/today/") != std::string::npos)
      rig.window.post([&] { rig.press(vk::Enter); });  // Enter on topic 1 mid-cycle
  };
  rig.press(vk::Enter);
  EXPECT_EQ(cycles, 1);
  EXPECT_EQ(rig.window.prompts, 1);
  EXPECT_EQ(rig.spoken(), (Said{"Location is set to 12345.  Press Enter to change it.", kPrompt,
                                "Location changed to Boise ID",
                                "Location is set to Boise+ID.  Press Enter to change it."}));
  EXPECT_EQ(rig.window.list.rows, (std::vector<std::wstring>{L"-----", L"-----", L"-----"}));
}

TEST(TopicMenu, MenuOffDoesNothing) {
  Started rig;
  rig.form->MenuMode = 0;
  rig.press(vk::Down);
  rig.press(vk::Enter);
  EXPECT_TRUE(rig.log.entries.empty());
  EXPECT_EQ(rig.form->MenuPosition, 0);
}

}  // namespace
}  // namespace skycall
