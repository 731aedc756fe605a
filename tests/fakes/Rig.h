// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>

#include "app/Form1.h"
#include "fakes/FakeClock.h"
#include "fixtures/Fixtures.h"

// The main window object wired to recording fakes, and the runner of the scenario scripts under
// tests/fixtures/scripts that drive it.
namespace skycall::fakes {

using fixtures::fs::path;
using Texts = std::vector<std::string>;
using Said = std::vector<std::wstring>;

// One ordered record of what every fake saw: "caption=Hello", "pump", "key 17 down",
// "voice3: Hello", "reader0: Hello", "fetch http://...", "prompt:Location|...|", "show", "end".
struct EventLog {
  std::vector<std::wstring> entries;
  void add(const std::string& what, const std::wstring& text = L"") {
    entries.push_back(wide(what) + text);
  }
  static std::wstring wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }
};

// Thrown by endProgram: the program ends at once, so nothing after it may run.
struct ProgramEnded {};

// Events queued with post() are handled at the next pump or wait; waits advance a fake clock
// to the Holder's next tick.
struct RecordingWindow : Window {
  EventLog& log;
  WindowEvents* handler = nullptr;
  std::wstring captionText;
  VectorList list;
  bool enabled = false;
  int interval = 0, prompts = 0;
  double elapsedMs = 0;
  std::deque<std::wstring> answers;  // the location box's answers; none left = Cancel
  std::deque<std::function<void()>> pending;

  explicit RecordingWindow(EventLog& l) : log(l) {}
  void setEventHandler(WindowEvents* h) override { handler = h; }
  std::wstring caption() const override { return captionText; }
  void setCaption(const std::wstring& text) override { log.add("caption=", captionText = text); }
  ForecastList& List1() override { return list; }
  void pumpEvents() override { log.add("pump"), runPending(); }
  void waitForEvents() override {
    if (runPending()) return;
    if (!enabled || interval <= 0) throw std::logic_error("a wait that nothing can end");
    elapsedMs += interval;
    log.add("tick");
    handler->Holder_Timer();
  }
  void setHolderEnabled(bool on) override { enabled = on; }
  bool holderEnabled() const override { return enabled; }
  void setHolderInterval(int ms) override {
    if (ms < 0 || ms > 65535) throw SpeechError("Invalid property value");
    interval = ms;
  }
  int holderInterval() const override { return interval; }
  std::wstring inputBox(const std::wstring& prompt, const std::wstring& title,
                        const std::wstring& def) override {
    ++prompts;
    log.add("prompt:", title + L"|" + prompt + L"|" + def);
    if (answers.empty()) return L"";
    std::wstring a = answers.front();
    answers.pop_front();
    return a;
  }
  void showAndActivate() override { log.add("show"), handler->Form_Activate(); }
  void minimize() override { log.add("minimize"); }
  void endProgram() override { log.add("end"), throw ProgramEnded{}; }
  // One pass: the events pending now, not those they post.
  bool runPending() {
    std::deque<std::function<void()>> now;
    now.swap(pending);
    for (auto& e : now) e();
    return !now.empty();
  }
};

struct RecordingVoice : Voice {
  EventLog& log;
  int rateValue = 0, volume = 0;
  explicit RecordingVoice(EventLog& l) : log(l) {}
  void setRate(int r) override {
    if (r < -10 || r > 10) throw SpeechError("Invalid procedure call or argument");
    rateValue = r;
  }
  int rate() const override { return rateValue; }
  void setVolume(int v) override { volume = v; }
  void speak(const std::wstring& text, int flags) override {
    log.add("voice" + std::to_string(flags) + ": ", text);
  }
};

struct RecordingReader : ScreenReader {
  EventLog& log;
  explicit RecordingReader(EventLog& l) : log(l) {}
  void SayString(const std::wstring& text, int flags) override {
    log.add("reader" + std::to_string(flags) + ": ", text);
  }
};

struct RecordingKeys : KeySender {
  EventLog& log;
  bool fails = false;
  explicit RecordingKeys(EventLog& l) : log(l) {}
  void keybd_event(int vk, int flags) override {
    if (fails) throw SpeechError("no display");
    log.add("key " + std::to_string(vk) + (flags == kKeyUp ? " up" : " down"));
  }
};

