// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/UsStates.h"

#include <array>
#include <cctype>

namespace skycall {

namespace {

constexpr std::array<UsState, 52> kStates = {{
    {"AL", "Alabama"},        {"AK", "Alaska"},        {"AZ", "Arizona"},
    {"AR", "Arkansas"},       {"CA", "California"},    {"CO", "Colorado"},
    {"CT", "Connecticut"},    {"DE", "Delaware"},      {"DC", "District of Columbia"},
    {"FL", "Florida"},        {"GA", "Georgia"},       {"HI", "Hawaii"},
    {"ID", "Idaho"},          {"IL", "Illinois"},      {"IN", "Indiana"},
    {"IA", "Iowa"},           {"KS", "Kansas"},        {"KY", "Kentucky"},
    {"LA", "Louisiana"},      {"ME", "Maine"},         {"MD", "Maryland"},
    {"MA", "Massachusetts"},  {"MI", "Michigan"},      {"MN", "Minnesota"},
    {"MS", "Mississippi"},    {"MO", "Missouri"},      {"MT", "Montana"},
    {"NE", "Nebraska"},       {"NV", "Nevada"},        {"NH", "New Hampshire"},
    {"NJ", "New Jersey"},     {"NM", "New Mexico"},    {"NY", "New York"},
    {"NC", "North Carolina"}, {"ND", "North Dakota"},  {"OH", "Ohio"},
    {"OK", "Oklahoma"},       {"OR", "Oregon"},        {"PA", "Pennsylvania"},
    {"PR", "Puerto Rico"},    {"RI", "Rhode Island"},  {"SC", "South Carolina"},
    {"SD", "South Dakota"},   {"TN", "Tennessee"},     {"TX", "Texas"},
    {"UT", "Utah"},           {"VT", "Vermont"},       {"VA", "Virginia"},
    {"WA", "Washington"},     {"WV", "West Virginia"}, {"WI", "Wisconsin"},
    {"WY", "Wyoming"},
}};

bool sameLetters(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

}  // namespace

std::optional<UsState> findUsState(std::string_view text) {
  for (const UsState& state : kStates)
    if (sameLetters(text, state.code) || sameLetters(text, state.name)) return state;
  return std::nullopt;
}

std::string_view countryCodeOf(const UsState& state) {
  return state.code == "PR" ? "PR" : "US";
}

}  // namespace skycall
