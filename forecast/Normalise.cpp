// SPDX-License-Identifier: GPL-3.0-or-later
#include "forecast/Normalise.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace skycall {

namespace {

using Replacement = std::pair<std::wstring_view, std::wstring_view>;

// Layout characters that never belong in a spoken row.
constexpr std::wstring_view kRemovedEverywhere = L"\n\t";
// Markup remnants and blanks that a scanned text may start with.
constexpr std::wstring_view kLeadingJunk = L"<> \r=\"";

// Only a row that is the abbreviation alone is a day name ("Sunny" is not Sunday).
constexpr std::array<Replacement, 7> kDayNames = {{
    {L"Sun", L"Sunday"},
    {L"Mon", L"Monday"},
    {L"Tue", L"Tuesday"},
    {L"Wed", L"Wednesday"},
    {L"Thu", L"Thursday"},
    {L"Fri", L"Friday"},
    {L"Sat", L"Saturday"},
}};

// Compass points, units and the site's shorthand, spelled out for the voice. The order matters:
// each entry sees the text the earlier ones produced.
constexpr std::array<Replacement, 19> kSpokenForms = {{
    {L" N ", L" North "},
    {L"mph", L" miles per hour"},
    {L" S ", L" South "},
    {L" E ", L" East "},
    {L" W ", L" West "},
    {L" NE ", L" North-East "},
    {L" NW ", L" North-West "},
    {L" SE ", L" South-East "},
    {L" SW ", L" South-West "},
    {L" ENE ", L" East North-East "},
    {L" WNW ", L" West North-West "},
    {L" NNE ", L" North North-East "},
    {L" NNW ", L" North North-West "},
    {L" ESE ", L" East South-East "},
    {L" WSW ", L" West South-West "},
    {L" SSE ", L" South South-East "},
    {L" SSW ", L" South South-West "},
    {L"T-Storm", L"Thunder Storm"},
    // A temperature the site does not know fills its three characters with this.
    {L"N/A", L"unknown"},
}};

// Rows 19 to 22 (the first ten-day day's high, low, phrase and chance of rain) get a voice fix
// for "wind" and spoken degrees.
constexpr int kRowWindowFirst = 19;
constexpr int kRowWindowLast = 22;
constexpr std::array<Replacement, 12> kRowWindowForms = {{
    {L"wind", L"whind"},
    {L"Wind", L"Whind"},
    {L"0F", L"0 degrees"},
    {L"1F", L"1 degrees"},
    {L"2F", L"2 degrees"},
    {L"3F", L"3 degrees"},
    {L"4F", L"4 degrees"},
    {L"5F", L"5 degrees"},
    {L"6F", L"6 degrees"},
    {L"7F", L"7 degrees"},
    {L"8F", L"8 degrees"},
    {L"9F", L"9 degrees"},
}};

// Every non-overlapping occurrence, left to right; the inserted text is not searched again.
void replaceAll(std::wstring& text, std::wstring_view find, std::wstring_view with) {
  std::size_t at = text.find(find);
  if (at == std::wstring::npos) return;
  std::wstring out;
  out.reserve(text.size() + with.size());
  std::size_t copied = 0;
  while (at != std::wstring::npos) {
    out.append(text, copied, at - copied).append(with);
    copied = at + find.size();
    at = text.find(find, copied);
  }
  out.append(text, copied, std::wstring::npos);
  text = std::move(out);
}

template <std::size_t N>
void replaceAll(std::wstring& text, const std::array<Replacement, N>& list) {
  for (const auto& [find, with] : list) replaceAll(text, find, with);
}

void cleanLeading(std::wstring& text) {
  std::erase_if(text,
                [](wchar_t c) { return kRemovedEverywhere.find(c) != std::wstring_view::npos; });
  const std::size_t first = text.find_first_not_of(kLeadingJunk);
  text.erase(0, first == std::wstring::npos ? text.size() : first);
}

void spellDayName(std::wstring& text) {
  const auto day = std::find_if(kDayNames.begin(), kDayNames.end(),
                                [&](const Replacement& r) { return text == r.first; });
  if (day != kDayNames.end()) text = day->second;
}

}  // namespace

std::wstring normaliseRow(std::wstring row, int index) {
  cleanLeading(row);
  spellDayName(row);
  replaceAll(row, kSpokenForms);
  if (index >= kRowWindowFirst && index <= kRowWindowLast) replaceAll(row, kRowWindowForms);
  return row;
}

void normaliseList(ForecastList& list) {
  const int count = list.count();
  for (int i = 0; i < count; ++i) {
    std::wstring text = normaliseRow(list.row(i), i);
    list.remove(i);
    list.insert(i, text);
  }
}

}  // namespace skycall
