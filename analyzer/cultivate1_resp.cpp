// Frequency responses between channel A (input) and channel B (output), and the time displays:
// the analytic signal of the current frame, the plain frame, and B against A.
#include <cmath>

#include "analyzer/calibration.h"
#include "analyzer/cultivate1.h"
#include "analyzer/iirfilter.h"
#include "analyzer/view1_internal.h"
#include "dsp/dsp.h"

namespace {

constexpr double kSqrt2 = 1.4142135623730951;

// num/den, or 0 where den is 0 (a silent channel): nothing non-finite reaches the graph.
double Ratio(double num, double den) {
  if (den == 0.0) return 0.0;
  const double r = num / den;
  return std::isfinite(r) ? r : 0.0;
}

enum Response { kH1, kInvH1, kH2, kInvH2 };

void FrequencyResponse(ViewState* v, Response which) {
  const int lines = CheckedLines();
  for (int j = 0; j < lines; ++j) {
    const double r = Rxy[2 * j], i = Ixy[2 * j], gx = Gxx[2 * j], gy = Gyy[2 * j];
    const double m = r * r + i * i;
    double re = 0.0, im = 0.0;
    switch (which) {
      case kH1:
        re = Ratio(r, gx);
        im = Ratio(i, gx);
        break;
      case kInvH1:
        re = gx * Ratio(r, m);
        im = -gx * Ratio(i, m);
        break;
      case kH2:
        re = Ratio(gy * r, m);
        im = Ratio(gy * i, m);
        break;
      case kInvH2:
        re = Ratio(r, gy);
        im = -Ratio(i, gy);
        break;
    }
    v->workRe[j] = re;
    v->workIm[j] = im;
  }
  // Ratios of counts to counts: no channel scale applies.
  v->dbOffset = 0.0;
  v->yScale = 1.0;
  v->xScale = 1.0;
  v->count = lines;
  v->plotStyle = kPlotLine;
  if (v->format < 0 || v->format > 5 || lines == 0) return;
  FormatDispatch(v, x_band, v->workRe, v->workIm, 20.0);
}

// Analytic signal of the current frame from its 2N-point spectrum: the negative frequencies
// are dropped and the positive ones doubled, so the inverse transform gives the frame as the
// real part and its Hilbert transform as the imaginary part.
void AnalyticSignal(ViewState* v, const double* sr, const double* si, int input) {
  const int n = CheckedFrameLen();
  if (n == 0) return;
  double* re = v->workRe;
  double* im = v->workIm;
  for (int i = 0; i < n; ++i) {
    re[i] = sr[i];
    im[i] = si[i];
  }
  // Element 0 still carries the averaging step's halving of the DC power.
  re[0] *= kSqrt2;
  im[0] *= kSqrt2;
  for (int i = 1; i < n; ++i) {
    re[i] *= 2.0;
    im[i] *= 2.0;
  }
  for (int i = n; i < 2 * n; ++i) re[i] = im[i] = 0.0;
  InvFFT(re, im, 2 * n);
  const double k = WC.enbw > 0.0 ? 1.0 / WC.enbw : 1.0;
  for (int i = 0; i < 2 * n; ++i) {
    re[i] *= k;
    im[i] *= k;
  }
  v->yScale = ChannelScale(input);
  // The envelope in dB (Nichols) is referred to the channel's reference, not to whatever offset
  // the window's previous function left.
  v->dbOffset = ChannelDbOffset(input);
  v->xScale = 1.0;
  v->count = n;
  v->plotStyle = kPlotLine;
  switch (v->format) {
    case 0:
    case 1:
      Real_Image(v, time_ch, v->format == 0 ? re : im);
      v->yMax = GetMax(v);
      v->yMin = -v->yMax;
      break;
    case 2:
      MagnitudeFunc(v, re, im, time_ch);
      v->yMax = GetMax(v);
      v->yMin = 0.0;
      break;
    case 3:
      PhaseFunc(v, re, im, time_ch);
      v->yMax = 180.0;
      v->yMin = -180.0;
      v->yScale = 1.0;
      break;
    case 4:
      NyquistFunc(v, re, im);
      v->plotStyle = kPlotPoints;
      v->xMin *= v->aspect;
      v->xMax *= v->aspect;
      v->xScale = v->yScale;
      break;
    case 5:
      NicholsFunc(v, re, im);
      v->plotStyle = kPlotPoints;
      UnitWD_dB(v, 20.0);
      v->xScale = 1.0;
      v->xMax = 180.0;
      v->xMin = -180.0;
      break;
    default: break;
  }
}

void PlainFrame(ViewState* v, const double* frame, int input) {
  const int n = dbuf.nframe;
  if (n < 1 || n > kMaxFrame) return;
  v->yScale = ChannelScale(input);
  v->xScale = 1.0;
  v->count = n;
  v->plotStyle = kPlotLine;
  for (int i = 0; i < n; ++i) {
    v->yData[i] = frame[i];
    v->xData[i] = time_ch[i];
  }
  ResultRange(v->yData, n, &v->yMax, &v->yMin);
  v->yMax = GetMax(v);
  v->yMin = -v->yMax;
  v->xMin = time_ch[0];
  v->xMax = time_ch[n - 1];
}

}  // namespace

double GetMax(ViewState* v) {
  const double k = hs.mvpc;
  if (!(k > 0.0) || !std::isfinite(k)) return 1.0;
  const double m = std::fmax(std::fabs(v->yMax * k), std::fabs(v->yMin * k));
  // Bounded, so that a non-finite peak cannot hold the loop.
  double a = 0.1;
  for (int step = 0; step < 320 && m >= a; ++step) a *= 10.0;
  const double r = a / k;
  return std::isfinite(r) ? r : 1.0;
}

void FreqRespH1(ViewState* v) { FrequencyResponse(v, kH1); }
void FreqResp1_H1(ViewState* v) { FrequencyResponse(v, kInvH1); }
void FreqRespH2(ViewState* v) { FrequencyResponse(v, kH2); }
void FreqResp1_H2(ViewState* v) { FrequencyResponse(v, kInvH2); }

void Time_A(ViewState* v) { AnalyticSignal(v, Rx, Ix, rcu.chanA); }
void Time_B(ViewState* v) { AnalyticSignal(v, Ry, Iy, rcu.chanB); }

void TimeA(ViewState* v) { PlainFrame(v, ca, rcu.chanA); }
void TimeB(ViewState* v) { PlainFrame(v, cb, rcu.chanB); }

void TimeA_vs_B(ViewState* v) {
  const int n = CheckedFrameLen();
  if (n == 0) return;
  v->yScale = ChannelScale(rcu.chanB);
  v->xScale = ChannelScale(rcu.chanA);
  v->count = n;
  v->plotStyle = kPlotLine;
  for (int i = 0; i < n; ++i) {
    v->yData[i] = cb[i];
    v->xData[i] = ca[i];
  }
  ResultRange(v->yData, n, &v->yMax, &v->yMin);
  ResultRange(v->xData, n, &v->xMax, &v->xMin);
  // Symmetric about 0 and stretched to the graph's shape, so both axes share one scale. The
  // larger of the two extremes is taken: a frame of A that stays negative keeps an upright range.
  const double x = std::fmax(std::fabs(v->xMax), std::fabs(v->xMin)) * v->aspect;
  v->xMax = x;
  v->xMin = -x;
}
