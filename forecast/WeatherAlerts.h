// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "interfaces/PageFetcher.h"

namespace skycall {

// How grave a weather alert is, as the weather service grades it.
enum class Severity { Unknown, Minor, Moderate, Severe, Extreme };

// One active weather alert for the user's place, its texts cleaned for speech.
struct WeatherAlert {
  std::string id;      // the issuer's own; a changed alert comes with a new one
  std::wstring event;  // "Tornado Warning"
  Severity severity = Severity::Unknown;
  std::optional<std::time_t> ends;  // none: until further notice
  std::wstring instruction;         // "Take shelter now."; at most kLongestInstruction characters

  bool inForce(std::time_t now) const { return !ends || *ends > now; }
};

constexpr std::size_t kLongestInstruction = 300;

// The site's alerts page: {"alerts": [{"id", "event", "severity", "ends", "instruction"}]},
// "ends" in seconds since the epoch. Texts lose markup and control characters, long ones are cut
// (an instruction at a sentence); an alert without an id is dropped (it could not be told from
// the next). Most severe first, then the soonest to end. Throws std::runtime_error for a page
// that is no alerts page.
std::vector<WeatherAlert> readAlertsPage(std::string_view body);

// The alerts for a location as siteLocation() gives it, from the site's alerts page. Throws
// FetchError when the page cannot be fetched, std::runtime_error when it is no alerts page.
std::vector<WeatherAlert> fetchAlerts(PageFetcher& fetcher, const std::string& host,
                                      const std::wstring& location);

// A text as it may be spoken: markup and control characters gone, blanks collapsed, at most
// `longest` characters, cut at a sentence where one ends in time, else at a word.
std::wstring speakableText(std::wstring_view text, std::size_t longest);

}  // namespace skycall
