// Anti-alias filtering of one frame: the analyzer's order-14 elliptic low-pass
// (fs 1024 Hz, cut-off 220 Hz, 0.1 dB / 100 dB) on blocks of frame length.
#if VELTRA_HAVE_DSP

#include "dsp/dsp.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

void BM_IIRCascadeFiltering_Elliptic14(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  IIRFilterPtr filter = AllocIIRFilterPtr(0, 14);
  if (!filter || Elp_CascadeCoef(1024.0, 220.0, 0.0, 0.1, 100.0, filter) != 0) {
    state.SkipWithError("filter design failed");
    FreeIIRFilterPtr(filter);
    return;
  }
  ResetIIRFilter(filter);
  std::mt19937 gen(1);
  std::normal_distribution<double> noise(0.0, 1e5);
  std::vector<double> x(n);
  for (double& v : x) v = noise(gen);
  std::vector<double> y(n);
  for (auto _ : state) {
    IIRCascadeFiltering(x.data(), n, filter, y.data());
    benchmark::DoNotOptimize(y.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * n);
  FreeIIRFilterPtr(filter);
}
BENCHMARK(BM_IIRCascadeFiltering_Elliptic14)->Arg(1024)->Arg(256)->Arg(8192);

void BM_Elp_CascadeCoef_Order14(benchmark::State& state) {
  IIRFilterPtr filter = AllocIIRFilterPtr(0, 14);
  for (auto _ : state)
    benchmark::DoNotOptimize(Elp_CascadeCoef(1024.0, 220.0, 0.0, 0.1, 100.0, filter));
  FreeIIRFilterPtr(filter);
}
BENCHMARK(BM_Elp_CascadeCoef_Order14);

}  // namespace

#endif
