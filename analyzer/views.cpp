// Peak hold, spectrogram ring, distortion analysis and confidence bands of the result windows.
#include "analyzer/views.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "analyzer/calibration.h"
#include "analyzer/iirfilter.h"
#include "analyzer/model.h"
#include "dsp/fft.h"
#include "dsp/windows.h"

ViewOptions vopt[kWindows];
PeakHold peak[kWindows];
SpectroRing spectro[kWindows];

namespace {

constexpr int kMagnitude = 2, kPhase = 3;

int Win(int w) { return w == 0 ? 0 : 1; }

// ---- window shape: |W(δ)|² at a fractional line offset δ, normalised to 1 at δ = 0

constexpr int kKernelSteps = 256;              // table points per line
constexpr int kKernelSpan = 2 * kKernelSteps;  // the table covers 0 … 2 lines
struct Kernel {
  int n = 0;
  double sum = 0.0, sum2 = 0.0;
  double k2[kKernelSpan + 1] = {};
  double enbw = 1.0;  // n·Σw²/(Σw)², in lines
};
Kernel kernel;

// Rebuilds the table when the window differs from the one it was made for.
const Kernel& KernelOf(const double* w, int n) {
  double s = 0.0, s2 = 0.0;
  for (int i = 0; i < n; ++i) {
    s += w[i];
    s2 += w[i] * w[i];
  }
  if (kernel.n == n && kernel.sum == s && kernel.sum2 == s2) return kernel;
  kernel.n = n;
  kernel.sum = s;
  kernel.sum2 = s2;
  kernel.enbw = s != 0.0 ? n * s2 / (s * s) : 1.0;
  for (int t = 0; t <= kKernelSpan; ++t) {
    const double delta = static_cast<double>(t) / kKernelSteps;
    const double step = -2.0 * M_PI * delta / n;
    const double c = std::cos(step), sn = std::sin(step);
    double re = 0.0, im = 0.0, pr = 1.0, pi = 0.0;
    for (int i = 0; i < n; ++i) {
      re += w[i] * pr;
      im += w[i] * pi;
      const double r = pr * c - pi * sn;
      pi = pr * sn + pi * c;
      pr = r;
    }
    kernel.k2[t] = s != 0.0 ? (re * re + im * im) / (s * s) : 0.0;
  }
  return kernel;
}

double KernelAt(const Kernel& k, double delta) {
  delta = std::fabs(delta);
  const double x = delta * kKernelSteps;
  if (x >= kKernelSpan) return k.k2[kKernelSpan];
  const int i = static_cast<int>(x);
  const double f = x - i;
  return k.k2[i] * (1.0 - f) + k.k2[i + 1] * f;
}

// The offset δ (0 … 0.5 lines towards the larger neighbour) whose neighbour/peak power ratio
// the window's shape gives as r.
double OffsetOfRatio(const Kernel& k, double r) {
  double lo = 0.0, hi = 0.5;
  for (int it = 0; it < 48; ++it) {
    const double mid = 0.5 * (lo + hi);
    const double kp = KernelAt(k, mid);
    const double g = kp > 0.0 ? KernelAt(k, 1.0 - mid) / kp : 1.0;
    if (g < r)
      lo = mid;
    else
      hi = mid;
  }
  return 0.5 * (lo + hi);
}

// The weights that multiplied channel c's frame: a library window's set, else none.
const double* FrameWindow(int channel, int n) {
  static double ones[kMaxFrame];
  if (cus.window >= 1 && cus.window <= 8) return weightcoef + (channel == 0 ? 0 : kMaxFrame);
  for (int i = 0; i < n; ++i) ones[i] = 1.0;
  return ones;
}

int LobeOfWindow() {
  return cus.window >= 1 && cus.window <= 8 ? MainLobeHalfWidth(cus.window) : MainLobeHalfWidth(0);
}

}  // namespace

