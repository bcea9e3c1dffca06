// The function table, spectral and synchronous time averaging, and the auto power spectra.
#include "analyzer/cultivate1.h"

#include <cmath>

#include "analyzer/calibration.h"
#include "analyzer/iirfilter.h"
#include "analyzer/model.h"
#include "analyzer/view1_internal.h"
#include "analyzer/views.h"
#include "dsp/dsp.h"

HistParams pa;

namespace {

// Rows of unit and cursor flags shared by the table: one flag per option.
constexpr int Y1234[kUnitOptions] = {0, 1, 1, 1, 1, 0, 0};
constexpr int Y0[kUnitOptions] = {1, 0, 0, 0, 0, 0, 0};
constexpr int Y04[kUnitOptions] = {1, 0, 0, 0, 1, 0, 0};
constexpr int Y5[kUnitOptions] = {0, 0, 0, 0, 0, 1, 0};
constexpr int Y4[kUnitOptions] = {0, 0, 0, 0, 1, 0, 0};
constexpr int Y1[kUnitOptions] = {0, 1, 0, 0, 0, 0, 0};
constexpr int Y14[kUnitOptions] = {0, 1, 0, 0, 1, 0, 0};
constexpr int Y123[kUnitOptions] = {0, 1, 1, 1, 0, 0, 0};
constexpr int Y6[kUnitOptions] = {0, 0, 0, 0, 0, 0, 1};

constexpr int X234[kUnitOptions] = {0, 0, 1, 1, 1, 0, 0};
constexpr int X2[kUnitOptions] = {0, 0, 1, 0, 0, 0, 0};
constexpr int X5[kUnitOptions] = {0, 0, 0, 0, 0, 1, 0};
constexpr int X0[kUnitOptions] = {1, 0, 0, 0, 0, 0, 0};
constexpr int X6[kUnitOptions] = {0, 0, 0, 0, 0, 0, 1};
constexpr int X1[kUnitOptions] = {0, 1, 0, 0, 0, 0, 0};

constexpr int C01[kCursorModes] = {1, 1, 0, 0, 0, 0};
constexpr int C0[kCursorModes] = {1, 0, 0, 0, 0, 0};

// clang-format off
#define ONE(y, x, c) {y, nullptr, nullptr, nullptr, nullptr, nullptr}, \
                     {x, nullptr, nullptr, nullptr, nullptr, nullptr}, \
                     {c, nullptr, nullptr, nullptr, nullptr, nullptr}
// Six formats of a complex quantity: real, imaginary, magnitude, phase, Nyquist, Nichols.
#define CORR_FORMATS {Y0, Y0, Y04, Y5, Y0, Y04}, {X5, X5, X5, X5, X0, X6}, {C0, C0, C0, C0, C0, C0}
#define CROSS_FORMATS {Y0, Y0, Y04, Y5, Y0, Y04}, {X2, X2, X2, X2, X0, X6}, {C0, C0, C0, C0, C0, C0}
#define TIME_FORMATS {Y1, Y1, Y1, Y5, Y1, Y14}, {X5, X5, X5, X5, X1, X6}, {C0, C0, C0, C0, C0, C0}
#define CEPS_FORMATS {Y1, Y1, Y1, nullptr, nullptr, nullptr}, \
                     {X5, X5, X5, nullptr, nullptr, nullptr}, \
                     {C0, C0, C0, nullptr, nullptr, nullptr}
// clang-format on

constexpr double kHalfDc = 0.70710678118;

void CopyLines(const double* g, ViewState* v, int lines) {
  for (int j = 0; j < lines; ++j) v->yData[j] = g[2 * j];
}

// Powers of the averaged auto spectra: the displayed (even) elements over the noise bandwidth.
void TotalPowers(int n) {
  double a = 0.0, b = 0.0;
  for (int i = 0; i < n; i += 2) {
    a += Gxx[i];
    b += Gyy[i];
  }
  const double enbw = WC.enbw > 0.0 ? WC.enbw : 1.0;
  sp.powerA = a / enbw;
  sp.powerB = b / enbw;
}

// Extends both frames with N zeros and transforms them to 2N points; the DC element is scaled
// so that its power is half of the one-sided factor. Only the bins below N are read afterwards,
// so the mirrored upper half is not written.
void Transform2N(int n) {
  for (int i = n; i < 2 * n; ++i) Rx[i] = Ix[i] = Ry[i] = Iy[i] = 0.0;
  ReFFTHalf(Rx, Ix, 2 * n);
  ReFFTHalf(Ry, Iy, 2 * n);
  Rx[0] *= kHalfDc;
  Ry[0] *= kHalfDc;
}

// G = q·G + s·(spectrum products) for the auto and cross spectra of the transformed frames
// (Gxy = conj(X)·Y), then the total powers. q = 0 replaces the spectra.
void AccumulateSpectra(int n, double s, double q) {
  for (int i = 0; i < n; ++i) {
    const double xr = Rx[i], xi = Ix[i], yr = Ry[i], yi = Iy[i];
    Gxx[i] = q * Gxx[i] + s * (xr * xr + xi * xi);
    Gyy[i] = q * Gyy[i] + s * (yr * yr + yi * yi);
    Rxy[i] = q * Rxy[i] + s * (xr * yr + xi * yi);
    Ixy[i] = q * Ixy[i] + s * (xr * yi - xi * yr);
  }
  TotalPowers(n);
}

void AutoSpectrum(ViewState* v, const double* g, int input) {
  v->dbOffset = ChannelDbOffset(input);
  v->yScale = ChannelScale(input);
  const int lines = cus.lines;
  CopyLines(g, v, lines);
  if (v->integration != 0) Integrations(v);
  ResultRange(v->yData, lines, &v->yMax, &v->yMin);
  v->yScale = v->yScale * v->yScale;  // powers in counts², labels in unit²
  v->xScale = 1.0;
  v->count = lines;
  v->plotStyle = kPlotLine;
  XYUnit(v, 10.0);
}

// A counted run takes the plain mean of its frames and is done at the target; an exponential
// one weighs every frame by 1/target and runs until it is stopped.
int CountedOrExponential(void (*step)(double)) {
  if (rcu.expAver == 0) {
    step(rcu.avgCount);
    return rcu.avgCount >= rcu.avgTarget ? 1 : 0;
  }
  step(rcu.avgTarget);
  return 0;
}

}  // namespace

