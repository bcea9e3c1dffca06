// Settings of the measurement and the one derivation of everything that follows from them.
#include "analyzer/setters.h"

#include <algorithm>
#include <cmath>

#include "analyzer/collection.h"
#include "analyzer/cultivate1.h"
#include "analyzer/file_ctrl_rec.h"
#include "analyzer/generation.h"
#include "analyzer/iirfilter.h"
#include "analyzer/menager.h"
#include "analyzer/model.h"
#include "analyzer/notify.h"
#include "analyzer/sources.h"
#include "analyzer/view1.h"

const double kRateList[kGeneratorRates] = {65536, 32768, 16384, 8192, 4096,
                                           2048,  1024,  512,   256,  128};

namespace {

int IndexOf(const double* values, int n, double v) {
  for (int i = 0; i < n; ++i)
    if (values[i] == v) return i;
  return -1;
}

int FrameIndex(int n) {
  for (int i = 0; i < kFrameLengths; ++i)
    if (rankval[i] == n) return i;
  return -1;
}

// The nearest frame length and overlap at or above the chosen ones that the rate allows (only
// the three fastest rates limit them).
int AllowedGeometry() {
  if (Source().ownRate) return 0;
  const int r = IndexOf(kRateList, kGeneratorRates, cus.rate);
  int n = std::clamp(FrameIndex(cus.frameLen), 0, kFrameLengths - 1);
  int o = std::clamp(IndexOf(overval, kOverlaps, cus.overlap), 0, kOverlaps - 1);
  if (r < 0 || r >= 3 || param_analis[r][n][o]) return 0;
  int nn = n, oo = o;
  bool found = false;
  for (int m = n; m < kFrameLengths && !found; ++m) {
    if (param_analis[r][m][o]) nn = m, oo = o, found = true;
  }
  for (int m = n; m < kFrameLengths && !found && o != 0; ++m) {
    for (int k = kOverlaps - 1; k >= 0 && !found; --k) {
      if (param_analis[r][m][k]) nn = m, oo = k, found = true;
    }
  }
  cus.frameLen = rankval[nn];
  cus.overlap = overval[oo];
  return kChangedGeometry;
}

// Playback re-derives the averages its recording supplies for the new frames.
void Settled() {
  if (Source().recorded) SetParamAver();
  RestartOrVoid();
}

int Restart() {
  if (start == 1) SetZero();
  return 1;
}

}  // namespace

int OfferedRates(double* out) {
  SourceInfo info{};
  Source().describe(&info);
  if (Source().ownRate && info.rate > 0.0) {
    int n = 0;
    for (int d : {1, 2, 4, 8}) out[n++] = info.rate / d;
    return n;
  }
  std::copy(kRateList, kRateList + kGeneratorRates, out);
  return kGeneratorRates;
}

double NearestRate(double rate) {
  double offered[kGeneratorRates];
  const int n = OfferedRates(offered);
  auto distance = [rate](double r) { return rate > 0.0 ? std::fabs(std::log(r / rate)) : 0.0; };
  int pick = 0;
  for (int i = 1; i < n; ++i)
    if (distance(offered[i]) < distance(offered[pick])) pick = i;
  return n > 0 ? offered[pick] : rate;
}

void Axis() {
  const int n = CheckedFrameLen();
  const int h = n / 2;
  for (int i = 0; i < cus.lines && i < kMaxLines; ++i) x_band[i] = i * sp.df;
  for (int i = 0; i < n; ++i) time_ch[i] = i * sp.dt;
  x_time[h] = 0.0;
  for (int k = 1; k <= h; ++k) {
    x_time[h + k] = k * sp.dt;
    x_time[h - k] = -k * sp.dt;
  }
}

void DeriveModel() {
  int changed = AllowedGeometry();
  const int frame = std::clamp(cus.frameLen, 1, kMaxFrame);
  cus.frameLen = frame;
  cus.halfLen = frame >> 1;
  cus.lines = static_cast<int>(frame / 2.56) + 1;
  sr.ovsamp = static_cast<int>(cus.overlap * frame);

  SourceInfo info{};
  Source().describe(&info);
  double rate = cus.rate > 0.0 ? cus.rate : 1024.0;
  if (Source().ownRate && info.rate > 0.0) {
    // A recording's own rate is the base, lowered by decimating 2, 4 or 8 times.
    const double offered = NearestRate(rate);
    if (offered != rate) changed |= kChangedRates;
    rate = offered;
    cus.srate = info.rate;
    const long ratio = std::lround(info.rate / rate);
    cus.thin = ratio == 2 || ratio == 4 || ratio == 8 ? static_cast<int>(ratio) : 1;
  } else if (rate < 1024.0) {
    cus.thin = static_cast<int>(1024.0 / rate);
    cus.srate = 1024.0;
  } else {
    cus.thin = 1;
    cus.srate = rate;
  }
  cus.rate = rate;
  ws.srate = cus.srate;
  sp.fmax = cus.srate / 2.56 / cus.thin;
  sp.df = cus.lines > 1 ? sp.fmax / (cus.lines - 1) : sp.fmax;
  sp.dt = cus.thin / cus.srate;
  BoundDelay();
  Axis();
  if (changed) NotifySetting(changed);
}

