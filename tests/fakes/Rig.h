// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "app/Form1.h"
#include "fakes/FakeClock.h"
#include "fixtures/Fixtures.h"

// The main window object wired to recording fakes, and the runner of the scenario scripts that
// drive it (tests/fixtures/scripts/README.md).
namespace skycall::fakes {

using namespace fixtures;
using namespace std::chrono_literals;
using Texts = std::vector<std::string>;
using Said = std::vector<std::wstring>;

// Thrown by endProgram: the program ends at once, so nothing after it may run. Not a
// std::exception, which the program's own error traps would take.
struct ProgramEnded {};

// One ordered record of what every fake saw: "caption=Hello", "pump", "tick", "key 17 down",
// "voice3: Hello", "reader0: Hello", "fetch http://...", "prompt:Location|...|", "show", "end".
inline void note(Said& log, const std::string& what, const std::wstring& text = L"") {
  log.push_back(std::wstring(what.begin(), what.end()) + text);
}

// The voice, and the screen reader.
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

// The program on fakes: the rig is its window, key sender and page fetcher. Events queued on
// `pending` run at the next pump or wait; a wait with none pending lasts to the holder's tick.
// Pages are served by a part of their path, or every address goes to a real fetcher.
struct Rig : Window, KeySender, PageFetcher {
  Said log;
  std::wstring captionText;
  VectorList list;
  bool enabled = false;
  int interval = 0, elapsedMs = 0;
  std::set<std::string> off;  // "reader", "voice", "keys": those that fail
  ReadTitleKeys hotKey = kCtrlShiftT;
  bool screenReader = false;  // a screen reader runs
  Said answers;               // the location box's answers; none left = Cancel
  std::size_t asked = 0;
  std::vector<std::function<void()>> pending;
  PageFetcher* real;
  std::map<std::string, std::pair<std::string, std::string>> pages;  // path part -> body, charset
  std::string failOn;     // a path part whose fetch fails
  std::string onFetchOf;  // a path part whose first fetch runs onFetch, once
  std::function<void()> onFetch;
  FakeClock clock;
  TempFolder programFolder, workingFolder;
  Speaker* voice = nullptr;  // owned by the form
  std::unique_ptr<Form1> form;

  Rig(PageFetcher* realFetcher, std::string host) : real(realFetcher) {
    auto makeVoice = [this]() -> std::unique_ptr<Voice> {
      if (off.count("voice")) throw SpeechError("speech-dispatcher does not answer");
      return std::unique_ptr<Voice>(voice = new Speaker(log));
    };
    auto makeReader = [this]() -> std::unique_ptr<ScreenReader> {
      if (off.count("reader")) throw SpeechError("No screen reader answers on the session bus");
      return std::make_unique<Speaker>(log);
    };
    form = std::make_unique<Form1>(Platform{*this,
                                            makeVoice,
                                            makeReader,
                                            [this] { return screenReader; },
                                            this,
                                            *this,
                                            clock,
                                            programFolder.dir,
                                            workingFolder.dir,
                                            host,
                                            {}});
  }
  fs::path ini() const { return programFolder.dir / "progress.ini"; }

  void setEventHandler(WindowEvents*) override {}  // only ever the form
  std::wstring caption() const override { return captionText; }
  void setCaption(const std::wstring& text, bool announced = true) override {
    note(log, announced ? "caption=" : "quiet caption=", captionText = text);
  }
  ForecastList& List1() override { return list; }
  void pumpEvents() override { note(log, "pump"), runPending(); }
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
    if (asked >= answers.size()) return std::nullopt;
    return answers[asked++];
  }
  void showAndActivate() override { note(log, "show"), form->Form_Activate(); }
  void minimize() override { note(log, "minimize"); }
  void endProgram() override { note(log, "end"), throw ProgramEnded(); }
  // One pass: the events pending now, not those they post.
  bool runPending() {
    const auto now = std::exchange(pending, {});
    for (const auto& e : now) e();
    return !now.empty();
  }
  ReadTitleKeys readTitleKeys() override { return hotKey; }
  void keybd_event(int vk, int flags) override {
    if (off.count("keys")) throw SpeechError("no display");
    note(log, "key " + std::to_string(vk) + (flags == kKeyUp ? " up" : " down"));
  }
  FetchedPage fetch(const std::string& address) override {
    note(log, "fetch " + address);
    if (onFetch && address.find(onFetchOf) != std::string::npos) std::exchange(onFetch, nullptr)();
    if (real) return real->fetch(address);
    if (!failOn.empty() && address.find(failOn) != std::string::npos)
      throw FetchError("Could not connect to the forecast site");
    for (const auto& [part, page] : pages)
      if (address.find(part) != std::string::npos) return {page.first, page.second};
    return {};
  }
};

