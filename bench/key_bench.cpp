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

// A started program whose first fetch cycle read the four full pages.
struct StartedRig : fakes::Rig {
  StartedRig() {
    const ForecastPages& pages = bench::forecastPages();
    for (std::size_t p = 0; p < pages.bytes.size(); ++p)
      fetcher.pages[ForecastPages::kPaths[p]] = {pages.bytes[p], "utf-8"};
    clock.day = ForecastPages::kWeekday;
    window.answers = {L"12345"};
    form->start();
  }
};

void BM_DownKeyToVoice(benchmark::State& state) {
  StartedRig rig;
  if (rig.window.list.count() != 48) {
    state.SkipWithError("the start-up fetch cycle did not give 48 rows");
    return;
  }
  rig.log.entries.clear();
  rig.press(vk::Down);
  if (rig.log.entries !=
      std::vector<std::wstring>{L"voice3: Location is set to 12345.  Press Enter to change it.",
                                L"pump"}) {
    state.SkipWithError("Down from the start did not speak topic 1");
    return;
  }

  // Every topic in turn, so short and long sentences both count.
  int before = 0;
  std::size_t spokenBytes = 0;
  for (auto _ : state) {
    rig.log.entries.clear();
    rig.form->MenuPosition = before;
    rig.press(vk::Down);
    spokenBytes += rig.log.entries.front().size();
    before = (before + 1) % kTopics;
  }
  if (rig.log.entries.size() != 2) state.SkipWithError("a key press did not speak exactly once");
  benchmark::DoNotOptimize(spokenBytes);
}
BENCHMARK(BM_DownKeyToVoice);

}  // namespace
