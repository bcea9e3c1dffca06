// The front-end input source: live blocks from the capture device through collection,
// conditioning and averaging, as the generator's blocks go.
#include "analyzer/live.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analyzer/calibration.h"
#include "analyzer/capture.h"
#include "analyzer/collection.h"
#include "analyzer/iirfilter.h"
#include "analyzer/menager.h"
#include "analyzer/model.h"
#include "analyzer/notify.h"

int live_wait_ms = 0;

int SetLiveWait(int ms) {
  const int was = live_wait_ms;
  live_wait_ms = ms > 0 ? ms : 0;
  return was;
}
char capture_device[kCaptureTextLen] = "default";

namespace {

CaptureSource* g_src = nullptr;
int g_generation = 0;          // changes at every open: a tick notices a restart under it
std::vector<int32_t> g_block;  // the block being assembled, interleaved A/B counts
int g_fill = 0;                // frames in g_block
int g_lost = 0;                // blocks thrown away at overruns
// Full-scale samples seen in this run: the lamp stays lit to the end of the run, whenever the
// device delivered them relative to the drawings.
int g_clip[2] = {0, 0};
char g_device[kCaptureTextLen] = "default";
char g_status[2 * kCaptureTextLen] = "";
unsigned g_deviceRate = 0;  // of the open device
int g_converting = 0;
double g_rate = 0.0;  // analysis rate

// Device, its rate and the blocks lost; it stays after the run for the operator to read.
void UpdateStatus() {
  if (g_converting)
    std::snprintf(g_status, sizeof g_status, "%s: %u Гц → %g Гц, потеряно блоков: %d", g_device,
                  g_deviceRate, g_rate, g_lost);
  else
    std::snprintf(g_status, sizeof g_status, "%s: %u Гц, потеряно блоков: %d", g_device,
                  g_deviceRate, g_lost);
}

// Samples missing before the next block: nothing joins across them. The streams, the
// anti-alias filters and the trigger's held samples start afresh, as at a start; the averages
// gathered so far stay.
void RestartStreams() {
  g_fill = 0;
  g_lost += 1;
  input = output = count = 0;
  sr.fill = 0;
  sr.wpA = outf_ChA;
  sr.wpB = outf_ChB;
  SetSetupDelay();
  IIRFilterParam();
  marc_g = 0;
  // As at a start: no zero lead-in, no comparison base from before the gap.
  rcu.carry = 0;
  rcu.hasbase = 0;
  std::fill(tmp.begin(), tmp.end(), 0);
  NotifySourceGap();
}

}  // namespace

const char* CaptureDeviceName() {
  const char* env = std::getenv("VELTRA_CAPTURE_DEVICE");
  const char* name = env != nullptr && env[0] != '\0' ? env : capture_device;
  std::snprintf(g_device, sizeof g_device, "%s", name[0] != '\0' ? name : "default");
  return g_device;
}

const char* LiveStatusText() { return g_status; }

void LiveTakeClips(int clipped[2]) {
  clipped[0] = g_clip[0];
  clipped[1] = g_clip[1];
}

double CaptureFullScale(int inputNo) {
  if (inputNo < 0 || inputNo >= kInputs) return kDefaultFullScale;
  // The calibration record's first reserved column: 0 (an older file) means the default.
  const double v = cch.reserved1[inputNo];
  return std::isfinite(v) && v > 0.0 && v <= kMaxFullScale ? v : kDefaultFullScale;
}

int SetCaptureFullScale(int inputNo, double volts) {
  if (inputNo < 0 || inputNo >= kInputs || !(volts > 0.0 && volts <= kMaxFullScale)) return 0;
  cch.reserved1[inputNo] = volts;
  return 1;
}

int LiveLostBlocks() { return g_lost; }

void LiveInjectError(int err, long long afterFrames) {
  CaptureInjectError(g_src, err, afterFrames);
}