bool IsAutoSpectrum(int function) { return function == kFnSpectrumA || function == kFnSpectrumB; }

// ---- peak hold

void ClearPeakHold(int w) { peak[Win(w)].count = 0; }

void UpdatePeakHold(int w, const ViewState& v) {
  PeakHold& p = peak[Win(w)];
  if (!vopt[Win(w)].peakHold || !IsAutoSpectrum(v.function) || v.count < 1 ||
      v.count > kResultHalf) {
    return;
  }
  const bool same = p.count == v.count && p.function == v.function && p.yUnit == v.yUnit &&
                    p.xUnit == v.xUnit && p.integration == v.integration;
  if (!same) {
    p.count = v.count;
    p.function = v.function;
    p.yUnit = v.yUnit;
    p.xUnit = v.xUnit;
    p.integration = v.integration;
    std::copy(v.yData, v.yData + v.count, p.held);
    return;
  }
  for (int i = 0; i < v.count; ++i)
    if (v.yData[i] > p.held[i] || std::isnan(p.held[i])) p.held[i] = v.yData[i];
}

int PeakHoldShown(int w) {
  const ViewState& v = vs[Win(w)];
  const PeakHold& p = peak[Win(w)];
  if (!vopt[Win(w)].peakHold || !IsAutoSpectrum(v.function) || p.count != v.count ||
      p.function != v.function || p.yUnit != v.yUnit || p.xUnit != v.xUnit) {
    return 0;
  }
  return p.count;
}

// ---- spectrogram

void ClearSpectrogram(int w) {
  SpectroRing& s = spectro[Win(w)];
  s.filled = s.head = 0;
}

void SetSpectroRows(int w, int rows) {
  rows = std::clamp(rows, 1, kMaxSpectroRows);
  SpectroRing& s = spectro[Win(w)];
  if (s.rows == rows) return;
  s.rows = rows;
  ClearSpectrogram(w);
}

void FramePowers(const double* re, const double* im, int n, int lines, double* out) {
  const double s = 8.0 / (2.0 * n * 2.0 * n);
  for (int j = 0; j < lines; ++j) out[j] = s * (re[2 * j] * re[2 * j] + im[2 * j] * im[2 * j]);
}

void ConvertRow(double* y, int n, int yUnit, int integration, double df, double dbOffset) {
  (void)df;  // Δf of the model is what the conversions use
  ViewState t{};
  t.yData = y;
  t.count = n;
  t.integration = integration;
  t.yUnit = yUnit;
  t.dbOffset = dbOffset;
  t.yScale = 1.0;
  Integrations(&t);
  switch (yUnit) {
    case kYRms: AxisY_Unit(&t); break;
    case kYDensity: AxisY_Density(&t); break;
    case kYDb: AxisY_dB(&t, 10.0); break;
    default: break;
  }
}

void SpectroPush(int w, const double* power, int cols) {
  SpectroRing& s = spectro[Win(w)];
  const ViewState& v = vs[Win(w)];
  if (cols < 1 || cols > kMaxLines) return;
  if (s.rows < 1) s.rows = kMaxSpectroRows;
  if (s.cols != cols || s.function != v.function || s.yUnit != v.yUnit ||
      s.integration != v.integration) {
    s.cols = cols;
    s.function = v.function;
    s.yUnit = v.yUnit;
    s.integration = v.integration;
    ClearSpectrogram(w);
  }
  static double row[kMaxLines];
  std::copy(power, power + cols, row);
  const int inputNo = ChannelInput(v.function == kFnSpectrumA ? 0 : 1);
  ConvertRow(row, cols, v.yUnit, v.integration, sp.df, ChannelDbOffset(inputNo));
  float* dst = s.z + static_cast<size_t>(s.head) * kMaxLines;
  for (int j = 0; j < cols; ++j) dst[j] = static_cast<float>(row[j]);
  s.head = (s.head + 1) % s.rows;
  if (s.filled < s.rows) ++s.filled;
}

