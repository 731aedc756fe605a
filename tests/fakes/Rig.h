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

using namespace fixtures;
using Texts = std::vector<std::string>;
using Said = std::vector<std::wstring>;

// Thrown by endProgram: the program ends at once, so nothing after it may run.
struct ProgramEnded {};

// One ordered record of what every fake saw: "caption=Hello", "pump", "tick", "key 17 down",
// "voice3: Hello", "reader0: Hello", "fetch http://...", "prompt:Location|...|", "show", "end".
struct Log {
  Said entries;
  void add(const std::string& what, const std::wstring& text = L"") {
    entries.push_back(std::wstring(what.begin(), what.end()) + text);
  }
};

// The voice, and the screen reader.
struct Speaker : Voice, ScreenReader {
  Log& log;
  int rateValue = 0, volume = 0;
  explicit Speaker(Log& l) : log(l) {}
  void setRate(int r) override {
    if (r < -10 || r > 10) throw SpeechError("Invalid procedure call or argument");
    rateValue = r;
  }
  int rate() const override { return rateValue; }
  void setVolume(int v) override { volume = v; }
  void speak(const std::wstring& text, int flags) override { say("voice", text, flags); }
  void SayString(const std::wstring& text, int flags) override { say("reader", text, flags); }
  void say(const std::string& who, const std::wstring& text, int flags) {
    log.add(who + std::to_string(flags) + ": ", text);
  }
};

// The program on fakes: the rig is its window, key sender and page fetcher. Events queued on
// `pending` run at the next pump or wait; a wait with none pending lasts to the holder's tick.
// Pages are served by a part of their path, or every address goes to a real fetcher.
struct Rig : Window, KeySender, PageFetcher {
  Log log;
  WindowEvents* handler = nullptr;
  std::wstring captionText;
  VectorList list;
  bool enabled = false, keysFail = false, readerAnswers = true, voiceAnswers = true;
  int interval = 0;
  double elapsedMs = 0;
  std::deque<std::wstring> answers;  // the location box's answers; none left = Cancel
  std::deque<std::function<void()>> pending;
  PageFetcher* real;
  std::map<std::string, FetchedPage> pages;  // path part -> page
  std::string failOn;                        // a path part whose fetch fails
  std::string onFetchOf;                     // a path part whose first fetch runs onFetch, once
  std::function<void()> onFetch;
  FakeClock clock;
  TempFolder programFolder, workingFolder;
  Speaker* voice = nullptr;  // owned by the form
  std::unique_ptr<Form1> form;

  explicit Rig(PageFetcher* realFetcher, std::string host) : real(realFetcher) {
    auto makeVoice = [this]() -> std::unique_ptr<Voice> {
      if (!voiceAnswers) throw SpeechError("speech-dispatcher does not answer");
      auto v = std::make_unique<Speaker>(log);
      voice = v.get();
      return v;
    };
    auto makeReader = [this]() -> std::unique_ptr<ScreenReader> {
      if (!readerAnswers) throw SpeechError("No screen reader answers on the session bus");
      return std::make_unique<Speaker>(log);
    };
    form = std::make_unique<Form1>(Platform{*this, makeVoice, makeReader, this, *this, clock,
                                            programFolder.dir, workingFolder.dir, host});
    handler = form.get();
  }
  fs::path settingsPath() const { return programFolder.dir / "progress.ini"; }

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
    log.add("prompt:", title + L"|" + prompt + L"|" + def);
    const std::wstring answer = answers.empty() ? L"" : answers.front();
    if (!answers.empty()) answers.pop_front();
    return answer;
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

  void keybd_event(int vk, int flags) override {
    if (keysFail) throw SpeechError("no display");
    log.add("key " + std::to_string(vk) + (flags == kKeyUp ? " up" : " down"));
  }

