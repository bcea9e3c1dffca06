// Settings of the measurement and the one derivation of everything that follows from them.
#include "analyzer/setters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "analyzer/calibration.h"
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

int g_restartHold = 0;       // settings being made together: no restart until the last
bool g_restartOwed = false;  // a restart was asked for while held

int Restart() {
  RestartIfRunning();
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

void RateLabel(double rate, char* text, int size) {
  std::snprintf(text, static_cast<std::size_t>(size), "%g Гц", rate);
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
  // While auto-ranging changes the gains under the frames, frames do not overlap.
  const bool ranging = rcu.adaptpass == 2 && rcu.adaptstep >= 1;
  sr.ovsamp = ranging ? 0 : static_cast<int>(cus.overlap * frame);

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
    RestartIfRunning();
  } else {
    sp.dataReady = 0;
  }
}

void RestartIfRunning() {
  if (start != 1) return;
  if (g_restartHold > 0) {
    g_restartOwed = true;
    return;
  }
  // A refused restart leaves no run, and the stopped results belong to the settings before.
  if (SetZero() == 0) sp.dataReady = 0;
}

void HoldRestarts() { ++g_restartHold; }

void ReleaseRestarts() {
  if (g_restartHold > 0 && --g_restartHold > 0) return;
  if (!g_restartOwed) return;
  g_restartOwed = false;
  RestartIfRunning();
}

void InitMeasurement() {
  if (start == 1) StopMeass();
  // The converter: 24 bits over 20 V; the generator as source.
  hs.fullscale = kFullScale;
  hs.mvpc = kMvPerCount;
  rcu.source = 1;
  cus.nchan = 2;
  cus.iirtype = 0;
  cus.iirorder = 14;
  cus.iirripple = 0.1;
  cus.iiratten = 100.0;
  sr.delaystep = 512;
  pa.sigmas = 4;
  for (int w = 0; w < kWindows; ++w) {
    BindViewArrays(w);
    ForgetMemory(w);
  }
  for (int i = 0; i < kInputs; ++i) {
    cch.fsc[i] = kFullScale / 2 - 1;
    cch.upc[i] = 1.0 / hs.mvpc;
  }
  GetParamCalibrOfFile();
  // The input modes are known from the record before anything that depends on them.
  for (int i = 0; i < kInputs; ++i) hs.inmode[i] = cch.mode[i];
  InitGenerator();
  sp.dataReady = 0;
}

int SetAutoRanging(int pass, int step) {
  if ((pass != 1 && pass != 2) || step < 0 || step > 2) return 0;
  rcu.adaptpass = pass;
  rcu.adaptstep = pass == 2 ? step : 0;
  DeriveModel();
  return 1;
}

int SetGeometry(double rate, int frameLen, double overlap) {
  // Only a rate the source offers: any other would decimate by a factor the filters lack.
  cus.rate = NearestRate(rate > 0.0 ? rate : 1024.0);
  cus.frameLen = frameLen >= 1 && frameLen <= kMaxFrame ? frameLen : 1024;
  cus.overlap = overlap >= 0.0 && overlap < 1.0 ? overlap : 0.0;
  DeriveModel();
  return 1;
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

bool ExpAverOffered() { return !(Source().recorded && fs.nrec > 0 && fs.nrecs > 0); }

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
  (ChannelDiffInt(k)) = mode;
  return Restart();
}