// Serves pages by the path they contain, or passes every address on to a real fetcher.
struct Fetcher : PageFetcher {
  EventLog& log;
  PageFetcher* real = nullptr;
  Texts addresses;
  std::map<std::string, FetchedPage> pages;  // path part -> page
  std::string failOn;                        // a path part whose fetch fails
  std::string onFetchOf;                     // a path part whose first fetch runs onFetch, once
  std::function<void()> onFetch;
  explicit Fetcher(EventLog& l) : log(l) {}
  FetchedPage fetch(const std::string& address) override {
    addresses.push_back(address);
    log.add("fetch " + address);
    if (onFetch && address.find(onFetchOf) != std::string::npos) std::exchange(onFetch, nullptr)();
    if (real) return real->fetch(address);
    if (!failOn.empty() && address.find(failOn) != std::string::npos)
      throw FetchError("Could not connect to the forecast site");
    for (const auto& [part, page] : pages)
      if (address.find(part) != std::string::npos) return page;
    return {};
  }
};

struct Rig {
  EventLog log;
  RecordingWindow window{log};
  Fetcher fetcher{log};
  FakeClock clock;
  RecordingKeys keys{log};
  fixtures::TempFolder programFolder, workingFolder;
  bool readerAnswers = true, voiceAnswers = true;
  RecordingVoice* voice = nullptr;  // owned by the form once created
  std::unique_ptr<Form1> form;

  explicit Rig(PageFetcher* real = nullptr, std::string host = "forecast.test") {
    fetcher.real = real;
    auto makeVoice = [this]() -> std::unique_ptr<Voice> {
      if (!voiceAnswers) throw SpeechError("speech-dispatcher does not answer");
      auto v = std::make_unique<RecordingVoice>(log);
      voice = v.get();
      return v;
    };
    auto makeReader = [this]() -> std::unique_ptr<ScreenReader> {
      if (!readerAnswers) throw SpeechError("No screen reader answers on the session bus");
      return std::make_unique<RecordingReader>(log);
    };
    form = std::make_unique<Form1>(Platform{window, makeVoice, makeReader, &keys, fetcher, clock,
                                            programFolder.path(), workingFolder.path(),
                                            std::move(host)});
    window.setEventHandler(form.get());
  }
  path settingsPath() const { return programFolder.path() / "progress.ini"; }
  // Presses a key as the window would deliver it.
  void press(std::int16_t vk, std::int16_t shift = 0) { form->Form_KeyDown(vk, shift); }
};
;

// Runs one scenario, a line a step: "verb field | field | ...". Expected texts are escaped; rows
// may name golden data: "@rows:pages/cycle-full.rows" or "@page:right-now-full" (its rows).
class Script {
 public:
  PageFetcher* real = nullptr;
  std::string host = "forecast.test";
  // Verbs of a suite's own; true when it knew the verb.
  std::function<bool(Script&, const std::string&, const Texts&)> extra;
  std::unique_ptr<Rig> rig;

  // A new program; on restart, with the settings file the last one left.
  void begin(bool restart = false) {
    std::string saved;
    if (restart && fixtures::fs::exists(rig->settingsPath()))
      saved = fixtures::readBytes(rig->settingsPath());
    rig = std::make_unique<Rig>(real, host);
    if (!saved.empty()) fixtures::writeBytes(rig->settingsPath(), saved);
    mark_ = 0;
  }

