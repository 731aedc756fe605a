// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <regex>

#include "fakes/Rig.h"
#include "text/TextCodec.h"

// The scenarios under tests/scenarios (tests/README.md), played against the rig: each "[name]"
// in a file is one test; "cases A | B" makes it a template, played once for each "- a | b" row
// below it with {A} and {B} filled in (the last column takes the rest of the row). Every other
// line is a step, "verb field | field"; the verbs and their synopses are the table below. A
// scenario stops at its first failed step, named by file and line.
namespace skycall::fakes {

using Fields = std::vector<std::string>;

// The forecast site the scenarios' program asks.
constexpr char kHost[] = "forecast.test";
using namespace std::chrono_literals;

// A failed step. Not a std::exception, which the program's own error traps would take.
struct StepFailed {
  std::string message;
  std::string where = {};  // a deferred step's: where it was scheduled, and the step
};

struct Scenario {
  std::string file, name;
  std::vector<Line> steps;
};

// The scenarios of one file, templates played out.
inline std::vector<Scenario> readScenarios(const fs::path& file) {
  std::vector<Scenario> out, played;
  std::vector<std::pair<Fields, std::vector<Fields>>> cases;  // columns and rows, by scenario
  for (const Line& line : lines(file)) {
    if (line.text.front() == '[') {
      out.push_back({file.stem(), line.text.substr(1, line.text.size() - 2), {}});
      cases.emplace_back();
    } else if (line.text.starts_with("cases ")) {
      cases.back().first = fields(line.text.substr(6));
    } else if (Fields row = fields(line.text.substr(2)); line.text.starts_with("- ")) {
      while (row.size() > cases.back().first.size()) {
        row.end()[-2] += " | " + row.back();
        row.pop_back();
      }
      cases.back().second.push_back(row);
    } else {
      out.back().steps.push_back(line);
    }
  }
  for (std::size_t i = 0; i < out.size(); ++i) {
    const auto& [columns, rows] = cases[i];
    if (rows.empty()) played.push_back(out[i]);
    for (const Fields& row : rows) {
      played.push_back({out[i].file, out[i].name + "/" + row[0], out[i].steps});
      for (Line& step : played.back().steps)
        for (std::size_t c = 0; c < columns.size(); ++c)
          for (std::size_t at; (at = step.text.find("{" + columns[c] + "}")) != std::string::npos;)
            step.text.replace(at, columns[c].size() + 2, c < row.size() ? row[c] : "");
    }
  }
  return played;
}

// A key by the name X gives it (Down, shift+Escape, x), as the window hands it on: its Windows
// virtual-key code and shift mask; a modifier alone comes with its own bit of the mask. "oem"
// is a code no key of a US keyboard has.
inline std::pair<std::int16_t, std::int16_t> keyNamed(std::string name) {
  static const std::map<std::string, std::pair<int, int>> kKeys = {
      {"Tab", {9, 0}},     {"Return", {13, 0}}, {"shift", {16, 1}}, {"ctrl", {17, 2}},
      {"alt", {18, 4}},    {"Escape", {27, 0}}, {"Prior", {33, 0}}, {"Next", {34, 0}},
      {"Left", {37, 0}},   {"Up", {38, 0}},     {"Right", {39, 0}}, {"Down", {40, 0}},
      {"Insert", {45, 0}}, {"oem", {233, 0}}};
  int mask = 0;
  for (const auto& [prefix, bit] : {std::pair("shift+", 1), {"ctrl+", 2}, {"alt+", 4}})
    if (const auto at = name.find(prefix); at != std::string::npos)
      name.erase(at, std::string(prefix).size()), mask |= bit;
  if (name.size() == 1 && std::isalnum(static_cast<unsigned char>(name[0])))
    return {std::int16_t(std::toupper(name[0])), std::int16_t(mask)};
  if (!kKeys.count(name)) throw StepFailed{"no key named \"" + name + "\""};
  return {std::int16_t(kKeys.at(name).first), std::int16_t(mask | kKeys.at(name).second)};
}

// A number; a route by its name (voice, caption, hotkey, reader).
inline long number(const std::string& text) {
  static const std::map<std::string, long> kRoutes = {
      {"voice", 0}, {"caption", 1}, {"hotkey", 2}, {"reader", 3}};
  return kRoutes.count(text) ? kRoutes.at(text) : std::stol(text, nullptr, 0);
}

class Play {
 public:
  using Run = std::function<void(Play&, const Fields&)>;
  using Verbs = std::map<std::string, std::pair<const char*, Run>>;  // synopsis, what it does
  using Clock = std::chrono::steady_clock;

