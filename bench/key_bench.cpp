// SPDX-License-Identifier: GPL-3.0-or-later
// A key press to the text handed to the speech route, in process: the main window object with
// a full forecast list, Down pressed, the topic's sentence arriving at the recording voice.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/ForecastPages.h"
#include "fakes/Rig.h"
#include "interfaces/KeyCodes.h"

namespace {

using namespace skycall;
using bench::ForecastPages;

constexpr int kTopics = 12;

void BM_DownKeyToVoice(benchmark::State& state) {
  // A started program whose first fetch cycle read the four full pages.
  fakes::Rig rig("forecast.test");
  const ForecastPages& pages = bench::forecastPages();
  for (std::size_t p = 0; p < pages.bytes.size(); ++p)
    rig.pages[ForecastPages::kPaths[p]] = {pages.bytes[p], "utf-8"};
  rig.clock.setWeekday(ForecastPages::kWeekday);
  rig.answers = {L"12345"};
  rig.form->start();
  if (rig.list.count() != 48)
    return state.SkipWithError("the start-up fetch cycle gave no 48 rows");

  // Every topic in turn, so short and long sentences both count.
  int before = 0;
  std::size_t spokenBytes = 0;
  for (auto _ : state) {
    rig.log.clear();
    rig.form->MenuPosition = before;
    std::int16_t key = vk::Down;
    rig.form->Form_KeyDown(key, 0);
    spokenBytes += rig.log.front().size();
    before = (before + 1) % kTopics;
  }
  if (rig.log.size() != 2) state.SkipWithError("a key press did not speak exactly once");
  benchmark::DoNotOptimize(spokenBytes);
}
BENCHMARK(BM_DownKeyToVoice);

}  // namespace