// Rows "R0" to "R(n-1)".
inline Said numbered(int n) {
  Said rows;
  for (int i = 0; i < n; ++i) rows.push_back(L"R" + std::to_wstring(i));
  return rows;
}

// Runs scenarios, a line a step: "verb field | field | ...". A suite may add verbs of its own.
struct Script {
  PageFetcher* real = nullptr;
  std::string host = "forecast.test";
  std::map<std::string, std::function<void(const Texts&)>> more;
  std::unique_ptr<Rig> rig;
  std::size_t mark = 0;                      // where the log stood at the last `forget`
  std::chrono::steady_clock::time_point t0;  // and when

  // A new program; on restart, with the settings file the last one left.
  void begin(const std::string& saved = "") {
    rig = std::make_unique<Rig>(real, host);
    if (!saved.empty()) writeBytes(rig->ini(), saved);
    forget();
  }
  void forget() {
    mark = rig->log.size();
    t0 = std::chrono::steady_clock::now();
  }

  void step(const std::string& line) {
    const std::size_t space = std::min(line.find(' '), line.size());
    const std::string rest = line.substr(std::min(space + 1, line.size()));
    const Texts f = rest.empty() ? Texts{} : fields(rest);
    std::string verb = line.substr(0, space);
    if (verb == "set" || verb == "expect") verb += " " + f.at(0);  // "set NAME | VALUE"
    const auto num = [&](std::size_t i) { return i < f.size() ? std::stoi(f[i]) : 0; };
    const auto later = [&] { return rest.substr(rest.find(' ') + 1); };
    const auto file = [&](std::size_t i) { return folder(f.at(i)) / f.at(i + 1); };
    const auto is = [&](long got) { EXPECT_EQ(got, std::stol(f.at(1), nullptr, 0)); };
    const auto are = [&](const Said& got) { EXPECT_EQ(got, expand(f, 1)); };
    std::int16_t code = 0, shift = 0;  // as the window delivers a key
    Rig& r = *rig;
    Form1& form = *r.form;
    const std::map<std::string, std::function<void()>> verbs = {
        {"saved", [&] { writeBytes(r.ini(), settingsFile(f.at(0), f.at(1), f.at(2))); }},
        {"write", [&] { writeBytes(file(0), bytes(f.at(2))); }},
        {"age", [&] { fs::last_write_time(file(0), fs::last_write_time(file(0)) - 1h); }},
        {"mkdir", [&] { fs::create_directory(file(0)); }},
        {"off", [&] { r.off.insert(f.at(0)); }},
        {"page", [&] { r.pages["/weather/" + f[0] + "/"] = std::pair(bytes(f[1]), f[2]); }},
        {"serve", [&] { serve(); }},
        {"fail", [&] { r.failOn = f.at(0); }},
        {"fill", [&] { r.list.rows = numbered(num(0)); }},
        {"start", [&] { EXPECT_EQ(form.start(), f.empty()); }},
        {"restart", [&] { begin(readBytes(r.ini())); }},
        {"forget", [&] { forget(); }},
        {"key", [&] { form.Form_KeyDown(code = num(0), shift = num(1)); }},
        {"later", [&] { post(std::stoi(rest), later()); }},
        {"onfetch", [&] { onFetch(rest.substr(0, rest.find(' ')), later()); }},
        {"activate", [&] { form.Form_Activate(); }},
        {"set caption", [&] { r.captionText = text(f.at(1)); }},
        {"set rate", [&] { r.voice->rateValue = num(1); }},
        {"set SpeechMode", [&] { form.SpeechMode = num(1); }},
        {"set SendingKeys", [&] { form.SendingKeys = num(1); }},
        {"set MenuMode", [&] { form.MenuMode = num(1); }},
        {"say", [&] { form.sayit(text(f.empty() ? "" : f[0])); }},
        {"hold", [&] { form.hold(std::stod(f.at(0))); }},
        {"expect refused", [&] { EXPECT_THROW(form.hold(std::stod(f.at(1))), SpeechError); }},
        {"expect route", [&] { is(form.route()); }},
        {"expect rate", [&] { is(r.voice->rateValue); }},
        {"expect volume", [&] { is(r.voice->volume); }},
        {"expect position", [&] { is(form.MenuPosition); }},
        {"expect prompts", [&] { is(since(L"prompt:").size()); }},
        {"expect fetches", [&] { is(since(L"fetch ").size()); }},
        {"expect elapsed", [&] { is(r.elapsedMs); }},
        {"expect fetching", [&] { is(form.FetchRunning); }},
        {"expect holder", [&] { is(r.enabled); }},
        {"expect jawsflag", [&] { is(form.JawsFlag + (form.JawsApi != nullptr)); }},
        {"expect files", [&] { is(entries(folder(f.at(2)))); }},
        {"expect mode", [&] { is(static_cast<long>(fs::status(file(2)).permissions())); }},
        {"expect within", [&] { EXPECT_LT(std::chrono::steady_clock::now() - t0, 1ms * num(1)); }},
        {"expect said", [&] { are(since(L"voice3: ")); }},
        {"expect events", [&] { are(since(L"")); }},
        {"expect addresses", [&] { are(since(L"fetch ")); }},
        {"expect rows", [&] { are(r.list.rows); }},
        {"expect last", [&] { are({r.log.back()}); }},
        {"expect location", [&] { are({form.Location}); }},
        {"expect caption", [&] { are({r.captionText}); }},
        {"expect order", [&] { inOrder(expand(f, 1)); }},
        {"expect file", [&] { EXPECT_EQ(readBytes(file(1)), bytes(f.at(3))); }},
        {"expect saved", [&] { EXPECT_EQ(readBytes(r.ini()), settingsFile(f[1], f[2], f[3])); }},
        {"expect logged", [&] { EXPECT_NE(log().find(bytes(f[1])), log().npos); }},
    };
    if (verb == "answers")
      for (const auto& a : f) r.answers.push_back(text(a));
    else if (more.count(verb))
      more.at(verb)(f);
    else
      verbs.at(verb)();
  }

