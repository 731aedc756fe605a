// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>

#include "app/Form1.h"
#include "fakes/FakeClock.h"
#include "fakes/Fixtures.h"
#include "forecast/RowList.h"

// The main window object wired to recording fakes: the rig is its window, key sender and page
// fetcher, and holds its voice and screen reader.
namespace skycall::fakes {

using namespace fixtures;
using Said = std::vector<std::wstring>;

// Thrown by endProgram: the program ends at once, so nothing after it may run. Not a
// std::exception, which the program's own error traps would take.
struct ProgramEnded {};

// One ordered record of what every fake saw: "caption=Hello" ("quiet caption=" unannounced),
// "pump", "tick", "key 17 down", "key 13+ down" (extended), "voice3: Hello" ("voice7: " urgent),
// "reader0: Hello", "notify: Hello" ("notify critical: "), "fetch http://...",
// "prompt:Location|...|", "show", "minimize", "end".
inline void note(Said& log, const std::string& what, const std::wstring& text = L"") {
  log.push_back(std::wstring(what.begin(), what.end()) + text);
}

// The voice, and the screen reader's interface.
struct Speaker : Voice, ScreenReader {
  Said& log;
  int rateValue = 0, volume = 0;
  explicit Speaker(Said& l) : log(l) {}
  void setRate(int r) override {
    if (r < -10 || r > 10) throw SpeechError("Invalid procedure call or argument");
    rateValue = r;
  }
  int rate() const override { return rateValue; }
  void setVolume(int v) override { volume = v; }
  void speak(const std::wstring& text, int flags) override { say("voice", text, flags); }
  void SayString(const std::wstring& text, int flags) override { say("reader", text, flags); }
  void say(const std::string& who, const std::wstring& text, int flags) {
    note(log, who + std::to_string(flags) + ": ", text);
  }
};

// Events queued on `pending` run at the next pump or wait; a wait with none pending lasts to the
// holder's tick. Pages are served by a part of their path. Background jobs wait in `jobs`
// until a step runs them.
struct Rig : Window, KeySender, PageFetcher, Background, Notifier {
  Said log;
  std::wstring captionText, shownText;  // shown: what the window shows, not an event
  std::vector<int> shownRows;
  RowList list;
  bool enabled = false;
  int interval = 0, elapsedMs = 0;
  std::set<std::string> off;  // "reader", "voice", "keys", "notifier": those that fail
  ReadTitleKeys hotKey = kCtrlShiftT;
  bool screenReader = false;  // a screen reader runs
  Said answers;               // the location box's answers; none left: the box is left
  std::size_t asked = 0;
  int leftAgain = 0;
  std::vector<std::function<void()>> pending;
  std::map<std::string, FetchedPage> pages;    // by a part of the path
  std::map<std::string, std::string> failing;  // parts of the paths whose fetch fails, and how
  std::string onFetchOf;                       // a part of the path whose first fetch runs onFetch
  std::function<void()> onFetch;
  FakeClock clock;
  std::vector<Job> jobs;
  TempFolder programFolder, workingFolder;
  Speaker *voice = nullptr, *reader = nullptr;  // owned by the form
  std::unique_ptr<Form1> form;

  explicit Rig(const std::string& host) { build(host, {}); }

  // A new program object, loading again as often as `times` says.
  void build(const std::string& host, RefreshTimes times) {
    auto makeVoice = [this]() -> std::unique_ptr<Voice> {
      if (off.count("voice")) throw SpeechError("speech-dispatcher does not answer");
      return std::unique_ptr<Voice>(voice = new Speaker(log));
    };
    auto makeReader = [this]() -> std::unique_ptr<ScreenReader> {
      if (off.count("reader")) throw SpeechError("No screen reader answers on the session bus");
      return std::unique_ptr<ScreenReader>(reader = new Speaker(log));
    };
    std::function<bool()> readerRuns = [this] { return screenReader; };
    form = std::make_unique<Form1>(Platform{*this,
                                            makeVoice,
                                            makeReader,
                                            readerRuns,
                                            this,
                                            *this,
                                            clock,
                                            programFolder.dir,
                                            workingFolder.dir,
                                            host,
                                            {},
                                            this,
                                            this,
                                            times,
                                            this});
  }

  void setEventHandler(WindowEvents*) override {}  // only ever the form
  std::wstring caption() const override { return captionText; }
  void setCaption(const std::wstring& text, bool announced = true) override {
    note(log, announced ? "caption=" : "quiet caption=", captionText = text);
  }
  ForecastList& List1() override { return list; }
  void showSaid(const std::wstring& text) override { shownText = text; }
  void showTopicRows(const std::vector<int>& rows) override { shownRows = rows; }
  void pumpEvents() override {
    note(log, "pump");
    runPending();
  }
  void waitForEvents() override {
    if (runPending()) return;
    if (!enabled || interval <= 0) throw std::logic_error("a wait that nothing can end");
    elapsedMs += interval;
    note(log, "tick");
    form->Holder_Timer();
  }
  void setHolderEnabled(bool on) override { enabled = on; }
  bool holderEnabled() const override { return enabled; }
  void setHolderInterval(int ms) override {
    if (ms < 0 || ms > 65535) throw SpeechError("Invalid property value");
    interval = ms;
  }
  int holderInterval() const override { return interval; }
  std::optional<std::wstring> inputBox(const std::wstring& prompt, const std::wstring& title,
                                       const std::wstring& def) override {
    note(log, "prompt:", title + L"|" + prompt + L"|" + def);
    if (asked < answers.size()) return answers[asked++];
    // A box that comes back however often it is left is a keyboard trap, not a wait.
    if (++leftAgain > 20) throw std::logic_error("the location box keeps coming back");
    return std::nullopt;
  }
  void showAndActivate() override {
    note(log, "show");
    form->Form_Activate();
  }
  void minimize() override { note(log, "minimize"); }
  void endProgram() override {
    note(log, "end");
    throw ProgramEnded();
  }
  // One pass: the events pending now, not those they post.
  bool runPending() {
    const auto now = std::exchange(pending, {});
    for (const auto& e : now) e();
    return !now.empty();
  }
  ReadTitleKeys readTitleKeys() override { return off.count("keys") ? ReadTitleKeys{} : hotKey; }
  void keybd_event(int vk, int flags) override {
    note(log, "key " + std::to_string(vk) + (flags & kExtendedKey ? "+" : "") +
                  (flags & kKeyUp ? " up" : " down"));
  }
  void run(Job job) override { jobs.push_back(std::move(job)); }
  // The jobs handed on so far, done, and their results taken in.
  void runJobs() {
    for (const Job& job : std::exchange(jobs, {})) job()();
  }
  bool notify(const std::wstring& summary, const std::wstring& body, bool critical) override {
    if (off.count("notifier")) return false;
    note(log, critical ? "notify critical: " : "notify: ", summary + L": " + body);
    return true;
  }
  FetchedPage fetch(const std::string& address) override {
    note(log, "fetch " + address);
    if (onFetch && address.find(onFetchOf) != std::string::npos) std::exchange(onFetch, nullptr)();
    for (const auto& [part, how] : failing) {
      if (address.find(part) == std::string::npos) continue;
      if (how == "not-found") throw PlaceNotFound("Not Found");
      if (how == "another-user") throw SiteOfAnotherUser("Forbidden");
      throw FetchError("No connection");
    }
    for (const auto& [part, page] : pages)
      if (address.find(part) != std::string::npos) return page;
    return {};
  }
};

}  // namespace skycall::fakes