// Each function: its formats, units and cursor modes, the measurement types that offer it, the
// channel it needs alone (A, B, or both for the rest), whether its window may gate a time
// display and whether a spectrum may be integrated. Synchronous time averaging keeps one
// averaged frame pair, whose coherence is 1 on every line whatever the signals: coherence and
// the functions built on it are not offered there.
const MeasFunction cf[kFunctions + 1] = {
    {0, "SpectrumA", "Спектр A", SpectrumA, ONE(Y1234, X234, C01), {1, 1, 0, 1}, 1, 0, 0, 1},
    {0, "SpectrumB", "Спектр B", SpectrumB, ONE(Y1234, X234, C01), {1, 1, 0, 1}, 0, 1, 0, 1},
    {1,
     "AutoCorrelationA",
     "Автокорреляция A",
     AutoCorrelationA,
     CORR_FORMATS,
     {1, 1, 0, 1},
     1,
     0,
     0,
     0},
    {1,
     "AutoCorrelationB",
     "Автокорреляция B",
     AutoCorrelationB,
     CORR_FORMATS,
     {1, 1, 0, 1},
     0,
     1,
     0,
     0},
    {0, "Coherence", "Когерентность", Coherence, ONE(Y0, X2, C0), {1, 0, 0, 1}, 0, 0, 0, 0},
    {0, "Signal_Noise", "Сигнал/шум", Signal_Noise, ONE(Y4, X2, C0), {1, 0, 0, 1}, 0, 0, 0, 0},
    {0,
     "CoherPower",
     "Когерентная мощность",
     CoherPower,
     ONE(Y1234, X234, C0),
     {1, 0, 0, 1},
     0,
     0,
     0,
     0},
    {0,
     "NonCohPower",
     "Некогерентная мощность",
     NonCohPower,
     ONE(Y1234, X234, C0),
     {1, 0, 0, 1},
     0,
     0,
     0,
     0},
    {1,
     "CrossSpectrums",
     "Взаимный спектр",
     CrossSpectrums,
     CROSS_FORMATS,
     {1, 0, 0, 0},
     0,
     0,
     0,
     0},
    {1,
     "CrossCorrelat",
     "Взаимная корреляция",
     CrossCorrelat,
     CORR_FORMATS,
     {1, 1, 0, 1},
     0,
     0,
     0,
     0},
    {1, "FreqRespH1", "Частотная х-ка H1", FreqRespH1, CROSS_FORMATS, {1, 1, 0, 1}, 0, 0, 0, 0},
    {1,
     "FreqResp1_H1",
     "Обратная х-ка 1/H1",
     FreqResp1_H1,
     CROSS_FORMATS,
     {1, 0, 0, 1},
     0,
     0,
     0,
     0},
    {1, "FreqRespH2", "Частотная х-ка H2", FreqRespH2, CROSS_FORMATS, {1, 1, 0, 1}, 0, 0, 0, 0},
    {1,
     "FreqResp1_H2",
     "Обратная х-ка 1/H2",
     FreqResp1_H2,
     CROSS_FORMATS,
     {1, 0, 0, 1},
     0,
     0,
     0,
     0},
    {1, "Time_A", "Аналит. сигнал A", Time_A, TIME_FORMATS, {1, 0, 0, 1}, 1, 0, 1, 0},
    {1, "Time_B", "Аналит. сигнал B", Time_B, TIME_FORMATS, {1, 0, 0, 1}, 0, 1, 1, 0},
    {0, "TimeA_vs_B", "Сигнал B от A", TimeA_vs_B, ONE(Y1, X1, C0), {1, 0, 0, 1}, 0, 0, 0, 0},
    {1, "CepstrumA", "Кепстр A", CepstrumA, CEPS_FORMATS, {1, 1, 0, 0}, 1, 0, 1, 0},
    {1, "CepstrumB", "Кепстр B", CepstrumB, CEPS_FORMATS, {1, 1, 0, 0}, 0, 1, 1, 0},
    {0, "LiftSpecA", "Лифтр. спектр A", LiftSpecA, ONE(Y123, X2, C0), {1, 1, 0, 0}, 1, 0, 0, 0},
    {0, "LiftSpecB", "Лифтр. спектр B", LiftSpecB, ONE(Y123, X2, C0), {1, 1, 0, 0}, 0, 1, 0, 0},
    {0,
     "ProbDensityA",
     "Плотность вероятн. A",
     ProbDensityA,
     ONE(Y6, X1, C0),
     {0, 0, 1, 0},
     1,
     0,
     0,
     0},
    {0,
     "ProbDensityB",
     "Плотность вероятн. B",
     ProbDensityB,
     ONE(Y6, X1, C0),
     {0, 0, 1, 0},
     0,
     1,
     0,
     0},
    {0,
     "ProbDistribA",
     "Распределение A",
     ProbDistribA,
     ONE(Y04, X1, C0),
     {0, 0, 1, 0},
     1,
     0,
     0,
     0},
    {0,
     "ProbDistribB",
     "Распределение B",
     ProbDistribB,
     ONE(Y04, X1, C0),
     {0, 0, 1, 0},
     0,
     1,
     0,
     0},
    {0, "TimeA", "Реализация A", TimeA, ONE(Y1, X5, C0), {0, 0, 1, 0}, 1, 0, 0, 0},
    {0, "TimeB", "Реализация B", TimeB, ONE(Y1, X5, C0), {0, 0, 1, 0}, 0, 1, 0, 0},
    {0, "", "", nullptr, {}, {}, {}, {0, 0, 0, 0}, 0, 0, 0, 0},
};

