// Correlation, coherence and cross functions, derived from the averaged auto and cross spectra.
#include <cmath>

#include "analyzer/calibration.h"
#include "analyzer/cultivate1.h"
#include "analyzer/iirfilter.h"
#include "analyzer/view1_internal.h"
#include "dsp/dsp.h"

namespace {

constexpr double kRangeMargin = 1.004;
constexpr double kSnrOne = 1.0000000001;  // keeps the ratio finite where γ² = 1

double Enbw() { return WC.enbw > 0.0 ? WC.enbw : 1.0; }

// 1/d, or 0 where d is no usable divisor (a silent channel), so nothing non-finite is drawn.
double Inverse(double d) {
  const double r = d > 0.0 ? 1.0 / d : 0.0;
  return std::isfinite(r) ? r : 0.0;
}

// γ² of line j; 0 where either auto spectrum is empty. Rounding can lift the ratio a hair
// above 1, which would turn the non-coherent power negative: it is held to 0 … 1.
double CoherenceOfLine(int j) {
  const double r = Rxy[2 * j], i = Ixy[2 * j];
  const double g = (r * r + i * i) * Inverse(Gxx[2 * j] * Gyy[2 * j]);
  if (!(g > 0.0)) return 0.0;
  return g < 1.0 ? g : 1.0;
}

// The 2N-point correlation of the spectrum z (N values, scaled by s) with the lags put in
// order: afterwards element N + k holds lag +k and element k holds lag k − N, each with the
// bias of the shrinking overlap taken out. Returns N, or 0 when there is no frame.
int CorrelationOf(ViewState* v, const double* zr, const double* zi, double s) {
  const int n = CheckedFrameLen();
  if (n == 0) return 0;
  double* re = v->workRe;
  double* im = v->workIm;
  for (int i = 0; i < n; ++i) {
    re[i] = s * zr[i];
    im[i] = zi != nullptr ? s * zi[i] : 0.0;
  }
  for (int i = n; i < 2 * n; ++i) re[i] = im[i] = 0.0;
  if (zi == nullptr)
    ReFFT(re, im, 2 * n);
  else
    FFT(re, im, 2 * n);
  for (int k = 0; k < n; ++k) {
    const double ur = re[k], ui = im[k], tr = re[n + k], ti = im[n + k];
    const double pos = static_cast<double>(n) / (n - k);
    const double neg = static_cast<double>(n) / (k + 1);
    re[n + k] = ur * pos;
    im[n + k] = ui * pos;
    re[k] = tr * neg;
    im[k] = ti * neg;
  }
  return n;
}

// Shows lags −N/2 … N/2 − 1 of the correlation in the record's format.
void ShowCorrelation(ViewState* v, int n) {
  v->count = n;
  v->yScale = 1.0;
  v->xScale = 1.0;
  v->dbOffset = 0.0;
  v->plotStyle = kPlotLine;
  if (v->format < 0 || v->format > 5) return;
  double* re = v->workRe + n / 2;
  double* im = v->workIm + n / 2;
  switch (v->format) {
    case 0:
    case 1:
      Real_Image(v, x_time, v->format == 0 ? re : im);
      v->yMax *= kRangeMargin;
      v->yMin *= kRangeMargin;
      break;
    case 2:
      MagnitudeFunc(v, re, im, x_time);
      v->yMax *= kRangeMargin;
      v->yMin *= kRangeMargin;
      UnitWD_dB(v, 20.0);
      break;
    case 3:
      FormatDispatch(v, x_time, re, im, 20.0);
      v->yScale = 1.0;
      break;
    case 4:
      FormatDispatch(v, x_time, re, im, 20.0);
      v->xMin *= v->aspect;
      v->xMax *= v->aspect;
      v->xScale = v->yScale;
      break;
    default: FormatDispatch(v, x_time, re, im, 20.0); break;
  }
}

void AutoCorrelation(ViewState* v, const double* g, double power) {
  const int n = CorrelationOf(v, g, nullptr, Inverse(2.0 * power * Enbw()));
  if (n > 0) ShowCorrelation(v, n);
}

// γ²·Gyy or (1 − γ²)·Gyy in the units of channel B.
void OutputPower(ViewState* v, bool coherent) {
  Coherence(v);
  const double scale = ChannelScale(rcu.chanB);
  v->yScale = scale * scale;
  v->dbOffset = ChannelDbOffset(rcu.chanB);
  const int lines = v->count;
  v->plotStyle = kPlotLine;
  for (int j = 0; j < lines; ++j) {
    const double g = v->yData[j];
    v->yData[j] = (coherent ? g : 1.0 - g) * Gyy[2 * j];
  }
  XYUnit(v, 10.0);
}

}  // namespace

void AutoCorrelationA(ViewState* v) { AutoCorrelation(v, Gxx, sp.powerA); }
void AutoCorrelationB(ViewState* v) { AutoCorrelation(v, Gyy, sp.powerB); }

void CrossCorrelat(ViewState* v) {
  const double s = Inverse(std::sqrt(sp.powerA * sp.powerB) * 2.0 * Enbw());
  const int n = CorrelationOf(v, Rxy, Ixy, s);
  if (n > 0) ShowCorrelation(v, n);
}

void Coherence(ViewState* v) {
  const int lines = CheckedLines();
  for (int j = 0; j < lines; ++j) {
    v->yData[j] = CoherenceOfLine(j);
    v->xData[j] = x_band[j];
  }
  v->yMax = 1.04;
  v->yMin = 0.0;
  v->yScale = 1.0;
  v->xScale = 1.0;
  v->count = lines;
  v->plotStyle = kPlotLine;
  v->xMin = lines > 0 ? x_band[0] : 0.0;
  v->xMax = lines > 0 ? x_band[lines - 1] : 0.0;
}

void Signal_Noise(ViewState* v) {
  v->dbOffset = 0.0;
  Coherence(v);
  v->yScale = 1.0;
  v->plotStyle = kPlotLine;
  for (int j = 0; j < v->count; ++j) {
    const double g = v->yData[j];
    v->yData[j] = g / (kSnrOne - g);
  }
  XYUnit(v, 10.0);
}

void CoherPower(ViewState* v) { OutputPower(v, true); }
void NonCohPower(ViewState* v) { OutputPower(v, false); }

void CrossSpectrums(ViewState* v) {
  v->yScale = ChannelScale(rcu.chanA) * ChannelScale(rcu.chanB);
  v->xScale = 1.0;
  // In dB the cross spectrum is shown against the geometric mean of the two total powers.
  const double b = std::sqrt(sp.powerA * sp.powerB) * Enbw();
  v->dbOffset = b > 0.0 && std::isfinite(b) ? 10.0 * std::log10(1.0 / b) : 0.0;
  const int lines = CheckedLines();
  v->count = lines;
  v->plotStyle = kPlotLine;
  for (int j = 0; j < lines; ++j) {
    v->workRe[j] = Rxy[2 * j];
    v->workIm[j] = Ixy[2 * j];
  }
  if (v->format < 0 || v->format > 5 || lines == 0) return;
  switch (v->format) {
    case 2: FormatDispatch(v, x_band, v->workRe, v->workIm, 10.0); break;
    case 3:
      FormatDispatch(v, x_band, v->workRe, v->workIm, 20.0);
      v->yScale = 1.0;
      break;
    case 4:
      FormatDispatch(v, x_band, v->workRe, v->workIm, 20.0);
      v->xMin *= v->aspect;
      v->xMax *= v->aspect;
      v->xScale = v->yScale;
      break;
    default: FormatDispatch(v, x_band, v->workRe, v->workIm, 20.0); break;
  }
}
