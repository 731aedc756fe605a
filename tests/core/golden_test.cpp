// SPDX-License-Identifier: GPL-3.0-or-later
// The golden data: every saved page gives the rows its heading lists, every case table under
// tests/fixtures/tables holds for the function it is named after, and every scenario under
// tests/fixtures/scripts plays out as written.
#include "app/SettingsFile.h"
#include "app/SideFolders.h"
#include "commands/TopicMenu.h"
#include "fakes/Rig.h"
#include "forecast/FetchCycle.h"
#include "forecast/MarkerScan.h"
#include "forecast/Normalise.h"
#include "forecast/PageSteps.h"
#include "forecast/TextCodec.h"
#include "speech/Hold.h"

namespace skycall {
namespace {

using namespace fixtures;
using fakes::Texts;

std::vector<std::wstring> scanned(const std::string& kind, std::wstring_view text, int weekday) {
  if (kind == "right-now") return scanPage(text, currentConditionsSteps());
  if (kind == "today" || kind == "tomorrow") return scanPage(text, todayTomorrowSteps());
  if (kind == "tenday") return scanPage(text, tenDaySteps(weekday));
  throw std::runtime_error("unknown page kind " + kind);
}

TEST(Golden, SavedPagesGiveTheirRows) {
  for (const auto& file : files("pages", ".html")) {
    SCOPED_TRACE(file.filename().string());
    const SavedPage page = readPage(file);
    EXPECT_EQ(scanned(page.kind, decodePage(page.body, page.charset), page.weekday), page.rows);
  }
}

// A setting as a table writes it: empty for none, "n2.5" a number, "sText" a text.
SettingValue setting(const std::string& field) {
  if (field.empty()) return {};
  if (field[0] == 'n') return std::stod(field.substr(1));
  return text(field.substr(1));
}

void check(const std::string& table, const std::vector<std::string>& f) {
  if (table == "decode") {
    EXPECT_EQ(decodePage(bytes(f.at(1)), bytes(f.at(0))), text(f.at(2)));
  } else if (table == "utf8") {
    EXPECT_EQ(toUtf8(text(f.at(0))), bytes(f.at(1)));
  } else if (table == "normalise") {
    EXPECT_EQ(normaliseRow(text(f.at(1)), std::stoi(f.at(0))), text(f.at(2)));
  } else if (table == "address") {
    EXPECT_EQ(pageAddress("h:1", L"/weather/today/", text(f.at(0))),
              "http://h:1/weather/today/" + bytes(f.at(1)));
  } else if (table == "headings") {
    const auto rows =
        scanned("tenday", decodePage(page("tenday-two-weeks").body, "utf-8"), std::stoi(f.at(0)));
    std::wostringstream headings;
    for (std::size_t k = 0; k < rows.size(); k += 6) headings << (k ? L" " : L"") << rows[k];
    EXPECT_EQ(rows.size(), 30u);
    EXPECT_EQ(headings.str(), text(f.at(1)));
  } else if (table == "settings-bytes") {
    EXPECT_EQ(
        settingsFileBytes(setting(f.at(0)), std::stoi(f.at(1)), setting(f.at(2)), text(f.at(3))),
        bytes(f.at(4)));
  } else if (table == "settings-read") {
    // Reads in turn: "v" a value (then as setting()), "l" a line, "!v" / "!l" past the end.
    SettingsReader in(text(f.at(0)));
    for (std::size_t i = 1; i < f.size(); ++i) {
      const std::string& r = f[i];
      if (r == "!v")
        EXPECT_THROW(in.readValue(), SettingsError);
      else if (r == "!l")
        EXPECT_THROW(in.readLine(), SettingsError);
      else if (r[0] == 'l')
        EXPECT_EQ(in.readLine(), text(r.substr(1)));
      else
        EXPECT_EQ(in.readValue(), setting(r.substr(1))) << r;
    }
  } else if (table == "folders") {
    // folder | writable | holds settings | home | config | state | settings folder | log folder
    const SideFolders got =
        sideFolders({f.at(0), f.at(1) == "1", f.at(2) == "1"}, "/cwd", {f.at(3), f.at(4), f.at(5)});
    EXPECT_EQ(got.settings, f.at(6));
    EXPECT_EQ(got.log, f.at(7));
  } else if (table == "topics") {
    // Rows "R0" to "R47" and the location "Here" put into the topic's written text.
    fakes::VectorList rows;
    for (int i = 0; i < 48; ++i) rows.append(L"R" + std::to_wstring(i));
    std::wstring want = text(f.at(1));
    for (std::size_t at; (at = want.find(L'{')) != std::wstring::npos;) {
      const std::size_t end = want.find(L'}', at);
      const std::wstring name = want.substr(at + 1, end - at - 1);
      want.replace(at, end - at + 1, name == L"location" ? L"Here" : L"R" + name);
    }
    EXPECT_EQ(topicText(std::stoi(f.at(0)), L"Here", rows), want);
  } else {
    ADD_FAILURE() << "no check for the table " << table;
  }
}

TEST(Golden, CaseTables) {
  for (const auto& file : files("tables", ".txt"))
    for (const TableRow& row : table(file)) {
      SCOPED_TRACE(row.where);
      check(file.stem().string(), row.fields);
    }
}

TEST(Golden, Scripts) {
  for (const auto& file : files("scripts", ".txt")) fakes::Script().runFile(file);
}

// The same timer ends a hold begun inside another: both end at its one tick.
TEST(Hold, NestedHoldsEndTogetherAndOutOfRangeIsRefused) {
  fakes::Rig rig;
  Texts order;
  rig.window.pending.push_back([&] {
    hold(0.25, rig.window);
    order.push_back("inner ends");
  });
  hold(0.5, rig.window);
  order.push_back("outer ends");
  EXPECT_EQ(order, (Texts{"inner ends", "outer ends"}));
  EXPECT_EQ(rig.window.elapsedMs, 250);
  EXPECT_FALSE(rig.window.enabled);
  EXPECT_EQ(rig.window.interval, 0);
  EXPECT_THROW(hold(-1, rig.window), SpeechError);
  EXPECT_THROW(hold(65.536, rig.window), SpeechError);
}

TEST(SettingsFile, AtomicWriteClearsWhatKilledSavesLeftAndOnlyThat) {
  TempFolder folder;
  const auto file = folder.path() / "progress.ini";
  writeBytes(file, "old");
  // Left by saves killed before their rename: one long ago, one maybe still being written.
  const auto stale = folder.path() / "progress.ini.skycall-a1B2c3",
             fresh = folder.path() / "progress.ini.skycall-d4E5f6",
             notOurs = folder.path() / "progress.ini.backup",  // a user's, as old
      alike = folder.path() / "progress.ini.skycall-notes";    // the pattern, too long
  for (const auto& p : {stale, fresh, notOurs, alike}) writeBytes(p, "x");
  for (const auto& p : {stale, notOurs, alike})
    fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(1));
  writeFileAtomically(file, "new contents");
  EXPECT_EQ(readBytes(file), "new contents");
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0644));  // like the file it replaces
  EXPECT_EQ(
      std::make_tuple(fs::exists(stale), fs::exists(fresh), fs::exists(notOurs), fs::exists(alike)),
      std::make_tuple(false, true, true, true));
}

}  // namespace
}  // namespace skycall
