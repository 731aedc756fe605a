#pragma once

// What the program hears from the site's pages: a fetcher that serves rendered pages from memory
// the way skycall-site does, and the rows a forecast must give.

#include <array>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/VectorList.h"
#include "forecast/FetchCycle.h"
#include "forecast/Normalise.h"
#include "forecast/PageFetcher.h"
#include "forecast/TextCodec.h"
#include "site/ForecastData.h"
#include "site/PageRenderer.h"
#include "site/SitePage.h"

namespace skycall::sitetest {

inline const std::string kHost = "localhost:8722";
using DataFor = std::function<ForecastData(const std::string& location)>;

// The path picks the page, the rest of the address is the location.
class RenderingFetcher : public PageFetcher {
 public:
  explicit RenderingFetcher(DataFor dataFor) : dataFor_(std::move(dataFor)) {}
  FetchedPage fetch(const std::string& address) override {
    const std::string site = "http://" + kHost;
    const auto request =
        address.rfind(site, 0) == 0 ? parsePageTarget(address.substr(site.size())) : std::nullopt;
    if (!request) throw FetchError("404 " + address);
    return {renderPage(request->page, dataFor_(request->location), request->location), "utf-8"};
  }

 private:
  DataFor dataFor_;
};

// 1 = Sunday ... 7 = Saturday, as the program's clock counts.
inline int clockWeekday(std::chrono::weekday day) {
  return static_cast<int>(day.c_encoding()) + 1;
}

inline std::vector<std::string> utf8Rows(const std::vector<std::wstring>& rows) {
  std::vector<std::string> out;
  for (const auto& row : rows) out.push_back(toUtf8(row));
  return out;
}

inline std::vector<std::string> cycleRows(const DataFor& dataFor, int weekday,
                                          std::wstring location = L"62701") {
  fakes::VectorList list;
  fakes::FakeClock clock(weekday);
  RenderingFetcher fetcher(dataFor);
  runFetchCycle(list, location, fetcher, clock, kHost, {});
  return utf8Rows(list.rows);
}

// The 48 rows the data must give: each fact as the page prints it, under its label, cleaned
// for speech. Page markup that loses or cuts a value, or a heading the scan cannot find, makes
// the cycle's rows differ from these.
inline std::vector<std::string> expectedRows(const ForecastData& d) {
  static constexpr std::array<const char*, 7> kHeadings = {"Sun", "Mon", "Tue", "Wed",
                                                           "Thu", "Fri", "Sat"};
  fakes::VectorList list;
  const auto add = [&](const std::string& row) { list.append(fromUtf8(row)); };
  add("Currently " + temperatureText(d.now.temperature) + " degrees.");
  add("feels like " + temperatureText(d.now.feelsLike) + " degrees.");
  add(d.now.phrase);
  for (const DayDetail* day : {&d.today, &d.tomorrow}) {
    add("-----");
    add("High of " + temperatureText(day->high));
    add(day->phrase);
    add("Chance of rain, " + percentText(day->chanceOfRain));
    add("Winds are " + windText(day->wind));
    add("Humidity is at " + percentText(day->humidity));
    add("UV index is at " + uvText(day->uvIndex));
  }
  add("-----");
  for (std::size_t k = 2; k < 7; ++k) {
    const OutlookDay& day = d.outlook.at(k);
    add(kHeadings[day.weekday.c_encoding()]);
    add("High of " + temperatureText(day.high));
    add("Low of " + temperatureText(day.low));
    add(day.phrase);
    add("Chance of rain, " + percentText(day.chanceOfRain));
    add("Winds will be " + windText(day.wind));
  }
  normaliseList(list);
  return utf8Rows(list.rows);
}

}  // namespace skycall::sitetest
