#include "forecast/FetchCycle.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "forecast/MarkerScan.h"
#include "forecast/Normalise.h"
#include "forecast/PageSteps.h"
#include "forecast/TextCodec.h"

namespace skycall {

namespace {

enum class PageKind { CurrentConditions, TodayTomorrow, TenDay };

struct ForecastPage {
  std::wstring_view path;
  PageKind kind;
  bool separatorAfter;
};

// The four pages, in the order their rows stand in the list.
constexpr std::array<ForecastPage, 4> kPages = {{
    {L"/weather/right-now/", PageKind::CurrentConditions, true},
    {L"/weather/today/", PageKind::TodayTomorrow, true},
    {L"/weather/tomorrow/", PageKind::TodayTomorrow, true},
    {L"/weather/tenday/", PageKind::TenDay, false},
}};

constexpr std::wstring_view kSeparatorRow = L"-----";

// Characters that stand for themselves in the address; "+" is the location's blank.
bool isPlainInAddress(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '-' || c == '.' || c == '_' || c == '~' || c == ',';
}

std::string percentEncoded(std::string_view bytes) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (isPlainInAddress(c)) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

std::vector<std::wstring> scanForecastPage(std::wstring_view text, PageKind kind,
                                           const Clock& clock) {
  switch (kind) {
    case PageKind::CurrentConditions:
      return scanPage(text, currentConditionsSteps());
    case PageKind::TodayTomorrow:
      return scanPage(text, todayTomorrowSteps());
    case PageKind::TenDay:
      // The day headings follow the date on which this page is read.
      return scanPage(text, tenDaySteps(clock.weekday()));
  }
  return {};
}

}  // namespace

std::string pageAddress(const std::string& host, std::wstring_view path,
                        std::wstring_view location) {
  return "http://" + host + toUtf8(path) + percentEncoded(toUtf8(location));
}

void runFetchCycle(ForecastList& list, std::wstring& location, PageFetcher& fetcher,
                   const Clock& clock, const std::string& host,
                   const std::function<void()>& pumpEvents) {
  list.clear();
  // Kept in the caller's field too, so the location is saved the way the site is asked.
  std::replace(location.begin(), location.end(), L' ', L'+');

  for (const ForecastPage& page : kPages) {
    // A failed fetch leaves the cycle here; the rows of the earlier pages stay as they are.
    const FetchedPage fetched = fetcher.fetch(pageAddress(host, page.path, location));
    if (pumpEvents) pumpEvents();
    const std::wstring text = decodePage(fetched.body, fetched.charset);
    for (const std::wstring& row : scanForecastPage(text, page.kind, clock)) list.append(row);
    if (page.separatorAfter) list.append(std::wstring(kSeparatorRow));
  }
  normaliseList(list);
}

}  // namespace skycall
