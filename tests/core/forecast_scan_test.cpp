#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "core/forecast_fixtures.h"
#include "forecast/MarkerScan.h"
#include "forecast/PageSteps.h"
#include "forecast/TextCodec.h"

namespace skycall {
namespace {

using testing::expectedRows;
using testing::pageBytes;

enum class Page { RightNow, TodayTomorrow, TenDay };

std::vector<std::wstring> scanWith(Page page, std::wstring_view text, int weekday) {
  switch (page) {
    case Page::RightNow:
      return scanPage(text, currentConditionsSteps());
    case Page::TodayTomorrow:
      return scanPage(text, todayTomorrowSteps());
    case Page::TenDay:
      return scanPage(text, tenDaySteps(weekday));
  }
  return {};
}

// Each saved page <stem>.html gives the rows in <stem>.rows; ten-day pages are read on a
// Wednesday (4), so their first block is Friday.
TEST(GoldenPages, GiveTheirSavedRows) {
  const std::pair<const char*, Page> cases[] = {
      // "72<" cut to 72, a three-digit value, a phrase holding a line break and a tab
      {"right-now-full", Page::RightNow},
      // "5</" kept whole (its third character is not "<"), "-5<" cut
      {"right-now-short-values", Page::RightNow},
      // the only phrase marker stands before the second temperature: never found
      {"right-now-phrase-early", Page::RightNow},
      // one character left after the marker, then none at all
      {"right-now-value-at-end", Page::RightNow},
      {"right-now-marker-at-end", Page::RightNow},
      {"right-now-no-markers", Page::RightNow},
      // four spaced openers labelled in order; a fifth pair is not read
      {"today-full", Page::TodayTomorrow},
      // "103", a phrase and a fact with line breaks, inner tags kept
      {"tomorrow-full", Page::TodayTomorrow},
      // "<dd>" at a line start or after a tab is no opener: the labels shift
      {"today-unspaced-dd", Page::TodayTomorrow},
      {"today-phrase-early", Page::TodayTomorrow},
      // today's and tomorrow's blocks skipped; blank-led low, "-5°", empty rain fact
      {"tenday-full", Page::TenDay},
      // "<H3>Fri", "<h3><b>Fri", "<h3> Sat": no heading matches, no rows
      {"tenday-capital-h", Page::TenDay},
      // Sunday's heading is missing: the scan waits for it to the end of the page
      {"tenday-missing-heading", Page::TenDay},
      // a day without a low takes the next day's low and the rest of that day
      {"tenday-missing-low", Page::TenDay},
  };
  for (const auto& [stem, page] : cases) {
    SCOPED_TRACE(stem);
    const std::wstring text = decodePage(pageBytes(std::string(stem) + ".html"), "utf-8");
    EXPECT_EQ(scanWith(page, text, 4), expectedRows(std::string(stem) + ".rows"));
  }
}

// A page with fourteen day blocks, Sunday to Saturday twice, read on every day of the week.
TEST(TenDayHeadings, FollowTheWeekdayTheScanRunsOn) {
  struct Case {
    int weekday;
    std::array<const wchar_t*, 5> days;
  };
  const Case cases[] = {
      {1, {L"Tue", L"Wed", L"Thu", L"Fri", L"Sat"}}, {2, {L"Wed", L"Thu", L"Fri", L"Sat", L"Sun"}},
      {3, {L"Thu", L"Fri", L"Sat", L"Sun", L"Mon"}}, {4, {L"Fri", L"Sat", L"Sun", L"Mon", L"Tue"}},
      {5, {L"Sat", L"Sun", L"Mon", L"Tue", L"Wed"}}, {6, {L"Sun", L"Mon", L"Tue", L"Wed", L"Thu"}},
      {7, {L"Mon", L"Tue", L"Wed", L"Thu", L"Fri"}},
  };
  const std::wstring text = decodePage(pageBytes("tenday-two-weeks.html"), "utf-8");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.weekday);
    const std::vector<std::wstring> rows = scanWith(Page::TenDay, text, c.weekday);
    ASSERT_EQ(rows.size(), 30u);
    for (std::size_t k = 0; k < 5; ++k) EXPECT_EQ(rows[6 * k], c.days[k]) << "block " << k;
  }
}

// The value is three characters, not three bytes, whatever the page's declared charset.
TEST(ScanCharacters, ADegreeSignStaysWholeInUtf8AndLatin1Pages) {
  struct Case {
    const char* file;
    const char* charset;
  };
  const Case cases[] = {
      {"right-now-degree-utf8.html", "utf-8"},
      {"right-now-degree-utf8.html", ""},
      {"right-now-degree-latin1.html", "ISO-8859-1"},
      {"right-now-degree-latin1.html", ""},  // not UTF-8: its byte is read as windows-1252
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " as '" + c.charset + "'");
    const std::wstring text = decodePage(pageBytes(c.file), c.charset);
    EXPECT_EQ(scanPage(text, currentConditionsSteps()), expectedRows("right-now-degree.rows"));
  }
}

TEST(MarkerScan, NextStepMayMatchInsideTheTextJustMatched) {
  // The second marker starts one character into the first match.
  const std::vector<Step> steps = {
      {L"aXa", StepKind::Value, L"", L""},
      {L"Xa", StepKind::Value, L"[", L"]"},
  };
  EXPECT_EQ(scanPage(L"aXaXa12", steps), (std::vector<std::wstring>{L"Xa1", L"[Xa1]"}));
}

}  // namespace
}  // namespace skycall