const float* SpectroRow(int w, int age) {
  const SpectroRing& s = spectro[Win(w)];
  if (age < 0 || age >= s.filled || s.rows < 1) return nullptr;
  const int r = ((s.head - 1 - age) % s.rows + s.rows) % s.rows;
  return s.z + static_cast<size_t>(r) * kMaxLines;
}

void SpectroFrame(int n) {
  const int lines = CheckedLines();
  if (n < 1 || lines < 1 || 2 * (lines - 1) >= 2 * n) return;
  static double power[kMaxLines];
  for (int w = 0; w < kWindows; ++w) {
    if (!vopt[w].spectrogram || !IsAutoSpectrum(vs[w].function)) continue;
    if (vs[w].function == kFnSpectrumA)
      FramePowers(Rx, Ix, n, lines, power);
    else
      FramePowers(Ry, Iy, n, lines, power);
    SpectroPush(w, power, lines);
  }
}

// ---- distortion

int AnalyzeDistortion(const double* p, int lines, double df, const double* w, int n, int lobe,
                      Distortion* d) {
  *d = Distortion{};
  if (lines < 2 * lobe + 4 || !(df > 0.0) || n < 2 || lobe < 1) return 0;
  const Kernel& k = KernelOf(w, n);
  // The strongest line above the lobe of DC and below the last line.
  int peakLine = -1;
  for (int j = lobe + 1; j < lines - 1; ++j)
    if (peakLine < 0 || p[j] > p[peakLine]) peakLine = j;
  if (peakLine < 0 || !(p[peakLine] > 0.0) || !std::isfinite(p[peakLine])) return 0;
  const int side = p[peakLine + 1] >= p[peakLine - 1] ? 1 : -1;
  const double delta = OffsetOfRatio(k, p[peakLine + side] / p[peakLine]);
  const double kp = KernelAt(k, delta);
  if (!(kp > 0.0)) return 0;
  const double c1 = peakLine + side * delta;  // the fundamental in lines
  d->line = peakLine;
  d->f0 = c1 * df;
  d->p1 = p[peakLine] / kp;
  // Harmonics at the multiples of the refined fundamental, each read through the window's shape
  // at its own offset from the nearest line, up to the band edge.
  double harmonics = 0.0;
  for (int h = 2; h <= kMaxDistOrders + 1; ++h) {
    const double c = h * c1;
    const int line = static_cast<int>(std::lround(c));
    if (line > lines - 1) break;
    const double kh = KernelAt(k, c - line);
    const double ph = kh > 0.0 ? p[line] / kh : 0.0;
    d->hf[h - 2] = c * df;
    d->hp[h - 2] = ph;
    harmonics += ph;
    d->orders = h - 1;
  }
  d->thd = std::sqrt(harmonics / d->p1);
  // Noise and distortion: every line but the fundamental's main lobe and the lobe of DC, less
  // what the fundamental itself leaks there through the window's side lobes. That leakage is
  // the window's spectrum moved to the fundamental: one transform of w·exp(j2π·i·c1/n).
  static double lr[kMaxFrame], li[kMaxFrame];
  const bool leakKnown = n <= kMaxFrame && (n & (n - 1)) == 0 && k.sum != 0.0;
  if (leakKnown) {
    for (int i = 0; i < n; ++i) {
      const double a = 2.0 * M_PI * std::fmod(static_cast<double>(i) * c1, n) / n;
      lr[i] = w[i] * std::cos(a);
      li[i] = w[i] * std::sin(a);
    }
    if (FFT(lr, li, n) != 0) std::fill(lr, lr + n, 0.0), std::fill(li, li + n, 0.0);
  }
  double rest = 0.0, leak = 0.0;
  for (int j = lobe + 1; j < lines; ++j) {
    if (std::fabs(j - c1) <= lobe) continue;
    rest += p[j];
    if (leakKnown && j < n) leak += (lr[j] * lr[j] + li[j] * li[j]) / (k.sum * k.sum);
  }
  const double nd = std::max(rest - d->p1 * leak, 0.0) / k.enbw;
  d->thdN = std::sqrt(nd / d->p1);
  d->sinad = nd > 0.0 ? (d->p1 + nd) / nd : 0.0;
  d->valid = 1;
  return 1;
}

