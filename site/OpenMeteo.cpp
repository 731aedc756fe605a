// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/OpenMeteo.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <vector>

#include "forecast/SiteAddress.h"
#include "site/ForecastSource.h"
#include "site/WeatherWords.h"

namespace skycall {

using nlohmann::json;

namespace {

// The ten-day page shows ten days. The program reads up to the sixth day after its own date,
// which can be the place's seventh when the machine's date is a day ahead of the place's.
constexpr int kOutlookDays = 10;

std::vector<std::string> wordsOf(std::string_view text) {
  std::vector<std::string> words;
  std::istringstream in{std::string(text)};
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string joined(const std::vector<std::string>& words, std::size_t from, std::size_t to) {
  std::string out;
  for (std::size_t i = from; i < to; ++i) out += (out.empty() ? "" : " ") + words[i];
  return out;
}

std::string trimmed(std::string_view text) {
  return joined(wordsOf(text), 0, wordsOf(text).size());
}

bool allDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "62701", or "62701-1234" with the four-digit extension.
bool isZipCode(std::string_view text) {
  if (text.size() == 5) return allDigits(text);
  return text.size() == 10 && text[5] == '-' && allDigits(text.substr(0, 5)) &&
         allDigits(text.substr(6));
}

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

json parsed(std::string_view body, const char* service) {
  json answer = json::parse(body, nullptr, false);
  if (answer.is_discarded() || !answer.is_object())
    throw SourceError(502, std::string("the ") + service + " service gave an unreadable answer");
  const std::string reason = serviceErrorReason(body);
  if (!reason.empty())
    throw SourceError(502, std::string("the ") + service + " service refused: " + reason);
  return answer;
}

// A member that should be an object (an empty one when it is missing or null).
const json& partOf(const json& object, const char* key) {
  static const json kEmpty = json::object();
  const auto it = object.find(key);
  return it != object.end() && it->is_object() ? *it : kEmpty;
}

std::string textIn(const json& object, const char* key) {
  const auto it = object.find(key);
  return it != object.end() && it->is_string() ? it->get<std::string>() : "";
}

std::optional<double> numberIn(const json& object, const char* key) {
  const auto it = object.find(key);
  if (it == object.end() || !it->is_number()) return std::nullopt;
  return it->get<double>();
}

// The i-th value of a series ("daily": {"temperature_2m_max": [...]}); empty for null,
// a missing series or a short one.
std::optional<double> numberAt(const json& series, const char* key, std::size_t i) {
  const auto it = series.find(key);
  if (it == series.end() || !it->is_array() || i >= it->size() || !(*it)[i].is_number())
    return std::nullopt;
  return (*it)[i].get<double>();
}

std::optional<int> whole(std::optional<double> value) {
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return static_cast<int>(std::lround(*value));
}

std::optional<int> code(std::optional<double> value) {
  return whole(value);
}

std::optional<std::chrono::year_month_day> dateOf(const json& text) {
  if (!text.is_string()) return std::nullopt;
  int y = 0;
  unsigned m = 0, d = 0;
  if (std::sscanf(text.get<std::string>().c_str(), "%d-%u-%u", &y, &m, &d) != 3)
    return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(y), std::chrono::month(m),
                                         std::chrono::day(d)};
  if (!date.ok()) return std::nullopt;
  return date;
}

// The service states its units; values in other units than the pages print are not shown.
void requireUnit(const json& answer, const char* group, const char* key,
                 std::initializer_list<const char*> accepted) {
  const json& units = partOf(answer, group);
  if (!units.contains(key)) return;
  const json& unit = units[key];
  for (const char* ok : accepted)
    if (unit == ok) return;
  throw SourceError(502, std::string("the forecast service gave ") + key + " in " + unit.dump());
}

// The day's mean of the hourly humidity, whole percent.
std::optional<int> meanHumidity(const json& answer, const std::string& date) {
  const json& hourly = partOf(answer, "hourly");
  const auto timesIt = hourly.find("time");
  if (timesIt == hourly.end() || !timesIt->is_array()) return std::nullopt;
  const json& times = *timesIt;
  double sum = 0;
  int count = 0;
  for (std::size_t i = 0; i < times.size(); ++i) {
    if (!times[i].is_string() || times[i].get<std::string>().rfind(date + "T", 0) != 0) continue;
    if (const auto value = numberAt(hourly, "relative_humidity_2m", i)) {
      sum += *value;
      ++count;
    }
  }
  if (count == 0) return std::nullopt;
  return whole(sum / count);
}

}  // namespace

std::vector<PlaceQuery> placeQueriesFor(std::string_view location) {
  std::string text(location);
  std::replace(text.begin(), text.end(), '+', ' ');
  text = trimmed(text);
  if (text.empty()) return {};
  if (isZipCode(text)) return {{text.substr(0, 5), std::nullopt, true}};

  const auto comma = text.rfind(',');
  if (comma != std::string::npos) {
    const std::string city = trimmed(text.substr(0, comma));
    const auto state = findUsState(trimmed(text.substr(comma + 1)));
    if (city.empty()) return {};
    if (!state) return {};  // "Paris, France" names no US place
    return {{city, state, false}};
  }
  // No comma: the last one to three words may name the state ("Charleston West Virginia"), but
  // only when the words before them name a place there; else the words are all the name.
  std::vector<PlaceQuery> queries;
  const std::vector<std::string> words = wordsOf(text);
  for (std::size_t stateWords = 3; stateWords >= 1; --stateWords) {
    if (words.size() <= stateWords) continue;
    const std::size_t split = words.size() - stateWords;
    if (const auto state = findUsState(joined(words, split, words.size())))
      queries.push_back({joined(words, 0, split), state, false});
  }
  queries.push_back({text, std::nullopt, false});
  return queries;
}

std::string placeKey(const PlaceQuery& query) {
  if (query.zipCode) return "zip " + query.name;
  return lowered(query.name) + "|" + std::string(query.state ? query.state->code : "");
}

std::string geocodingAddress(const std::string& base, const PlaceQuery& query) {
  // The service filters by country and first-level area before it cuts the list to its count,
  // so a small place among many of its name is still found. Puerto Rico is a country there; a
  // zip code may lie in it too, and is matched by its postcodes below.
  std::string name = query.name;
  std::string country = "US";
  if (query.zipCode)
    country.clear();
  else if (query.state && countryCodeOf(*query.state) != "US")
    country = countryCodeOf(*query.state);
  else if (query.state)
    name += ", " + std::string(query.state->name);
  std::replace(name.begin(), name.end(), ' ', '+');
  std::string address = base + (base.find('?') == std::string::npos ? "?" : "&") +
                        "name=" + percentEncoded(name) +
                        "&count=" + (query.zipCode ? "10" : "100") + "&language=en&format=json";
  return country.empty() ? address : address + "&countryCode=" + country;
}

std::optional<Place> choosePlace(std::string_view geocodingBody, const PlaceQuery& query) {
  const json answer = parsed(geocodingBody, "geocoding");
  const auto results = answer.find("results");
  if (results == answer.end() || !results->is_array()) return std::nullopt;

  // The state a result lies in: its first-level area in the US, its country elsewhere.
  const auto stateOf = [](const json& result) {
    const std::string country = textIn(result, "country_code");
    const auto state = findUsState(country == "US" ? textIn(result, "admin1") : country);
    return state && countryCodeOf(*state) == country ? state : std::nullopt;
  };
  std::vector<const json*> fitting;
  for (const json& result : *results) {
    if (!result.is_object() || !numberIn(result, "latitude") || !numberIn(result, "longitude"))
      continue;
    const auto state = stateOf(result);
    if (!state || (query.state && state->code != query.state->code)) continue;
    if (query.zipCode) {
      const auto codes = result.find("postcodes");
      if (codes == result.end() || !codes->is_array() ||
          std::find(codes->begin(), codes->end(), query.name) == codes->end())
        continue;
    } else if (lowered(textIn(result, "name")) != lowered(query.name)) {
      continue;
    }
    fitting.push_back(&result);
  }
  if (fitting.empty()) return std::nullopt;

  const auto population = [](const json* r) { return numberIn(*r, "population").value_or(0); };
  const json& best = **std::max_element(
      fitting.begin(), fitting.end(),
      [&](const json* a, const json* b) { return population(a) < population(b); });
  Place place;
  place.latitude = *numberIn(best, "latitude");
  place.longitude = *numberIn(best, "longitude");
  place.shownName = textIn(best, "name") + ", " + std::string(stateOf(best)->code);
  if (query.zipCode) place.shownName += " " + query.name;
  return place;
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

ForecastData forecastFromAnswer(std::string_view forecastBody, const Place& place) {
  const json answer = parsed(forecastBody, "forecast");
  requireUnit(answer, "current_units", "temperature_2m", {"°F"});
  requireUnit(answer, "daily_units", "temperature_2m_max", {"°F"});
  requireUnit(answer, "daily_units", "wind_speed_10m_max", {"mp/h", "mph"});

  const json& current = partOf(answer, "current");
  ForecastData data;
  data.placeName = place.shownName;
  data.sourceNote = "Weather data by Open-Meteo.com";
  data.now = {whole(numberIn(current, "temperature_2m")),
              whole(numberIn(current, "apparent_temperature")),
              weatherPhrase(code(numberIn(current, "weather_code")))};
  data.tomorrow.phrase = weatherPhrase(std::nullopt);

  const json& daily = partOf(answer, "daily");
  const auto timesIt = daily.find("time");
  const json times = timesIt != daily.end() && timesIt->is_array() ? *timesIt : json::array();
  // The outlook ends at the first day without a date; any other missing fact is unknown.
  for (std::size_t i = 0; i < times.size() && i < kOutlookDays; ++i) {
    const auto date = dateOf(times[i]);
    if (!date) break;
    OutlookDay day;
    day.weekday = std::chrono::weekday(std::chrono::sys_days(*date));
    day.high = whole(numberAt(daily, "temperature_2m_max", i));
    day.low = whole(numberAt(daily, "temperature_2m_min", i));
    day.phrase = weatherPhrase(code(numberAt(daily, "weather_code", i)));
    day.chanceOfRain = whole(numberAt(daily, "precipitation_probability_max", i));
    day.wind = {compassPoint(numberAt(daily, "wind_direction_10m_dominant", i)),
                whole(numberAt(daily, "wind_speed_10m_max", i))};
    data.outlook.push_back(day);
    if (i < 2) {
      DayDetail& detail = i == 0 ? data.today : data.tomorrow;
      detail = {day.high,
                day.phrase,
                day.chanceOfRain,
                day.wind,
                meanHumidity(answer, times[i].get<std::string>()),
                whole(numberAt(daily, "uv_index_max", i))};
    }
  }
  if (data.outlook.empty()) throw SourceError(502, "the forecast service gave no days");
  return data;
}

std::string serviceErrorReason(std::string_view body) {
  const json answer = json::parse(body, nullptr, false);
  if (!answer.is_object()) return "";
  const auto error = answer.find("error");
  if (error == answer.end() || *error != true) return "";
  const std::string reason = textIn(answer, "reason");
  return reason.empty() ? "no reason given" : reason;
}

}  // namespace skycall