  Play() { begin(); }

  // A new program; with the settings file as the last one left.
  void begin(const std::string& saved = "") {
    rig = std::make_unique<Rig>(kHost);
    if (!saved.empty()) writeBytes(file("progress.ini"), saved);
    mark_ = 0;
  }

  void run(const Scenario& scenario) {
    for (const Line& line : scenario.steps) try {
        step(line);
      } catch (const StepFailed& failure) {
        const auto at = failure.where.empty() ? line.where + ": " + line.text : failure.where;
        return void(ADD_FAILURE() << "failed at " << at << "\n" << failure.message);
      } catch (const std::exception& error) {
        return void(ADD_FAILURE() << "failed at " << line.where << ": " << line.text << "\n"
                                  << error.what());
      }
  }

  // "verb field | field", or "expect what | field". An action (any step but a check) marks where
  // the checks after it look from; one deferred into another does not.
  void step(const Line& line, bool deferred = false) {
    const bool check = line.text.starts_with("expect ");
    const std::size_t end = std::min(line.text.find(check ? " | " : " "), line.text.size());
    const std::string verb = line.text.substr(0, end);
    const Fields f =
        end < line.text.size() ? fields(line.text.substr(end + (check ? 3 : 1))) : Fields{};
    const auto found = verbs().find(verb);
    if (found == verbs().end())
      throw StepFailed{"no verb \"" + verb + "\"; they are:\n" + synopses()};
    if (!check && !deferred) {
      mark_ = rig->log.size();
      t0_ = Clock::now();
    }
    where_ = line.where;
    try {
      found->second.second(*this, f);
    } catch (const ProgramEnded&) {  // in an action (a key, or what a key set off)
      if (check || deferred) throw;
    }
  }

  // A field with its named texts (tests/texts.txt) and rows filled in, as characters or bytes.
  std::wstring txt(const std::string& field) const { return text(expand(field)); }
  std::string raw(const std::string& field) const { return bytes(expand(field)); }
  std::string expand(std::string field) const {
    static const auto kTexts = [] {
      std::map<std::string, std::string> texts;
      for (const Line& l : lines(path("texts.txt")))
        texts[l.text.substr(0, l.text.find(" = "))] = l.text.substr(l.text.find(" = ") + 3);
      return texts;
    }();
    static const std::regex kName(R"(\{([A-Z][A-Z_0-9]*)(?: ([^}]*))?\}|\{r(\d+)\})");
    std::smatch m;
    for (std::size_t from = 0; std::regex_search(field.cbegin() + from, field.cend(), m, kName);) {
      from += m.position();
      if (from >= 2 && field.substr(from - 2, 2) == "\\u") {  // an escape, not a name
        ++from;
        continue;
      }
      std::string with = m[3].matched ? toUtf8(rig->list.row(std::stoi(m[3]))) : kTexts.at(m[1]);
      if (const auto one = with.find("{1}"); one != std::string::npos) with.replace(one, 3, m[2]);
      field.replace(from, m.length(), with);
    }
    return field;
  }

