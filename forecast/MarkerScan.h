// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace skycall {

enum class StepKind {
  Value,       // the three characters after the marker, two when the third is "<"
  Open,        // remembers where the text after the marker starts
  Close,       // the text from the remembered start up to this marker
  DayHeading,  // the marker's last three characters (the weekday abbreviation)
};

struct Step {
  std::wstring marker;
  StepKind kind;
  std::wstring prefix;
  std::wstring suffix;
};

// One forward pass over the page: each step's marker is looked for only after the previous
// step fired. Returns the rows the steps appended, in order.
std::vector<std::wstring> scanPage(std::wstring_view page, std::span<const Step> steps);

}  // namespace skycall
