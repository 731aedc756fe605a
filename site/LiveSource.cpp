// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/LiveSource.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>

#include "forecast/WeatherAlerts.h"
#include "http/CurlFetcher.h"
#include "text/TextCodec.h"
#include "text/Words.h"

namespace skycall {

using nlohmann::json;

namespace {

// Long enough for the four pages of one fetch cycle; the weather, and its alerts, change by the
// minute, and a program that loads again each minute must hear the change.
constexpr std::chrono::seconds kKeepFor{30};
// More ways of writing places than one user types in a long while.
constexpr std::size_t kMostPlacesKept = 1000;
constexpr std::size_t kLongestEvent = 100;
constexpr std::size_t kMostAlerts = 100;

struct UsState {
  std::string_view code;  // "IL"
  std::string_view name;  // "Illinois"
};

// clang-format off
constexpr std::array<UsState, 52> kStates = {{
    {"AL", "Alabama"}, {"AK", "Alaska"}, {"AZ", "Arizona"}, {"AR", "Arkansas"},
    {"CA", "California"}, {"CO", "Colorado"}, {"CT", "Connecticut"}, {"DE", "Delaware"},
    {"DC", "District of Columbia"}, {"FL", "Florida"}, {"GA", "Georgia"}, {"HI", "Hawaii"},
    {"ID", "Idaho"}, {"IL", "Illinois"}, {"IN", "Indiana"}, {"IA", "Iowa"}, {"KS", "Kansas"},
    {"KY", "Kentucky"}, {"LA", "Louisiana"}, {"ME", "Maine"}, {"MD", "Maryland"},
    {"MA", "Massachusetts"}, {"MI", "Michigan"}, {"MN", "Minnesota"}, {"MS", "Mississippi"},
    {"MO", "Missouri"}, {"MT", "Montana"}, {"NE", "Nebraska"}, {"NV", "Nevada"},
    {"NH", "New Hampshire"}, {"NJ", "New Jersey"}, {"NM", "New Mexico"}, {"NY", "New York"},
    {"NC", "North Carolina"}, {"ND", "North Dakota"}, {"OH", "Ohio"}, {"OK", "Oklahoma"},
    {"OR", "Oregon"}, {"PA", "Pennsylvania"}, {"PR", "Puerto Rico"}, {"RI", "Rhode Island"},
    {"SC", "South Carolina"}, {"SD", "South Dakota"}, {"TN", "Tennessee"}, {"TX", "Texas"},
    {"UT", "Utah"}, {"VT", "Vermont"}, {"VA", "Virginia"}, {"WA", "Washington"},
    {"WV", "West Virginia"}, {"WI", "Wisconsin"}, {"WY", "Wyoming"}}};
// clang-format on

// The state a text names, by its two-letter code or its full name, case ignored.
std::optional<UsState> findUsState(std::string_view text) {
  const std::string wanted = lowered(std::string(text));
  for (const UsState& state : kStates)
    if (wanted == lowered(std::string(state.code)) || wanted == lowered(std::string(state.name)))
      return state;
  return std::nullopt;
}

// The country code the geocoding service files the state's places under: "US", but Puerto Rico
// is a country of its own there.
std::string_view countryCodeOf(const UsState& state) {
  return state.code == "PR" ? "PR" : "US";
}

// One reading of the location the user gave, to ask the geocoding service about.
struct PlaceQuery {
  std::string name;              // the place's whole name, or the five-digit zip code
  std::optional<UsState> state;  // results must lie in it
  bool zipCode = false;
};

using Place = KnownPlace;

// The ten-day page shows ten days. The program reads up to the sixth day after its own date,
// which can be the place's seventh when the machine's date is a day ahead of the place's.
constexpr int kOutlookDays = 10;

// The WMO present-weather codes the forecast service reports.
// clang-format off
const std::array<std::pair<int, const char*>, 28> kPhrases{{
    {0, "Clear Sky"}, {1, "Mainly Clear"}, {2, "Partly Cloudy"}, {3, "Overcast"}, {45, "Fog"},
    {48, "Freezing Fog"}, {51, "Light Drizzle"}, {53, "Drizzle"}, {55, "Heavy Drizzle"},
    {56, "Light Freezing Drizzle"}, {57, "Freezing Drizzle"}, {61, "Light Rain"}, {63, "Rain"},
    {65, "Heavy Rain"}, {66, "Light Freezing Rain"}, {67, "Freezing Rain"}, {71, "Light Snow"},
    {73, "Snow"}, {75, "Heavy Snow"}, {77, "Snow Grains"}, {80, "Light Rain Showers"},
    {81, "Rain Showers"}, {82, "Heavy Rain Showers"}, {85, "Snow Showers"},
    {86, "Heavy Snow Showers"}, {95, "T-Storm"}, {96, "T-Storm with Slight Hail"},
    {99, "T-Storm with Heavy Hail"}}};
// clang-format on

constexpr std::array<const char*, 16> kCompass = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                                                  "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};

// The conditions phrase for a WMO weather code, in the pages' style ("T-Storm" for
// thunderstorm); "Unknown Conditions" for a code the table lacks or none at all.
std::string weatherPhrase(std::optional<int> wmoCode) {
  for (const auto& [code, phrase] : kPhrases)
    if (wmoCode == code) return phrase;
  return "Unknown Conditions";
}

// The 16-point compass abbreviation of a direction in degrees (0 = from the north); "" for none.
std::string compassPoint(const json& degrees) {
  if (!degrees.is_number() || !std::isfinite(degrees.get<double>())) return "";
  const double from = std::fmod(std::fmod(degrees.get<double>(), 360.0) + 360.0, 360.0);
  return kCompass[static_cast<std::size_t>(std::lround(from / 22.5) % 16)];
}

// The reason in the services' error body ({"error":true,"reason":"..."}), or "" when the body
// is not one.
std::string serviceErrorReason(std::string_view body) {
  const json answer = json::parse(body, nullptr, false);
  if (!answer.is_object() || answer.value("error", json()) != true) return "";
  const json reason = answer.value("reason", json());
  return reason.is_string() && reason != "" ? reason.get<std::string>() : "no reason given";
}

json parsed(std::string_view body, const char* service) {
  json answer = json::parse(body, nullptr, false);
  if (answer.is_discarded() || !answer.is_object())
    throw SourceError(502, std::string("the ") + service + " service gave an unreadable answer");
  if (const std::string reason = serviceErrorReason(body); !reason.empty())
    throw SourceError(502, std::string("the ") + service + " service refused: " + reason);
  return answer;
}

// The value at a JSON pointer ("/daily/temperature_2m_max/3"); null where there is none.
json at(const json& answer, const std::string& pointer) {
  return answer.is_object() ? answer.value(json::json_pointer(pointer), json()) : json();
}

std::string text(const json& value) {
  return value.is_string() ? value.get<std::string>() : "";
}

double number(const json& value) {
  return value.is_number() ? value.get<double>() : 0;
}

std::optional<int> whole(const json& value) {
  if (!value.is_number() || !std::isfinite(value.get<double>())) return std::nullopt;
  return static_cast<int>(std::lround(value.get<double>()));
}

std::optional<std::chrono::year_month_day> dateOf(const json& text) {
  int y = 0;
  unsigned m = 0, d = 0;
  std::sscanf(text.is_string() ? text.get<std::string>().c_str() : "", "%d-%u-%u", &y, &m, &d);
  const auto date = std::chrono::year(y) / std::chrono::month(m) / std::chrono::day(d);
  return date.ok() ? std::optional(date) : std::nullopt;
}

// The service states its units; values in other units than the pages print are not shown.
void requireUnit(const json& answer, const std::string& pointer,
                 std::initializer_list<const char*> accepted) {
  const json unit = at(answer, pointer);
  if (!unit.is_null() && std::find(accepted.begin(), accepted.end(), unit) == accepted.end())
    throw SourceError(502, "the forecast service gave " + pointer + " in " + unit.dump());
}

// The day's mean of the hourly humidity, whole percent.
std::optional<int> meanHumidity(const json& answer, const std::string& date) {
  double sum = 0;
  int count = 0;
  for (std::size_t i = 0; text(at(answer, "/hourly/time/" + std::to_string(i))) != ""; ++i) {
    const json value = at(answer, "/hourly/relative_humidity_2m/" + std::to_string(i));
    if (text(at(answer, "/hourly/time/" + std::to_string(i))).starts_with(date + "T") &&
        value.is_number())
      sum += value.get<double>(), ++count;
  }
  return count ? whole(sum / count) : std::nullopt;
}

// The readings of a location, to try in order until one finds a place: "62701" (or
// "62701-1234"); "Springfield, IL"; "Port Washington" as "Port" in Washington, then as the
// whole name. None for an empty location or one whose qualifier after the comma is no US state.
std::vector<PlaceQuery> placeQueriesFor(std::string_view location) {
  std::string text(location);
  std::replace(text.begin(), text.end(), '+', ' ');
  const std::vector<std::string> all = words(text);
  text = joined(all, 0, all.size());
  if (text.empty()) return {};
  if (std::regex_match(text, std::regex(R"(\d{5}(-\d{4})?)")))
    return {{text.substr(0, 5), {}, true}};
  if (const auto comma = text.rfind(','); comma != std::string::npos) {
    // After a comma only a US state may stand: "Paris, France" names no US place.
    const std::string city = trimmed(text.substr(0, comma));
    const auto state = findUsState(trimmed(text.substr(comma + 1)));
    if (city.empty() || !state) return {};
    return {{city, state, false}};
  }
  // No comma: the last one to three words may name the state ("Charleston West Virginia"), but
  // only when the words before them name a place there; else the words are all the name.
  std::vector<PlaceQuery> queries;
  for (std::size_t stateWords = 3; stateWords >= 1; --stateWords) {
    if (all.size() <= stateWords) continue;
    const std::size_t split = all.size() - stateWords;
    if (const auto state = findUsState(joined(all, split, all.size())))
      queries.push_back({joined(all, 0, split), state, false});
  }
  queries.push_back({text, std::nullopt, false});
  return queries;
}

// The key under which a forecast is kept: one for every way of writing the same reading.
std::string placeKey(const PlaceQuery& query) {
  if (query.zipCode) return "zip " + query.name;
  return lowered(query.name) + "|" + std::string(query.state ? query.state->code : "");
}

std::string geocodingAddress(const std::string& base, const PlaceQuery& query) {
  // The service filters by country and first-level area before it cuts the list to its count,
  // so a small place among many of its name is still found. Puerto Rico is a country there; a
  // zip code may lie in it too, and is matched by its postcodes below.
  std::string name = query.name;
  std::string country = query.zipCode ? "" : "US";
  if (query.state && countryCodeOf(*query.state) != "US")
    country = countryCodeOf(*query.state);
  else if (query.state)
    name += ", " + std::string(query.state->name);
  std::replace(name.begin(), name.end(), ' ', '+');
  const std::string address =
      base + (base.find('?') == std::string::npos ? "?" : "&") + "name=" + percentEncoded(name) +
      "&count=" + (query.zipCode ? "10" : "100") + "&language=en&format=json";
  return country.empty() ? address : address + "&countryCode=" + country;
}

// The most populous result that fits the query: a place of that very name in the state (the
// service also gives names that only begin the same), or a place that lists the zip code among
// its postcodes; nothing when none does.
std::optional<Place> choosePlace(std::string_view geocodingBody, const PlaceQuery& query) {
  const json answer = parsed(geocodingBody, "geocoding");
  // The state a result lies in: its first-level area in the US, its country elsewhere.
  const auto stateOf = [](const json& result) {
    const std::string country = text(at(result, "/country_code"));
    const auto state = findUsState(country == "US" ? text(at(result, "/admin1")) : country);
    return state && countryCodeOf(*state) == country ? state : std::nullopt;
  };
  const json results = at(answer, "/results");
  const json* best = nullptr;
  for (const json& result : results) {
    if (!at(result, "/latitude").is_number() || !at(result, "/longitude").is_number()) continue;
    const auto state = stateOf(result);
    if (!state || (query.state && state->code != query.state->code)) continue;
    const json codes = at(result, "/postcodes");
    if (query.zipCode
            ? !codes.is_array() || std::find(codes.begin(), codes.end(), query.name) == codes.end()
            : lowered(text(at(result, "/name"))) != lowered(query.name))
      continue;
    if (!best || number(at(result, "/population")) > number(at(*best, "/population")))
      best = &result;
  }
  if (!best) return std::nullopt;
  std::string shown = text(at(*best, "/name")) + ", " + std::string(stateOf(*best)->code);
  if (query.zipCode) shown += " " + query.name;
  return Place{shown, number(at(*best, "/latitude")), number(at(*best, "/longitude"))};
}

std::string forecastAddress(const std::string& base, const Place& place) {
  char position[64];
  std::snprintf(position, sizeof position, "latitude=%.4f&longitude=%.4f", place.latitude,
                place.longitude);
  return base + (base.find('?') == std::string::npos ? "?" : "&") + position +
         "&current=temperature_2m,apparent_temperature,weather_code,relative_humidity_2m,"
         "wind_speed_10m,wind_direction_10m"
         "&daily=weather_code,temperature_2m_max,temperature_2m_min,"
         "precipitation_probability_max,wind_speed_10m_max,wind_direction_10m_dominant,"
         "uv_index_max"
         "&hourly=relative_humidity_2m&temperature_unit=fahrenheit&wind_speed_unit=mph"
         "&timezone=auto&forecast_days=" +
         std::to_string(kOutlookDays);
}

// The forecast service's answer as the pages' data, up to ten days.
ForecastData forecastFromAnswer(std::string_view forecastBody, const Place& place) {
  const json answer = parsed(forecastBody, "forecast");
  requireUnit(answer, "/current_units/temperature_2m", {"°F"});
  requireUnit(answer, "/daily_units/temperature_2m_max", {"°F"});
  requireUnit(answer, "/daily_units/wind_speed_10m_max", {"mp/h", "mph"});

  ForecastData data;
  data.placeName = place.shownName;
  data.sourceNote = "Weather data by Open-Meteo.com";
  data.now = {whole(at(answer, "/current/temperature_2m")),
              whole(at(answer, "/current/apparent_temperature")),
              weatherPhrase(whole(at(answer, "/current/weather_code")))};
  data.tomorrow.phrase = weatherPhrase(std::nullopt);
  // The outlook ends at the first day without a date; any other missing fact is unknown.
  for (int i = 0; i < kOutlookDays; ++i) {
    const auto date = dateOf(at(answer, "/daily/time/" + std::to_string(i)));
    if (!date) break;
    const auto daily = [&](const char* series) {
      return at(answer, "/daily/" + std::string(series) + "/" + std::to_string(i));
    };
    const OutlookDay day{
        std::chrono::weekday(std::chrono::sys_days(*date)),
        whole(daily("temperature_2m_max")),
        whole(daily("temperature_2m_min")),
        weatherPhrase(whole(daily("weather_code"))),
        whole(daily("precipitation_probability_max")),
        {compassPoint(daily("wind_direction_10m_dominant")), whole(daily("wind_speed_10m_max"))}};
    data.outlook.push_back(day);
    if (i >= 2) continue;
    const auto humidity = meanHumidity(answer, daily("time").get<std::string>());
    DayDetail& detail = i == 0 ? data.today : data.tomorrow;
    detail = {day.high, day.phrase, day.chanceOfRain,
              day.wind, humidity,   whole(daily("uv_index_max"))};
  }
  if (data.outlook.empty()) throw SourceError(502, "the forecast service gave no days");
  return data;
}

// The body of a 200 answer; any other status is the service failing. One fetcher per call:
// the site asks from many threads at once.
std::string answerBody(const WeatherServices& services, const std::string& address,
                       const char* service, const std::vector<std::string>& headers = {}) {
  CurlFetcher::FetchLimits limits;
  limits.connectTimeoutMs = limits.totalTimeoutMs =
      static_cast<long>(services.timeoutSeconds * 1000);
  limits.maxBodyBytes = 4 << 20;  // a ten-day forecast is about 25 KB
  CurlFetcher::Answer answer;
  try {
    CurlFetcher fetcher(limits);
    fetcher.setHeaders(headers);
    answer = fetcher.get(address);
  } catch (const FetchTimedOut&) {
    throw SourceError(504, std::string("the ") + service + " service did not answer in time");
  } catch (const FetchError& error) {
    throw SourceError(
        502, std::string("the ") + service + " service cannot be reached: " + error.what());
  }
  if (answer.status == 200) return std::move(answer.body);
  const std::string reason = serviceErrorReason(answer.body);
  throw SourceError(502,
                    std::string("the ") + service + " service failed: " +
                        (reason.empty() ? "HTTP status " + std::to_string(answer.status) : reason));
}

// The first reading that finds a place, and the place; nothing when none does.
std::optional<std::pair<std::size_t, Place>> findPlace(const WeatherServices& services,
                                                       const std::vector<PlaceQuery>& queries) {
  for (std::size_t i = 0; i < queries.size(); ++i) {
    const auto place = choosePlace(
        answerBody(services, geocodingAddress(services.geocodingUrl, queries[i]), "geocoding"),
        queries[i]);
    if (place) return std::pair(i, *place);
  }
  return std::nullopt;
}

// The place's point as the services are asked about it.
std::string pointOf(const Place& place) {
  char point[64];
  std::snprintf(point, sizeof point, "%.4f,%.4f", place.latitude, place.longitude);
  return point;
}

// A service's answer that is no JSON it promised is the service failing.
template <typename F>
auto malformedFails(F&& f) {
  try {
    return f();
  } catch (const nlohmann::json::exception& error) {
    throw SourceError(502,
                      std::string("the weather service's answer is malformed: ") + error.what());
  }
}

// An ISO 8601 time with its offset ("2026-12-07T18:45:00-06:00", "...Z") in seconds since
// the epoch; none for anything else.
std::optional<std::int64_t> isoTime(const json& value) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, consumed = 0;
  const std::string time = text(value);
  if (std::sscanf(time.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &hour, &minute,
                  &second, &consumed) != 6)
    return std::nullopt;
  std::string_view zone = std::string_view(time).substr(consumed);
  if (zone.starts_with('.'))
    zone.remove_prefix(std::min(zone.find_first_not_of("0123456789", 1), zone.size()));
  int offset = 0;
  if (zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':') {
    offset = (std::stoi(std::string(zone.substr(1, 2))) * 60 +
              std::stoi(std::string(zone.substr(4, 2)))) *
             60;
    if (zone[0] == '-') offset = -offset;
  } else if (zone != "Z") {
    return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(month),
                                         std::chrono::day(day)};
  if (!date.ok() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  const auto days = std::chrono::sys_days(date).time_since_epoch();
  return std::chrono::duration_cast<std::chrono::seconds>(days).count() + hour * 3600 +
         minute * 60 + second - offset;
}

// A service's text as the alerts page gives it on: no markup or control characters, bounded.
std::string cleaned(const json& value, std::size_t longest) {
  return toUtf8(speakableText(fromUtf8(text(value)), longest));
}

}  // namespace

std::vector<SiteAlert> alertsFromAnswer(std::string_view body, std::time_t now) {
  const json answer = parsed(body, "alerts");
  const json features = at(answer, "/features");
  if (!features.is_array()) throw SourceError(502, "the alerts service gave no list of alerts");
  std::vector<SiteAlert> alerts;
  for (const json& feature : features) {
    const json properties = at(feature, "/properties");
    const std::string status = text(at(properties, "/status"));
    if (!status.empty() && status != "Actual") continue;  // a test or an exercise
    SiteAlert alert;
    alert.id = text(at(properties, "/id")).substr(0, 256);
    if (alert.id.empty()) continue;
    alert.event = cleaned(at(properties, "/event"), kLongestEvent);
    alert.severity = "Unknown";
    for (const char* severity : {"Extreme", "Severe", "Moderate", "Minor"})
      if (text(at(properties, "/severity")) == severity) alert.severity = severity;
    alert.ends = isoTime(at(properties, "/ends"));
    if (!alert.ends) alert.ends = isoTime(at(properties, "/expires"));
    if (alert.ends && *alert.ends <= now) continue;
    alert.instruction = cleaned(at(properties, "/instruction"), kLongestInstruction);
    alerts.push_back(std::move(alert));
  }
  constexpr std::array<std::string_view, 5> kGrades = {"Extreme", "Severe", "Moderate", "Minor",
                                                       "Unknown"};
  const auto grade = [&](const SiteAlert& alert) {
    return std::find(kGrades.begin(), kGrades.end(), alert.severity) - kGrades.begin();
  };
  std::stable_sort(alerts.begin(), alerts.end(),
                   [&](const SiteAlert& a, const SiteAlert& b) { return grade(a) < grade(b); });
  if (alerts.size() > kMostAlerts) alerts.resize(kMostAlerts);
  return alerts;
}

LiveForecastSource::LiveForecastSource(WeatherServices services, Now now)
    : services_(std::move(services)), now_(std::move(now)) {}

KnownPlace LiveForecastSource::placeFor(const std::string& location) {
  const auto queries = placeQueriesFor(location);
  {
    // The readings are tried in order and the first that finds a place wins, so a reading kept
    // from before is the answer as long as no earlier one is kept.
    const std::lock_guard lock(keptMutex_);
    for (const PlaceQuery& query : queries)
      if (const auto kept = places_.find(placeKey(query)); kept != places_.end())
        return kept->second;
  }
  // Asked outside the lock, so one slow place does not hold up the others.
  const auto found = malformedFails([&] { return findPlace(services_, queries); });
  if (!found) throw SourceError(404, "no US place called \"" + location + "\" is known");
  const std::lock_guard lock(keptMutex_);
  if (places_.size() >= kMostPlacesKept) places_.clear();
  places_[placeKey(queries[found->first])] = found->second;
  return found->second;
}

ForecastData LiveForecastSource::forecastFor(const std::string& location) {
  const Place place = placeFor(location);
  const std::string point = pointOf(place);
  {
    const std::lock_guard lock(keptMutex_);
    std::erase_if(kept_, [&](const auto& kept) { return now_() - kept.second.first >= kKeepFor; });
    if (const auto kept = kept_.find(point); kept != kept_.end()) {
      ForecastData data = kept->second.second;
      data.placeName = place.shownName;  // "San Juan, PR" or "San Juan, PR 00901", as asked
      return data;
    }
  }
  ForecastData data = malformedFails([&] {
    return forecastFromAnswer(
        answerBody(services_, forecastAddress(services_.forecastUrl, place), "forecast"), place);
  });
  const std::lock_guard lock(keptMutex_);
  kept_[point] = {now_(), data};
  return data;
}

std::vector<SiteAlert> LiveForecastSource::alertsFor(const std::string& location) {
  if (services_.alertsUrl.empty()) return {};
  const std::string point = pointOf(placeFor(location));
  {
    const std::lock_guard lock(keptMutex_);
    std::erase_if(keptAlerts_,
                  [&](const auto& kept) { return now_() - kept.second.first >= kKeepFor; });
    if (const auto kept = keptAlerts_.find(point); kept != keptAlerts_.end())
      return kept->second.second;
  }
  const std::string& base = services_.alertsUrl;
  const std::string address =
      base + (base.find('?') == std::string::npos ? "?" : "&") + "point=" + point;
  std::vector<SiteAlert> alerts = malformedFails([&] {
    return alertsFromAnswer(
        answerBody(services_, address, "alerts",
                   {"User-Agent: " + services_.userAgent, "Accept: application/geo+json"}),
        std::time(nullptr));
  });
  const std::lock_guard lock(keptMutex_);
  keptAlerts_[point] = {now_(), alerts};
  return alerts;
}

bool weatherServicesAnswer(const WeatherServices& services) {
  try {
    LiveForecastSource(services).forecastFor("Chicago, IL");
    return true;
  } catch (const SourceError&) {
    return false;
  }
}

}  // namespace skycall
