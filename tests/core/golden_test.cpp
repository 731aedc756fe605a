// SPDX-License-Identifier: GPL-3.0-or-later
// The golden data: every saved page gives the rows its heading lists, and every case table under
// tests/fixtures/tables holds for the function it is named after.
#include <gtest/gtest.h>

#include <sstream>

#include "fixtures/Fixtures.h"
#include "forecast/FetchCycle.h"
#include "forecast/MarkerScan.h"
#include "forecast/Normalise.h"
#include "forecast/PageSteps.h"
#include "forecast/TextCodec.h"

namespace skycall {
namespace {

std::vector<std::wstring> scanned(const std::string& kind, std::wstring_view text, int weekday) {
  if (kind == "right-now") return scanPage(text, currentConditionsSteps());
  if (kind == "today" || kind == "tomorrow") return scanPage(text, todayTomorrowSteps());
  if (kind == "tenday") return scanPage(text, tenDaySteps(weekday));
  throw std::runtime_error("unknown page kind " + kind);
}

TEST(Golden, SavedPagesGiveTheirRows) {
  for (const auto& file : fixtures::files("pages", ".html")) {
    SCOPED_TRACE(file.filename().string());
    const fixtures::SavedPage page = fixtures::readPage(file);
    EXPECT_EQ(scanned(page.kind, decodePage(page.body, page.charset), page.weekday), page.rows);
  }
}

void check(const std::string& table, const std::vector<std::string>& f) {
  using fixtures::bytes;
  using fixtures::text;
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
    const fixtures::SavedPage page = fixtures::page("tenday-two-weeks");
    const auto rows = scanned("tenday", decodePage(page.body, "utf-8"), std::stoi(f.at(0)));
    std::wostringstream headings;
    for (std::size_t k = 0; k < rows.size(); k += 6) headings << (k ? L" " : L"") << rows[k];
    EXPECT_EQ(rows.size(), 30u);
    EXPECT_EQ(headings.str(), text(f.at(1)));
  } else {
    ADD_FAILURE() << "no check for the table " << table;
  }
}

TEST(Golden, CaseTables) {
  for (const auto& file : fixtures::files("tables", ".txt"))
    for (const fixtures::TableRow& row : fixtures::table(file)) {
      SCOPED_TRACE(file.filename().string() + ":" + std::to_string(row.line));
      check(file.stem().string(), row.fields);
    }
}

}  // namespace
}  // namespace skycall
