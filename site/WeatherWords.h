// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace skycall {

// The conditions phrase for a WMO weather code, in the pages' style ("T-Storm" for
// thunderstorm); "Unknown Conditions" for a code the table lacks or none at all.
std::string weatherPhrase(std::optional<int> wmoCode);

// The 16-point compass abbreviation of a direction in degrees (0 = from the north); "" for none.
std::string compassPoint(std::optional<double> degrees);

}  // namespace skycall