#undef ONE
#undef CORR_FORMATS
#undef CROSS_FORMATS
#undef TIME_FORMATS
#undef CEPS_FORMATS

const char exten[kFormats][10] = {"Real", "Image", "Mag.", "Phaze", "Nyquist", "Nichols"};

// ---- averaging

int MesurementType() {
  switch (rcu.measType) {
    case 0:
    case 3: return LinExpAver();
    case 1: return TimeAver();
    case 2: return Statistics();
    default: return 0;
  }
}

int LinExpAver() { return CountedOrExponential(Averaging); }
int TimeAver() { return CountedOrExponential(EnhancedTimeAver); }

void Averaging(double k) {
  const int n = CheckedFrameLen();
  if (n == 0 || !(k >= 1.0)) return;
  Transform2N(n);
  SpectroFrame(n);
  AccumulateSpectra(n, (1.0 / k) * 8.0 / (2.0 * n * 2.0 * n), 1.0 - 1.0 / k);
}

void EnhancedTimeAver(double k) {
  const int n = CheckedFrameLen();
  if (n == 0 || !(k >= 1.0)) return;
  const double p = 1.0 / k, q = 1.0 - 1.0 / k;
  for (int i = 0; i < n; ++i) {
    cha[i] = q * cha[i] + p * Rx[i];
    Rx[i] = cha[i];
    chb[i] = q * chb[i] + p * Ry[i];
    Ry[i] = chb[i];
  }
  Transform2N(n);
  // The spectra are those of the averaged frames, replaced on every step.
  AccumulateSpectra(n, 8.0 / (2.0 * n * 2.0 * n), 0.0);
}

