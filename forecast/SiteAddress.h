// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string_view>

namespace skycall {

// The forecast site's four pages in the order the fetch cycle reads them: current conditions,
// today, tomorrow, the ten-day outlook. Each path is followed at once by the location.
inline constexpr std::array<std::string_view, 4> kPagePaths = {
    "/weather/right-now/", "/weather/today/", "/weather/tomorrow/", "/weather/tenday/"};

// The active weather alerts for the place, asked for besides the four pages and as often as
// they may change.
inline constexpr std::string_view kAlertsPath = "/weather/alerts/";

// The weekdays as the ten-day page heads its days ("<h3>" + abbreviation), Sunday first.
inline constexpr std::array<std::string_view, 7> kWeekdayAbbreviations = {
    "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

}  // namespace skycall