  void step(const std::string& line) {
    const std::size_t space = line.find(' ');
    const std::string verb = line.substr(0, space);
    const Texts f = space == std::string::npos ? Texts{} : fixtures::fields(line.substr(space + 1));
    Rig& r = *rig;
    auto num = [&](std::size_t i, int otherwise = 0) {
      return i < f.size() ? std::stoi(f[i]) : otherwise;
    };
    if (verb == "settings")
      fixtures::writeBytes(r.settingsPath(), fixtures::bytes(f.at(0)));
    else if (verb == "saved")
      fixtures::writeBytes(r.settingsPath(), savedFile(f));
    else if (verb == "answers")
      for (const auto& a : f) r.window.answers.push_back(fixtures::text(a));
    else if (verb == "reader")
      r.readerAnswers = false;
    else if (verb == "voice")
      r.voiceAnswers = false;
    else if (verb == "keys")
      r.keys.fails = true;
    else if (verb == "page")
      r.fetcher.pages["/weather/" + f.at(0) + "/"] = {fixtures::bytes(f.at(1)), f.at(2)};
    else if (verb == "serve") {
      r.clock.day = 4;  // the day the full forecast was saved on
      for (const std::string p : {"right-now", "today", "tomorrow", "tenday"})
        r.fetcher.pages["/weather/" + p + "/"] = {fixtures::page(p + "-full").body, "utf-8"};
    } else if (verb == "fail")
      r.fetcher.failOn = f.at(0);
    else if (verb == "clock")
      r.clock.day = num(0);
    else if (verb == "mkdir")
      fixtures::fs::create_directory(folder(f.at(0)) / f.at(1));
    else if (verb == "start")
      EXPECT_EQ(r.form->start(), f.empty()) << line;
    else if (verb == "restart")
      begin(true);
    else if (verb == "forget")
      forget();
    else if (verb == "key") {
      try {  // the program may end on it, also inside what the key set off
        r.press(static_cast<std::int16_t>(num(0)), static_cast<std::int16_t>(num(1)));
      } catch (const ProgramEnded&) {
        if (nested_) throw;  // nothing after the end may run
      }
    } else if (verb == "later")
      later(std::stoi(line.substr(6)), line.substr(line.find(' ', 6) + 1));
    else if (verb == "onfetch") {  // onfetch PART N STEP: STEP at the N-th pump after that fetch
      const std::size_t a = line.find(' ', 8), b = line.find(' ', a + 1);
      r.fetcher.onFetchOf = line.substr(8, a - 8);
      r.fetcher.onFetch = [this, n = std::stoi(line.substr(a + 1)), rest = line.substr(b + 1)] {
        later(n, rest);
      };
    } else if (verb == "activate")
      r.form->Form_Activate();
    else if (verb == "set")
      set(f.at(0), f.at(1));
    else if (verb == "fill") {
      r.window.list.rows.clear();
      for (int i = 0; i < num(0); ++i) r.window.list.rows.push_back(L"R" + std::to_wstring(i));
    } else if (verb == "say")
      r.form->sayit(fixtures::text(f.empty() ? "" : f[0]));
    else if (verb == "hold")
      r.form->hold(std::stod(f.at(0)));
    else if (verb == "expect")
      expect(f, line);
    else if (!extra || !extra(*this, verb, f))
      ADD_FAILURE() << "no such step: " << line;
  }

  // Every scenario of a script file: each begins at a line "== name".
  void runFile(const path& file) {
    std::istringstream in(fixtures::readBytes(file));
    int number = 0;
    std::string name;
    for (std::string line; std::getline(in, line);) {
      ++number;
      if (line.empty() || line[0] == '#') continue;
      if (line.rfind("== ", 0) == 0) {
        name = line.substr(3);
        begin();
        continue;
      }
      SCOPED_TRACE(file.filename().string() + ":" + std::to_string(number) + " (" + name + ")");
      try {
        step(line);
      } catch (const ProgramEnded&) {
        ADD_FAILURE() << "the program ended outside a key: " << line;
      } catch (const std::exception& e) {
        ADD_FAILURE() << e.what() << ": " << line;
      }
    }
  }

  Said since(const std::wstring& prefix) const {
    Said out;
    const Said& e = rig->log.entries;
    for (std::size_t i = mark_; i < e.size(); ++i)
      if (e[i].rfind(prefix, 0) == 0) out.push_back(e[i].substr(prefix.size()));
    return out;
  }
  void forget() {
    mark_ = rig->log.entries.size();
    rig->window.prompts = 0;
    rig->fetcher.addresses.clear();
  }
  static std::string savedFile(const Texts& f) {
    return fixtures::settingsFile(fixtures::bytes(f.at(0)), fixtures::bytes(f.at(1)),
                                  fixtures::bytes(f.at(2)));
  }

