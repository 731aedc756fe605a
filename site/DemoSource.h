// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "site/ForecastData.h"

namespace skycall {

// Made-up weather for when no real forecast is at hand. The same location (letters and digits,
// case ignored: "Springfield, IL" and "springfield+il" are one place) on the same local date
// always gives the same forecast; other places get other weather. Every current-conditions
// phrase begins "Demo forecast, " so it never passes for real weather.
class DemoForecastSource : public ForecastSource {
 public:
  ForecastData forecastFor(const std::string& location) override;
};

}  // namespace skycall
