// Live input: the capture thread's CPU per second of signal at 65536 Hz × 2 channels (as the
// device delivers it, and from a 48 kHz device through libsoxr), and how many frames per second
// the live path analyses. The devices are ALSA file devices in a scratch HOME, which deliver as
// fast as they are read: the thread's CPU time divided by the signal time it delivered is its
// load on one core at real time.
#if VELTRA_HAVE_VELTRA_CORE

#include <alsa/asoundlib.h>
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analyzer/capture.h"
#include "analyzer/initstruct.h"
#include "analyzer/live.h"
#include "analyzer/panels.h"
#include "bench/bench_panels.h"
#include "ui/userint.h"

namespace {

// A 1 kHz tone at half full scale on two channels, `seconds` long, at `rate`.
void WriteTone(const std::string& path, double rate, int seconds) {
  const long frames = static_cast<long>(rate) * seconds;
  std::vector<int32_t> data(static_cast<size_t>(2 * frames));
  for (long i = 0; i < frames; ++i) {
    const double v = 0.5 * std::sin(2.0 * 3.14159265358979323846 * 1000.0 * i / rate);
    data[2 * i] = data[2 * i + 1] = static_cast<int32_t>(std::lround(v * 2147483647.0));
  }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(data.data()),
             static_cast<std::streamsize>(data.size() * sizeof(int32_t)));
}

// HOME with the devices bench65536, bench48000 and bench8192; ALSA rereads its configuration.
bool UseBenchDevices() {
  static const std::string home = [] {
    static char dir[] = "/tmp/veltra-bench-live-XXXXXX";
    if (mkdtemp(dir) == nullptr) return std::string();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(dir, ec);
    });
    std::ofstream rc(std::string(dir) + "/.asoundrc");
    for (int rate : {65536, 48000, 8192}) {
      const std::string file = std::string(dir) + "/tone" + std::to_string(rate) + ".raw";
      WriteTone(file, rate, 4);
      rc << "pcm.bench" << rate << " {\n type file\n slave.pcm \"null\"\n file \"/dev/null\"\n"
         << " infile \"" << file << "\"\n format \"raw\"\n}\n";
    }
    return std::string(dir);
  }();
  if (home.empty()) return false;
  setenv("HOME", home.c_str(), 1);
  snd_config_update_free_global();
  return true;
}

void BM_CaptureThreadCpu(benchmark::State& state) {
  const unsigned deviceRate = static_cast<unsigned>(state.range(0));
  if (!UseBenchDevices()) {
    state.SkipWithError("no scratch directory");
    return;
  }
  const std::string device = "bench" + std::to_string(deviceRate);
  CaptureRequest req{};
  req.device = device.c_str();
  req.rate = 65536.0;
  req.inputs[0] = 0;
  req.inputs[1] = 1;
  req.fullScaleVolts[0] = req.fullScaleVolts[1] = 10.0;
  req.deviceRate = deviceRate;
  CaptureSource* s = nullptr;
  char message[512];
  if (CaptureStart(req, &s, message, sizeof message) != kCaptureOk) {
    state.SkipWithError(message);
    return;
  }
  constexpr int kSecond = 65536;  // frames of one second of signal at the analysis rate
  std::vector<int32_t> buf(2 * kSecond);
  CaptureStats st;
  CaptureGetStats(s, &st);
  const double cpu0 = st.threadCpuSeconds;
  const long long frames0 = st.frames;
  for (auto _ : state) {
    int got = 0;
    while (got < kSecond) {
      CaptureWait(s, kSecond - got, 1000);
      int gap = 0;
      got += CaptureRead(s, buf.data(), kSecond - got, &gap);
    }
    benchmark::DoNotOptimize(buf.data());
  }
  CaptureGetStats(s, &st);
  CaptureStop(s);
  const double signalSeconds = static_cast<double>(st.frames - frames0) / 65536.0;
  // Seconds of CPU per second of signal: the fraction of one core the thread takes live.
  state.counters["core_fraction"] = (st.threadCpuSeconds - cpu0) / signalSeconds;
  state.counters["converting"] = st.converting;
}
BENCHMARK(BM_CaptureThreadCpu)->Arg(65536)->Arg(48000)->Unit(benchmark::kMillisecond);

using bench::StartAnalyzer;

using bench::Set;

// Frames per second the live path analyses (collection, conditioning, spectra of A and B,
// cross spectrum, averaging, one drawing of both windows per tick), the ticks taking whatever
// the ring holds. Args: rate, N, overlap in eighths.
void BM_LiveFrames(benchmark::State& state) {
  if (!UseBenchDevices() || !StartAnalyzer()) {
    state.SkipWithError("no analyzer");
    return;
  }
  const std::string rate = std::to_string(state.range(0));
  setenv("VELTRA_CAPTURE_DEVICE", ("bench" + rate).c_str(), 1);
  Set("SourceRing", "0");
  Set("SampleRateRing", rate.c_str());
  Set("FftSizeRing", std::to_string(state.range(1)).c_str());
  Set("OverlapRing", std::to_string(state.range(2) / 8.0).c_str());
  Set("ExponentialBox", "1");
  Set("WindowSelBoth", "1");
  live_wait_ms = 1000;
  Set("StartButton", "1");
  if (start != 1) {
    state.SkipWithError("live run not started");
    return;
  }
  long frames = 0;
  for (auto _ : state) {
    const int before = rcu.avgCount;
    UserFireEvent(mainpanel, MAIN_TimerTick, EVENT_TIMER_TICK, 0, 0);
    ProcessSystemEvents();  // the coalesced replot
    frames += rcu.avgCount - before;
  }
  state.counters["N"] = cus.frameLen;
  state.counters["overlap"] = sr.ovsamp / static_cast<double>(cus.frameLen);
  Set("StartButton", "0");
  live_wait_ms = 0;
  unsetenv("VELTRA_CAPTURE_DEVICE");
  state.SetItemsProcessed(frames);
}
// 65536 Hz with the largest overlap the analysis table allows there (N = 4096, 50 %), and
// N = 1024 at 87.5 % (allowed at 8192 Hz; a frame costs the same at any rate).
BENCHMARK(BM_LiveFrames)
    ->Args({65536, 4096, 4})
    ->Args({8192, 1024, 7})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

#endif