  // What the log holds since the mark that starts with prefix, without it.
  Said since(const std::wstring& prefix) const {
    Said out;
    for (std::size_t i = mark_; i < rig->log.size(); ++i)
      if (rig->log[i].starts_with(prefix)) out.push_back(rig->log[i].substr(prefix.size()));
    return out;
  }
  // Expected texts: "@FILE" stands for the rows a file under tests/pages lists, "TEXT*N" for N
  // times TEXT; a lone empty field for none.
  Said expected(const Fields& f) const {
    Said out;
    for (std::size_t i = 0; i < f.size() && !(f.size() == 1 && f[0].empty()); ++i) {
      std::smatch m;
      const bool times = std::regex_match(f[i], m, std::regex(R"((.+)\*(\d+))"));
      const std::string field = times ? m[1] : f[i];
      const Said one =
          field[0] == '@' ? page(path("pages/" + field.substr(1))).rows : Said{txt(field)};
      for (int n = times ? std::stoi(m[2]) : 1; n > 0; --n)
        out.insert(out.end(), one.begin(), one.end());
    }
    return out;
  }
  // Values compared as they are shown: texts in the escapes the data is written in, lists
  // joined with " | ".
  static std::string shown(long n) { return std::to_string(n); }
  static std::string shown(const std::string& t) {
    return std::regex_replace(std::regex_replace(t, std::regex("\r"), "\\r"), std::regex("\n"),
                              "\\n");
  }
  static std::string shown(const std::wstring& t) { return shown(toUtf8(t)); }
  template <typename T>
  static std::string shown(const std::vector<T>& list) {
    std::string out;
    for (const auto& t : list) out += (out.empty() ? "" : " | ") + shown(t);
    return "[" + out + "]";
  }
  template <typename T>
  static void same(const T& got, const T& want, const std::string& what) {
    if (got != want)
      throw StepFailed{what + "\n  got:      " + shown(got) + "\n  expected: " + shown(want)};
  }
  // progress.ini, debuglog.txt and myversion.txt by name; "program/NAME" or "working/NAME".
  fs::path file(const std::string& name) const {
    if (name.starts_with("working/")) return rig->workingFolder.dir / name.substr(8);
    if (name.starts_with("program/")) return rig->programFolder.dir / name.substr(8);
    return (name == "progress.ini" ? rig->programFolder : rig->workingFolder).dir / name;
  }
  // A step taken at the n-th pump or wait from now; it fails under the line that scheduled it.
  void post(int n, const std::string& step) {
    rig->pending.push_back([this, n, step, where = where_] {
      if (n > 1) return post(n - 1, step);
      try {
        this->step({where, step}, true);
      } catch (StepFailed& failure) {
        if (failure.where.empty()) failure.where = where + ": " + step + " (deferred)";
        throw;
      }
    });
  }

  std::unique_ptr<Rig> rig;

 private:
  Form1& form() { return *rig->form; }
  static std::string rest(const Fields& f, std::size_t i) {  // the fields from i on, as one step
    std::string out;
    for (; i < f.size(); ++i) out += (out.empty() ? "" : " | ") + f[i];
    return out;
  }
  std::string synopses() const {
    std::string out;
    for (const auto& [name, verb] : verbs()) out += "  " + name + " " + verb.first + "\n";
    return out;
  }