int LiveStart() {
  LiveStop();
  CaptureRequest req{};
  req.device = CaptureDeviceName();
  req.rate = cus.srate;
  req.inputs[0] = rcu.onA ? rcu.chanA : -1;
  req.inputs[1] = rcu.onB ? rcu.chanB : -1;
  for (int k = 0; k < 2; ++k) req.fullScaleVolts[k] = CaptureFullScale(req.inputs[k]);
  const char* rate = std::getenv("VELTRA_CAPTURE_RATE");
  if (rate != nullptr && rate[0] != '\0') req.deviceRate = static_cast<unsigned>(std::atol(rate));
  char message[2 * kCaptureTextLen];
  if (CaptureStart(req, &g_src, message, sizeof message) != kCaptureOk) {
    g_src = nullptr;
    StopMeass();
    NotifyMessage("!?!", message);
    return 0;
  }
  g_generation += 1;
  g_block.assign(static_cast<size_t>(dbuf.blk), 0);
  g_fill = 0;
  g_lost = 0;
  CaptureStats st;
  CaptureGetStats(g_src, &st);
  // The capture thread may already have read a full-scale sample: its mark is kept.
  g_clip[0] = st.clipped[0];
  g_clip[1] = st.clipped[1];
  g_deviceRate = st.deviceRate;
  g_converting = st.converting;
  g_rate = cus.srate;
  UpdateStatus();
  return 1;
}

void LiveStop() {
  if (g_src == nullptr) return;
  CaptureStats st;
  CaptureGetStats(g_src, &st);
  g_clip[0] |= st.clipped[0];
  g_clip[1] |= st.clipped[1];
  CaptureStop(g_src);
  g_src = nullptr;
}

int LiveData() {
  const int n = dbuf.nm;
  if (g_src == nullptr || n <= 0 || static_cast<int>(g_block.size()) < 2 * n ||
      static_cast<int>(circbuff.size()) < dbuf.blk) {
    StopMeass();
    return 0;
  }
  if (live_wait_ms > 0) CaptureWait(g_src, n - g_fill, live_wait_ms);
  const int generation = g_generation;
  // Only what is there now: a source faster than the analysis must not hold the tick forever.
  int budget = CaptureAvailable(g_src);
  int drawn = 0;
  while (start == 1 && g_generation == generation && budget > 0) {
    int gap = 0;
    const int got =
        CaptureRead(g_src, g_block.data() + 2 * g_fill, std::min(n - g_fill, budget), &gap);
    if (gap) {
      RestartStreams();
      continue;
    }
    if (got == 0) break;
    budget -= got;
    g_fill += got;
    if (g_fill < n) continue;
    g_fill = 0;
    const int inputs[2] = {rcu.onA ? rcu.chanA : -1, rcu.onB ? rcu.chanB : -1};
    NotifyRawStep(g_block.data(), n, 2, inputs, 0);
    // The collection path takes counts · 128, as the generator writes them.
    for (int i = 0; i < dbuf.blk; ++i) circbuff[input + i] = g_block[i] * 128;
    count += 1;
    input += dbuf.blk;
    if (input >= circlen) input = 0;
    if (Collection() == 0) continue;
    if (rcu.adaptpass == 2) {
      NotifyAutoRangeStep();  // may restart the run under this loop
      continue;
    }
    if (PreparationData() == 1) drawn = 1;
  }
  if (g_generation != generation) return 0;  // restarted: the new run shows its own status
  if (g_src != nullptr) {
    CaptureStats st;
    CaptureGetStats(g_src, &st);
    g_clip[0] |= st.clipped[0];
    g_clip[1] |= st.clipped[1];
    if (st.lost && start == 1 && CaptureAvailable(g_src) == 0) {
      char text[3 * kCaptureTextLen];
      std::snprintf(text, sizeof text,
                    "Устройство захвата «%s» пропало: %s. Измерение остановлено.", g_device,
                    st.lostReason);
      StopMeass();
      UpdateStatus();
      NotifyMessage("Внимание !!!", text);
      return 0;
    }
  }
  UpdateStatus();
  return drawn;
}
