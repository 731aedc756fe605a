// The speech router and the hold delay, checked by the order of what reaches each output.
#include <gtest/gtest.h>

#include "fakes/RecordingSpeech.h"
#include "fakes/RecordingWindow.h"
#include "speech/Hold.h"
#include "speech/SpeechRouter.h"

namespace skycall {
namespace {

using Entries = std::vector<std::string>;

struct Router : WindowEvents {
  fakes::EventLog log;
  fakes::RecordingWindow window{log};
  fakes::RecordingVoice voice{log};
  fakes::RecordingScreenReader reader{log};
  fakes::RecordingKeySender keys{log};
  int sendingKeys = 0;
  std::vector<int> sendingKeysAtPumps;

  Router() { window.setEventHandler(this); }
  void say(const std::wstring& text, int mode, ScreenReader* r = nullptr) {
    sayit(text, mode, sendingKeys, SpeechOutputs{window, &voice, r ? r : &reader, &keys});
  }
  void Form_Activate() override {}
  void Form_KeyDown(std::int16_t&, std::int16_t) override {}
  void Holder_Timer() override { holderTick(window); }
  void Form_Resize() override {}
  void Form_Unload() override {}
};

TEST(SpeechRouter, EachRouteInOrder) {
  struct Case {
    const char* name;
    int mode;
    std::wstring caption;  // before
    std::wstring text;
    Entries entries;
  };
  const Case cases[] = {
      {"voice", 0, L"", L"Hello", {"voice3: Hello", "pump"}},
      {"voice silenced", 0, L"", L"", {"voice3: ", "pump"}},
      {"caption, new text", 1, L"Old", L"Hello", {"caption=Hello"}},
      {"caption, same text", 1, L"Hello", L"Hello", {"caption=Hello ", "pump", "caption=Hello"}},
      {"caption, empty twice", 1, L"", L"", {"caption= ", "pump", "caption="}},
      {"caption and hot-key, same text",
       2,
       L"Hi",
       L"Hi",
       {"caption=Hi ", "pump", "caption=Hi", "key 17 down", "key 16 down", "key 84 down", "pump",
        "key 17 up", "key 16 up", "key 84 up", "pump"}},
      {"screen reader", 3, L"", L"Hello", {"reader0: Hello"}},
      {"no such route", 4, L"", L"Hello", {}},
      {"below the routes", -1, L"", L"Hello", {}},
  };
  for (const Case& c : cases) {
    Router r;
    r.window.captionText = c.caption;
    r.say(c.text, c.mode);
    EXPECT_EQ(r.log.entries, c.entries) << c.name;
    EXPECT_EQ(r.sendingKeys, 0) << c.name;
  }
}

TEST(SpeechRouter, HotKeyIsSentWhileSendingKeysGuardsTheHandler) {
  Router r;
  r.window.post([&] { r.sendingKeysAtPumps.push_back(r.sendingKeys); });
  r.say(L"Hi", 2);
  r.window.post([&] { r.sendingKeysAtPumps.push_back(r.sendingKeys); });
  r.window.pumpEvents();
  // Presses arrive while the guard is up; releases after it is down again.
  EXPECT_EQ(r.sendingKeysAtPumps, (std::vector<int>{1, 0}));
}

TEST(SpeechRouter, FailingStepsAreSkippedSilently) {
  Router r;
  r.keys.fails = true;
  r.say(L"Hi", 2);  // no display: the caption still changes, the pumps still run
  EXPECT_EQ(r.log.entries, (Entries{"caption=Hi", "pump", "pump"}));
  EXPECT_EQ(r.sendingKeys, 0);

  struct Silent : ScreenReader {
    void SayString(const std::wstring&, int) override { throw SpeechError("gone"); }
  } silent;
  Router r2;
  EXPECT_NO_THROW(r2.say(L"Hi", 3, &silent));
  EXPECT_NO_THROW(
      sayit(L"Hi", 3, r2.sendingKeys, SpeechOutputs{r2.window, nullptr, nullptr, nullptr}));
  EXPECT_NO_THROW(
      sayit(L"Hi", 0, r2.sendingKeys, SpeechOutputs{r2.window, nullptr, nullptr, nullptr}));
}

TEST(Hold, WaitsOnTheHolderAndLeavesItIdle) {
  for (double seconds : {0.5, 0.0}) {
    Router r;
    hold(seconds, r.window);  // 0 returns at once
    EXPECT_EQ(r.window.elapsedMs, seconds * 1000);
    EXPECT_FALSE(r.window.enabled);
    EXPECT_EQ(r.window.interval, 0);
    EXPECT_THROW(hold(-1, r.window), SpeechError);
    EXPECT_THROW(hold(65.536, r.window), SpeechError);
  }
}

TEST(Hold, KeyDuringAHoldIsHandledInsideItAndNestedHoldsEndTogether) {
  Router r;
  std::vector<std::string> order;
  r.window.post([&] {
    order.push_back("inner starts");
    hold(0.25, r.window);  // the same timer: its tick ends both waits
    order.push_back("inner ends");
  });
  hold(0.5, r.window);
  order.push_back("outer ends");
  EXPECT_EQ(order, (std::vector<std::string>{"inner starts", "inner ends", "outer ends"}));
  EXPECT_EQ(r.log.with("tick").size(), 1u);
  EXPECT_EQ(r.window.elapsedMs, 250);
  EXPECT_FALSE(r.window.enabled);
}

}  // namespace
}  // namespace skycall
