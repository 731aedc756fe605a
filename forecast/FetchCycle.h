// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>

#include "interfaces/ForecastList.h"
#include "interfaces/PageFetcher.h"

namespace skycall {

// "http://" + host + path + location, the location percent-encoded (UTF-8) except for
// letters, digits and "+-._~,".
std::string pageAddress(const std::string& host, std::string_view path, std::wstring_view location);

// The location as the site is asked for it: every blank a "+".
std::wstring siteLocation(std::wstring location);

// The fetch cycle for a location as siteLocation() gives it: empties the list, fetches the four
// pages in order (pumping events once after each), scans them, adds the separator rows and
// normalises every row. weekday (1 = Sunday) is today's, which the ten-day page's days follow.
// A failed fetch throws FetchError out of the cycle with the rows so far kept.
void runFetchCycle(ForecastList& list, const std::wstring& location, PageFetcher& fetcher,
                   int weekday, const std::string& host, const std::function<void()>& pumpEvents);

}  // namespace skycall
