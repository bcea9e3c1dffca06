// Views of a result window beyond its plain trace: peak hold, the spectrogram ring, distortion
// analysis of an auto spectrum and the confidence of two-channel estimates. All are off by
// default and, while off, touch nothing the window shows or saves. No Qt here: the panel side
// (views_panel.cpp) draws what these routines compute.
#pragma once

#include "analyzer/view1.h"

constexpr int kMaxSpectroRows = 256;  // frames a spectrogram holds
constexpr int kMaxDistOrders = 32;    // harmonics 2 … 33 at most
constexpr double kZ95 = 1.959963985;  // two-sided 95 % point of the normal distribution

// What the operator switched on, per window.
struct ViewOptions {
  int peakHold;
  int spectrogram;
  int confidence;
};
extern ViewOptions vopt[kWindows];

// ---- peak hold: the per-line maximum of the displayed auto spectrum (or band) since the start
struct PeakHold {
  int count;                                // held points, 0 = nothing held
  int function, yUnit, xUnit, integration;  // what the held values are
  double held[kResultHalf];
};
extern PeakHold peak[kWindows];

// Auto spectra (SpectrumA, SpectrumB) are the functions these views apply to.
bool IsAutoSpectrum(int function);
void ClearPeakHold(int w);
// Folds the window's present result into its hold; a change of function, units or length
// starts the hold afresh. Nothing happens while peak hold is off or the function is no auto
// spectrum.
void UpdatePeakHold(int w, const ViewState& v);
// Held points to draw or save for window w (0 while off or not applicable).
int PeakHoldShown(int w);

// ---- spectrogram: the last rows frames' line spectra in the window's unit
struct SpectroRing {
  int rows;    // frames held (kMaxSpectroRows unless set)
  int cols;    // lines per row
  int filled;  // rows holding a frame
  int head;    // the row the next frame goes to
  int function, yUnit, integration;
  float z[kMaxSpectroRows * kMaxLines];
};
extern SpectroRing spectro[kWindows];

void ClearSpectrogram(int w);
// Sets the ring's depth (1 … kMaxSpectroRows); a new depth starts it afresh. The drawing shows
// as many of the newest rows as the window's height takes.
void SetSpectroRows(int w, int rows);
// Appends one frame's line powers (counts², cols lines), converted to the window's present unit.
void SpectroPush(int w, const double* power, int cols);
// Row `age` (0 = newest) of window w's ring, or null.
const float* SpectroRow(int w, int age);
// Called for every frame the spectral averaging takes: the frame's own spectrum (Rx, Ix or Ry,
// Iy after the transform) goes to every window whose spectrogram is on.
void SpectroFrame(int n);

// Line power of one frame's 2N-point transform at line j, scaled as the averages are.
void FramePowers(const double* re, const double* im, int n, int lines, double* out);
// The unit conversion a window applies to an auto spectrum, on one row (integration first).
void ConvertRow(double* y, int n, int yUnit, int integration, double df, double dbOffset);

// ---- distortion of an auto spectrum
struct Distortion {
  int valid;
  int line;                   // strongest line
  double f0;                  // fundamental, Hz (interpolated)
  double p1;                  // fundamental power (counts², mean square)
  double thd;                 // √(Σ harmonic powers / p1)
  double thdN;                // √(everything but the fundamental's lobe and DC / p1)
  double sinad;               // (p1 + noise and distortion) / noise and distortion
  int orders;                 // harmonics measured: orders 2 … orders + 1
  double hf[kMaxDistOrders];  // harmonic frequency, Hz
  double hp[kMaxDistOrders];  // harmonic power, counts²
};

// Analyses the line powers p (lines values, spacing df) of a spectrum taken with the window
// coefficients w (n samples, the weights the frame was multiplied by) whose main lobe spans
// ±lobe lines. 1 with *d filled, 0 when there is no tone to analyse.
int AnalyzeDistortion(const double* p, int lines, double df, const double* w, int n, int lobe,
                      Distortion* d);
// Analysis of window w's auto spectrum as it stands (averages, window set of its channel).
int WindowDistortion(int w, Distortion* d);
// The readout: fundamental, THD, THD+N, SINAD and the harmonic table, one line.
void DistortionText(const Distortion& d, double scale, const char* unit, char* buf, int bufSize);

// ---- confidence of averaged two-channel estimates
// Normalised random errors for nd independent averages and true coherence g2 (see views.cpp).
double CoherenceError(double g2, int nd);
double CoherenceBias(double g2, int nd);
double GainError(double g2, int nd);
double PhaseError(double g2, int nd);  // standard deviation, radians
// Independent averages behind the present spectra.
int AveragesTaken();
// The 95 % band of window w's present result (coherence, a frequency response's magnitude or
// phase): 1 with lo/hi filled over v.count points, 0 when the window shows nothing it applies to.
int ConfidenceBand(int w, const ViewState& v, double* lo, double* hi);

// ---- delta cursor: cursor 2 against cursor 1 ("" when not both are placed)
void DeltaText(const ViewState& v, int k1, int k2, char* buf, int bufSize);

// Everything held by the views goes at a start.
void ClearViews();

// ---- panel side (views_panel.cpp)
