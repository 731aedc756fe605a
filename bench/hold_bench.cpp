// SPDX-License-Identifier: GPL-3.0-or-later
// Processor time the program spends while hold waits half a second: the real Qt window and its
// Holder timer, getrusage before and after. Runs on whatever QT_QPA_PLATFORM names (offscreen
// when there is no display).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>
#include <cstdlib>

#include "platform/QtWindow.h"
#include "speech/Hold.h"

namespace {

using namespace skycall;

constexpr double kHoldSeconds = 0.5;

// Only the Holder's tick matters while the program holds.
class HolderTicks : public WindowEvents {
 public:
  explicit HolderTicks(Window& window) : window_(window) {}
  void Form_Activate() override {}
  void Form_KeyDown(std::int16_t&, std::int16_t) override {}
  void Holder_Timer() override { holderTick(window_); }
  void Form_Resize() override {}
  void Form_Unload() override {}

 private:
  Window& window_;
};

double processorSeconds() {
  rusage used{};
  getrusage(RUSAGE_SELF, &used);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(used.ru_utime) + seconds(used.ru_stime);
}

void BM_HoldHalfSecond(benchmark::State& state) {
  QtWindow window;
  HolderTicks ticks(window);
  window.setEventHandler(&ticks);
  window.showAndActivate();
  // Let the window map and paint before anything is counted.
  QElapsedTimer settle;
  settle.start();
  while (settle.elapsed() < 300) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

  double processor = 0;
  double wall = 0;
  for (auto _ : state) {
    const double cpuBefore = processorSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    hold(kHoldSeconds, window);
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    processor += processorSeconds() - cpuBefore;
  }
  window.setEventHandler(nullptr);
  state.counters["core_percent"] = 100 * processor / wall;
}
BENCHMARK(BM_HoldHalfSecond)->Iterations(4)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
