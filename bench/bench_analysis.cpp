// The analysis at the largest geometry (N = 8192): one spectral averaging step on the core alone,
// and one evaluation of window 1 showing SpectrumA in dB as third-octave bands, on the core alone
// and through the real panels (offscreen). The averaging step includes refilling both frames,
// since it transforms them in place; the panels' evaluation includes handing the plot to the
// graph, not the repaint itself.
#if VELTRA_HAVE_VELTRA_CORE

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analyzer/cultivate1.h"
#include "analyzer/iirfilter.h"
#include "analyzer/initstruct.h"
#include "analyzer/panels.h"
#include "analyzer/roles.h"
#include "analyzer/setters.h"
#include "analyzer/view1.h"
#include "analyzer/view1_panel.h"
#include "ui/userint.h"

namespace {

constexpr int kN = 8192;

void Set(const char* role, const char* value) {
  int panel = 0, control = 0;
  if (FindCtrlByRole(role, &panel, &control) == 0) UserSetCtrlVal(panel, control, value);
}

// Panels loaded once for the whole program, geometry 65536 Hz / 8192 points, Hanning window.
bool Prepare() {
  static bool ready = false;
  if (ready) return true;
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static char name[] = "bench";
  static char* argv[] = {name, nullptr};
  static int argc = 1;
  InitUserInterface(&argc, argv);
  if (StartVeltra() < 0) return false;
  Set("SampleRateRing", "65536");
  Set("FftSizeRing", "8192");
  Set("OverlapRing", "0");
  Set("WindowRing", "1");
  Set("WindowSel1", "1");
  Set("FunctionRing1", "0");
  Set("YUnitRing1", "4");
  Set("XUnitRing1", "4");
  Axis();
  WeightFunction(&cus);
  ready = cus.frameLen == kN;
  return ready;
}

// The core alone, as veltra-batch starts it, at the same geometry and window.
bool PrepareCore() {
  InitModel();
  SetSampleRate(65536.0);
  SetFrameLength(kN);
  SetWindowType(1);
  SetFunction(0, kFnSpectrumA);
  SetYUnit(0, kYDb);
  SetXUnit(0, kXThird);
  WeightFunction(&cus);
  return cus.frameLen == kN;
}

std::vector<double> Frame(double f, double amp) {
  std::vector<double> x(kN);
  for (int i = 0; i < kN; ++i)
    x[i] = amp * std::sin(2.0 * M_PI * f * i / kN) + 100.0 * std::cos(0.7 * i * i);
  return x;
}

// One frame pair averaged: the results a window's evaluation reads.
void AverageOneFrame() {
  const std::vector<double> a = Frame(1000.5, 1e6), b = Frame(333.0, 2e5);
  std::memcpy(Rx, a.data(), kN * sizeof(double));
  std::memcpy(Ry, b.data(), kN * sizeof(double));
  Averaging(1.0);
  sp.dataReady = 1;
}

void BM_AveragingStep(benchmark::State& state) {
  if (!PrepareCore()) {
    state.SkipWithError("geometry not taken");
    return;
  }
  const std::vector<double> a = Frame(1000.5, 1e6), b = Frame(333.0, 2e5);
  rcu.avgCount = 1;
  for (auto _ : state) {
    std::memcpy(Rx, a.data(), kN * sizeof(double));
    std::memcpy(Ry, b.data(), kN * sizeof(double));
    Averaging(4.0);
    benchmark::DoNotOptimize(Gxx[2000]);
  }
}
BENCHMARK(BM_AveragingStep)->Unit(benchmark::kMicrosecond);

void BM_EvaluateSpectrumThirdOctaveDb(benchmark::State& state) {
  if (!PrepareCore()) {
    state.SkipWithError("geometry not taken");
    return;
  }
  AverageOneFrame();
  for (auto _ : state) {
    EvaluateResult(0);
    benchmark::DoNotOptimize(vs[0].yData[3]);
  }
  state.counters["bands"] = vs[0].count - 1;
}
BENCHMARK(BM_EvaluateSpectrumThirdOctaveDb)->Unit(benchmark::kMicrosecond);

void BM_ViewResultSpectrumThirdOctaveDb(benchmark::State& state) {
  if (!Prepare()) {
    state.SkipWithError("panels not available");
    return;
  }
  AverageOneFrame();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ViewResult(0));
  }
  state.counters["bands"] = vs[0].count - 1;
  state.counters["dB_unit"] = vs[0].yUnit == kYDb;
}
BENCHMARK(BM_ViewResultSpectrumThirdOctaveDb)->Unit(benchmark::kMicrosecond);

}  // namespace

#endif  // VELTRA_HAVE_VELTRA_CORE
