#pragma once

// What the program must hear from the site's pages: a fetcher that serves rendered pages from
// memory, the fetch cycle run over them, and a check of the 48 rows against the data.

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "fakes/FakeClock.h"
#include "fakes/VectorList.h"
#include "forecast/FetchCycle.h"
#include "forecast/PageFetcher.h"
#include "forecast/TextCodec.h"
#include "site/ForecastData.h"
#include "site/PageRenderer.h"
#include "site/SitePage.h"

namespace skycall::sitetest {

inline const std::string kHost = "localhost:8722";

// Serves the renderer's pages for whatever address the cycle asks, the way skycall-site does:
// the path picks the page, the rest of the address is the location.
class RenderingFetcher : public PageFetcher {
 public:
  using DataFor = std::function<ForecastData(const std::string& location)>;
  explicit RenderingFetcher(DataFor dataFor) : dataFor_(std::move(dataFor)) {}

  std::vector<std::string> locations;  // as the site decoded them

  FetchedPage fetch(const std::string& address) override {
    const std::string prefix = "http://" + kHost;
    if (address.rfind(prefix, 0) != 0) throw FetchError("wrong host: " + address);
    const auto request = parsePageTarget(address.substr(prefix.size()));
    if (!request) throw FetchError("404 " + address);
    locations.push_back(request->location);
    return {renderPage(request->page, dataFor_(request->location), request->location), "utf-8"};
  }

 private:
  DataFor dataFor_;
};

inline std::vector<std::wstring> cycleRows(const RenderingFetcher::DataFor& dataFor, int weekday,
                                           std::wstring location = L"62701") {
  fakes::VectorList list;
  fakes::FakeClock clock(weekday);
  RenderingFetcher fetcher(dataFor);
  runFetchCycle(list, location, fetcher, clock, kHost, {});
  return list.rows;
}

// 1 = Sunday ... 7 = Saturday, as the program's clock counts.
inline int clockWeekday(std::chrono::weekday day) {
  return static_cast<int>(day.c_encoding()) + 1;
}

inline std::string spokenDirection(const std::string& abbreviation) {
  static const std::array<std::pair<const char*, const char*>, 16> kSpoken = {{
      {"N", "North"},
      {"NNE", "North North-East"},
      {"NE", "North-East"},
      {"ENE", "East North-East"},
      {"E", "East"},
      {"ESE", "East South-East"},
      {"SE", "South-East"},
      {"SSE", "South South-East"},
      {"S", "South"},
      {"SSW", "South South-West"},
      {"SW", "South-West"},
      {"WSW", "West South-West"},
      {"W", "West"},
      {"WNW", "West North-West"},
      {"NW", "North-West"},
      {"NNW", "North North-West"},
  }};
  for (const auto& [abbr, spoken] : kSpoken)
    if (abbreviation == abbr) return spoken;
  return "?" + abbreviation;
}

// "NW 12 mph" as the user hears it; the speech clean-up puts its own blank before "miles".
inline std::string spokenWind(const Wind& wind) {
  if (!wind.speedMph) return "unknown";
  if (*wind.speedMph <= 0) return "Calm";
  const std::string speed = std::to_string(*wind.speedMph) + "  miles per hour";
  return wind.direction.empty() ? speed : spokenDirection(wind.direction) + " " + speed;
}

inline std::string percentOrUnknown(std::optional<int> percent) {
  return percent ? std::to_string(*percent) + "%" : "unknown";
}

inline std::string spokenPhrase(std::string phrase) {
  for (std::size_t at = 0; (at = phrase.find("T-Storm", at)) != std::string::npos; at += 13)
    phrase.replace(at, 7, "Thunder Storm");
  return phrase;
}

inline std::string fullDayName(std::chrono::weekday day) {
  static constexpr std::array<const char*, 7> kNames = {
      "Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  return kNames[day.c_encoding()];
}

// Every way the rows differ from what the data says; empty when the user hears the data.
inline std::vector<std::string> rowProblems(const std::vector<std::wstring>& wideRows,
                                            const ForecastData& data) {
  std::vector<std::string> problems;
  std::vector<std::string> rows;
  for (const auto& row : wideRows) rows.push_back(toUtf8(row));
  if (rows.size() != 48) {
    problems.push_back("row count " + std::to_string(rows.size()));
    return problems;
  }
  auto expectRow = [&](std::size_t index, const std::string& expected) {
    if (rows[index] != expected)
      problems.push_back("row " + std::to_string(index) + " is \"" + rows[index] +
                         "\", expected \"" + expected + "\"");
  };
  // A temperature row holds prefix, the number (a one-digit number may carry a leading blank,
  // which is silent), then the suffix; nothing else.
  auto expectTemperature = [&](std::size_t index, const std::string& prefix, int degrees,
                               const std::string& suffix) {
    static const std::regex kNumber(R"( ?([0-9])|(-?[0-9]+))");
    const std::string& row = rows[index];
    std::smatch match;
    const bool framed = row.size() >= prefix.size() + suffix.size() &&
                        row.compare(0, prefix.size(), prefix) == 0 &&
                        row.compare(row.size() - suffix.size(), suffix.size(), suffix) == 0;
    const std::string middle =
        framed ? row.substr(prefix.size(), row.size() - prefix.size() - suffix.size()) : "";
    if (!framed || !std::regex_match(middle, match, kNumber) ||
        std::stoi(match[match[1].matched ? 1 : 2].str()) != degrees)
      problems.push_back("row " + std::to_string(index) + " is \"" + row + "\", expected " +
                         prefix + std::to_string(degrees) + suffix);
  };
  auto expectDetail = [&](std::size_t first, const DayDetail& day) {
    expectTemperature(first, "High of ", day.high, "");
    expectRow(first + 1, spokenPhrase(day.phrase));
    expectRow(first + 2, "Chance of rain, " + percentOrUnknown(day.chanceOfRain));
    expectRow(first + 3, "Winds are " + spokenWind(day.wind));
    expectRow(first + 4, "Humidity is at " + percentOrUnknown(day.humidity));
    const std::string uv =
        "UV index is at " + (day.uvIndex ? std::to_string(*day.uvIndex) + ", " : "unknown");
    if (rows[first + 5].rfind(uv, 0) != 0 || (day.uvIndex && rows[first + 5].size() <= uv.size()))
      problems.push_back("row " + std::to_string(first + 5) + " is \"" + rows[first + 5] + "\"");
  };

  expectTemperature(0, "Currently ", data.now.temperature, " degrees.");
  expectTemperature(1, "feels like ", data.now.feelsLike, " degrees.");
  expectRow(2, spokenPhrase(data.now.phrase));
  expectDetail(4, data.today);
  expectDetail(11, data.tomorrow);
  for (std::size_t separator : {3, 10, 17}) expectRow(separator, "-----");
  for (std::size_t k = 0; k < 5; ++k) {
    const OutlookDay& day = data.outlook.at(k + 2);
    const std::size_t first = 18 + 6 * k;
    expectRow(first, fullDayName(day.weekday));
    expectTemperature(first + 1, "High of ", day.high, "");
    expectTemperature(first + 2, "Low of ", day.low, "");
    expectRow(first + 3, spokenPhrase(day.phrase));
    expectRow(first + 4, "Chance of rain, " + percentOrUnknown(day.chanceOfRain));
    expectRow(first + 5, "Winds will be " + spokenWind(day.wind));
  }
  return problems;
}

}  // namespace skycall::sitetest
