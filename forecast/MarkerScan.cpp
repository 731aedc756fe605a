// SPDX-License-Identifier: GPL-3.0-or-later
#include "forecast/MarkerScan.h"

#include <algorithm>

namespace skycall {

namespace {

constexpr std::size_t kValueLength = 3;
constexpr std::size_t kDayAbbreviationLength = 3;

// The three characters after the marker; a closing tag right behind a two-character value
// ("72<") leaves its "<" out. Near the end of the page there may be fewer characters.
std::wstring_view valueAfter(std::wstring_view page, std::size_t from) {
  if (from >= page.size()) return {};
  std::wstring_view value = page.substr(from, kValueLength);
  if (value.size() == kValueLength && value.back() == L'<') value.remove_suffix(1);
  return value;
}

std::wstring row(const Step& step, std::wstring_view text) {
  std::wstring out;
  out.reserve(step.prefix.size() + text.size() + step.suffix.size());
  out.append(step.prefix).append(text).append(step.suffix);
  return out;
}

}  // namespace

std::vector<std::wstring> scanPage(std::wstring_view page, std::span<const Step> steps) {
  std::vector<std::wstring> rows;
  std::size_t searchFrom = 0;
  std::size_t openedAt = 0;  // first character after the last open step's marker

  for (const Step& step : steps) {
    // Only the current step's marker is looked for, never before the previous match.
    const std::size_t at = page.find(step.marker, searchFrom);
    // A match must start on a character of the page (an empty marker would otherwise
    // "match" one past the end).
    if (at == std::wstring_view::npos || at >= page.size()) break;
    const std::size_t after = at + step.marker.size();

    switch (step.kind) {
      case StepKind::Value:
        rows.push_back(row(step, valueAfter(page, after)));
        break;
      case StepKind::Open:
        openedAt = after;
        break;
      case StepKind::Close:
        // A closer that starts inside its own opener gives an empty text, never a negative one.
        rows.push_back(
            row(step, at > openedAt ? page.substr(openedAt, at - openedAt) : std::wstring_view()));
        break;
      case StepKind::DayHeading: {
        const std::wstring_view heading = step.marker;
        const std::size_t keep = std::min(heading.size(), kDayAbbreviationLength);
        rows.push_back(row(step, heading.substr(heading.size() - keep)));
        break;
      }
    }
    // The next marker may start inside the text just matched.
    searchFrom = at + 1;
  }
  return rows;
}

}  // namespace skycall
