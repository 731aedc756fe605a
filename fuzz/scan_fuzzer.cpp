// SPDX-License-Identifier: GPL-3.0-or-later
// The marker scan against a plain position-by-position reference, for every step table.
#include <cstdint>
#include <cstdlib>

#include "forecast/MarkerScan.h"
#include "forecast/PageSteps.h"
#include "text/TextCodec.h"

namespace {

using skycall::Step;
using skycall::StepKind;

// Compares the current step's marker at every position, as the page is walked once.
std::vector<std::wstring> referenceScan(const std::wstring& page, const std::vector<Step>& steps) {
  std::vector<std::wstring> rows;
  std::size_t k = 0, start = 0;
  for (std::size_t i = 0; i < page.size() && k < steps.size(); ++i) {
    const Step& s = steps[k];
    if (page.compare(i, s.marker.size(), s.marker) != 0) continue;
    const std::size_t after = i + s.marker.size();
    switch (s.kind) {
      case StepKind::Value: {
        std::wstring v = after < page.size() ? page.substr(after, 3) : L"";
        if (v.size() == 3 && v[2] == L'<') v.resize(2);
        rows.push_back(s.prefix + v + s.suffix);
        break;
      }
      case StepKind::Open:
        start = after;
        break;
      case StepKind::Close:
        rows.push_back(s.prefix + (i > start ? page.substr(start, i - start) : L"") + s.suffix);
        break;
      case StepKind::DayHeading:
        rows.push_back(s.prefix + s.marker.substr(s.marker.size() - 3) + s.suffix);
        break;
    }
    ++k;
  }
  return rows;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks the page and, for the ten-day page, the weekday.
  const int pick = data[0] % 9;
  const std::wstring page =
      skycall::fromUtf8(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  const std::vector<Step> steps = pick == 0   ? skycall::currentConditionsSteps()
                                  : pick == 1 ? skycall::todayTomorrowSteps()
                                              : skycall::tenDaySteps(pick - 1);
  const auto rows = skycall::scanPage(page, steps);
  // The reference gives one row a step at most, so the count needs no check of its own.
  if (rows != referenceScan(page, steps)) std::abort();
  return 0;
}
