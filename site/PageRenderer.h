// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "site/ForecastData.h"

namespace skycall {

// The four pages of the site, in the order of the program's page paths (kPagePaths).
enum class SitePage { RightNow, Today, Tomorrow, TenDay };

// The page as served: a whole UTF-8 HTML document. location is the location as the request
// named it (blanks as blanks); it goes into the navigation links.
std::string renderPage(SitePage page, const ForecastData& data, std::string_view location);

// The alerts page: {"place": ..., "alerts": [{"id", "event", "severity", "ends",
// "instruction"}]}, "ends" in seconds since the epoch or null, as JSON in UTF-8.
std::string renderAlertsPage(std::string_view place, const std::vector<SiteAlert>& alerts);

// A plain page for a failure; it carries none of the forecast pages' markup.
std::string renderErrorPage(int status, std::string_view message);

}  // namespace skycall
