// SPDX-License-Identifier: GPL-3.0-or-later
// Scan plus normalisation of the four forecast pages, sized like the real site's pages
// (about 100 KB each), measured next to a memchr pass over the same bytes.

#include <benchmark/benchmark.h>

#include <array>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "bench/ForecastPages.h"
#include "forecast/MarkerScan.h"
#include "forecast/Normalise.h"
#include "forecast/PageSteps.h"
#include "forecast/RowList.h"
#include "text/TextCodec.h"

namespace {

using namespace skycall;
using bench::ForecastPages;
using bench::forecastPages;

std::array<std::wstring, 4> decoded(const ForecastPages& pages) {
  std::array<std::wstring, 4> text;
  for (std::size_t p = 0; p < text.size(); ++p) text[p] = decodePage(pages.bytes[p], "utf-8");
  return text;
}

void scanAndNormalise(const std::array<std::wstring, 4>& text, RowList& list) {
  list.clear();
  const std::vector<Step> tenDay = tenDaySteps(ForecastPages::kWeekday);
  const std::array<std::span<const Step>, 4> steps = {
      currentConditionsSteps(), todayTomorrowSteps(), todayTomorrowSteps(), tenDay};
  for (std::size_t p = 0; p < text.size(); ++p) {
    for (std::wstring& row : scanPage(text[p], steps[p])) list.append(row);
    if (p < 3) list.append(L"-----");
  }
  normaliseList(list);
}

void BM_ScanAndNormalise(benchmark::State& state) {
  const ForecastPages& pages = forecastPages();
  const std::array<std::wstring, 4> text = decoded(pages);
  RowList list;
  scanAndNormalise(text, list);
  if (list.count() != 48) state.SkipWithError("the pages did not give 48 rows");
  for (auto _ : state) {
    scanAndNormalise(text, list);
    benchmark::DoNotOptimize(list.rows.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pages.totalBytes));
}
BENCHMARK(BM_ScanAndNormalise);

// The same work starting from the bytes off the wire, for orientation.
void BM_DecodeScanAndNormalise(benchmark::State& state) {
  const ForecastPages& pages = forecastPages();
  RowList list;
  for (auto _ : state) {
    scanAndNormalise(decoded(pages), list);
    benchmark::DoNotOptimize(list.rows.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pages.totalBytes));
}
BENCHMARK(BM_DecodeScanAndNormalise);

// The floor: one memchr pass over the same page bytes for a byte they never hold.
void BM_MemchrFloor(benchmark::State& state) {
  const ForecastPages& pages = forecastPages();
  for (auto _ : state) {
    for (const std::string& b : pages.bytes) {
      const void* found = std::memchr(b.data(), '\x01', b.size());
      benchmark::DoNotOptimize(found);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * pages.totalBytes));
}
BENCHMARK(BM_MemchrFloor);

}  // namespace
