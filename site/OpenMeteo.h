// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "site/ForecastData.h"
#include "site/UsStates.h"

namespace skycall {

// One reading of the location the user gave, to ask the geocoding service about.
struct PlaceQuery {
  std::string name;              // the place's whole name, or the five-digit zip code
  std::optional<UsState> state;  // results must lie in it
  bool zipCode = false;
};

// The readings of a location, to try in order until one finds a place: "62701" (or
// "62701-1234"); "Springfield, IL" (after a comma only a US state may stand); "Port Washington"
// as "Port" in Washington, then as the whole name. None for an empty location or one whose
// qualifier after the comma is no US state.
std::vector<PlaceQuery> placeQueriesFor(std::string_view location);

// The key under which a forecast is kept: one for every way of writing the same reading.
std::string placeKey(const PlaceQuery& query);

struct Place {
  std::string shownName;  // "Springfield, IL"
  double latitude = 0;
  double longitude = 0;
};

std::string geocodingAddress(const std::string& base, const PlaceQuery& query);

// The most populous result that fits the query: a place of that very name in the state (the
// service also gives names that only begin the same), or a place that lists the zip code among
// its postcodes; nothing when none does (the service leaves out "results" when it found
// nothing). Throws SourceError for a body that is not its answer.
std::optional<Place> choosePlace(std::string_view geocodingBody, const PlaceQuery& query);

std::string forecastAddress(const std::string& base, const Place& place);

// The forecast service's answer as the pages' data, up to ten days. Missing facts stay empty
// and show as unknown; an answer with no dated day at all throws SourceError.
ForecastData forecastFromAnswer(std::string_view forecastBody, const Place& place);

// The reason in the services' error body ({"error":true,"reason":"..."}), or "" when the body
// is not one.
std::string serviceErrorReason(std::string_view body);

}  // namespace skycall
