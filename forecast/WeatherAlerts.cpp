// SPDX-License-Identifier: GPL-3.0-or-later
#include "forecast/WeatherAlerts.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "forecast/FetchCycle.h"
#include "forecast/SiteAddress.h"
#include "text/TextCodec.h"

namespace skycall {

namespace {

using nlohmann::json;

constexpr std::size_t kLongestEvent = 100;
constexpr std::size_t kLongestId = 256;
// More than anyone would listen to; a flood of them is cut here.
constexpr std::size_t kMostAlerts = 100;
// Times beyond this are no times (the year 2100).
constexpr double kLatestTime = 4102444800.0;

constexpr std::array<std::pair<std::string_view, Severity>, 4> kSeverities = {{
    {"Extreme", Severity::Extreme},
    {"Severe", Severity::Severe},
    {"Moderate", Severity::Moderate},
    {"Minor", Severity::Minor},
}};

bool isBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

// Nothing a voice should be handed: controls, the noncharacters, the private-use planes' ends.
bool isUnspeakable(wchar_t c) {
  return (c < 0x20 && !isBlank(c)) || (c >= 0x7F && c <= 0x9F) || (c >= 0xFDD0 && c <= 0xFDEF) ||
         (c & 0xFFFE) == 0xFFFE;
}

std::wstring textOf(const json& alert, const char* key) {
  const json value = alert.value(key, json());
  return value.is_string() ? fromUtf8(value.get<std::string>()) : std::wstring();
}

}  // namespace

std::wstring speakableText(std::wstring_view text, std::size_t longest) {
  std::wstring clean;
  bool inMarkup = false;
  for (const wchar_t c : text) {
    if (c == L'<') inMarkup = true;
    if (inMarkup) {
      inMarkup = c != L'>';
      continue;
    }
    if (isUnspeakable(c)) continue;
    if (isBlank(c)) {
      if (!clean.empty() && clean.back() != L' ') clean += L' ';
      continue;
    }
    clean += c;
  }
  if (!clean.empty() && clean.back() == L' ') clean.pop_back();
  if (clean.size() <= longest) return clean;
  // The last sentence that ends in time, else the last whole word.
  std::size_t cut = std::wstring::npos;
  for (std::size_t i = 0; i < longest; ++i)
    if ((clean[i] == L'.' || clean[i] == L'!' || clean[i] == L'?') && clean[i + 1] == L' ')
      cut = i + 1;
  if (cut == std::wstring::npos) {
    cut = clean.rfind(L' ', longest);
    if (cut == std::wstring::npos || cut == 0) cut = longest;
  }
  return clean.substr(0, cut);
}

std::vector<WeatherAlert> readAlertsPage(std::string_view body) {
  const json page = json::parse(body, nullptr, false);
  if (!page.is_object() || !page.contains("alerts") || !page["alerts"].is_array())
    throw std::runtime_error("The alerts page holds no list of alerts");
  std::vector<WeatherAlert> alerts;
  for (const json& item : page["alerts"]) {
    if (!item.is_object()) continue;
    const json id = item.value("id", json());
    if (!id.is_string() || id.get<std::string>().empty()) continue;
    WeatherAlert alert;
    alert.id = id.get<std::string>().substr(0, kLongestId);
    alert.event = speakableText(textOf(item, "event"), kLongestEvent);
    if (alert.event.empty()) alert.event = L"Unnamed alert";
    const json severity = item.value("severity", json());
    for (const auto& [name, grade] : kSeverities)
      if (severity == name) alert.severity = grade;
    const json ends = item.value("ends", json());
    if (ends.is_number() && ends.get<double>() >= 0 && ends.get<double>() < kLatestTime)
      alert.ends = static_cast<std::time_t>(std::floor(ends.get<double>()));
    alert.instruction = speakableText(textOf(item, "instruction"), kLongestInstruction);
    alerts.push_back(std::move(alert));
  }
  std::stable_sort(alerts.begin(), alerts.end(), [](const auto& a, const auto& b) {
    if (a.severity != b.severity) return a.severity > b.severity;
    return a.ends.value_or(kLatestTime) < b.ends.value_or(kLatestTime);
  });
  if (alerts.size() > kMostAlerts) alerts.resize(kMostAlerts);
  return alerts;
}

std::vector<WeatherAlert> fetchAlerts(PageFetcher& fetcher, const std::string& host,
                                      const std::wstring& location) {
  return readAlertsPage(fetcher.fetch(pageAddress(host, kAlertsPath, location)).body);
}

}  // namespace skycall
