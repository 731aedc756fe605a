// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/DemoSource.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <numbers>
#include <string>

namespace skycall {

namespace {

constexpr int kOutlookDays = 10;

// splitmix64: a small, well-mixed generator whose sequence is the same on every machine.
class DemoDice {
 public:
  explicit DemoDice(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // A whole number from low to high, both included.
  int between(int low, int high) {
    return low + static_cast<int>(next() % static_cast<std::uint64_t>(high - low + 1));
  }

 private:
  std::uint64_t state_;
};

std::uint64_t placeKey(std::string_view location) {
  std::uint64_t hash = 0xCBF29CE484222325ULL;  // FNV-1a
  for (char c : location) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80 && !std::isalnum(byte)) continue;
    hash ^= static_cast<std::uint64_t>(std::tolower(byte));
    hash *= 0x100000001B3ULL;
  }
  return hash;
}

// What kind of weather a place has: its year-round average high, how far the seasons swing
// from it, and how wet it is.
struct Climate {
  int meanHigh;
  int seasonSwing;
  int wetness;  // 0 dry to 60 wet
};

Climate climateOf(std::uint64_t place) {
  DemoDice dice(place);
  return {dice.between(22, 82), dice.between(6, 30), dice.between(0, 60)};
}

constexpr std::array<const char*, 16> kCompass = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                                                  "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};

// Phrases by chance of rain (rows) and temperature (columns: snow below freezing, rain,
// storms when warm).
struct PhraseBand {
  int upToChance;
  std::array<const char*, 3> coldMildWarm;
};
constexpr std::array<PhraseBand, 5> kPhrases = {{
    {10, {"Sunny", "Sunny", "Mostly Sunny"}},
    {30, {"Partly Cloudy", "Partly Cloudy", "Partly Cloudy"}},
    {50, {"Snow Showers", "Scattered Showers", "Scattered T-Storms"}},
    {80, {"Snow", "Rain Showers", "T-Storms"}},
    {100, {"Heavy Snow", "Rain", "Strong T-Storms"}},
}};

const char* phraseFor(int chance, int high, int pick) {
  for (const PhraseBand& band : kPhrases) {
    if (chance > band.upToChance) continue;
    if (high <= 32) return band.coldMildWarm[0];
    // Mild days still thunder now and then; warm ones mostly do.
    return band.coldMildWarm[high >= 75 || pick % 4 == 0 ? 2 : 1];
  }
  return kPhrases.back().coldMildWarm[1];
}

struct DemoDay {
  int high;
  int low;
  std::string phrase;
  int chanceOfRain;
  Wind wind;
  int humidity;
  int uvIndex;
};

DemoDay demoDay(std::uint64_t place, const Climate& climate, std::chrono::sys_days day) {
  DemoDice dice(
      place ^ (static_cast<std::uint64_t>(day.time_since_epoch().count()) * 0xD1B54A32D192ED03ULL));
  const std::chrono::year_month_day ymd(day);
  const int dayOfYear =
      (day - std::chrono::sys_days(ymd.year() / std::chrono::January / 1)).count();
  // Coldest around January 20th, warmest around July 21st.
  const double season = -std::cos(2.0 * std::numbers::pi * (dayOfYear - 20) / 365.0);

  DemoDay out;
  out.high = static_cast<int>(std::lround(climate.meanHigh + climate.seasonSwing * season)) +
             dice.between(-12, 12);
  out.low = out.high - dice.between(6, 24);
  out.chanceOfRain = std::min(100, dice.between(0, 40 + climate.wetness)) / 10 * 10;
  out.phrase = phraseFor(out.chanceOfRain, out.high, dice.between(0, 99));
  const int speed = dice.between(-2, 24);
  out.wind = {kCompass[dice.between(0, 15)], std::max(0, speed)};
  out.humidity =
      std::min(98, 25 + climate.wetness / 2 + out.chanceOfRain / 2 + dice.between(0, 20));
  const int sunny = 100 - out.chanceOfRain;
  out.uvIndex = std::max(
      0, static_cast<int>(std::lround((5.5 + 5.0 * season) * sunny / 100.0)) + dice.between(-1, 1));
  return out;
}

DayDetail detailOf(const DemoDay& day) {
  return {day.high, day.phrase, day.chanceOfRain, day.wind, day.humidity, day.uvIndex};
}

}  // namespace

ForecastData demoForecast(std::string_view location, std::chrono::year_month_day date) {
  const std::uint64_t place = placeKey(location);
  const Climate climate = climateOf(place);
  const std::chrono::sys_days first(date);

  ForecastData data;
  data.placeName = std::string(location);
  data.sourceNote = "Demo forecast: made-up weather, not a real forecast.";
  for (int i = 0; i < kOutlookDays; ++i) {
    const std::chrono::sys_days day = first + std::chrono::days(i);
    const DemoDay d = demoDay(place, climate, day);
    data.outlook.push_back(
        {std::chrono::weekday(day), d.high, d.low, d.phrase, d.chanceOfRain, d.wind});
    if (i == 0) data.today = detailOf(d);
    if (i == 1) data.tomorrow = detailOf(d);
  }

  DemoDice now(place ^ 0x5EEDULL ^ static_cast<std::uint64_t>(first.time_since_epoch().count()));
  const int temperature = *data.today.high - now.between(0, 8);
  int feelsLike = temperature;
  if (temperature <= 50) feelsLike -= data.today.wind.speedMph.value_or(0) / 3;     // wind chill
  if (temperature >= 80) feelsLike += (data.today.humidity.value_or(40) - 40) / 8;  // muggy heat
  data.now = {temperature, feelsLike, "Demo forecast, " + data.today.phrase};
  return data;
}

ForecastData DemoForecastSource::forecastFor(const std::string& location) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::chrono::year_month_day today{
      std::chrono::year(local.tm_year + 1900),
      std::chrono::month(static_cast<unsigned>(local.tm_mon + 1)),
      std::chrono::day(static_cast<unsigned>(local.tm_mday))};
  return demoForecast(location, today);
}

}  // namespace skycall
