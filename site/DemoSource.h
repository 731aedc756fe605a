// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "site/ForecastData.h"

namespace skycall {

// Made-up weather for when no real forecast is at hand. The same location (letters and digits,
// case ignored: "Springfield, IL" and "springfield+il" are one place) on the same local date
// always gives the same forecast; other places get other weather. Every current-conditions
// phrase begins "Demo forecast, " so it never passes for real weather. One place, Moore, OK (or
// its zip code 73160), is under a made-up tornado warning until the end of the day, so that
// an alert can be heard without a network; it says it is a demonstration.
class DemoForecastSource : public ForecastSource {
 public:
  ForecastData forecastFor(const std::string& location) override;
  std::vector<SiteAlert> alertsFor(const std::string& location) override;
};

}  // namespace skycall