 private:
  path folder(const std::string& which) const {
    return (which == "program" ? rig->programFolder : rig->workingFolder).path();
  }
  // A step taken at the n-th pump or wait from now.
  void later(int n, const std::string& line) {
    rig->window.pending.push_back([this, n, line] {
      if (n > 1) return later(n - 1, line);
      ++nested_;
      try {
        step(line);
      } catch (...) {
        --nested_;
        throw;
      }
      --nested_;
    });
  }
  void set(const std::string& name, const std::string& value) {
    Form1& form = *rig->form;
    if (name == "caption")
      rig->window.captionText = fixtures::text(value);
    else if (name == "rate")
      rig->voice->rateValue = std::stoi(value);
    else if (name == "SpeechMode")
      form.SpeechMode = std::stoi(value);
    else if (name == "SendingKeys")
      form.SendingKeys = std::stoi(value);
    else if (name == "MenuMode")
      form.MenuMode = std::stoi(value);
    else
      ADD_FAILURE() << "no such setting: " << name;
  }
  static Said expand(const Texts& f, std::size_t from) {
    Said out;
    for (std::size_t i = from; i < f.size(); ++i) {
      std::vector<std::wstring> named;
      if (f[i].rfind("@rows:", 0) == 0) {
        std::istringstream in(fixtures::readBytes(fixtures::path(f[i].substr(6))));
        named = fixtures::rows(in);
      } else if (f[i].rfind("@page:", 0) == 0) {
        named = fixtures::page(f[i].substr(6)).rows;
      } else {
        out.push_back(fixtures::text(f[i]));
      }
      out.insert(out.end(), named.begin(), named.end());
    }
    return out;
  }
  void expect(const Texts& f, const std::string& line) {
    Rig& r = *rig;
    const std::string& what = f.at(0);
    const Said want = expand(f, 1);
    auto number = [&](long got) { EXPECT_EQ(got, std::stol(f.at(1))) << line; };
    auto text = [&](const std::wstring& got) { EXPECT_EQ(got, want.at(0)) << line; };
    if (what == "said")
      EXPECT_EQ(since(L"voice3: "), want) << line;
    else if (what == "events")
      EXPECT_EQ(since(L""), want) << line;
    else if (what == "order") {  // these entries, in this order, among others
      const Said got = since(L"");
      auto at = got.begin();
      for (const auto& w : want) {
        at = std::find(at, got.end(), w);
        ASSERT_NE(at, got.end()) << line << ": no " << w << " in order";
      }
    } else if (what == "rows")
      EXPECT_EQ(r.window.list.rows, want) << line;
    else if (what == "addresses") {
      Said got;
      for (const auto& a : r.fetcher.addresses) got.push_back(EventLog::wide(a));
      EXPECT_EQ(got, want) << line;
    } else if (what == "file")
      EXPECT_EQ(fixtures::readBytes(folder(f.at(1)) / f.at(2)), fixtures::bytes(f.at(3))) << line;
    else if (what == "saved")
      EXPECT_EQ(fixtures::readBytes(r.settingsPath()), savedFile({f.begin() + 1, f.end()})) << line;
    else if (what == "files")
      number(std::distance(fixtures::fs::directory_iterator(folder(f.at(2))),
                           fixtures::fs::directory_iterator()));
    else if (what == "last")
      EXPECT_EQ(r.log.entries.back(), want.at(0)) << line;
    else if (what == "logged")
      EXPECT_NE(
          fixtures::readBytes(folder("working") / "debuglog.txt").find(fixtures::bytes(f.at(1))),
          std::string::npos)
          << line;
    else if (what == "route")
      number(r.form->route());
    else if (what == "rate")
      number(r.voice->rateValue);
    else if (what == "volume")
      number(r.voice->volume);
    else if (what == "position")
      number(r.form->MenuPosition);
    else if (what == "prompts")
      number(r.window.prompts);
    else if (what == "elapsed")
      number(static_cast<long>(r.window.elapsedMs));
    else if (what == "fetching")
      number(r.form->FetchRunning);
    else if (what == "holder")
      number(r.window.enabled);
    else if (what == "jawsflag")
      number(r.form->JawsFlag + (r.form->JawsApi != nullptr));
    else if (what == "location")
      text(r.form->Location);
    else if (what == "caption")
      text(r.window.captionText);
    else
      ADD_FAILURE() << "no such expectation: " << line;
  }
  std::size_t mark_ = 0;
  int nested_ = 0;  // steps running inside the program's own event pumps
};

}  // namespace skycall::fakes