  // Every scenario of a script file: each begins at a line "== name".
  void runFile(const fs::path& file) {
    for (const TableRow& row : table(file)) {
      SCOPED_TRACE(row.where);
      try {
        row.line.starts_with("== ") ? begin() : step(row.line);
      } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
      } catch (const ProgramEnded&) {  // on a key, or inside what a key set off
        if (!row.line.starts_with("key ")) ADD_FAILURE() << "the program ended outside a key";
      }
    }
  }

  // What the log recorded since the last `forget` that starts with prefix, without it.
  Said since(const std::wstring& prefix) const {
    Said out;
    for (std::size_t i = mark; i < rig->log.size(); ++i)
      if (rig->log[i].rfind(prefix, 0) == 0) out.push_back(rig->log[i].substr(prefix.size()));
    return out;
  }
  // These entries, in this order, among others.
  void inOrder(const Said& want) const {
    const Said got = since(L"");
    auto at = got.begin();
    for (const auto& w : want) ASSERT_NE(at = std::find(at, got.end(), w), got.end()) << "no " << w;
  }
  std::string log() const { return readBytes(folder("working") / "debuglog.txt"); }
  fs::path folder(const std::string& which) const {
    return (which == "program" ? rig->programFolder : rig->workingFolder).dir;
  }
  // The full forecast as saved, read on the day it was saved on.
  void serve() {
    rig->clock.day = 4;
    for (const std::string p : {"right-now", "today", "tomorrow", "tenday"})
      rig->pages["/weather/" + p + "/"] = {page(p + "-full.html").body, "utf-8"};
  }
  // A step taken at the n-th pump or wait from now.
  void post(int n, const std::string& line) {
    rig->pending.push_back([this, n, line] { n > 1 ? post(n - 1, line) : step(line); });
  }
  // The same, counted from the first fetch of an address holding part.
  void onFetch(const std::string& part, const std::string& rest) {
    rig->onFetchOf = part;
    rig->onFetch = [this, rest] { post(std::stoi(rest), rest.substr(rest.find(' ') + 1)); };
  }
  // Expected rows: escaped texts, or the golden rows of a file under pages ("@cycle-full.rows",
  // "@right-now-full.html").
  static Said expand(const Texts& f, std::size_t from) {
    Said out;
    for (auto i = f.begin() + from; i < f.end(); ++i) {
      const Said named = i->starts_with("@") ? page(i->substr(1)).rows : Said{text(*i)};
      out.insert(out.end(), named.begin(), named.end());
    }
    return out;
  }
};

}  // namespace skycall::fakes
