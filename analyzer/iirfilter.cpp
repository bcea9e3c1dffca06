// Data windows as applied to the frames: library windows remove the mean and weight both
// channels; the two gates weight a channel only while a window shows its analytic signal.
#include "analyzer/iirfilter.h"

#include <cmath>

#include "analyzer/menager.h"
#include "analyzer/panels.h"
#include "analyzer/view1.h"
#include "analyzer/view1_internal.h"
#include "dsp/dsp.h"
#include "ui/userint.h"

WindowConstants WC = {1.0, 1.0};

namespace {

constexpr int kRectGate = 0;
constexpr int kExpGate = 9;
constexpr int kTimeA = 14;
constexpr int kTimeB = 15;

double* CoefSet(int w) { return weightcoef + (w == 0 ? 0 : kMaxFrame); }

// The gate interval of window w: its visible X range while it shows a gated time display.
void GateInterval(int w, int n, double* t1, double* t2) {
  const ViewState& v = vs[w];
  if (v.gate == 1 && (v.function == kTimeA || v.function == kTimeB)) {
    *t1 = v.viewXFrom;
    *t2 = v.viewXTo;
  } else {
    *t1 = 0.0;
    *t2 = time_ch[n - 1];
  }
}

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
Made g_gateMade[kWindows];
bool g_gateKept[kWindows] = {false, false};

void Gate(int w, bool exponential) {
  const int n = CheckedFrameLen();
  if (n == 0) return;
  double* s = CoefSet(w);
  double t1, t2;
  GateInterval(w, n, &t1, &t2);
  // The gate is the same every frame until its interval, shape, length or time axis changes.
  const Made now{n, exponential, t1, t2, time_ch[0], time_ch[n - 1]};
  Made& was = g_gateMade[w];
  if (g_gateKept[w] && was.n == now.n && was.exponential == now.exponential &&
      was.t1 == now.t1 && was.t2 == now.t2 && was.first == now.first && was.last == now.last) {
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
  if (c->window == kRectGate) {
    WC = {1.0, 1.0};
  } else if (c->window == kExpGate) {
    WC = {1.0, 1.0};
    for (int i = 0; i < n; ++i) s0[i] = s1[i] = std::exp(-(5.0 / n) * i);
  } else {
    ScaledWindow(s0, n, c->window, &WC);
    ScaledWindow(s1, n, c->window, &WC);
  }
}

void RectWeight(int w) { Gate(w, false); }
void ExpWeight(int w) { Gate(w, true); }

void WeightCtrl() {
  const int N = CheckedFrameLen();
  if (N == 0) return;
  const int n = dbuf.nframe > 0 && dbuf.nframe <= N ? dbuf.nframe : N;
  if (cus.window == kRectGate || cus.window == kExpGate) {
    for (int w = 0; w < kWindows; ++w) Gate(w, cus.window == kExpGate);
    for (int w = 0; w < kWindows; ++w) {
      if (vs[w].function == kTimeA) Weigh(Rx, CoefSet(w), n);
      if (vs[w].function == kTimeB) Weigh(Ry, CoefSet(w), n);
    }
  } else {
    RemoveMean(Rx, n);
    RemoveMean(Ry, n);
    Weigh(Rx, CoefSet(0), n);
    Weigh(Ry, CoefSet(1), n);
  }
}

int Weight(int panel, int control, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  int type = 0;
  GetCtrlVal(panel, control, &type);
  cus.window = type;
  for (int w = 0; w < kWindows; ++w) {
    const int toggle = WindowCtrl(w).gateToggle;
    SetCtrlVal(mainpanel, toggle, 0);
    vs[w].gate = 0;
    // Back at a gate type, a time display offers its gate again.
    const bool offered = (type == kRectGate || type == kExpGate) && GateOffered(vs[w].function);
    SetCtrlAttribute(mainpanel, toggle, ATTR_DIMMED, offered ? 0 : 1);
  }
  // One average never mixes two windows: a run starts again, stopped results (or those of a
  // run whose restart was refused) are void.
  WeightFunction(&cus);
  if (start == 1) SetZero();
  if (start == 0) sp.dataReady = 0;
  ClearResults();
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Anti-alias filters of the decimated streams

void CascadeIIRFilter() {
  for (int ch = 0; ch < 2; ++ch) {
    FreeIIRFilterPtr(iir_ch[ch]);
    iir_ch[ch] = AllocIIRFilterPtr(IIR_LOWPASS, cus.iirorder);
    if (iir_ch[ch] == nullptr) continue;
    ResetIIRFilter(iir_ch[ch]);
    const double fs = cus.srate, fl = cus.iirfcut, fh = cus.iirfhigh;
    int status = 0;
    switch (cus.iirtype) {
      case 0:
        status = Elp_CascadeCoef(fs, fl, fh, cus.iirripple, cus.iiratten, iir_ch[ch]);
        break;
      case 1:
        status = Ch_CascadeCoef(fs, fl, fh, cus.iirripple, iir_ch[ch]);
        break;
      case 2:
        status = InvCh_CascadeCoef(fs, fl, fh, cus.iiratten, iir_ch[ch]);
        break;
      case 3:
        status = Bw_CascadeCoef(fs, fl, fh, iir_ch[ch]);
        break;
      default:
        break;
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
    case 1:
      cus.iirtype = 4;
      break;
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
    default:
      break;
  }
}
