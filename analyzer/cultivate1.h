// Analysis functions: the table of measurement functions, the averaging of spectra and time
// frames, and the functions computed from the averages.
#pragma once

#include "analyzer/view1.h"

constexpr int kFunctions = 27;
constexpr int kFormats = 6;
constexpr int kUnitOptions = 7;
constexpr int kCursorModes = 6;
constexpr int kFuncPositions = 28;  // positions of the function ring, one beyond the table

// One entry of the function table. A display format f exists exactly when yUnits[f] is set;
// each row holds one flag per unit option (or cursor mode).
struct MeasFunction {
  int hasFormats;
  char name[30];     // as result descriptions name it
  const char* text;  // as the function rings show it
  ComputeFn compute;
  const int* yUnits[kFormats];
  const int* xUnits[kFormats];
  const int* cursorModes[kFormats];
  int funcmeas[4];  // offered under measurement type 0 … 3
  int fA, fB;       // may be shown with only channel A (B) on
  int gate;         // its window may gate the frame to the visible time range
  int integration;  // a spectrum that may be integrated once or twice
};

// 27 functions followed by one empty entry.
extern const MeasFunction cf[kFunctions + 1];
// Whether measurement type `type` offers function f.
inline bool FunctionOffered(int type, int f) {
  return type >= 0 && type < 4 && f >= 0 && f < kFunctions && cf[f].funcmeas[type] != 0;
}
extern const char exten[kFormats][10];  // "Real", "Image", "Mag.", "Phaze", "Nyquist", "Nichols"

// Histogram parameters (statistics type).
struct HistParams {
  int bins;
  double loA, hiA, loNormA, hiNormA;
  double loB, hiB, loNormB, hiNormB;
  double binWidthA, binWidthB;
  int sigmas;  // half-width of the range in standard deviations
};
extern HistParams pa;

// ---- statistics type (frames in ca/cb, n = dbuf.nframe): averaged histograms in Gxx/Gyy, bin
// centres in Rxy/Ixy, averaged mean square and mean in sp
int Statistics();
void AverProbHistogramm(int k);
void ParamHistogramm();  // the run's ranges from the current frame

// ---- averaging (one processed frame in Rx/Ry, N = cus.frameLen)
// One frame into the averages of the measurement type; 1 when a counted run has reached its
// target with it.
int MesurementType();
int LinExpAver();
int TimeAver();
// One spectral averaging step with weight 1/k; leaves the 2N-point spectra of the frame in
// Rx/Ix and Ry/Iy, updates Gxx, Gyy, Rxy, Ixy and sp.powerA/powerB.
void Averaging(double k);
// One synchronous time averaging step with weight 1/k.
void EnhancedTimeAver(double k);

// ---- the functions of the table
void SpectrumA(ViewState* v);
void SpectrumB(ViewState* v);
void AutoCorrelationA(ViewState* v);
void AutoCorrelationB(ViewState* v);
void Coherence(ViewState* v);
void Signal_Noise(ViewState* v);
void CoherPower(ViewState* v);
void NonCohPower(ViewState* v);
void CrossSpectrums(ViewState* v);
void CrossCorrelat(ViewState* v);
void FreqRespH1(ViewState* v);
void FreqResp1_H1(ViewState* v);
void FreqRespH2(ViewState* v);
void FreqResp1_H2(ViewState* v);
void Time_A(ViewState* v);
void Time_B(ViewState* v);
void TimeA_vs_B(ViewState* v);
void CepstrumA(ViewState* v);
void CepstrumB(ViewState* v);
void LiftSpecA(ViewState* v);
void LiftSpecB(ViewState* v);
void ProbDensityA(ViewState* v);
void ProbDensityB(ViewState* v);
void ProbDistribA(ViewState* v);
void ProbDistribB(ViewState* v);
void TimeA(ViewState* v);
void TimeB(ViewState* v);
// Symmetric amplitude limit of the time displays, in counts: the next power of ten of the
// peak in millivolts (from 0.1 mV up).
double GetMax(ViewState* v);

// ---- display-format helpers of the complex-valued functions (n = v->count)
void Real_Image(ViewState* v, const double* ax, const double* vals);
void MagnitudeFunc(ViewState* v, double* re, double* im, const double* ax);
void PhaseFunc(ViewState* v, double* re, double* im, const double* ax);
void NyquistFunc(ViewState* v, const double* re, const double* im);
void NicholsFunc(ViewState* v, double* re, double* im);
// The common six-format dispatch: format 0 real, 1 imaginary, 2 magnitude (then UnitWD_dB with
// factor), 3 phase, 4 Nyquist, 5 Nichols. Formats outside 0 … 5 leave the result unchanged.
void FormatDispatch(ViewState* v, const double* ax, double* re, double* im, double factor);
