// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace skycall {

struct UsState {
  std::string_view code;  // "IL"
  std::string_view name;  // "Illinois"
};

// The state a text names, by its two-letter code or its full name, case ignored.
std::optional<UsState> findUsState(std::string_view text);

// The country code the geocoding service files the state's places under: "US", but Puerto Rico
// is a country of its own there.
std::string_view countryCodeOf(const UsState& state);

}  // namespace skycall
