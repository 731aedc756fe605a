#include "site/LiveSource.h"

#include <nlohmann/json.hpp>

#include "site/OpenMeteo.h"

namespace skycall {

namespace {

constexpr std::chrono::minutes kKeepFor{10};

// The body of a 200 answer; any other status is the service failing.
std::string answerBody(const UpstreamGet& get, const std::string& address, const char* service) {
  UpstreamAnswer answer = get(address);
  if (answer.status == 200) return std::move(answer.body);
  std::string reason = serviceErrorReason(answer.body);
  if (reason.empty()) reason = "HTTP status " + std::to_string(answer.status);
  throw SourceError(502, std::string("the ") + service + " service failed: " + reason);
}

}  // namespace

LiveForecastSource::LiveForecastSource(WeatherServices services, UpstreamGet get, Now now)
    : services_(std::move(services)), get_(std::move(get)), now_(std::move(now)) {}

ForecastData LiveForecastSource::forecastFor(const std::string& location) {
  const auto query = placeQueryFor(location);
  if (!query) throw SourceError(404, "no location given");
  const std::string key = placeKey(*query);
  {
    const std::lock_guard lock(keptMutex_);
    const auto it = kept_.find(key);
    if (it != kept_.end() && now_() - it->second.fetched < kKeepFor) return it->second.data;
  }
  // Fetched outside the lock, so one slow place does not hold up the others.
  ForecastData data = fetchForecast(location);
  const std::lock_guard lock(keptMutex_);
  const auto now = now_();
  std::erase_if(kept_, [&](const auto& entry) { return now - entry.second.fetched >= kKeepFor; });
  kept_[key] = {now, data};
  return data;
}

ForecastData LiveForecastSource::fetchForecast(const std::string& location) {
  const PlaceQuery query = *placeQueryFor(location);
  try {
    const auto place = choosePlace(
        answerBody(get_, geocodingAddress(services_.geocodingUrl, query), "geocoding"), query);
    if (!place) throw SourceError(404, "no place called \"" + location + "\" is known");
    return forecastFromAnswer(
        answerBody(get_, forecastAddress(services_.forecastUrl, *place), "forecast"), *place);
  } catch (const nlohmann::json::exception& error) {
    throw SourceError(502,
                      std::string("the weather service's answer is malformed: ") + error.what());
  }
}

bool weatherServicesAnswer(const WeatherServices& services, const UpstreamGet& get) {
  try {
    const PlaceQuery probe{"Chicago", findUsState("IL"), false};
    const auto place = choosePlace(
        answerBody(get, geocodingAddress(services.geocodingUrl, probe), "geocoding"), probe);
    if (!place) return false;
    forecastFromAnswer(answerBody(get, forecastAddress(services.forecastUrl, *place), "forecast"),
                       *place);
    return true;
  } catch (const SourceError&) {
    return false;
  } catch (const nlohmann::json::exception&) {
    return false;
  }
}

}  // namespace skycall
