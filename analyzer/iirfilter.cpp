// Data windows as applied to the frames: library windows remove the mean and weight both
// channels; the two gates weight a channel only while a window shows its analytic signal.
#include "analyzer/iirfilter.h"

#include <cmath>

#include "analyzer/model.h"
#include "dsp/dsp.h"

WindowConstants WC = {1.0, 1.0};

// Statistics look at the samples themselves: no window but the rectangular gate.
const DataWindow kDataWindows[kWindowTypes] = {
    {"Прямоуг. строб", kRectGate, {1, 1, 1, 1}},    {"Хэннинг", kWeighting, {1, 1, 0, 1}},
    {"Хэмминг", kWeighting, {1, 1, 0, 1}},          {"Блэкман-Харрис 3", kWeighting, {1, 1, 0, 1}},
    {"Точный Блэкман", kWeighting, {1, 1, 0, 1}},   {"Блэкман", kWeighting, {1, 1, 0, 1}},
    {"Плоская вершина", kWeighting, {1, 1, 0, 1}},  {"Блэкман-Харрис 4", kWeighting, {1, 1, 0, 1}},
    {"Блэкман-Харрис 7", kWeighting, {1, 1, 0, 1}}, {"Экспоненц. строб", kExpGate, {1, 1, 0, 0}},
};

namespace {

double* CoefSet(int w) { return weightcoef + (w == 0 ? 0 : kMaxFrame); }

void RemoveMean(double* x, int n) {
  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += x[i];
  const double mean = sum / n;
  for (int i = 0; i < n; ++i) x[i] -= mean;
}

void Weigh(double* x, const double* w, int n) {
  for (int i = 0; i < n; ++i) x[i] *= w[i];
}

// Coefficient set w as a gate over [t1, t2): 0 before, 1 (or a fall to e^-5 at t2) inside, 0 from
// t2 on, the last sample included. The loops stop at the end of the frame whatever the visible
// range holds: a zoom kept from a run at another rate can lie beyond it.
// What each window's gate coefficients were last made from; WeightFunction overwrites them.
struct Made {
  int n = 0;
  bool exponential = false;
  double t1 = 0, t2 = 0, first = 0, last = 0;
};
Made g_gateMade[kGateSets];
bool g_gateKept[kGateSets] = {false, false};

void Gate(int w, bool exponential, GateSpan g) {
  const int n = CheckedFrameLen();
  if (n == 0) return;
  double* s = CoefSet(w);
  // No interval given: the whole frame.
  const double t1 = g.from < g.to ? g.from : 0.0;
  const double t2 = g.from < g.to ? g.to : time_ch[n - 1];
  // The gate is the same every frame until its interval, shape, length or time axis changes.
  const Made now{n, exponential, t1, t2, time_ch[0], time_ch[n - 1]};
  Made& was = g_gateMade[w];
  if (g_gateKept[w] && was.n == now.n && was.exponential == now.exponential && was.t1 == now.t1 &&
      was.t2 == now.t2 && was.first == now.first && was.last == now.last) {
    return;
  }
  was = now;
  g_gateKept[w] = true;
  const double tau = (t2 - t1) / 5.0;
  int i = 0;
  for (; i < n && t1 > time_ch[i]; ++i) s[i] = 0.0;
  for (; i < n && t2 > time_ch[i]; ++i)
    s[i] = exponential ? std::exp(-(time_ch[i] - t1) / tau) : 1.0;
  for (; i < n; ++i) s[i] = 0.0;
}

}  // namespace

void WeightFunction(CusRecord* c) {
  for (bool& kept : g_gateKept) kept = false;
  const int n = c->frameLen > 0 && c->frameLen <= kMaxFrame ? c->frameLen : 0;
  double* s0 = CoefSet(0);
  double* s1 = CoefSet(1);
  for (int i = 0; i < n; ++i) s0[i] = s1[i] = 1.0;
  if (GateOf(c->window) == kRectGate) {
    WC = {1.0, 1.0};
  } else if (GateOf(c->window) == kExpGate) {
    WC = {1.0, 1.0};
    for (int i = 0; i < n; ++i) s0[i] = s1[i] = std::exp(-(5.0 / n) * i);
  } else {
    ScaledWindow(s0, n, c->window, &WC);
    ScaledWindow(s1, n, c->window, &WC);
  }
}

void RectWeight(int w, GateSpan g) { Gate(w, false, g); }
void ExpWeight(int w, GateSpan g) { Gate(w, true, g); }

void WeightFrames(const GateSpan gates[kGateSets], const int gated[kGateSets]) {
  const int N = CheckedFrameLen();
  if (N == 0) return;
  const int n = dbuf.nframe > 0 && dbuf.nframe <= N ? dbuf.nframe : N;
  if (GateOf(cus.window) != kWeighting) {
    for (int w = 0; w < kGateSets; ++w) Gate(w, GateOf(cus.window) == kExpGate, gates[w]);
    for (int w = 0; w < kGateSets; ++w) {
      if (gated[w] == 1) Weigh(Rx, CoefSet(w), n);
      if (gated[w] == 2) Weigh(Ry, CoefSet(w), n);
    }
  } else {
    RemoveMean(Rx, n);
    RemoveMean(Ry, n);
    Weigh(Rx, CoefSet(0), n);
    Weigh(Ry, CoefSet(1), n);
  }
}

// ---------------------------------------------------------------------------------------------
// Anti-alias filters of the decimated streams

void CascadeIIRFilter() {
  for (int ch = 0; ch < 2; ++ch) {
    FreeIIRFilterPtr(iir_ch[ch]);
    iir_ch[ch] = AllocIIRFilterPtr(IIR_LOWPASS, cus.iirorder);
    if (iir_ch[ch] == nullptr) continue;
    ResetIIRFilter(iir_ch[ch]);
    const double rate = cus.srate, fl = cus.iirfcut, fh = cus.iirfhigh;
    int status = 0;
    switch (cus.iirtype) {
      case 0:
        status = Elp_CascadeCoef(rate, fl, fh, cus.iirripple, cus.iiratten, iir_ch[ch]);
        break;
      case 1: status = Ch_CascadeCoef(rate, fl, fh, cus.iirripple, iir_ch[ch]); break;
      case 2: status = InvCh_CascadeCoef(rate, fl, fh, cus.iiratten, iir_ch[ch]); break;
      case 3: status = Bw_CascadeCoef(rate, fl, fh, iir_ch[ch]); break;
      default: break;
    }
    // An undesigned record would pass nothing; without it the frames go through unfiltered.
    if (status < 0) {
      FreeIIRFilterPtr(iir_ch[ch]);
      iir_ch[ch] = nullptr;
    }
  }
}

void IIRFilterParam() {
  cus.iirfhigh = 0.0;
  // The cut-offs suit a 1024 Hz base; a recording at another rate scales them with it.
  const double k = cus.srate > 0.0 ? cus.srate / 1024.0 : 1.0;
  switch (cus.thin) {
    case 1: cus.iirtype = 4; break;
    case 2:
      cus.iirtype = 0;
      cus.iirfcut = 220.0 * k;
      CascadeIIRFilter();
      break;
    case 4:
      cus.iirtype = 0;
      cus.iirfcut = 110.0 * k;
      CascadeIIRFilter();
      break;
    case 8:
      cus.iirtype = 0;
      cus.iirfcut = 55.0 * k;
      CascadeIIRFilter();
      break;
    default: break;
  }
}