int SetWindowType(int type) {
  const int m = rcu.measType >= 0 && rcu.measType < 4 ? rcu.measType : 0;
  if (!WindowOffered(m, type)) return 0;
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

int SetFrequency1(double hz) {
  if (!(hz >= 0.0)) return 0;
  ws.f1 = hz;
  // The noise band's lower edge stays below its upper one.
  if (ws.form == 1 && ws.f2 < ws.f1) ws.f1 = 0.9 * ws.f2;
  return 1;
}

int SetFrequency2(double hz) {
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

int SetTriggerInput(int inputNo) {
  if (inputNo < 0 || inputNo >= kInputs) return 0;
  rcu.triginput = inputNo;
  rcu.trigchan = TriggerInputOf(inputNo);
  return Restart();
}

int SetLevel(double volts) {
  if (!(volts >= -kMaxLevelVolts && volts <= kMaxLevelVolts)) return 0;
  rcu.level = volts;
  return Restart();
}

int SetLevel2(double volts) {
  if (!(volts >= -kMaxLevelVolts && volts <= kMaxLevelVolts)) return 0;
  rcu.level2 = volts;
  return Restart();
}

int SetSlope(int slope) {
  if (slope != 0 && slope != 1) return 0;
  rcu.slope = slope;
  return Restart();
}

int SetLevelChoice(int mode) {
  if (mode < 0 || mode > 5) return 0;
  rcu.levelmode = mode;
  if (mode == 0 && rcu.collect != 1) rcu.pretrig = 0;
  return Restart();
}

int SetPretrig(int samples) {
  if (samples < 0 || samples > kMaxFrame / 2) return 0;
  rcu.pretrig = samples;
  return Restart();
}

int SetChannelOn(int k, int on) {
  const int inputNo = ChannelInput(k);
  int& onK = ChannelOn(k);
  // A channel without an input (playback before its input button is pressed) stays off.
  if (inputNo < 0 || inputNo >= kInputs ||
      (Source().recorded && (!InputAssigned(k) || !OnOffCh[inputNo]))) {
    onK = 0;
    return on ? 0 : 1;
  }
  onK = on ? 1 : 0;
  // Its scale follows the amplifier; a recorded input keeps the scale its counts were taken with.
  ThrougCount(k);
  if (Source().recorded) TakeRecordedCalibration(inputNo);
  return Restart();
}

int SetChannelInput(int k, int inputNo) {
  if (inputNo < 0 || inputNo >= kInputs || Source().recorded) return 0;
  (ChannelInput(k)) = inputNo;
  ThrougCount(k);
  return Restart();
}

// ---------------------------------------------------------------------------------------------
// Measurement type, collection and source

namespace {

// What the operator chose under each measurement type, so that coming back to a type gives
// back its windows' functions, formats and units and its data window.
struct TypeChoice {
  bool held = false;
  int function[kWindows], format[kWindows], yUnit[kWindows], xUnit[kWindows];
  int window = 0;
};
TypeChoice g_typeChoice[4];

int MeasIndex() { return rcu.measType >= 0 && rcu.measType < 4 ? rcu.measType : 0; }

void KeepTypeChoice(int type) {
  TypeChoice& t = g_typeChoice[type];
  for (int w = 0; w < kWindows; ++w) {
    t.function[w] = vs[w].function;
    t.format[w] = vs[w].formatChoice;
    t.yUnit[w] = vs[w].yUnit;
    t.xUnit[w] = vs[w].xUnit;
  }
  t.window = cus.window;
  t.held = true;
}

// Only what the previous type forced away comes back: a choice the previous type offered as
// well is the operator's present one and stays.
void RestoreTypeChoice(int previousType, int type) {
  const TypeChoice& t = g_typeChoice[type];
  if (!t.held) return;
  for (int w = 0; w < kWindows; ++w) {
    if (FunctionOffered(previousType, t.function[w])) continue;
    if (!FunctionOffered(type, t.function[w])) continue;
    SetFunction(w, t.function[w]);
    SetWindowFormat(w, t.format[w]);
    SetYUnit(w, t.yUnit[w]);
    SetXUnit(w, t.xUnit[w]);
  }
  if (!WindowOffered(previousType, t.window) && WindowOffered(type, t.window)) {
    SetWindowType(t.window);
  }
}

// The start choices follow the collection mode, the trigger modes both.
void SettleStart() {
  const int m = MeasIndex();
  const int c = rcu.collect == 1 ? 1 : 0;
  rcu.startmode = KeepOrFirst(rcu.startmode, ringrun[m][c], 3, rcu.startmode);
  if (rcu.startmode == 2)
    rcu.levelmode = KeepOrFirst(rcu.levelmode, triggrun[m][c], 6, rcu.levelmode);
}

}  // namespace

int SetMeasType(int type) {
  if (type < 0 || type > 3) return 0;
  const int previous = MeasIndex();
  // Everything the type brings along restarts a running measurement once.
  HoldRestarts();
  KeepTypeChoice(previous);
  rcu.measType = type;
  int windows[kWindowTypes];
  for (int k = 0; k < kWindowTypes; ++k) windows[k] = WindowOffered(type, k);
  const int window = KeepOrFirst(cus.window, windows, kWindowTypes, cus.window);
  if (window != cus.window) SetWindowType(window);
  // Frames of another type do not overlap the way these did.
  cus.overlap = 0.0;
  DeriveModel();
  sp.dataReady = 0;
  for (int w = 0; w < kWindows; ++w) {
    int offered[kFunctions];
    for (int f = 0; f < kFunctions; ++f) offered[f] = FunctionOffered(type, f);
    SetFunction(w, KeepOrFirst(vs[w].function, offered, kFunctions, vs[w].function));
  }
  RestoreTypeChoice(previous, type);
  SetCollect(KeepOrFirst(rcu.collect, ringcollect[type], 2, rcu.collect));
  if (Source().recorded) SetParamAver();
  RestartOrVoid();
  ReleaseRestarts();
  return 1;
}

int SetCollect(int collect) {
  if (collect != 0 && collect != 1) return 0;
  if (!ringcollect[MeasIndex()][collect]) return 0;
  rcu.collectchanged = collect != rcu.collect ? 1 : 0;
  rcu.collect = collect;
  SettleStart();
  return Restart();
}

int SetStartChoice(int mode) {
  const int c = rcu.collect == 1 ? 1 : 0;
  if (mode < 0 || mode > 2 || !ringrun[MeasIndex()][c][mode]) return 0;
  rcu.startmode = mode;
  SettleStart();
  return Restart();
}

int SetSource(int source) {
  if (source < 0 || source >= kSourceCount) return 0;
  const bool wasRecorded = Source().recorded;
  if (start == 1) StopMeass();
  rcu.source = source;
  rcu.adaptpass = 1;
  ResetInputAssignment();
  if (Source().generated) {
    // Both channels on, A on the lower input; inputs left unassigned by playback start at 0, 1.
    int a = rcu.chanA, b = rcu.chanB;
    if (wasRecorded && rcu.onA == 0) a = 0;
    if (wasRecorded && rcu.onB == 0) b = 1;
    if (a < 0 || a > kInputs - 1 || b < 0 || b > kInputs - 1 || a == b) {
      a = 0;
      b = 1;
    } else if (a > b) {
      std::swap(a, b);
    }
    rcu.chanA = a;
    rcu.chanB = b;
    rcu.onA = rcu.onB = 1;
    ThrougCount(0);
    ThrougCount(1);
  } else if (Source().recorded) {
    rcu.onA = rcu.onB = 0;
    cus.thin = 1;
  }
  NotifySetting(kChangedChannels);
  // Out of playback the analysis takes the offered rate nearest the one analysed.
  if (!Source().ownRate) SetSampleRate(NearestRate(cus.rate));
  return 1;
}