int WindowDistortion(int w, Distortion* d) {
  *d = Distortion{};
  const ViewState& v = vs[Win(w)];
  const int n = CheckedFrameLen(), lines = CheckedLines();
  if (!IsAutoSpectrum(v.function) || n == 0 || lines == 0) return 0;
  static double p[kMaxLines];
  const double* g = v.function == kFnSpectrumA ? Gxx : Gyy;
  for (int j = 0; j < lines; ++j) p[j] = g[2 * j];
  return AnalyzeDistortion(p, lines, sp.df, FrameWindow(v.function == kFnSpectrumA ? 0 : 1, n), n,
                           LobeOfWindow(), d);
}

void DistortionText(const Distortion& d, double scale, const char* unit, char* buf, int bufSize) {
  if (bufSize < 1) return;
  buf[0] = '\0';
  if (!d.valid) {
    std::snprintf(buf, bufSize, "Искажения: нет тона");
    return;
  }
  const auto db = [](double ratio) { return ratio > 0.0 ? 20.0 * std::log10(ratio) : -400.0; };
  std::string t;
  char share[160];
  std::snprintf(share, sizeof share,
                "F0= %1.2f,Гц; %1.4g,%s; THD= %1.3f %% (%1.2f дБ); THD+N= %1.3f %% (%1.2f дБ); "
                "SINAD= %1.2f дБ;",
                d.f0, std::sqrt(d.p1) * scale, unit, 100.0 * d.thd, db(d.thd), 100.0 * d.thdN,
                db(d.thdN), d.sinad > 0.0 ? 10.0 * std::log10(d.sinad) : 0.0);
  t += share;
  for (int i = 0; i < d.orders; ++i) {
    std::snprintf(share, sizeof share, " %d: %1.1f,Гц %1.2f,дБ;", i + 2, d.hf[i],
                  d.hp[i] > 0.0 ? 10.0 * std::log10(d.hp[i] / d.p1) : -400.0);
    t += share;
  }
  std::snprintf(buf, bufSize, "%s", t.c_str());
}

// ---- confidence
//
// Normalised random errors of averaged spectral estimates from nd independent averages, to
// first order (J. S. Bendat, A. G. Piersol, "Random Data: Analysis and Measurement Procedures",
// 4th ed., Wiley 2010, Table 9.6):
//   coherence        ε[γ̂²] = √2·(1 − γ²) / (|γ|·√nd),   bias b[γ̂²] ≈ (1 − γ²)² / nd
//   gain factor      ε[|Ĥ|] = √(1 − γ²) / (|γ|·√(2nd))
//   phase factor     σ[φ̂] ≈ √(1 − γ²) / (|γ|·√(2nd))  radians
// The 95 % band is ±1.96 of these. Overlapping frames are counted as independent.

double CoherenceError(double g2, int nd) {
  if (nd < 1 || !(g2 > 0.0)) return INFINITY;
  g2 = std::min(g2, 1.0);
  return std::sqrt(2.0) * (1.0 - g2) / (std::sqrt(g2) * std::sqrt(static_cast<double>(nd)));
}

double CoherenceBias(double g2, int nd) {
  if (nd < 1) return 0.0;
  g2 = std::clamp(g2, 0.0, 1.0);
  return (1.0 - g2) * (1.0 - g2) / nd;
}

double GainError(double g2, int nd) {
  if (nd < 1 || !(g2 > 0.0)) return INFINITY;
  g2 = std::min(g2, 1.0);
  return std::sqrt(1.0 - g2) / (std::sqrt(g2) * std::sqrt(2.0 * nd));
}