  // Set-up.
  void saved(const Fields& f) {
    const auto line = [](long n) {
      return std::string(n < 0 ? "" : " ").append(std::to_string(n)).append(" \r\n");
    };
    writeBytes(file("progress.ini"), line(number(f.at(0))) + line(number(f.at(1))) + "\r\n" +
                                         raw(f.at(2) + "\\r\\n{NINE_EMPTY}"));
  }
  void write(const Fields& f) {
    writeBytes(file(f.at(0)), raw(f.at(1)));
    if (f.size() > 2) fs::last_write_time(file(f[0]), fs::last_write_time(file(f[0])) - 1h);
  }
  void answers(const Fields& f) {
    for (const auto& a : f) rig->answers.push_back(txt(a));
  }
  void serve(const Fields&) {
    rig->clock.setWeekday(4);
    for (const std::string name : {"right-now", "today", "tomorrow", "tenday"})
      rig->pages["/" + name + "/"] = {page(path("pages/" + name + "-full.html")).body, "utf-8"};
  }
  void set(const Fields& f) {
    const std::string& what = f.at(0);
    if (what == "caption") rig->captionText = txt(f.at(1));
    if (what == "rate") rig->voice->rateValue = number(f.at(1));
    if (what == "route") form().SpeechMode = number(f.at(1));
    if (what == "SendingKeys") form().SendingKeys = number(f.at(1));
    if (what == "MenuMode") form().MenuMode = number(f.at(1));
    if (what == "screen-reader") rig->screenReader = f.at(1) == "on";
    if (what == "hot-key" && f.at(1) != "ctrl-shift-t")
      rig->hotKey = f[1] == "orca" ? ReadTitleKeys{{{vk::Insert, true}, {vk::Enter, true}}, true}
                                   : ReadTitleKeys{};
    if (what == "weekday") rig->clock.setWeekday(number(f.at(1)));
    if (what == "locale" && !std::setlocale(LC_ALL, f.at(1).c_str()))
      throw StepFailed{"no locale " + f[1] + " (LOCPATH)"};
  }
  // Actions.
  void key(const Fields& f) {
    for (const std::string& name : f) {
      const auto star = name.find('*');
      for (int n = star == std::string::npos ? 1 : std::stoi(name.substr(star + 1)); n > 0; --n) {
        auto [code, shift] = keyNamed(name.substr(0, star));
        form().Form_KeyDown(code, shift);
      }
    }
  }
  void hold(const Fields& f) {
    long refused = 0;
    try {
      form().hold(std::stod(f.at(0)));
    } catch (const SpeechError&) {
      refused = 1;
    }
    same(refused, long(f.size() > 1), "hold refused");
  }
  void onfetch(const Fields& f) {
    rig->onFetchOf = "/" + f.at(0) + "/";
    rig->onFetch = [this, n = std::stoi(f.at(1)), step = rest(f, 2)] { post(n, step); };
  }
  // Checks of what happened since the last action began.
  void order(const Fields& f) {
    const Said got = since(L""), want = expected(f);
    for (auto at = got.begin(); const auto& w : want)
      if ((at = std::find(at, got.end(), w)) == got.end()) same(got, want, "events in order");
  }
  void logged(const Fields& f) {
    const std::string log = f.at(0).empty() ? "" : readBytes(file("debuglog.txt"));
    if (log.find(raw(f[0])) == std::string::npos) same(log, raw(f[0]), "debuglog.txt");
  }
  template <typename Got>
  static std::pair<const char*, Run> is(const char* synopsis, Got got) {  // one value, or a list
    return {synopsis, [got, synopsis](Play& p, const Fields& f) {
              if constexpr (std::is_same_v<decltype(got(p)), Said>)
                same(got(p), p.expected(f), synopsis);
              else
                same(long(got(p)), number(f.at(0)), synopsis);
            }};
  }
  static const Verbs& verbs();

