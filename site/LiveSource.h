// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "site/ForecastData.h"

namespace skycall {

// The two services' addresses (a query string of their own, such as a key, is kept) and the
// time allowed for each call to them.
struct WeatherServices {
  std::string geocodingUrl;
  std::string forecastUrl;
  double timeoutSeconds = 8.0;
  // The National Weather Service's active alerts; its terms want the program and a contact
  // named in every call's User-Agent.
  std::string alertsUrl = {};
  std::string userAgent = {};
};

// A place the geocoding service found.
struct KnownPlace {
  std::string shownName;  // "Springfield, IL"
  double latitude = 0, longitude = 0;
};

// Real weather from the Open-Meteo geocoding and forecast services. The places found are kept
// for as long as the site runs; a place's forecast for half a minute, so the four pages of one
// fetch cycle cost one call, and a program that loads again hears the forecast as it is then.
// Its alerts come from the alerts service for the place's point, also kept half a minute: a
// warning is heard within minutes. Unknown location: 404; the services failing: 502; not answering
// in time: 504.
class LiveForecastSource : public ForecastSource {
 public:
  using Now = std::function<std::chrono::steady_clock::time_point()>;

  explicit LiveForecastSource(WeatherServices services, Now now = &std::chrono::steady_clock::now);
  ForecastData forecastFor(const std::string& location) override;
  std::vector<SiteAlert> alertsFor(const std::string& location) override;

 private:
  // The place the location names; throws SourceError (404 when there is none).
  KnownPlace placeFor(const std::string& location);

  template <typename T>
  using Kept = std::map<std::string, std::pair<std::chrono::steady_clock::time_point, T>>;

  WeatherServices services_;
  Now now_;
  std::mutex keptMutex_;
  std::map<std::string, KnownPlace> places_;  // by every way of writing them that was asked
  Kept<ForecastData> kept_;                   // by the place's point
  Kept<std::vector<SiteAlert>> keptAlerts_;   // likewise
};

// Whether both services give a proper answer now (the site's "auto" choice).
bool weatherServicesAnswer(const WeatherServices& services);

// The alerts service's GeoJSON answer as the alerts page's list: actual alerts only (no tests or
// exercises), none that has ended by `now`, texts cleaned and bounded, most severe first.
std::vector<SiteAlert> alertsFromAnswer(std::string_view body, std::time_t now);

}  // namespace skycall
