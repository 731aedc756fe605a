// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace skycall {

// Everything the four forecast pages show for one location. Texts are UTF-8. Temperatures are
// whole degrees Fahrenheit, speeds whole miles per hour, chances and humidity whole percent.
// Both sources (demo and live) fill this and one renderer turns it into the pages. A fact the
// weather service did not give is empty and shows as "unknown", never as a guess.

struct Wind {
  std::string direction;        // 16-point compass abbreviation ("NW", "SSE"); "" when unknown
  std::optional<int> speedMph;  // 0 is calm
};

struct CurrentConditions {
  std::optional<int> temperature, feelsLike;
  std::string phrase;  // "Partly Cloudy"; the demo source starts it with "Demo forecast, "
};

// Today and tomorrow each have a page of their own.
struct DayDetail {
  std::optional<int> high;
  std::string phrase;
  std::optional<int> chanceOfRain;
  Wind wind;
  std::optional<int> humidity, uvIndex;
};

// One day of the ten-day outlook.
struct OutlookDay {
  std::chrono::weekday weekday;
  std::optional<int> high, low;
  std::string phrase;
  std::optional<int> chanceOfRain;
  Wind wind;
};

struct ForecastData {
  std::string placeName;   // as shown in page titles ("Springfield, IL")
  std::string sourceNote;  // a footer line saying where the weather comes from
  CurrentConditions now;
  DayDetail today, tomorrow;
  std::vector<OutlookDay> outlook;  // from today on, up to ten days
};

// One active weather alert for a place, its texts cleaned and bounded.
struct SiteAlert {
  std::string id;                    // the issuer's own
  std::string event;                 // "Tornado Warning"
  std::string severity;              // "Extreme", "Severe", "Moderate", "Minor" or "Unknown"
  std::optional<std::int64_t> ends;  // seconds since the epoch; none: until further notice
  std::string instruction;
};

// A forecast that cannot be given; status is the HTTP status the site answers with
// (404 unknown location, 502 the weather service failed, 504 it did not answer in time).
class SourceError : public std::runtime_error {
 public:
  SourceError(int status, const std::string& message)
      : std::runtime_error(message), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

// Where the site's weather comes from. Called from the server's worker threads.
class ForecastSource {
 public:
  virtual ~ForecastSource() = default;
  // location as the request named it, blanks as blanks; throws SourceError.
  virtual ForecastData forecastFor(const std::string& location) = 0;
  // The alerts in force for the location, most severe first; throws SourceError.
  virtual std::vector<SiteAlert> alertsFor(const std::string& location) = 0;
};

}  // namespace skycall
