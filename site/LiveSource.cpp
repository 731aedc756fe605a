// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/LiveSource.h"

#include <nlohmann/json.hpp>

#include "platform/CurlFetcher.h"
#include "site/OpenMeteo.h"

namespace skycall {

namespace {

constexpr std::chrono::minutes kKeepFor{10};

// The body of a 200 answer; any other status is the service failing. One fetcher per call:
// the site asks from many threads at once.
std::string answerBody(const WeatherServices& services, const std::string& address,
                       const char* service) {
  CurlFetcher::FetchLimits limits;
  limits.connectTimeoutMs = limits.totalTimeoutMs =
      static_cast<long>(services.timeoutSeconds * 1000);
  limits.maxBodyBytes = 4 << 20;  // a ten-day forecast is about 25 KB
  CurlFetcher::Answer answer;
  try {
    answer = CurlFetcher(limits).get(address);
  } catch (const FetchTimedOut&) {
    throw SourceError(504, std::string("the ") + service + " service did not answer in time");
  } catch (const FetchError& error) {
    throw SourceError(
        502, std::string("the ") + service + " service cannot be reached: " + error.what());
  }
  if (answer.status == 200) return std::move(answer.body);
  std::string reason = serviceErrorReason(answer.body);
  if (reason.empty()) reason = "HTTP status " + std::to_string(answer.status);
  throw SourceError(502, std::string("the ") + service + " service failed: " + reason);
}

// The place of the first reading that finds one, and its forecast; nothing when none does.
std::optional<std::pair<std::size_t, ForecastData>> fetchForecast(
    const WeatherServices& services, const std::vector<PlaceQuery>& queries) {
  try {
    for (std::size_t i = 0; i < queries.size(); ++i) {
      const auto place = choosePlace(
          answerBody(services, geocodingAddress(services.geocodingUrl, queries[i]), "geocoding"),
          queries[i]);
      if (place)
        return std::pair(
            i, forecastFromAnswer(
                   answerBody(services, forecastAddress(services.forecastUrl, *place), "forecast"),
                   *place));
    }
  } catch (const nlohmann::json::exception& error) {
    throw SourceError(502,
                      std::string("the weather service's answer is malformed: ") + error.what());
  }
  return std::nullopt;
}

}  // namespace

LiveForecastSource::LiveForecastSource(WeatherServices services, Now now)
    : services_(std::move(services)), now_(std::move(now)) {}

std::optional<ForecastData> LiveForecastSource::keptFor(const std::string& key) {
  const std::lock_guard lock(keptMutex_);
  const auto it = kept_.find(key);
  if (it == kept_.end() || now_() - it->second.fetched >= kKeepFor) return std::nullopt;
  return it->second.data;
}

ForecastData LiveForecastSource::forecastFor(const std::string& location) {
  // The readings are tried in order and the first that finds a place wins, so a reading kept
  // from before is the answer as long as no earlier one is kept.
  const auto queries = placeQueriesFor(location);
  for (const PlaceQuery& query : queries)
    if (auto data = keptFor(placeKey(query))) return *std::move(data);
  // Fetched outside the lock, so one slow place does not hold up the others.
  auto found = fetchForecast(services_, queries);
  if (!found) throw SourceError(404, "no US place called \"" + location + "\" is known");
  const std::lock_guard lock(keptMutex_);
  const auto now = now_();
  std::erase_if(kept_, [&](const auto& entry) { return now - entry.second.fetched >= kKeepFor; });
  kept_[placeKey(queries[found->first])] = {now, found->second};
  return found->second;
}

bool weatherServicesAnswer(const WeatherServices& services) {
  try {
    return fetchForecast(services, placeQueriesFor("Chicago, IL")).has_value();
  } catch (const SourceError&) {
    return false;
  }
}

}  // namespace skycall