void RestartOrVoid() {
  if (start == 1) {
    SetZero();
  } else {
    sp.dataReady = 0;
  }
}

int SetSampleRate(double rate) {
  double offered[kGeneratorRates];
  const int n = OfferedRates(offered);
  if (std::find(offered, offered + n, rate) == offered + n) return 0;
  SourceInfo info{};
  Source().describe(&info);
  // Without a recording playback has only the 1024 Hz base to decimate.
  if (Source().recorded && !(info.rate > 0.0) && rate > 1024.0) return 0;
  cus.rate = rate;
  DeriveModel();
  Settled();
  return 1;
}

int SetFrameLength(int n) {
  if (FrameIndex(n) < 0) return 0;
  cus.frameLen = n;
  DeriveModel();
  Settled();
  return 1;
}

int SetOverlap(double fraction) {
  if (IndexOf(overval, kOverlaps, fraction) < 0) return 0;
  cus.overlap = fraction;
  DeriveModel();
  Settled();
  return 1;
}

int SetAverages(int n) {
  if (n < 1 || n > 1000000) return 0;
  rcu.avgTarget = n;
  return Restart();
}

int SetExpAver(int exponential) {
  rcu.expAver = exponential ? 1 : 0;
  return Restart();
}

int SetDelay(int samples) {
  if (samples < -kStreamLen || samples > kStreamLen) return 0;
  sr.delay = samples;
  BoundDelay();
  if (Source().recorded) SetParamAver();
  return Restart();
}

int StepDelay(int up) {
  int d = sr.delay + (up ? sr.delaystep : -sr.delaystep);
  if (d < -kStreamLen || d > kStreamLen) d = 0;
  return SetDelay(d);
}

int SetDiffInt(int k, int mode) {
  if (mode < 0 || mode > 4) return 0;
  (k == 1 ? rcu.diB : rcu.diA) = mode;
  return Restart();
}

int SetWindowType(int type) {
  const int m = rcu.measType >= 0 && rcu.measType < 4 ? rcu.measType : 0;
  if (type < 0 || type >= 10 || !ringweight[m][type]) return 0;
  cus.window = type;
  for (ViewState& v : vs) v.gate = 0;
  // One average never mixes two windows: a run starts again, stopped results are void.
  WeightFunction(&cus);
  RestartOrVoid();
  if (start == 0) sp.dataReady = 0;
  return 1;
}

int SetBins(int bins) {
  if (bins < 1) return 0;
  pa.bins = std::min(bins, kMaxFrame);
  return Restart();
}

int SetWaveform(int form) {
  if (form < 0 || form > 4) return 0;
  ws.form = form;
  if (gen_start == 1) BufferArrySim();
  return 1;
}

int SetAmplitude(double mv) {
  if (!(mv >= 0.0)) mv = 0.0;
  if (mv > kMaxAmplitudeMv) mv = kMaxAmplitudeMv;
  if (ws.mvpc <= 0.0) ws.mvpc = kMvPerCount;
  ws.amp = static_cast<int>(mv / ws.mvpc);
  return 1;
}

int SetFreq1(double hz) {
  if (!(hz >= 0.0)) return 0;
  ws.f1 = hz;
  // The noise band's lower edge stays below its upper one.
  if (ws.form == 1 && ws.f2 < ws.f1) ws.f1 = 0.9 * ws.f2;
  return 1;
}

int SetFreq2(double hz) {
  if (!(hz >= 0.0)) return 0;
  ws.f2 = hz;
  return 1;
}

int SetPulseWidth(int samples) {
  if (samples < 1 || samples > std::max(cus.frameLen, 1)) return 0;
  ws.width = samples;
  ws.srate = cus.srate;
  return 1;
}

int SetGenerator(int on) {
  gen_start = on ? 1 : 0;
  return 1;
}

int SetTriggerInput(int input) {
  rcu.triginput = input;
  rcu.trigchan = TriggerInputOf(input);
  return Restart();
}

int SetLevel(double volts) {
  if (!std::isfinite(volts)) return 0;
  rcu.level = volts;
  return Restart();
}

int SetLevel2(double volts) {
  if (!std::isfinite(volts)) return 0;
  rcu.level2 = volts;
  return Restart();
}

int SetSlope(int slope) {
  if (slope != 0 && slope != 1) return 0;
  rcu.slope = slope;
  return Restart();
}

int SetPretrig(int samples) {
  if (samples < 0) return 0;
  rcu.pretrig = samples;
  return Restart();
}

int SetChannelOn(int k, int on) {
  (k == 1 ? rcu.onB : rcu.onA) = on ? 1 : 0;
  return Restart();
}

int SetChannelInput(int k, int input) {
  if (input < 0 || input >= kInputs) return 0;
  (k == 1 ? rcu.chanB : rcu.chanA) = input;
  return Restart();
}
