// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/ForecastPages.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace skycall::bench {

namespace {

std::string fixture(const std::string& name) {
  std::ifstream in(std::string(SKYCALL_TESTS) + "/pages/" + name, std::ios::binary);
  if (!in) throw std::runtime_error("missing fixture " + name);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What surrounds the forecast on a news-style weather site: preloads, tracking and hydration
// scripts, a long navigation menu, then related stories and a footer.
std::string headText(int n) {
  std::string s;
  s += "<link rel=\"preload\" href=\"/assets/fonts/inter-" + std::to_string(n) +
       ".woff2\" as=\"font\" type=\"font/woff2\" crossorigin>\n";
  s += "<meta property=\"og:image\" content=\"https://static.example.test/img/" +
       std::to_string(n * 7919) + ".jpg\">\n";
  s += "<script>window.dataLayer=window.dataLayer||[];function gtag(){dataLayer.push(arguments);}"
       "if(window.innerWidth<768){document.documentElement.classList.add('narrow')}"
       "var cfg={\"region\":\"us\",\"slot\":" +
       std::to_string(n) +
       ",\"units\":\"imperial\",\"experiments\":[\"radar-v2\",\"hourly-strip\"]};"
       "for(var i=0;i<cfg.experiments.length;i++){gtag('event','exp',{id:cfg.experiments[i]})}"
       "</script>\n";
  return s;
}

std::string navText(int n) {
  static const std::array<const char*, 8> kCities = {
      "Springfield, IL", "Austin, TX", "Boise, ID", "Portland, ME",
      "Tucson, AZ",      "Albany, NY", "Fargo, ND", "San Antonio, TX"};
  const char* city = kCities[n % kCities.size()];
  return "<li class=\"nav-item nav-item--city\"><a class=\"nav-link\" href=\"/weather/today/" +
         std::to_string(10000 + n * 37) + "\" data-track=\"nav-city-" + std::to_string(n) + "\">" +
         city + " weather</a></li>\n";
}

std::string storyText(int n) {
  return "<article class=\"story-card\"><a href=\"/news/" + std::to_string(20240000 + n) +
         "\"><img src=\"/img/story-" + std::to_string(n) +
         ".webp\" alt=\"\" loading=\"lazy\"><h4 class=\"story-title\">Storms expected across "
         "the plains as a cold front moves east</h4></a><p class=\"story-summary\">Forecasters "
         "say the line of thunderstorms could bring hail, gusty winds and heavy rain to parts "
         "of the region through the weekend.</p></article>\n";
}

// The fixture page with site furniture around it: two thirds before the forecast, the rest
// after it, padded to the page size.
std::string realisticPage(const std::string& fixtureName) {
  const std::string core = fixture(fixtureName);
  const std::size_t head = core.find("</head>");
  const std::size_t bodyEnd = core.rfind("</body>");
  if (head == std::string::npos || bodyEnd == std::string::npos)
    throw std::runtime_error("fixture without head or body: " + fixtureName);

  const std::size_t before = (ForecastPages::kPageSize - core.size()) * 2 / 3;
  std::string furnitureBefore;
  for (int n = 0; furnitureBefore.size() < before / 2; ++n) furnitureBefore += headText(n);
  std::string nav = "<nav class=\"site-nav\"><ul>\n";
  for (int n = 0; furnitureBefore.size() + nav.size() < before; ++n) nav += navText(n);
  nav += "</ul></nav>\n";

  std::string page = core.substr(0, head) + furnitureBefore;
  page += core.substr(head, bodyEnd - head);
  page.insert(page.find("<main") != std::string::npos ? page.find("<main") : page.size(), nav);
  std::string after = "<section class=\"related\">\n";
  for (int n = 0; page.size() + after.size() + 32 < ForecastPages::kPageSize; ++n)
    after += storyText(n);
  page += after + "</section>\n" + core.substr(bodyEnd);
  return page;
}

ForecastPages buildPages() {
  const std::array<const char*, 4> names = {"right-now-full.html", "today-full.html",
                                            "tomorrow-full.html", "tenday-full.html"};
  ForecastPages pages;
  for (std::size_t p = 0; p < names.size(); ++p) {
    pages.bytes[p] = realisticPage(names[p]);
    pages.totalBytes += pages.bytes[p].size();
  }
  return pages;
}

}  // namespace

const ForecastPages& forecastPages() {
  static const ForecastPages kPages = buildPages();
  return kPages;
}

}  // namespace skycall::bench
