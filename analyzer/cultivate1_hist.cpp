// Amplitude statistics: the averaged histograms of both channels (statistics measurement type),
// their density and distribution functions, and the bins control.
#include <cmath>

#include "analyzer/calibration.h"
#include "analyzer/cultivate1.h"
#include "analyzer/view1_internal.h"
#include "dsp/dsp.h"

namespace {

int his[kMaxFrame];  // bin counts of the current frame

int Bins() {
  const int b = pa.bins;
  return b < 1 ? 0 : b > kMaxFrame ? kMaxFrame : b;
}

int FrameSamples() {
  const int n = dbuf.nframe;
  return n >= 1 && n <= kMaxFrame ? n : 0;
}

void Range(const double* x, int n, double* lo, double* hi, double* width) {
  double m = 0.0, s = 0.0;
  StdDev(x, n, &m, &s);
  *lo = m - s * pa.sigmas;
  *hi = m + s * pa.sigmas;
  const int bins = Bins();
  *width = bins > 0 ? (*hi - *lo) / bins : 0.0;
}

struct Channel {
  const double* frame;
  double *lo, *hi, *loNorm, *hiNorm;
  double* axis;
  double* g;
  double *power, *mean;
};

// One averaging step of one channel. The first step replaces the averages outright, so nothing
// left in the arrays from another measurement type can leak into the run.
void AverChannel(const Channel& c, int n, int bins, int k) {
  for (int i = 0; i < bins; ++i) his[i] = 0;
  // An empty or undefined range (constant or damaged first frame) counts nothing.
  Histogram(c.frame, n, *c.lo, *c.hi, his, c.axis, bins);
  const double q = k == 1 ? 0.0 : 1.0 - 1.0 / k;
  double e1 = 0.0, e2 = 0.0;
  for (int i = 0; i < bins; ++i) {
    const double p = static_cast<double>(his[i]) / n;
    his[i] = 0;
    c.g[i] = (k == 1 ? 0.0 : q * c.g[i]) + p / k;
    if (p > 0.0) {
      e1 += p * c.axis[i];
      e2 += p * c.axis[i] * c.axis[i];
    }
  }
  *c.power = (k == 1 ? 0.0 : q * *c.power) + e2 / k;
  *c.mean = (k == 1 ? 0.0 : q * *c.mean) + e1 / k;
  // Limits in RMS units; without any counted sample there is no RMS to refer to.
  const double rms = std::sqrt(*c.power);
  *c.loNorm = rms > 0.0 ? *c.lo / rms : 0.0;
  *c.hiNorm = rms > 0.0 ? *c.hi / rms : 0.0;
}

void Density(ViewState* v, const double* g, const double* axis, int input, double lo, double hi,
             bool cumulative) {
  const int bins = Bins();
  v->count = bins;
  v->yScale = 1.0;
  v->xScale = ChannelScale(input);
  v->plotStyle = cumulative ? kPlotLine : kPlotBars;
  double sum = 0.0;
  for (int i = 0; i < bins; ++i) {
    sum = cumulative ? sum + g[i] : g[i];
    v->yData[i] = sum;
    v->xData[i] = axis[i];
  }
  ResultRange(v->yData, bins, &v->yMax, &v->yMin);
  ResultRange(v->xData, bins, &v->xMax, &v->xMin);
  if (!cumulative) {
    v->normLo = lo;
    v->normHi = hi;
  } else if (v->yUnit == kYDb) {
    // The distribution offers a dB scale: the probabilities themselves, without a channel offset.
    v->dbOffset = 0.0;
    AxisY_dB(v, 10.0);
  }
}

}  // namespace

void ParamHistogramm() {
  const int n = FrameSamples();
  if (n == 0) return;
  Range(ca, n, &pa.loA, &pa.hiA, &pa.binWidthA);
  Range(cb, n, &pa.loB, &pa.hiB, &pa.binWidthB);
}

void AverProbHistogramm(int k) {
  const int n = FrameSamples();
  const int bins = Bins();
  if (n == 0 || bins == 0 || k < 1) return;
  if (rcu.avgCount == 1) ParamHistogramm();
  AverChannel({ca, &pa.loA, &pa.hiA, &pa.loNormA, &pa.hiNormA, Rxy, Gxx, &sp.powerA, &sp.meanA}, n,
              bins, k);
  AverChannel({cb, &pa.loB, &pa.hiB, &pa.loNormB, &pa.hiNormB, Ixy, Gyy, &sp.powerB, &sp.meanB}, n,
              bins, k);
}

// Counted averaging whatever the averaging boxes say: a statistics run always ends at its target.
int Statistics() {
  AverProbHistogramm(rcu.avgCount);
  return rcu.avgCount >= rcu.avgTarget ? 1 : 0;
}

void ProbDensityA(ViewState* v) { Density(v, Gxx, Rxy, rcu.chanA, pa.loNormA, pa.hiNormA, false); }
void ProbDensityB(ViewState* v) { Density(v, Gyy, Ixy, rcu.chanB, pa.loNormB, pa.hiNormB, false); }
void ProbDistribA(ViewState* v) { Density(v, Gxx, Rxy, rcu.chanA, 0.0, 0.0, true); }
void ProbDistribB(ViewState* v) { Density(v, Gyy, Ixy, rcu.chanB, 0.0, 0.0, true); }
