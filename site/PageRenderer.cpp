// SPDX-License-Identifier: GPL-3.0-or-later
#include "site/PageRenderer.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <nlohmann/json.hpp>

#include "forecast/SiteAddress.h"
#include "text/Words.h"

namespace skycall {

// The readers of these pages find their facts by fixed pieces of markup, in page order, so the
// markup below is written with care:
// - each temperature stands directly before a "<" (see temperatureText);
// - the phrases open on a new line with an indent and close on the same line as their text;
// - the today/tomorrow fact values sit in " <dd>" entries (indented, so a blank precedes the tag),
//   the first four after the phrase being rain, wind, humidity and UV in that order;
// - the ten-day headings start "<h3>" + weekday abbreviation, and every day block holds its
//   high, low, phrase, rain and wind in that order;
// - nothing ahead of a fact repeats the markup that introduces it.

namespace {

constexpr std::array<const char*, 7> kWeekdayLong = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                     "Thursday", "Friday", "Saturday"};

constexpr const char* kUnknown = "unknown";

// Text made safe to stand in HTML: a location or phrase can never add markup of its own.
std::string escapeHtml(std::string_view text) {
  constexpr std::array<const char*, 4> kEntities = {"&amp;", "&lt;", "&gt;", "&quot;"};
  std::string out;
  for (char c : text)
    if (const auto at = std::string_view("&<>\"").find(c); at != std::string_view::npos)
      out += kEntities[at];
    else
      out += c;
  return out;
}

// A temperature as the pages print it: a one-digit value gets a leading blank, so that the three
// characters a reader takes after the tag always hold the whole number and the "<" that ends it
// ("72<", " 5<", "-5<", "101"); one the service did not give fills them with "N/A", which the
// program speaks as "unknown".
std::string temperatureText(std::optional<int> degrees) {
  if (!degrees) return "N/A";
  // Beyond these bounds the number would not fit the three characters readers take.
  const int shown = std::clamp(*degrees, -99, 999);
  char text[8];
  std::snprintf(text, sizeof text, "%*d", shown >= 0 && shown <= 9 ? 2 : 1, shown);
  return text;
}

// "NW 12 mph", "Calm", or "unknown".
std::string windText(const Wind& wind) {
  if (!wind.speedMph) return kUnknown;
  if (*wind.speedMph <= 0) return "Calm";
  const std::string speed = std::to_string(*wind.speedMph) + " mph";
  return wind.direction.empty() ? speed : wind.direction + " " + speed;
}

std::string percentText(std::optional<int> percent) {
  return percent ? std::to_string(*percent) + "%" : kUnknown;
}

// "6, High": the index and its band; or "unknown".
std::string uvText(std::optional<int> uvIndex) {
  if (!uvIndex) return kUnknown;
  constexpr std::array<std::pair<int, const char*>, 4> kBands{
      {{2, "Low"}, {5, "Moderate"}, {7, "High"}, {10, "Very High"}}};
  const auto band =
      std::find_if(kBands.begin(), kBands.end(), [&](auto b) { return *uvIndex <= b.first; });
  return std::to_string(*uvIndex) + ", " + (band == kBands.end() ? "Extreme" : band->second);
}

// By SitePage.
constexpr std::array<const char*, 4> kHeadings = {"Right Now", "Today", "Tomorrow",
                                                  "10 Day Forecast"};

constexpr const char* kStyles = R"(  <style>
    body { font-family: Verdana, Arial, sans-serif; margin: 0; background: #f3f6fa; color: #17212b; }
    header, footer { background: #1f4568; color: #fff; padding: 0.5em 1em; } header h1 { margin: 0; font-size: 1.4em; }
    nav { background: #dfe8f1; padding: 0.4em 1em; } nav a { margin-right: 1.2em; color: #1f4568; }
    main { max-width: 46em; padding: 1em; } .big { font-size: 3em; font-weight: bold; } .unit { font-size: 0.6em; vertical-align: super; }
    dl { display: grid; grid-template-columns: max-content auto; gap: 0.2em 1em; } dt { font-weight: bold; }
    article.day { border-bottom: 1px solid #c5d3e0; padding: 0.4em 0; }
  </style>
)";

std::string pageHead(SitePage page, const ForecastData& data, std::string_view location) {
  const std::string place = escapeHtml(data.placeName);
  std::string linked(location);
  std::replace(linked.begin(), linked.end(), ' ', '+');
  const std::string link = escapeHtml(percentEncoded(linked));
  std::string out;
  out += "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n  <meta charset=\"utf-8\">\n";
  out += "  <meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n";
  out += "  <title>" + std::string(kHeadings[std::size_t(page)]) + " &ndash; " + place +
         " &ndash; Skycall Weather</title>\n";
  out += kStyles;
  out += "</head>\n<body>\n<header>\n  <h1>Skycall Weather</h1>\n  <p class=\"place\">" + place +
         "</p>\n</header>\n<nav>\n";
  for (std::size_t i = 0; i < kPagePaths.size(); ++i) {
    out.append("  <a href=\"").append(kPagePaths[i]).append(link).append("\"");
    if (SitePage(i) == page) out += " aria-current=\"page\"";
    out.append(">").append(kHeadings[i]).append("</a>\n");
  }
  out += "  <a href=\"#radar\">Radar &amp; Maps</a>\n</nav>\n<main>\n";
  return out;
}

std::string pageFoot(const ForecastData& data) {
  return "</main>\n<footer>\n  <p>" + escapeHtml(data.sourceNote) +
         "</p>\n  <p>Temperatures in &deg;F &middot; wind speeds in mph &middot; "
         "&copy; Skycall Weather</p>\n</footer>\n</body>\n</html>\n";
}

std::string rightNowBody(const ForecastData& data) {
  const CurrentConditions& now = data.now;
  std::string out;
  out += "<section class=\"current-conditions\">\n  <h2>Right Now</h2>\n";
  out += "  <p class=\"big\"><span class=\"temperature-fahrenheit\">" +
         temperatureText(now.temperature) + "</span><span class=\"unit\">\u00B0F</span></p>\n";
  out += "  <p class=\"feels\">Feels like <span class=\"temperature-fahrenheit\">" +
         temperatureText(now.feelsLike) + "</span>&deg;</p>\n";
  out += "  <p class=\"conditions\">\n    <span class=\"weather-phrase\">\n      " +
         escapeHtml(now.phrase) + "</span>\n  </p>\n</section>\n";
  return out;
}

std::string dayDetailBody(const char* heading, const DayDetail& day) {
  std::string out;
  out += "<section class=\"day-detail\">\n  <h2>" + std::string(heading) + "</h2>\n";
  // The blank at the end of the phrase's class is how the site's templates write it.
  out += "  <p class=\"wx-temp\">" + temperatureText(day.high) +
         "<span class=\"unit\">&deg;</span></p>\n";
  out += "  <p class=\"wx-phrase \">\n      " + escapeHtml(day.phrase) + "</p>\n";
  out += "  <dl class=\"wx-details\">\n";
  const std::array<std::pair<const char*, std::string>, 4> facts = {
      {{"Chance of Rain", percentText(day.chanceOfRain)},
       {"Wind", windText(day.wind)},
       {"Humidity", percentText(day.humidity)},
       {"UV Index", uvText(day.uvIndex)}}};
  for (const auto& [label, value] : facts)
    out += "    <dt>" + std::string(label) + "</dt>\n    <dd>" + escapeHtml(value) + "</dd>\n";
  out += "  </dl>\n</section>\n";
  return out;
}

std::string tenDayBody(const ForecastData& data) {
  std::string out;
  out += "<section class=\"outlook\">\n  <h2>10 Day Forecast</h2>\n";
  for (std::size_t i = 0; i < data.outlook.size(); ++i) {
    const OutlookDay& day = data.outlook[i];
    const unsigned wd = day.weekday.c_encoding() % 7;
    out += "  <article class=\"day\">\n    <h3>" + std::string(kWeekdayAbbreviations[wd]) +
           " <span class=\"day-name\">";
    out += i == 0 ? "Today" : i == 1 ? "Tomorrow" : kWeekdayLong[wd];
    out += "</span></h3>\n";
    out += "    <p class=\"wx-temp\"> " + temperatureText(day.high) +
           "<span class=\"unit\">&deg;</span></p>\n";
    out += "    <p class=\"wx-temp-alt\">" + temperatureText(day.low) +
           "<span class=\"unit\">&deg;</span></p>\n";
    out += "    <p class=\"wx-phrase\">\n        " + escapeHtml(day.phrase) + "</p>\n";
    out += "    <dl>\n      <dt>Rain</dt>\n      <dd>" + percentText(day.chanceOfRain) +
           "</dd>\n      <dt>Wind</dt>\n      <dd>" + escapeHtml(windText(day.wind)) +
           "</dd>\n    </dl>\n  </article>\n";
  }
  out += "</section>\n";
  return out;
}

}  // namespace

std::string renderPage(SitePage page, const ForecastData& data, std::string_view location) {
  const std::string body = page == SitePage::RightNow ? rightNowBody(data)
                           : page == SitePage::TenDay ? tenDayBody(data)
                           : page == SitePage::Today  ? dayDetailBody("Today", data.today)
                                                      : dayDetailBody("Tomorrow", data.tomorrow);
  return pageHead(page, data, location) + body + pageFoot(data);
}

std::string renderAlertsPage(std::string_view place, const std::vector<SiteAlert>& alerts) {
  nlohmann::json list = nlohmann::json::array();
  for (const SiteAlert& alert : alerts)
    list.push_back({{"id", alert.id},
                    {"event", alert.event},
                    {"severity", alert.severity},
                    {"ends", alert.ends ? nlohmann::json(*alert.ends) : nlohmann::json()},
                    {"instruction", alert.instruction}});
  // Texts that are not UTF-8 are given on with U+FFFD in place of their bad bytes.
  return nlohmann::json{{"place", place}, {"alerts", list}}.dump(
             2, ' ', false, nlohmann::json::error_handler_t::replace) +
         "\n";
}

std::string renderErrorPage(int status, std::string_view message) {
  const std::string code = std::to_string(status);
  return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n  <meta charset=\"utf-8\">\n  <title>" +
         code + " &ndash; Skycall Weather</title>\n</head>\n<body>\n  <h1>" + code +
         "</h1>\n  <p>" + escapeHtml(message) + "</p>\n</body>\n</html>\n";
}

}  // namespace skycall
