// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "forecast/WeatherAlerts.h"
#include "interfaces/Clock.h"

namespace skycall {

// At most this many alerts are read out at once; the rest are counted.
constexpr std::size_t kAlertsReadAtOnce = 3;

// What the user hears of alerts, most severe first: "Weather alert: Tornado Warning until
// 6:45 PM.", each followed by its instruction when withInstructions, and after the third
// ", and 5 more alerts." in place of its full stop.
std::wstring alertsText(const std::vector<WeatherAlert>& alerts, const Clock& clock,
                        bool withInstructions);

}  // namespace skycall
