#pragma once

#include <string>
#include <string_view>

#include "site/ForecastData.h"
#include "site/SitePage.h"

namespace skycall {

// The page as served: a whole UTF-8 HTML document. location is the location as the request
// named it (blanks as blanks); it goes into the navigation links.
std::string renderPage(SitePage page, const ForecastData& data, std::string_view location);

// A temperature as the pages print it: a one-digit value gets a leading blank, so that the
// three characters a reader takes after the tag always hold the whole number and the "<" that
// ends it ("72<", " 5<", "-5<", "101").
std::string temperatureText(int degrees);

// "NW 12 mph", "Calm", or "unknown".
std::string windText(const Wind& wind);

// "6, High": the index and its band; or "unknown".
std::string uvText(std::optional<int> uvIndex);

// "20%", or "unknown".
std::string percentText(std::optional<int> percent);

}  // namespace skycall
