// The recorder at its heaviest load: eight inputs at 65536 Hz (2 MiB of data a second). One
// iteration is one second of signal (8 steps of 8192 records): a whole short recording from
// start to stop (final sync and header included), one second more of a long recording, and,
// side by side, a plain single-threaded write() + fdatasync() of the same bytes. Process CPU
// time covers the writer thread: CPU per iteration is CPU seconds per second of signal.
#if VELTRA_HAVE_VELTRA_CORE

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "analyzer/recorder.h"

namespace {

constexpr int kRate = 65536;
constexpr int kInputsRecorded = 8;
constexpr int kStep = 8192;
constexpr const char* kPath = "veltra-bench-recording.dat";

std::vector<int32_t> Step() {
  std::vector<int32_t> v(static_cast<size_t>(kStep) * kInputsRecorded);
  uint32_t x = 12345;
  for (auto& s : v) s = static_cast<int32_t>((x = x * 1103515245u + 12345u) >> 8) - (1 << 23);
  return v;
}

// Eight inputs at 65536 Hz with the default calibration.
RecordingSetup EightInputs() {
  RecordingSetup s{};
  s.srate = kRate;
  s.flen = 8192;
  s.nrec = kInputsRecorded;
  for (int k = 0; k < kInputsRecorded; ++k) {
    s.input[k] = k;
    s.sen[k] = 1000.0;
    s.upc[k] = 1.1920929665620903e-06;
    s.lo[k] = 1e-05;
    std::snprintf(s.dim[k], sizeof s.dim[k], "%s", "В");
  }
  return s;
}

void BM_RecorderSecondOf8x65536(benchmark::State& state) {
  const RecordingSetup s = EightInputs();
  const std::vector<int32_t> step = Step();
  for (auto _ : state) {
    if (RecorderStart(kPath, s) != 0) {
      state.SkipWithError("recording not created");
      return;
    }
    for (int i = 0; i < kRate / kStep; ++i) {
      if (!RecorderPush(step.data(), kStep)) state.SkipWithError("recording stopped");
    }
    const RecorderStatus st = RecorderStop();
    if (st.records != kRate) state.SkipWithError("records lost");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kRate} * kInputsRecorded * 4);
  std::remove(kPath);
  std::remove("veltra-bench-recording.inf");
}
BENCHMARK(BM_RecorderSecondOf8x65536)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// A long recording: the recorder stays open; each iteration hands it one second of signal and
// waits until the writer has it on its way to the disk (checkpoints with their syncs come once
// a second of wall time, as in a real recording).
void BM_RecorderSustained8x65536(benchmark::State& state) {
  const RecordingSetup s = EightInputs();
  const std::vector<int32_t> step = Step();
  if (RecorderStart(kPath, s) != 0) {
    state.SkipWithError("recording not created");
    return;
  }
  long long expected = 0;
  for (auto _ : state) {
    for (int i = 0; i < kRate / kStep; ++i) {
      if (!RecorderPush(step.data(), kStep)) state.SkipWithError("recording stopped");
    }
    expected += int64_t{kRate} * kInputsRecorded * 4;
    while (RecorderPoll().bytes < expected && RecorderPoll().error == 0) usleep(200);
  }
  const RecorderStatus st = RecorderStop();
  if (st.error != 0) state.SkipWithError("write error");
  state.SetBytesProcessed(state.iterations() * int64_t{kRate} * kInputsRecorded * 4);
  std::remove(kPath);
  std::remove("veltra-bench-recording.inf");
}
BENCHMARK(BM_RecorderSustained8x65536)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->MinTime(3.0)
    ->Unit(benchmark::kMillisecond);

void BM_PlainWriteSecondOf8x65536(benchmark::State& state) {
  const std::vector<int32_t> step = Step();
  const size_t bytes = step.size() * 4;
  for (auto _ : state) {
    const int fd = open(kPath, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    bool ok = fd >= 0;
    for (int i = 0; ok && i < kRate / kStep; ++i) {
      ok = write(fd, step.data(), bytes) == static_cast<ssize_t>(bytes);
    }
    ok = ok && fdatasync(fd) == 0;
    if (fd >= 0) close(fd);
    if (!ok) state.SkipWithError("write failed");
  }
  state.SetBytesProcessed(state.iterations() * int64_t{kRate} * kInputsRecorded * 4);
  std::remove(kPath);
}
BENCHMARK(BM_PlainWriteSecondOf8x65536)
    ->MeasureProcessCPUTime()
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

#endif
