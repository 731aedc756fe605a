#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "site/ForecastData.h"
#include "site/UsStates.h"

namespace skycall {

// What to ask the geocoding service for a location the user gave.
struct PlaceQuery {
  std::string name;              // the city, or the five-digit zip code
  std::optional<UsState> state;  // results must lie in it
  bool zipCode = false;
};

// "62701" (or "62701-1234"), "Springfield, IL", "Springfield IL", "Springfield+Illinois";
// nothing for an empty location.
std::optional<PlaceQuery> placeQueryFor(std::string_view location);

// The key under which a forecast is kept: one for every way of writing the same place.
std::string placeKey(const PlaceQuery& query);

struct Place {
  std::string shownName;  // "Springfield, IL"
  double latitude = 0;
  double longitude = 0;
};

std::string geocodingAddress(const std::string& base, const PlaceQuery& query);

// The most populous result that fits the query; nothing when none does (the service leaves
// out "results" when it found nothing). Throws SourceError for a body that is not its answer.
std::optional<Place> choosePlace(std::string_view geocodingBody, const PlaceQuery& query);

std::string forecastAddress(const std::string& base, const Place& place);

// The forecast service's answer as the pages' data. Missing facts stay empty; a forecast
// without its temperatures, or with fewer than seven whole days, throws SourceError.
ForecastData forecastFromAnswer(std::string_view forecastBody, const Place& place);

// The reason in the services' error body ({"error":true,"reason":"..."}), or "" when the body
// is not one.
std::string serviceErrorReason(std::string_view body);

}  // namespace skycall
