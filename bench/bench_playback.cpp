// Playback throughput: a long recording at 65536 Hz × 2 analysed as a scripted run does (drawn
// once at the end) and as the GUI does (as many frames a 0.05 s step as fit its budget, drawn
// every step). Counters give the real-time factor: recorded seconds per second of analysis.
#if VELTRA_HAVE_VELTRA_CORE

#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "analyzer/file_ctrl_rec.h"
#include "analyzer/fileio.h"
#include "analyzer/initstruct.h"
#include "analyzer/menager_panel.h"
#include "analyzer/panels.h"
#include "bench/bench_panels.h"
#include "ui/userint.h"

namespace {

constexpr double kRate = 65536.0;
constexpr int kSeconds = 60;
std::string g_dataPath;

int AnswerPopup(int kind, const char*, const char*, char* answer, int size, void*) {
  if (kind == POPUP_FILE_SELECT && size > 0) {
    std::snprintf(answer, static_cast<std::size_t>(size), "%s", g_dataPath.c_str());
    return VAL_EXISTING_FILE_SELECTED;
  }
  return kind == POPUP_CONFIRM ? VAL_YES : 0;
}

// Two sines in noise-free counts; the header in Windows-1251 as an outside recorder writes it.
bool WriteRecording(const std::string& dir) {
  g_dataPath = dir + "/long.dat";
  const long records = static_cast<long>(kRate) * kSeconds;
  std::FILE* f = std::fopen(g_dataPath.c_str(), "wb");
  if (f == nullptr) return false;
  std::vector<std::int32_t> block(2 * 65536);
  for (long r = 0; r < records; r += 65536) {
    for (int i = 0; i < 65536; ++i) {
      const double t = static_cast<double>(r + i) / kRate;
      block[2 * i] = static_cast<std::int32_t>(1e6 * std::sin(2 * M_PI * 1000.0 * t));
      block[2 * i + 1] = static_cast<std::int32_t>(3e5 * std::sin(2 * M_PI * 3000.0 * t));
    }
    std::fwrite(block.data(), sizeof block[0], block.size(), f);  // little-endian host
  }
  std::fclose(f);
  const std::string header =
      "Сбор-непрерывный. Старт-свободный.\nN=" + std::to_string(2 * records) +
      " Fs=65536 Nch=2\nL=1024 T=64\nВход Чувств. Ед/отсчет Уровень Ед.\n"
      " 0 100.0 0.001 1e-05 В\n 1 100.0 0.001 1e-05 В\n";
  char cp[1024];
  if (!RecodeText("CP1251", "UTF-8", header.data(), header.size(), cp, sizeof cp)) return false;
  const std::string inf = dir + "/long.inf";
  return WriteFileAtomic(inf.c_str(), cp, std::strlen(cp)) == 0;
}

// The analyzer in its scratch folder with the recording written there once.
bool StartAnalyzer() {
  static const bool ready =
      bench::StartAnalyzer(AnswerPopup) && WriteRecording(bench::ScratchDir());
  bench::StartAnalyzer(AnswerPopup);
  return ready;
}

using bench::Press;
using bench::Set;

void Tick() { UserFireEvent(mainpanel, MAIN_TimerTick, EVENT_TIMER_TICK, 0, 0); }

// Loads the recording with both inputs on channels A and B, N = range(0), no overlap.
bool PreparePlayback(benchmark::State& state) {
  if (!StartAnalyzer()) {
    state.SkipWithError("panels or recording not ready");
    return false;
  }
  Set("SourceRing", "1");
  Set("SourceRing", "2");
  if (OnOffCh[0] != 1 || OnOffCh[1] != 1) {
    state.SkipWithError("the recording was refused");
    return false;
  }
  Press("InputButton0");
  Press("InputButton1");
  Set("FftSizeRing", std::to_string(state.range(0)).c_str());
  Set("OverlapRing", "0");
  return true;
}

void BM_PlaybackScripted(benchmark::State& state) {
  if (!PreparePlayback(state)) return;
  SetTickBudget(0.0);
  for (auto _ : state) {
    Set("StartButton", "1");
    DeferRedraw(true);
    while (start == 1) Tick();
    DeferRedraw(false);
  }
  state.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(kSeconds) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlaybackScripted)->Arg(1024)->Arg(8192)->Unit(benchmark::kMillisecond)->UseRealTime();

// GUI steps come every 0.05 s: the factor is recorded time over 0.05 s per step taken.
void BM_PlaybackGuiSteps(benchmark::State& state) {
  if (!PreparePlayback(state)) return;
  SetTickBudget(0.03);
  long steps = 0;
  double recorded = 0.0;
  for (auto _ : state) {
    Set("StartButton", "1");
    while (start == 1) {
      Tick();
      ProcessSystemEvents();  // the step's replot
      ++steps;
    }
    recorded += kSeconds;
  }
  SetTickBudget(0.0);
  state.counters["steps"] = static_cast<double>(steps);
  state.counters["x_realtime_gui"] =
      steps > 0 ? recorded / (0.05 * static_cast<double>(steps)) : 0.0;
}
BENCHMARK(BM_PlaybackGuiSteps)
    ->Arg(1024)
    ->Arg(8192)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

#endif
