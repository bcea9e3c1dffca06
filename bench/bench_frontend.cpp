// Round trip of one gain command through the front-end library to the simulated unit
// on a pseudo-terminal and back (echo checked). "Wire" paces the unit's side of the
// line at 4800 baud, as the real modules talk.
#if VELTRA_HAVE_DKV5120LIB && VELTRA_HAVE_DKV5128SIM

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include "frontend/DKV5120Lib.h"
#include "tools/dkv5128_sim.h"

namespace {

constexpr int kBenchPort = 98;  // COM98: clear of any port the user mapped

void SetGainRoundTrip(benchmark::State& state) {
  static dkvsim::SimPty sim;  // static: a SimPty's thread and mutex never move
  dkvsim::Options options;
  options.wireSpeed = state.range(0) != 0;
  if (!dkvsim::SimStart(sim, options, nullptr)) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  ::setenv("DKV5120_COM98", sim.path, 1);
  DeviceLink* link = DKV5120LibCreate(kBenchPort - 1);
  if (link == nullptr) {
    dkvsim::SimStop(sim);
    state.SkipWithError("link not opened");
    return;
  }
  int failures = 0;
  for (auto _ : state) {
    if (DKV5120LibSetGain(link, 3, 250) != 2) ++failures;
  }
  DKV5120LibClose(link);
  dkvsim::SimStop(sim);
  if (failures != 0) state.SkipWithError("a command was not echoed");
}

BENCHMARK(SetGainRoundTrip)
    ->ArgName("wire")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(40)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace

#endif
