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
#include "text/TextCodec.h"

namespace skycall::fakes {
namespace {

Said scanned(const SavedPage& p) {
  const std::wstring text = decodePage(p.body, p.charset);
  if (p.kind == "tenday") return scanPage(text, tenDaySteps(p.weekday));
  return scanPage(text, p.kind == "right-now" ? currentConditionsSteps() : todayTomorrowSteps());
}

// A setting as a table writes it: empty for none, "n2.5" a number, "sText" a text.
SettingValue setting(const std::string& field) {
  if (field.empty()) return {};
  if (field[0] == 'n') return std::stod(field.substr(1));
  return text(field.substr(1));
}

void check(const std::string& table, const Texts& f) {
  if (table == "decode") {
    EXPECT_EQ(decodePage(bytes(f[1]), bytes(f[0])), text(f[2]));
  } else if (table == "utf8") {
    EXPECT_EQ(toUtf8(text(f[0])), bytes(f[1]));
  } else if (table == "normalise") {
    EXPECT_EQ(normaliseRow(text(f[1]), std::stoi(f[0])), text(f[2]));
  } else if (table == "address") {
    EXPECT_EQ(pageAddress("h:1", "/p/", text(f[0])), "http://h:1/p/" + bytes(f[1]));
  } else if (table == "headings") {  // every sixth of the thirty rows
    const std::string body = page("tenday-two-weeks.html").body;
    const Said rows = scanPage(decodePage(body, "utf-8"), tenDaySteps(std::stoi(f[0])));
    std::wstring headings;
    for (std::size_t k = 0; k < rows.size(); k += 6) headings += (k ? L" " : L"") + rows[k];
    EXPECT_EQ(rows.size(), 30u);
    EXPECT_EQ(headings, text(f.at(1)));
  } else if (table == "settings-bytes") {
    EXPECT_EQ(
        settingsFileBytes(setting(f.at(0)), std::stoi(f.at(1)), setting(f.at(2)), text(f.at(3))),
        bytes(f.at(4)));
  } else if (table == "settings-read") {
    // Reads in turn: "v" a value (then as setting()), "l" a line, "!v" / "!l" past the end.
    SettingsReader in(text(f.at(0)));
    for (std::size_t i = 1; i < f.size(); ++i) {
      if (f[i][0] == '!')
        EXPECT_THROW(f[i] == "!v" ? void(in.readValue()) : void(in.readLine()), SettingsError);
      else if (f[i][0] == 'l')
        EXPECT_EQ(in.readLine(), text(f[i].substr(1)));
      else
        EXPECT_EQ(in.readValue(), setting(f[i].substr(1))) << f[i];
    }
  } else if (table == "folders") {
    // folder | writable | holds settings | home | config | state | settings folder | log folder
    const SideFolders got =
        sideFolders({f.at(0), f.at(1) == "1", f.at(2) == "1"}, "/cwd", {f.at(3), f.at(4), f.at(5)});
    EXPECT_EQ(Texts({got.settings, got.log}), Texts({f.at(6), f.at(7)}));
  } else {
    // Rows "R0" to "R47" and the location "Here" put into the topic's written text.
    ASSERT_EQ(table, "topics");
    VectorList rows;
    rows.rows = numbered(48);
    std::wstring want = text(f.at(1));
    for (std::size_t at; (at = want.find(L'{')) != std::wstring::npos;) {
      const std::wstring name = want.substr(at + 1, want.find(L'}', at) - at - 1);
      want.replace(at, name.size() + 2, name == L"location" ? L"Here" : L"R" + name);
    }
    EXPECT_EQ(topicText(std::stoi(f.at(0)), L"Here", rows), want);
  }
}

TEST(Golden, PagesAndTables) {
  for (const auto& file : files("pages", ".html"))
    EXPECT_EQ(scanned(readPage(file)), readPage(file).rows) << file.filename();
  for (const auto& file : files("tables", ".txt"))
    for (const TableRow& row : table(file)) {
      SCOPED_TRACE(row.where);
      check(file.stem().string(), row.fields);
    }
}

TEST(Golden, Scripts) {
  for (const auto& file : files("scripts", ".txt")) Script().runFile(file);
}

}  // namespace
}  // namespace skycall::fakes