  FetchedPage fetch(const std::string& address) override {
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

// Rows "R0" to "R(n-1)".
inline Said numbered(int n) {
  Said rows;
  for (int i = 0; i < n; ++i) rows.push_back(L"R" + std::to_wstring(i));
  return rows;
}

// Runs scenarios, a line a step: "verb field | field | ...", as tests/fixtures/scripts/README.md
// tells. Expected texts are escaped; rows may name golden data: "@rows:pages/cycle-full.rows" or
// "@page:right-now-full" (its rows).
struct Script {
  PageFetcher* real = nullptr;
  std::string host = "forecast.test";
  std::unique_ptr<Rig> rig;
  std::size_t mark = 0;  // where the log stood at the last `forget`

  // A new program; on restart, with the settings file the last one left.
  void begin(bool restart = false) {
    const std::string saved = restart ? readBytes(rig->settingsPath()) : "";
    rig = std::make_unique<Rig>(real, host);
    if (!saved.empty()) writeBytes(rig->settingsPath(), saved);
    mark = 0;
  }

  // nested: a step run by the program's own event pump, after which nothing may run once the
  // program has ended.
  void step(const std::string& line, bool nested = false) {
    const std::size_t space = std::min(line.find(' '), line.size());
    const std::string verb = line.substr(0, space),
                      rest = line.substr(std::min(space + 1, line.size()));
    const Texts f = rest.empty() ? Texts{} : fields(rest);
    const auto num = [&](std::size_t i) { return i < f.size() ? std::stoi(f[i]) : 0; };
    const auto later = [&] { return rest.substr(rest.find(' ') + 1); };
    Rig& r = *rig;
    const std::map<std::string, std::function<void()>> verbs = {
        {"saved",
         [&] {
           writeBytes(r.settingsPath(), settingsFile(bytes(f[0]), bytes(f[1]), bytes(f[2])));
         }},
        {"write", [&] { writeBytes(folder(f.at(0)) / f.at(1), bytes(f.at(2))); }},
        {"age",
         [&] {
           fs::last_write_time(folder(f[0]) / f[1],
                               fs::file_time_type::clock::now() - std::chrono::hours(num(2)));
         }},
        {"mkdir", [&] { fs::create_directory(folder(f.at(0)) / f.at(1)); }},
        {"reader", [&] { r.readerAnswers = false; }},
        {"voice", [&] { r.voiceAnswers = false; }},
        {"keys", [&] { r.keysFail = true; }},
        {"page",
         [&] {
           r.pages["/weather/" + f.at(0) + "/"] = {bytes(f.at(1)), f.at(2)};
         }},
        {"serve", [&] { serve(); }},
        {"fail", [&] { r.failOn = f.at(0); }},
        {"clock", [&] { r.clock.day = num(0); }},
        {"fill", [&] { r.list.rows = numbered(num(0)); }},
        {"start", [&] { EXPECT_EQ(r.form->start(), f.empty()) << line; }},
        {"restart", [&] { begin(true); }},
        {"forget", [&] { mark = r.log.entries.size(); }},
        {"key", [&] { key(num(0), num(1), nested); }},
        {"later", [&] { post(std::stoi(rest), later()); }},
        {"onfetch", [&] { onFetch(rest.substr(0, rest.find(' ')), later()); }},
        {"activate", [&] { r.form->Form_Activate(); }},
        {"set", [&] { set(f.at(0), f.at(1)); }},
        {"say", [&] { r.form->sayit(text(f.empty() ? "" : f[0])); }},
        {"hold", [&] { r.form->hold(std::stod(f.at(0))); }},
        {"expect", [&] { expect(f, line); }},
    };
    if (verb == "answers")
      for (const auto& a : f) r.answers.push_back(text(a));
    else
      verbs.at(verb)();
  }

  // Every scenario of a script file: each begins at a line "== name".
  void runFile(const fs::path& file) {
    std::istringstream in(readBytes(file));
    std::string name, line;
    for (int number = 1; std::getline(in, line); ++number) {
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

  // What the log recorded since the last `forget` that starts with prefix, without it.
  Said since(const std::wstring& prefix) const {
    Said out;
    const Said& e = rig->log.entries;
    for (std::size_t i = mark; i < e.size(); ++i)
      if (e[i].rfind(prefix, 0) == 0) out.push_back(e[i].substr(prefix.size()));
    return out;
  }
  fs::path folder(const std::string& which) const {
    return (which == "program" ? rig->programFolder : rig->workingFolder).dir;
  }
  // The full forecast as saved, read on the day it was saved on.
  void serve() {
    rig->clock.day = 4;
    for (const std::string p : {"right-now", "today", "tomorrow", "tenday"})
      rig->pages["/weather/" + p + "/"] = {page(p + "-full").body, "utf-8"};
  }
  // A key as the window delivers it; the program may end on it, or inside what it set off.
  void key(int vk, int shift, bool nested) {
    try {
      std::int16_t code = static_cast<std::int16_t>(vk);
      rig->form->Form_KeyDown(code, static_cast<std::int16_t>(shift));
    } catch (const ProgramEnded&) {
      if (nested) throw;
    }
  }
  // A step taken at the n-th pump or wait from now.
  void post(int n, const std::string& line) {
    rig->pending.push_back([this, n, line] { n > 1 ? post(n - 1, line) : step(line, true); });
  }
  // The same, counted from the first fetch of an address holding part.
  void onFetch(const std::string& part, const std::string& rest) {
    rig->onFetchOf = part;
    rig->onFetch = [this, rest] { post(std::stoi(rest), rest.substr(rest.find(' ') + 1)); };
  }
  void set(const std::string& name, const std::string& value) {
    Form1& form = *rig->form;
    const std::map<std::string, std::function<void()>> settable = {
        {"caption", [&] { rig->captionText = text(value); }},
        {"rate", [&] { rig->voice->rateValue = std::stoi(value); }},
        {"SpeechMode", [&] { form.SpeechMode = std::stoi(value); }},
        {"SendingKeys", [&] { form.SendingKeys = std::stoi(value); }},
        {"MenuMode", [&] { form.MenuMode = std::stoi(value); }},
    };
    settable.at(name)();
  }
  static Said expand(const Texts& f, std::size_t from) {
    Said out;
    for (std::size_t i = from; i < f.size(); ++i) {
      Said named{text(f[i])};
      if (f[i].rfind("@rows:", 0) == 0) {
        std::istringstream in(readBytes(path(f[i].substr(6))));
        named = rows(in);
      } else if (f[i].rfind("@page:", 0) == 0) {
        named = page(f[i].substr(6)).rows;
      }
      out.insert(out.end(), named.begin(), named.end());
    }
    return out;
  }
  void expect(const Texts& f, const std::string& line) {
    Rig& r = *rig;
    Form1& form = *r.form;
    const std::string& what = f.at(0);
    const Said want = expand(f, 1);
    const std::map<std::string, std::function<long()>> numbers = {
        {"route", [&] { return form.route(); }},
        {"rate", [&] { return r.voice->rateValue; }},
        {"volume", [&] { return r.voice->volume; }},
        {"position", [&] { return form.MenuPosition; }},
        {"prompts", [&] { return since(L"prompt:").size(); }},
        {"elapsed", [&] { return static_cast<long>(r.elapsedMs); }},
        {"fetching", [&] { return form.FetchRunning; }},
        {"holder", [&] { return r.enabled; }},
        {"jawsflag", [&] { return form.JawsFlag + (form.JawsApi != nullptr); }},
        {"files",
         [&] {
           return std::distance(fs::directory_iterator(folder(f.at(2))), fs::directory_iterator());
         }},
        {"mode", [&] { return static_cast<long>(fs::status(folder(f[2]) / f[3]).permissions()); }},
    };
    const std::map<std::string, std::function<Said()>> texts = {
        {"said", [&] { return since(L"voice3: "); }},
        {"events", [&] { return since(L""); }},
        {"addresses", [&] { return since(L"fetch "); }},
        {"rows", [&] { return r.list.rows; }},
        {"last", [&] { return Said{r.log.entries.back()}; }},
        {"location", [&] { return Said{form.Location}; }},
        {"caption", [&] { return Said{r.captionText}; }},
    };
    if (numbers.count(what)) {
      EXPECT_EQ(numbers.at(what)(), std::stol(f.at(1), nullptr, 0)) << line;
    } else if (texts.count(what)) {
      EXPECT_EQ(texts.at(what)(), want) << line;
    } else if (what == "order") {  // these entries, in this order, among others
      const Said got = since(L"");
      auto at = got.begin();
      for (const auto& w : want)
        ASSERT_NE(at = std::find(at, got.end(), w), got.end()) << line << ": no " << w;
    } else if (what == "file") {
      EXPECT_EQ(readBytes(folder(f.at(1)) / f.at(2)), bytes(f.at(3))) << line;
    } else if (what == "saved") {
      const std::string file = settingsFile(bytes(f.at(1)), bytes(f.at(2)), bytes(f.at(3)));
      EXPECT_EQ(readBytes(r.settingsPath()), file) << line;
    } else {
      ASSERT_EQ(what, "logged") << line;
      const std::string log = readBytes(folder("working") / "debuglog.txt");
      EXPECT_NE(log.find(bytes(f.at(1))), std::string::npos) << line;
    }
  }
};

}  // namespace skycall::fakes
