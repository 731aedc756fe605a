// SPDX-License-Identifier: GPL-3.0-or-later
// The core against its golden data: every saved page gives the rows its heading lists, every
// case table under tests/tables holds for the function it is named after, and every scenario
// under tests/scenarios/core plays out as written.
#include <iterator>

#include "app/CommandLine.h"
#include "app/SettingsFile.h"
#include "app/SideFolders.h"
#include "commands/AlertTexts.h"
#include "fakes/Scenario.h"
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

void check(const std::string& table, const Fields& f) {
  if (table == "decode") {
    EXPECT_EQ(decodePage(bytes(f[1]), bytes(f[0])), text(f[2]));
  } else if (table == "utf8") {
    EXPECT_EQ(toUtf8(text(f[0])), bytes(f[1]));
  } else if (table == "normalise") {
    EXPECT_EQ(normaliseRow(text(f[1]), std::stoi(f[0])), text(f[2]));
  } else if (table == "alerts") {  // the page | said when new | heard with the conditions
    const FakeClock clock;
    if (f.at(1) == "!") {
      EXPECT_THROW(readAlertsPage(bytes(f[0])), std::runtime_error);
      return;
    }
    const std::vector<WeatherAlert> alerts = readAlertsPage(bytes(f[0]));
    EXPECT_EQ(alertsText(alerts, clock, false), text(f.at(1)));
    EXPECT_EQ(alertsText(alerts, clock, true), text(f.at(2)));
  } else if (table == "address") {
    EXPECT_EQ(pageAddress("h:1", "/p/", text(f[0])), "http://h:1/p/" + bytes(f[1]));
  } else if (table == "headings") {  // every sixth of the thirty rows
    const Said rows = scanPage(decodePage(page(path("pages/tenday-two-weeks.html")).body, "utf-8"),
                               tenDaySteps(std::stoi(f[0])));
    std::wstring headings;
    for (std::size_t k = 0; k < rows.size(); k += 6) headings += (k ? L" " : L"") + rows[k];
    EXPECT_EQ(rows.size(), 30u);
    EXPECT_EQ(headings, text(f.at(1)));
  } else if (table == "command-line") {
    std::istringstream in(f.at(0));
    const auto got = readCommandLine({std::istream_iterator<std::string>(in), {}});
    std::string shown;
    if (const auto* answer = std::get_if<TerminalAnswer>(&got))
      shown = std::to_string(answer->status) + " " + answer->text;
    else
      shown = "starts " +
              std::to_string(std::get<ProgramOptions>(got).refreshTimes.refreshMinutes) + " " +
              std::to_string(std::get<ProgramOptions>(got).refreshTimes.alertsMinutes) +
              (std::get<ProgramOptions>(got).highContrast ? " high-contrast" : "");
    EXPECT_EQ(shown.substr(0, f.at(1).size()), f[1]);
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
  } else {
    // folder | writable | holds settings | home | config | state | settings folder | log folder
    ASSERT_EQ(table, "folders");
    const SideFolders got =
        sideFolders({f.at(0), f.at(1) == "1", f.at(2) == "1"}, "/cwd", {f.at(3), f.at(4), f.at(5)});
    EXPECT_EQ(Fields({got.settings, got.log}), Fields({f.at(6), f.at(7)}));
  }
}

TEST(Golden, PagesAndTables) {
  for (const auto& file : files("pages", ".html"))
    EXPECT_EQ(scanned(page(file)), page(file).rows) << file.filename();
  for (const auto& file : files("tables", ".txt"))
    for (const Line& row : lines(file)) {
      SCOPED_TRACE(row.where);
      check(file.stem().string(), fields(row.text));
    }
}

}  // namespace
}  // namespace skycall::fakes

int main(int argc, char** argv) {
  using namespace skycall::fakes;
  testing::InitGoogleTest(&argc, argv);
  registerScenarios("core", [](const Scenario& s) { Play().run(s); });
  return RUN_ALL_TESTS();
}
