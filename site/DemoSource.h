// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <string_view>

#include "site/ForecastData.h"
#include "site/ForecastSource.h"

namespace skycall {

// Made-up weather for when no real forecast is at hand. The same location (letters and digits,
// case ignored: "Springfield, IL" and "springfield+il" are one place) and the same date always
// give the same forecast; other places get other weather, with their own climate and season.
// Every current-conditions phrase begins "Demo forecast, " so it never passes for real weather.
ForecastData demoForecast(std::string_view location, std::chrono::year_month_day date);

// The demo forecast for today's local date.
class DemoForecastSource : public ForecastSource {
 public:
  ForecastData forecastFor(const std::string& location) override;
};

}  // namespace skycall
