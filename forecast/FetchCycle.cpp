// SPDX-License-Identifier: GPL-3.0-or-later
#include "forecast/FetchCycle.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "forecast/MarkerScan.h"
#include "forecast/Normalise.h"
#include "forecast/PageSteps.h"
#include "forecast/SiteAddress.h"
#include "text/TextCodec.h"
#include "text/Words.h"

namespace skycall {

namespace {

enum class PageKind { CurrentConditions, TodayTomorrow, TenDay };

// What each of the site's pages (kPagePaths, in the same order) gives the list.
struct ForecastPage {
  PageKind kind;
  bool separatorAfter;
};
constexpr std::array<ForecastPage, kPagePaths.size()> kPages = {{
    {PageKind::CurrentConditions, true},
    {PageKind::TodayTomorrow, true},
    {PageKind::TodayTomorrow, true},
    {PageKind::TenDay, false},
}};

constexpr std::wstring_view kSeparatorRow = L"-----";

std::vector<std::wstring> scanForecastPage(std::wstring_view text, PageKind kind, int weekday) {
  switch (kind) {
    case PageKind::CurrentConditions:
      return scanPage(text, currentConditionsSteps());
    case PageKind::TodayTomorrow:
      return scanPage(text, todayTomorrowSteps());
    case PageKind::TenDay:
      // The day headings follow the date on which this page is read.
      return scanPage(text, tenDaySteps(weekday));
  }
  return {};
}

}  // namespace

std::string pageAddress(const std::string& host, std::string_view path,
                        std::wstring_view location) {
  return "http://" + host + std::string(path) + percentEncoded(toUtf8(location));
}

std::wstring siteLocation(std::wstring location) {
  std::replace(location.begin(), location.end(), L' ', L'+');
  return location;
}

void runFetchCycle(ForecastList& list, const std::wstring& location, PageFetcher& fetcher,
                   int weekday, const std::string& host, const std::function<void()>& pumpEvents) {
  list.clear();

  for (std::size_t i = 0; i < kPages.size(); ++i) {
    const ForecastPage& page = kPages[i];
    // A failed fetch leaves the cycle here; the rows of the earlier pages stay as they are.
    const FetchedPage fetched = fetcher.fetch(pageAddress(host, kPagePaths[i], location));
    if (pumpEvents) pumpEvents();
    const std::wstring text = decodePage(fetched.body, fetched.charset);
    for (const std::wstring& row : scanForecastPage(text, page.kind, weekday)) list.append(row);
    if (page.separatorAfter) list.append(std::wstring(kSeparatorRow));
  }
  normaliseList(list);
}

}  // namespace skycall