// ---- auto power spectra

void SpectrumA(ViewState* v) { AutoSpectrum(v, Gxx, rcu.chanA); }
void SpectrumB(ViewState* v) { AutoSpectrum(v, Gyy, rcu.chanB); }

// ---- display formats of complex-valued functions

void Real_Image(ViewState* v, const double* ax, const double* vals) {
  const int n = v->count;
  if (n < 1) return;
  for (int i = 0; i < n; ++i) {
    v->yData[i] = vals[i];
    v->xData[i] = ax[i];
  }
  v->xMin = ax[0];
  v->xMax = ax[n - 1];
  ResultRange(vals, n, &v->yMax, &v->yMin);
}

void MagnitudeFunc(ViewState* v, double* re, double* im, const double* ax) {
  const int n = v->count;
  if (n < 1) return;
  ToPolar1D(re, im, n, v->yData, im);
  for (int i = 0; i < n; ++i) v->xData[i] = ax[i];
  ResultRange(v->yData, n, &v->yMax, &v->yMin);
  v->xMin = ax[0];
  v->xMax = ax[n - 1];
}

void PhaseFunc(ViewState* v, double* re, double* im, const double* ax) {
  const int n = v->count;
  if (n < 1) return;
  ToPolar1D(re, im, n, re, v->yData);
  for (int i = 0; i < n; ++i) {
    v->yData[i] *= 57.29577951308232;
    v->xData[i] = ax[i];
  }
  v->xMin = ax[0];
  v->xMax = ax[n - 1];
}

void NyquistFunc(ViewState* v, const double* re, const double* im) {
  const int n = v->count;
  if (n < 1) return;
  for (int i = 0; i < n; ++i) {
    v->yData[i] = im[i];
    v->xData[i] = re[i];
  }
  ResultRange(v->yData, n, &v->yMax, &v->yMin);
  ResultRange(v->xData, n, &v->xMax, &v->xMin);
}

void NicholsFunc(ViewState* v, double* re, double* im) {
  const int n = v->count;
  if (n < 1) return;
  ToPolar1D(re, im, n, v->yData, v->xData);
  ResultRange(v->yData, n, &v->yMax, &v->yMin);
  for (int i = 0; i < n; ++i) v->xData[i] *= 57.29577951308232;
}

void FormatDispatch(ViewState* v, const double* ax, double* re, double* im, double factor) {
  switch (v->format) {
    case 0: Real_Image(v, ax, re); break;
    case 1: Real_Image(v, ax, im); break;
    case 2:
      MagnitudeFunc(v, re, im, ax);
      UnitWD_dB(v, factor);
      break;
    case 3:
      PhaseFunc(v, re, im, ax);
      v->yMax = 180.0;
      v->yMin = -180.0;
      break;
    case 4:
      NyquistFunc(v, re, im);
      v->plotStyle = kPlotPoints;
      break;
    case 5:
      NicholsFunc(v, re, im);
      v->plotStyle = kPlotPoints;
      UnitWD_dB(v, 20.0);
      v->xMax = 180.0;
      v->xMin = -180.0;
      break;
    default: break;
  }
}
