// Power cepstra of the averaged auto spectra, and the spectra liftered back from a quefrency
// interval of them.
#include <cmath>

#include "analyzer/cultivate1.h"
#include "analyzer/view1_internal.h"
#include "dsp/dsp.h"

namespace {

constexpr int kCepsA = 17, kCepsB = 18, kLiftA = 19, kLiftB = 20;

int FrameLen() {
  const int n = cus.frameLen;
  return n >= 2 && n <= kMaxFrame ? n : 0;
}

int Lines(int n) {
  const int lines = cus.lines;
  return lines < 1 ? 0 : lines > n / 2 ? n / 2 : lines;
}

// Floor of a line's power in dB: a line of zero power (or a damaged one) would otherwise put
// −infinity into the transform and turn the whole cepstrum into NaN.
double LinePowerFloor(const double* g, int lines) {
  double top = 0.0;
  for (int j = 0; j < lines; ++j) {
    const double p = g[2 * j];
    if (std::isfinite(p) && p > top) top = p;
  }
  return top > 0.0 ? top * kDbFloor : kDbFloor;
}

void Cepstrum(ViewState* v, const double* g) {
  const int n = FrameLen();
  if (n == 0) return;
  const int lines = Lines(n);
  const double floor = LinePowerFloor(g, lines);
  double* re = v->workRe;
  double* im = v->workIm;
  for (int j = 0; j < lines; ++j) {
    const double p = g[2 * j];
    re[j] = 10.0 * std::log10(std::isfinite(p) && p > floor ? p : floor);
    im[j] = 0.0;
  }
  for (int j = lines; j < n; ++j) re[j] = im[j] = 0.0;
  InvFFT(re, im, n);
  v->dbOffset = 0.0;
  v->yScale = 1.0;
  v->xScale = 1.0;
  v->count = n / 2;
  v->plotStyle = kPlotLine;
  switch (v->format) {
    case 0: Real_Image(v, time_ch, re); break;
    case 1: Real_Image(v, time_ch, im); break;
    case 2:
      MagnitudeFunc(v, re, im, time_ch);
      v->yMin = 0.0;
      break;
    default: break;
  }
}

// Sample index of quefrency t on the grid dt, truncated toward zero and kept within 0 … hi.
int QuefrencySample(double t, double dt, int fallback, int hi) {
  const double s = std::trunc(t / dt);
  if (!(s == s)) return fallback;
  return s <= 0.0 ? 0 : s >= hi ? hi : static_cast<int>(s);
}

void LiftSpec(ViewState* v, void (*cepstrum)(ViewState*), int lift, int ceps) {
  const int n = FrameLen();
  if (n == 0) return;
  double* mag = v->yData;
  double* im = v->workIm;
  v->format = 2;
  cepstrum(v);  // mag[0 … N/2−1] now holds the cepstrum's magnitude

  // The lifter is the visible range of the matching cepstrum in the other window. Only the
  // lower half of the cepstrum is computed, so the bounds stay within it.
  const int half = n / 2;
  int p = 0, q = half;
  const ViewState* shown = nullptr;
  if (vs[0].function == lift && vs[1].function == ceps) shown = &vs[1];
  else if (vs[1].function == lift && vs[0].function == ceps) shown = &vs[0];
  const double dt = time_ch[1];
  if (shown != nullptr && dt > 0.0) {
    p = QuefrencySample(shown->viewXFrom, dt, 0, half);
    q = QuefrencySample(shown->viewXTo, dt, half, half);
  }
  for (int i = 0; i < n; ++i) {
    if (i < p || i >= q) mag[i] = 0.0;
    im[i] = 0.0;
  }
  ReFFT(mag, im, n);

  const int lines = Lines(n);
  v->dbOffset = 0.0;
  v->yScale = 1.0;
  v->xScale = 1.0;
  v->count = lines;
  v->plotStyle = kPlotLine;
  MagnitudeFunc(v, mag, im, x_band);
  XYUnit(v, 10.0);
  ResultRange(v->yData, lines, &v->yMax, &v->yMin);
}

}  // namespace

void CepstrumA(ViewState* v) { Cepstrum(v, Gxx); }
void CepstrumB(ViewState* v) { Cepstrum(v, Gyy); }
void LiftSpecA(ViewState* v) { LiftSpec(v, CepstrumA, kLiftA, kCepsA); }
void LiftSpecB(ViewState* v) { LiftSpec(v, CepstrumB, kLiftB, kCepsB); }
