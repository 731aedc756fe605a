// SPDX-License-Identifier: GPL-3.0-or-later
#include "forecast/PageSteps.h"

#include <array>
#include <string_view>

#include "forecast/SiteAddress.h"

namespace skycall {

namespace {

using K = StepKind;

// Right-now page: the temperature twice (actual, then felt), then the conditions phrase.
const std::vector<Step> kCurrentConditions = {
    {L"temperature-fahrenheit\">", K::Value, L"Currently ", L" degrees."},
    {L"temperature-fahrenheit\">", K::Value, L"feels like ", L" degrees."},
    {L"weather-phrase\">", K::Open, L"", L""},
    {L"</span>", K::Close, L"", L""},
};

// Today and tomorrow pages: the high, the phrase, then the first four spaced definition-list
// entries after it, labelled by position.
const std::vector<Step> kTodayTomorrow = {
    {L"<p class=\"wx-temp\">", K::Value, L"High of ", L""},
    {L"wx-phrase \">", K::Open, L"", L""},
    {L"</p>", K::Close, L"", L""},
    {L" <dd>", K::Open, L"", L""},
    {L"</dd>", K::Close, L"Chance of rain, ", L""},
    {L" <dd>", K::Open, L"", L""},
    {L"</dd>", K::Close, L"Winds are ", L""},
    {L" <dd>", K::Open, L"", L""},
    {L"</dd>", K::Close, L"Humidity is at ", L""},
    {L" <dd>", K::Open, L"", L""},
    {L"</dd>", K::Close, L"UV index is at ", L""},
};

// One ten-day block after its day heading; every block is the same.
const std::vector<Step> kTenDayBlock = {
    {L"<p class=\"wx-temp\"> ", K::Value, L"High of ", L""},
    {L"<p class=\"wx-temp-alt\">", K::Value, L"Low of ", L""},
    {L"wx-phrase\">", K::Open, L"", L""},
    {L"</p>", K::Close, L"", L""},
    {L"<dd>", K::Open, L"", L""},
    {L"</dd>", K::Close, L"Chance of rain, ", L""},
    {L"<dd>", K::Open, L"", L""},
    {L"</dd>", K::Close, L"Winds will be ", L""},
};

constexpr std::wstring_view kDayHeadingOpener = L"<h3>";
constexpr int kTenDayBlocks = 5;
// The ten-day page starts with the day after tomorrow: today and tomorrow have their own pages.
constexpr int kFirstTenDayOffset = 2;

}  // namespace

const std::vector<Step>& currentConditionsSteps() {
  return kCurrentConditions;
}

const std::vector<Step>& todayTomorrowSteps() {
  return kTodayTomorrow;
}

std::vector<Step> tenDaySteps(int weekday) {
  const int days = static_cast<int>(kWeekdayAbbreviations.size());
  std::vector<Step> steps;
  steps.reserve(kTenDayBlocks * (1 + kTenDayBlock.size()));
  for (int block = 0; block < kTenDayBlocks; ++block) {
    const int day = (((weekday - 1 + kFirstTenDayOffset + block) % days) + days) % days;
    std::wstring heading(kDayHeadingOpener);
    // Indexed by weekday - 1: the clock counts from Sunday too.
    const std::string_view abbreviation = kWeekdayAbbreviations[day];
    heading.append(abbreviation.begin(), abbreviation.end());
    steps.push_back({std::move(heading), K::DayHeading, L"", L""});
    steps.insert(steps.end(), kTenDayBlock.begin(), kTenDayBlock.end());
  }
  return steps;
}

}  // namespace skycall
