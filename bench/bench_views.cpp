// What the result-window views add to one measurement tick at N = 8192, 65536 Hz, both windows
// drawn: none, a spectrogram in both windows, and every view on (spectrograms, peak hold and the
// distortion readout), measured side by side in one run, per frame taken.
#if VELTRA_HAVE_VELTRA_CORE

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "analyzer/initstruct.h"
#include "analyzer/panels.h"
#include "ui/userint.h"

namespace {

int IgnorePopup(int, const char*, const char*, char*, int, void*) { return 0; }

bool StartAnalyzer() {
  static bool started = [] {
    if (mainpanel > 0) return true;  // another benchmark of this program started it
    static char dir[] = "/tmp/veltra-bench-views-XXXXXX";
    if (mkdtemp(dir) == nullptr || chdir(dir) != 0) return false;
    std::atexit([] { rmdir(dir); });
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static char name[] = "bench";
    static char* argv[] = {name, nullptr};
    static int argc = 1;
    InitUserInterface(&argc, argv);
    SetPopupHandler(IgnorePopup, nullptr);
    return StartVeltra() == 0;
  }();
  return started;
}

void Set(const char* role, const char* value) {
  int panel = 0, control = 0;
  if (FindCtrlByRole(role, &panel, &control) == 0) UserSetCtrlVal(panel, control, value);
}

// views: 0 none, 1 spectrogram in both windows, 2 every view.
void BM_TickWithViews(benchmark::State& state) {
  if (!StartAnalyzer()) {
    state.SkipWithError("panels not loaded");
    return;
  }
  const int views = static_cast<int>(state.range(0));
  const char* on = views >= 1 ? "1" : "0";
  const char* all = views >= 2 ? "1" : "0";
  Set("SampleRateRing", "65536");
  Set("FftSizeRing", "8192");
  Set("ExponentialBox", "1");
  Set("ChannelSwitchB", "1");
  Set("WindowSelBoth", "1");
  Set("FunctionRing1", "0");
  Set("FunctionRing2", "1");
  Set("YUnitRing1", "4");
  Set("YUnitRing2", "4");
  if (gen_start == 0) Set("GeneratorSwitch", "1");
  Set("SpectrogramToggle1", on);
  Set("SpectrogramToggle2", on);
  Set("PeakHoldToggle1", all);
  Set("PeakHoldToggle2", all);
  Set("CursorModeRing1", all);
  Set("CursorModeRing2", all);
  Set("StartButton", "1");
  // One iteration: the ticks up to and including the one that takes a new frame (at 65536 Hz a
  // tick brings less than a frame of 8192), with its redraw.
  for (auto _ : state) {
    const int before = rcu.avgCount;
    for (int guard = 0; guard < 16 && rcu.avgCount == before; ++guard) {
      UserFireEvent(mainpanel, MAIN_TimerTick, EVENT_TIMER_TICK, 0, 0);
      ProcessSystemEvents();  // the coalesced replot
    }
  }
  Set("StartButton", "0");
  for (const char* role : {"SpectrogramToggle1", "SpectrogramToggle2", "PeakHoldToggle1",
                           "PeakHoldToggle2", "CursorModeRing1", "CursorModeRing2"}) {
    Set(role, "0");
  }
}
BENCHMARK(BM_TickWithViews)
    ->ArgNames({"views"})
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMillisecond);

}  // namespace

#endif