  std::string where_;
  std::size_t mark_ = 0;
  Clock::time_point t0_ = Clock::now();
};

inline const Play::Verbs& Play::verbs() {
  using P = Play;
  const auto with = [](void (P::*verb)(const Fields&)) {
    return [verb](P& p, const Fields& f) { (p.*verb)(f); };
  };
  static const Verbs kVerbs = {
      {"saved", {"ROUTE | RATE | LOCATION: progress.ini as the program saves it", with(&P::saved)}},
      {"write", {"FILE | BYTES [| old]: a file (an hour old)", with(&P::write)}},
      {"mkdir",
       {"FILE: a folder where the file belongs",
        [](P& p, const Fields& f) { fs::create_directory(p.file(f.at(0))); }}},
      {"link",
       {"FILE | TARGET: a symbolic link",
        [](P& p, const Fields& f) { fs::create_symlink(f.at(1), p.file(f.at(0))); }}},
      {"off",
       {"voice|reader|none: cannot be created",
        [](P& p, const Fields& f) { p.rig->off.insert(f.at(0)); }}},
      {"answers",
       {"A | B ...: the location box's answers; none left: it is left", with(&P::answers)}},
      {"page",
       {"PAGE | BODY | CHARSET: a page of the site (right-now, today, ...)",
        [](P& p, const Fields& f) {
          p.rig->pages["/" + f.at(0) + "/"] = {p.raw(f.at(1)), f.at(2)};
        }}},
      {"serve",
       {"full: the saved full forecast, read on the Wednesday it was saved", with(&P::serve)}},
      {"fail",
       {"PAGE [| not-found|another-user]: its fetch fails, by default for want of a connection",
        [](P& p, const Fields& f) {
          p.rig->failing["/" + f.at(0) + "/"] = f.size() > 1 ? f[1] : "";
        }}},
      {"fill",
       {"N: the list holds rows R0 to RN-1",
        [](P& p, const Fields& f) {
          p.rig->list.rows.clear();
          for (int i = 0; i < std::stoi(f.at(0)); ++i)
            p.rig->list.rows.push_back(L"R" + std::to_wstring(i));
        }}},
      {"set",
       {"caption|rate|route|SendingKeys|MenuMode|screen-reader|hot-key|weekday|locale | VALUE",
        with(&P::set)}},
      {"start",
       {"[ANSWER | ...]: start-up, the location box answered so, then the window shown",
        [](P& p, const Fields& f) {
          p.answers(f);
          p.form().start();
        }}},
      {"restart",
       {": a new program on the settings the last one left",
        [](P& p, const Fields&) { p.begin(readBytes(p.file("progress.ini"))); }}},
      {"key", {"NAME[*N] | ...: key-downs as the window hands them on", with(&P::key)}},
      {"say",
       {"TEXT: sayit",
        [](P& p, const Fields& f) { p.form().sayit(f.empty() ? L"" : p.txt(f[0])); }}},
      {"hold", {"SECONDS [| refused]", with(&P::hold)}},
      {"activate",
       {": the window becomes active again",
        [](P& p, const Fields&) { p.form().Form_Activate(); }}},
      {"unanswered",
       {": the screen reader did not take its newest text",
        [](P& p, const Fields&) { p.rig->reader->unanswered(p.rig->log.back().substr(9)); }}},
      {"later",
       {"N | STEP: STEP at the N-th event pump or wait from now",
        [](P& p, const Fields& f) { p.post(std::stoi(f.at(0)), rest(f, 1)); }}},
      {"refresh",
       {"MINUTES | MINUTES: a new program, loading the forecast and the alerts so often",
        [](P& p, const Fields& f) {
          p.rig->build(kHost, {int(number(f.at(0))), int(number(f.at(1)))});
        }}},
      {"after",
       {"MINUTES: the clock moves on, then the Refresher timer ticks",
        [](P& p, const Fields& f) {
          p.rig->clock.t += std::time_t(std::stod(f.at(0)) * 60);
          p.form().Refresher_Timer();
        }}},
      {"wake",
       {": the computer woke from a suspend", [](P& p, const Fields&) { p.form().resumed(); }}},
      {"loaded",
       {": the background's jobs done, and their results taken in",
        [](P& p, const Fields&) { p.rig->runJobs(); }}},
      {"onfetch",
       {"PAGE | N | STEP: STEP at the N-th pump or wait from PAGE's first fetch",
        with(&P::onfetch)}},
      {"expect said",
       is("| TEXT ...: what the voice was given", [](P& p) { return p.since(L"voice3: "); })},
      {"expect urgent", is("| TEXT ...: what the voice was given before all other speech",
                           [](P& p) { return p.since(L"voice7: "); })},
      {"expect jobs", is("| N: background jobs waiting", [](P& p) { return p.rig->jobs.size(); })},
      {"expect events",
       is("| EVENT ...: all the fakes saw (Rig.h)", [](P& p) { return p.since(L""); })},
      {"expect addresses",
       is("| ADDRESS ...: the pages fetched", [](P& p) { return p.since(L"fetch "); })},
      {"expect rows", is("| ROW ...: the forecast list", [](P& p) { return p.rig->list.rows; })},
      {"expect location", is("| TEXT", [](P& p) { return Said{p.form().Location}; })},
      {"expect caption", is("| TEXT", [](P& p) { return Said{p.rig->captionText}; })},
      {"expect shown", is("| TEXT: the last text said, as the window shows it",
                          [](P& p) { return Said{p.rig->shownText}; })},
      {"expect shown rows", is("| ROW ...: the rows shown as the topic's",
                               [](P& p) {
                                 Said rows;
                                 for (int r : p.rig->shownRows) rows.push_back(std::to_wstring(r));
                                 return rows;
                               })},
      {"expect last", is("| EVENT", [](P& p) { return Said{p.rig->log.back()}; })},
      {"expect route", is("| ROUTE", [](P& p) { return p.form().route(); })},
      {"expect rate", is("| N", [](P& p) { return p.rig->voice->rateValue; })},
      {"expect position", is("| N: MenuPosition", [](P& p) { return p.form().MenuPosition; })},
      {"expect fetching", is("| 0|1: FetchRunning", [](P& p) { return p.form().FetchRunning; })},
      {"expect holder", is("| 0|1: the holder enabled", [](P& p) { return p.rig->enabled; })},
      {"expect elapsed",
       is("| MS: waited on the holder in all", [](P& p) { return p.rig->elapsedMs; })},
      {"expect prompts",
       is("| N: location boxes shown", [](P& p) { return p.since(L"prompt:").size(); })},
      {"expect fetches",
       is("| N: pages asked for", [](P& p) { return p.since(L"fetch ").size(); })},
      {"expect order", {"| EVENT ...: these, in this order, among others", with(&P::order)}},
      {"expect file",
       {"| FILE | BYTES",
        [](P& p, const Fields& f) { same(readBytes(p.file(f.at(0))), p.raw(f.at(1)), f[0]); }}},
      {"expect logged", {"| BYTES: debuglog.txt holds them", with(&P::logged)}},
      {"expect files",
       {"| program|working | N",
        [](P& p, const Fields& f) {
          same(long(std::distance(fs::directory_iterator(p.file(f.at(0) + "/")), {})),
               number(f.at(1)), "files");
        }}},
      {"expect within",
       {"| MS: since the last action began",
        [](P& p, const Fields& f) {
          const auto ms =
              std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - p.t0_).count();
          if (ms > number(f.at(0))) same(long(ms), number(f[0]), "milliseconds");
        }}},
      {"expect mode",
       {"| FILE | MODE",
        [](P& p, const Fields& f) {
          same(long(fs::status(p.file(f.at(0))).permissions()), number(f.at(1)), "mode");
        }}},
  };
  return kVerbs;
}

// Registers every scenario under tests/scenarios/FOLDER as a test of its own, named FILE.NAME,
// each "-" an "_" (a test filter takes "-" for "but not").
inline void registerScenarios(const std::string& folder,
                              std::function<void(const Scenario&)> play) {
  struct Played : testing::Test {
    Scenario s;
    std::function<void(const Scenario&)> p;
    void TestBody() override { p(s); }
    void TearDown() override { std::setlocale(LC_ALL, "C"); }
  };
  for (const fs::path& file : files("scenarios/" + folder, ".txt"))
    for (const Scenario& scenario : readScenarios(file)) {
      std::string name = scenario.name;
      std::replace(name.begin(), name.end(), '-', '_');
      testing::RegisterTest(scenario.file.c_str(), name.c_str(), nullptr, nullptr, file.c_str(), 0,
                            [scenario, play]() -> testing::Test* {
                              auto* test = new Played;
                              test->s = scenario, test->p = play;
                              return test;
                            });
    }
}

}  // namespace skycall::fakes