double PhaseError(double g2, int nd) { return GainError(g2, nd); }

int AveragesTaken() {
  const int frames = rcu.avgCount - 1;
  if (frames < 1) return 0;
  // Exponential averaging with weight 1/K has the variance of 2K − 1 plain averages.
  if (rcu.expAver == 1) return std::min(frames, 2 * std::max(rcu.avgTarget, 1) - 1);
  return frames;
}

int ConfidenceBand(int w, const ViewState& v, double* lo, double* hi) {
  if (!vopt[Win(w)].confidence) return 0;
  const bool coherence = v.function == kFnCoherence;
  const bool response = v.function >= kFnFreqRespH1 && v.function <= kFnFreqResp1_H2 &&
                        (v.format == kMagnitude || v.format == kPhase);
  const int lines = CheckedLines();
  const int nd = AveragesTaken();
  if ((!coherence && !response) || v.count < 1 || v.count > lines || nd < 1) return 0;
  for (int j = 0; j < v.count; ++j) {
    const double gg = Gxx[2 * j] * Gyy[2 * j];
    const double c = Rxy[2 * j] * Rxy[2 * j] + Ixy[2 * j] * Ixy[2 * j];
    const double g2 = gg > 0.0 ? std::min(c / gg, 1.0) : 0.0;
    const double y = v.yData[j];
    if (coherence) {
      const double e = kZ95 * CoherenceError(g2, nd) * g2;
      const double centre = g2 - CoherenceBias(g2, nd);
      lo[j] = std::clamp(centre - e, 0.0, 1.0);
      hi[j] = std::clamp(centre + e, 0.0, 1.0);
    } else if (v.format == kPhase) {
      const double e = kZ95 * PhaseError(g2, nd) * 180.0 / M_PI;
      lo[j] = y - std::min(e, 180.0);
      hi[j] = y + std::min(e, 180.0);
    } else {
      const double e = kZ95 * GainError(g2, nd);
      if (v.yUnit == kYDb) {
        hi[j] = y + 20.0 * std::log10(1.0 + std::min(e, 1e6));
        lo[j] = e < 1.0 ? y + 20.0 * std::log10(1.0 - e) : v.yMin;
      } else {
        hi[j] = y * (1.0 + std::min(e, 1e6));
        lo[j] = e < 1.0 ? y * (1.0 - e) : 0.0;
      }
    }
  }
  return 1;
}

// ---- delta cursor

void DeltaText(const ViewState& v, int k1, int k2, char* buf, int bufSize) {
  if (bufSize < 1) return;
  buf[0] = '\0';
  if (k1 < 0 || k2 < 0 || k1 >= v.count || k2 >= v.count || v.xUnit != kXLines) return;
  const double df = (v.xData[k2] - v.xData[k1]) * v.xScale;
  const double y1 = v.yData[k1], y2 = v.yData[k2];
  double ddb = NAN;
  switch (v.yUnit) {
    case kYDb: ddb = y2 - y1; break;
    case kYPower:
    case kYDensity:
      if (y1 > 0.0 && y2 > 0.0) ddb = 10.0 * std::log10(y2 / y1);
      break;
    case kYLinear:
    case kYRms:
      if (y1 != 0.0 && y2 != 0.0) ddb = 20.0 * std::log10(std::fabs(y2 / y1));
      break;
    default: break;
  }
  if (std::isfinite(ddb))
    std::snprintf(buf, bufSize, "; Δf= %1.2f,Гц; ΔдБ= %1.2f", df, ddb);
  else if (std::isfinite(df))
    std::snprintf(buf, bufSize, "; Δf= %1.2f,Гц; ΔY= %1.3f", df, (y2 - y1) * v.yScale);
}

void ClearViews() {
  for (int w = 0; w < kWindows; ++w) {
    ClearPeakHold(w);
    ClearSpectrogram(w);
  }
}
