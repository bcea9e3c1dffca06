// Steadiness of the periodic timer service: a 10 ms timer run for 2 s, each tick stamped on the
// monotonic clock as its callback starts.
#if VELTRA_HAVE_ASYNCTMR

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>

#include "timer/asynctmr.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kIntervalS = 0.010;
constexpr int kPeriods = 200;  // 2 s

struct Stamps {
  std::mutex lock;
  std::condition_variable done;
  std::array<Clock::time_point, kPeriods + 1> at{};
  int ticks = 0;
  bool discarded = false;
};

int Stamp(int, int, int event, intptr_t data, double*, double*) {
  const Clock::time_point now = Clock::now();
  auto* s = reinterpret_cast<Stamps*>(data);
  std::lock_guard<std::mutex> hold(s->lock);
  if (event == TimerEventTick && s->ticks <= kPeriods) s->at[s->ticks++] = now;
  if (event == TimerEventDiscard) {
    s->discarded = true;
    s->done.notify_all();
  }
  return 0;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Counters: mean_period_ms over the 200 periods; mean_jitter_ms and worst_jitter_ms, the mean
// and largest deviation of one period from 10 ms; worst_grid_offset_ms, the largest distance of
// a tick from its place on the grid of the first tick (small only if periods do not drift).
void BM_AsyncTimerPeriod10ms(benchmark::State& state) {
  Stamps s;
  for (auto _ : state) {
    s.ticks = 0;
    s.discarded = false;
    const int id =
        NewAsyncTimer(kIntervalS, kPeriods + 1, 1, Stamp, reinterpret_cast<intptr_t>(&s));
    if (id <= 0) {
      state.SkipWithError("NewAsyncTimer failed");
      return;
    }
    std::unique_lock<std::mutex> hold(s.lock);
    if (!s.done.wait_for(hold, std::chrono::seconds(30), [&] { return s.discarded; })) {
      hold.unlock();
      DiscardAsyncTimer(id);
      state.SkipWithError("timer stalled");
      return;
    }
  }

  const Clock::duration nominal =
      std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kIntervalS));
  double worstJitter = 0.0;
  double sumJitter = 0.0;
  double worstOffset = 0.0;
  for (int k = 1; k <= kPeriods; ++k) {
    const double jitter = std::fabs(Ms(s.at[k] - s.at[k - 1]) - 1000.0 * kIntervalS);
    worstJitter = std::max(worstJitter, jitter);
    sumJitter += jitter;
    worstOffset = std::max(worstOffset, std::fabs(Ms(s.at[k] - (s.at[0] + k * nominal))));
  }
  state.counters["mean_period_ms"] = Ms(s.at[kPeriods] - s.at[0]) / kPeriods;
  state.counters["mean_jitter_ms"] = sumJitter / kPeriods;
  state.counters["worst_jitter_ms"] = worstJitter;
  state.counters["worst_grid_offset_ms"] = worstOffset;
}
BENCHMARK(BM_AsyncTimerPeriod10ms)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

#endif  // VELTRA_HAVE_ASYNCTMR
