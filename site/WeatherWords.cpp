// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/WeatherWords.h"

#include <array>
#include <cmath>

namespace skycall {

namespace {

struct CodePhrase {
  int code;
  const char* phrase;
};

// The WMO present-weather codes the forecast service reports.
constexpr std::array<CodePhrase, 28> kPhrases = {{
    {0, "Clear Sky"},
    {1, "Mainly Clear"},
    {2, "Partly Cloudy"},
    {3, "Overcast"},
    {45, "Fog"},
    {48, "Freezing Fog"},
    {51, "Light Drizzle"},
    {53, "Drizzle"},
    {55, "Heavy Drizzle"},
    {56, "Light Freezing Drizzle"},
    {57, "Freezing Drizzle"},
    {61, "Light Rain"},
    {63, "Rain"},
    {65, "Heavy Rain"},
    {66, "Light Freezing Rain"},
    {67, "Freezing Rain"},
    {71, "Light Snow"},
    {73, "Snow"},
    {75, "Heavy Snow"},
    {77, "Snow Grains"},
    {80, "Light Rain Showers"},
    {81, "Rain Showers"},
    {82, "Heavy Rain Showers"},
    {85, "Snow Showers"},
    {86, "Heavy Snow Showers"},
    {95, "T-Storm"},
    {96, "T-Storm with Slight Hail"},
    {99, "T-Storm with Heavy Hail"},
}};

constexpr std::array<const char*, 16> kCompass = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                                                  "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};

}  // namespace

std::string weatherPhrase(std::optional<int> wmoCode) {
  if (wmoCode)
    for (const CodePhrase& entry : kPhrases)
      if (entry.code == *wmoCode) return entry.phrase;
  return "Unknown Conditions";
}

std::string compassPoint(std::optional<double> degrees) {
  if (!degrees || !std::isfinite(*degrees)) return "";
  const long sector = std::lround(std::fmod(std::fmod(*degrees, 360.0) + 360.0, 360.0) / 22.5);
  return kCompass[static_cast<std::size_t>(sector % 16)];
}

}  // namespace skycall
