// Power cepstra of the averaged auto spectra, and the spectra liftered back from a quefrency
// interval of them.
#include <cmath>

#include "analyzer/calibration.h"
#include "analyzer/cultivate1.h"
#include "analyzer/view1_internal.h"
#include "dsp/dsp.h"

namespace {

constexpr int kCepsA = 17, kCepsB = 18, kLiftA = 19, kLiftB = 20;
// A visible end this close to a quefrency sample counts as on it (the axis is i·Δt in doubles).
constexpr double kOnSample = 1e-6;

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

// The real cepstrum of the averaged spectrum g into re[0 … N−1] (im cleared): the inverse
// transform of the two-sided, even dB spectrum. Lines above the analysed band lie in the
// anti-alias filter's roll-off; they take the last analysed line's level, so that the cepstrum
// sees no band edge. A gain then moves quefrency 0 only, and an echo after q samples ripples
// the spectrum with period N/q and shows at quefrency q. Returns N, or 0 without a frame.
int RealCepstrum(const double* g, double* re, double* im) {
  const int n = FrameLen();
  const int lines = Lines(n);
  if (n == 0 || lines == 0) return 0;
  const double floor = LinePowerFloor(g, lines);
  const int half = n / 2;
  for (int j = 0; j <= half; ++j) {
    const double p = g[2 * (j < lines ? j : lines - 1)];
    re[j] = 10.0 * std::log10(std::isfinite(p) && p > floor ? p : floor);
  }
  for (int j = half + 1; j < n; ++j) re[j] = re[n - j];
  for (int j = 0; j < n; ++j) im[j] = 0.0;
  InvFFT(re, im, n);
  // An even spectrum has a real cepstrum; what the transform leaves in im is rounding.
  for (int j = 0; j < n; ++j) im[j] = 0.0;
  return n;
}

void Cepstrum(ViewState* v, const double* g) {
  double* re = v->workRe;
  double* im = v->workIm;
  const int n = RealCepstrum(g, re, im);
  if (n == 0) return;
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

// Quefrency sample of the visible end t on the grid dt: the first sample at or after t
// (up = true) or the last at or before it, kept within 0 … hi.
int QuefrencySample(double t, double dt, bool up, int fallback, int hi) {
  const double x = t / dt;
  if (!(x == x)) return fallback;
  const double s = up ? std::ceil(x - kOnSample) : std::floor(x + kOnSample);
  return s <= 0.0 ? 0 : s >= hi ? hi : static_cast<int>(s);
}

void LiftSpec(ViewState* v, const double* g, int input, int lift, int ceps) {
  double* re = v->workRe;
  double* im = v->workIm;
  const int n = RealCepstrum(g, re, im);
  if (n == 0) return;

  // The lifter is the visible quefrency range of the matching cepstrum in the other window,
  // both ends included; a range reaching the last shown sample keeps the unshown Nyquist
  // quefrency too, so that the open lifter gives the spectrum back unchanged.
  const int half = n / 2;
  int p = 0, last = half;
  const ViewState* shown = nullptr;
  if (vs[0].function == lift && vs[1].function == ceps)
    shown = &vs[1];
  else if (vs[1].function == lift && vs[0].function == ceps)
    shown = &vs[0];
  const double dt = time_ch[1];
  if (shown != nullptr && dt > 0.0) {
    p = QuefrencySample(shown->viewXFrom, dt, true, 0, half);
    last = QuefrencySample(shown->viewXTo, dt, false, half, half);
    if (last >= half - 1) last = half;
  }
  // The cepstrum is even: quefrency i and N − i are the same lag and are kept together.
  for (int i = 0; i < n; ++i) {
    const int m = i <= half ? i : n - i;
    if (m < p || m > last) re[i] = 0.0;
  }
  ReFFT(re, im, n);

  // Back from dB to power, in the units of the spectrum it came from.
  const int lines = Lines(n);
  for (int j = 0; j < lines; ++j) v->yData[j] = std::pow(10.0, 0.1 * re[j]);
  const double scale = ChannelScale(input);
  v->format = 2;
  v->dbOffset = ChannelDbOffset(input);
  v->yScale = scale * scale;
  v->xScale = 1.0;
  v->count = lines;
  v->plotStyle = kPlotLine;
  XYUnit(v, 10.0);
  ResultRange(v->yData, lines, &v->yMax, &v->yMin);
}

}  // namespace

void CepstrumA(ViewState* v) { Cepstrum(v, Gxx); }
void CepstrumB(ViewState* v) { Cepstrum(v, Gyy); }
void LiftSpecA(ViewState* v) { LiftSpec(v, Gxx, rcu.chanA, kLiftA, kCepsA); }
void LiftSpecB(ViewState* v) { LiftSpec(v, Gyy, rcu.chanB, kLiftB, kCepsB); }
