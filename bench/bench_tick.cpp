// One measurement tick of the analyzer at the largest geometry (N = 8192, both channels, both
// windows drawn, or both hidden): generator step, collection, averaging and the redraw, offscreen.
#if VELTRA_HAVE_VELTRA_CORE

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "analyzer/initstruct.h"
#include "analyzer/panels.h"
#include "bench/bench_panels.h"
#include "ui/userint.h"

namespace {

using bench::Set;
using bench::StartAnalyzer;

// Both result graphs shown or hidden: a hidden graph is not drawn, so the difference is the
// redraw's share of a tick.
void ShowGraphs(int shown) {
  for (const char* role : {"Graph1", "Graph2"}) {
    int panel = 0, control = 0;
    if (FindCtrlByRole(role, &panel, &control) == 0)
      SetCtrlAttribute(panel, control, ATTR_VISIBLE, shown);
  }
}

void BM_MeasurementTick(benchmark::State& state) {
  if (!StartAnalyzer()) {
    state.SkipWithError("panels not loaded");
    return;
  }
  Set("SourceRing", "1");  // other benchmarks of the program may have left another source
  Set("SampleRateRing", "8192");
  Set("FftSizeRing", std::to_string(state.range(0)).c_str());
  Set("ExponentialBox", "1");
  if (gen_start == 0) Set("GeneratorSwitch", "1");
  ShowGraphs(static_cast<int>(state.range(1)));
  Set("StartButton", "1");
  for (auto _ : state) {
    UserFireEvent(mainpanel, MAIN_TimerTick, EVENT_TIMER_TICK, 0, 0);
    ProcessSystemEvents();  // the coalesced replot
  }
  Set("StartButton", "0");
  ShowGraphs(1);
}
BENCHMARK(BM_MeasurementTick)
    ->ArgNames({"N", "drawn"})
    ->Args({1024, 1})
    ->Args({1024, 0})
    ->Args({8192, 1})
    ->Args({8192, 0})
    ->Unit(benchmark::kMillisecond);

}  // namespace

#endif
