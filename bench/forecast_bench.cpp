// Scan plus normalisation of the four forecast pages, sized like the real site's pages
// (about 100 KB each), measured next to a memchr pass over the same bytes.

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "forecast/ForecastList.h"
#include "forecast/MarkerScan.h"
#include "forecast/Normalise.h"
#include "forecast/PageSteps.h"
#include "forecast/TextCodec.h"

namespace {

using namespace skycall;

constexpr std::size_t kPageSize = 100 * 1024;
constexpr int kWednesday = 4;

class RowList : public ForecastList {
 public:
  std::vector<std::wstring> rows;
  void clear() override { rows.clear(); }
  void append(const std::wstring& row) override { rows.push_back(row); }
  void insert(int index, const std::wstring& row) override {
    rows.insert(rows.begin() + index, row);
  }
  void remove(int index) override { rows.erase(rows.begin() + index); }
  std::wstring row(int index) const override {
    return index >= 0 && index < count() ? rows[index] : std::wstring();
  }
  int count() const override { return static_cast<int>(rows.size()); }
};

std::string fixture(const std::string& name) {
  std::ifstream in(std::string(SKYCALL_FIXTURES) + "/pages/" + name, std::ios::binary);
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

  const std::size_t before = (kPageSize - core.size()) * 2 / 3;
  std::string furnitureBefore;
  for (int n = 0; furnitureBefore.size() < before / 2; ++n) furnitureBefore += headText(n);
  std::string nav = "<nav class=\"site-nav\"><ul>\n";
  for (int n = 0; furnitureBefore.size() + nav.size() < before; ++n) nav += navText(n);
  nav += "</ul></nav>\n";

  std::string page = core.substr(0, head) + furnitureBefore;
  page += core.substr(head, bodyEnd - head);
  page.insert(page.find("<main") != std::string::npos ? page.find("<main") : page.size(), nav);
  std::string after = "<section class=\"related\">\n";
  for (int n = 0; page.size() + after.size() + 32 < kPageSize; ++n) after += storyText(n);
  page += after + "</section>\n" + core.substr(bodyEnd);
  return page;
}

struct Pages {
  std::array<std::string, 4> bytes;
  std::array<std::wstring, 4> text;
  std::size_t totalBytes = 0;

  Pages() {
    const std::array<const char*, 4> names = {"right-now-full.html", "today-full.html",
                                              "tomorrow-full.html", "tenday-full.html"};
    for (std::size_t p = 0; p < names.size(); ++p) {
      bytes[p] = realisticPage(names[p]);
      text[p] = decodePage(bytes[p], "utf-8");
      totalBytes += bytes[p].size();
    }
  }
};

const Pages& pages() {
  static const Pages kPages;
  return kPages;
}

void scanAndNormalise(const std::array<std::wstring, 4>& text, RowList& list) {
  list.clear();
  const std::vector<Step> tenDay = tenDaySteps(kWednesday);
  const std::array<std::span<const Step>, 4> steps = {
      currentConditionsSteps(), todayTomorrowSteps(), todayTomorrowSteps(), tenDay};
  for (std::size_t p = 0; p < text.size(); ++p) {
    for (std::wstring& row : scanPage(text[p], steps[p])) list.append(row);
    if (p < 3) list.append(L"-----");
  }
  normaliseList(list);
}

void BM_ScanAndNormalise(benchmark::State& state) {
  const Pages& p = pages();
  RowList list;
  scanAndNormalise(p.text, list);
  if (list.count() != 48) state.SkipWithError("the pages did not give 48 rows");
  for (auto _ : state) {
    scanAndNormalise(p.text, list);
    benchmark::DoNotOptimize(list.rows.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p.totalBytes));
}
BENCHMARK(BM_ScanAndNormalise);

// The same work starting from the bytes off the wire, for orientation.
void BM_DecodeScanAndNormalise(benchmark::State& state) {
  const Pages& p = pages();
  RowList list;
  std::array<std::wstring, 4> text;
  for (auto _ : state) {
    for (std::size_t k = 0; k < text.size(); ++k) text[k] = decodePage(p.bytes[k], "utf-8");
    scanAndNormalise(text, list);
    benchmark::DoNotOptimize(list.rows.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p.totalBytes));
}
BENCHMARK(BM_DecodeScanAndNormalise);

// The floor: one memchr pass over the same page bytes for a byte they never hold.
void BM_MemchrFloor(benchmark::State& state) {
  const Pages& p = pages();
  for (auto _ : state) {
    for (const std::string& b : p.bytes) {
      const void* found = std::memchr(b.data(), '\x01', b.size());
      benchmark::DoNotOptimize(found);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * p.totalBytes));
}
BENCHMARK(BM_MemchrFloor);

}  // namespace
