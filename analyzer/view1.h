// Result windows: the view record of each of the two graph windows, their evaluation and drawing,
// the reference memory, octave/third-octave bands, units, dB and axis labelling, the total
// readouts.
#pragma once

#include "analyzer/iirfilter.h"
#include "analyzer/model.h"

struct CalibrRecord;
struct HistParams;
struct ViewState;

using ComputeFn = void (*)(ViewState* v);

// The measurement functions, in the order of the function table and ring.
enum FunctionId : int {
  kFnSpectrumA,
  kFnSpectrumB,
  kFnAutoCorrelationA,
  kFnAutoCorrelationB,
  kFnCoherence,
  kFnSignal_Noise,
  kFnCoherPower,
  kFnNonCohPower,
  kFnCrossSpectrums,
  kFnCrossCorrelat,
  kFnFreqRespH1,
  kFnFreqResp1_H1,
  kFnFreqRespH2,
  kFnFreqResp1_H2,
  kFnTime_A,
  kFnTime_B,
  kFnTimeA_vs_B,
  kFnCepstrumA,
  kFnCepstrumB,
  kFnLiftSpecA,
  kFnLiftSpecB,
  kFnProbDensityA,
  kFnProbDensityB,
  kFnProbDistribA,
  kFnProbDistribB,
  kFnTimeA,
  kFnTimeB,
};

constexpr int kWindows = 2;
constexpr int kResultHalf = 16384;  // doubles per window in resX/resY/rt/it
constexpr int kOktCentres = 13;
constexpr int kOkt3Centres = 36;
constexpr double kDbFloor = 1e-20;  // relative floor of a power in dB (−200 dB)

// Y-unit options
enum : int {
  kYLinear = 0,
  kYRms = 1,
  kYPower = 2,
  kYDensity = 3,
  kYDb = 4,
  kYPhase = 5,
  kYProb = 6
};
// X-unit options
enum : int {
  kXReal = 0,
  kXAmplitude = 1,
  kXLines = 2,
  kXOctave = 3,
  kXThird = 4,
  kXTime = 5,
  kXPhase = 6
};
// Plot styles of a result
enum : int { kPlotLine = 0, kPlotBarsByIndex = 1, kPlotBars = 2, kPlotPoints = 3 };

// One graph window. The data arrays stay in converter counts (or counts²); xScale/yScale are the
// axis gains that turn them into physical units on the labels and readouts.
struct ViewState {
  int function;            // index into cf
  CalibrRecord* calib;     // cch
  HistParams* histParams;  // pa
  double xScale, yScale;
  double aspect;      // graph width / height
  ComputeFn compute;  // cf[function].compute
  int format;         // 0 … 5, or −1 for a single-format function
  int formatChoice;   // the format chosen, kept while a single-format function is shown
  int plotStyle;
  double* workRe;  // half of rt, scratch
  double* workIm;  // half of it, scratch
  double* yData;   // half of resY: the result
  double* xData;   // half of resX
  int yUnit, xUnit;
  int dbRange;  // dB span of the axis, 0 = automatic
  double dbTop, dbOffset;
  double yMin, yMax, xMin, xMax;                  // result ranges
  double viewXFrom, viewXTo, viewYFrom, viewYTo;  // visible ranges
  int count;                                      // result points
  int zoomed, gate;
  int integration;        // 0 none, 1 single, 2 double
  double normLo, normHi;  // histogram limits in RMS units
  int memState;           // 0 off, 1 capture pending, 2 held
  int memEqualize, memShow;
  // presentation
  int color;
  int cursorPoint, cursorMode, sbCentre, sbSpacing, sbBase, markCount;
  // axis-label caches: the ranges last labelled, and whether the last drawing relabelled an axis
  double labXFrom, labXTo, labYFrom, labYTo;
  int relabelled;
};

extern ViewState vs[kWindows];

// Reference memory per window: linear and dB copies.
extern double mem_wd[kWindows][kMaxLines];
extern double mem_dB[kWindows][kMaxLines];

// ---- evaluation and drawing
// Window w's result from the averages: its function, the reference memory and peak hold.
void EvaluateResult(int w);
// Window w's result and work arrays (its halves of resX, resY, rt, it) and its calibration.
void BindViewArrays(int w);
bool ValidFunction(int f);
// The gate window w asks for: the visible time range of a gated time display, else none.
GateSpan ViewGate(int w);
int YesNoViewFunction(int w);

// ---- window callbacks (toolkit callback form, EVENT_COMMIT only)

// ---- what each window shows (setters: 1 taken, 0 refused)
// Function i in window w: its formats and units (the previous choices where still offered), no
// gate, no integration unless a spectrum. A liftered spectrum puts its cepstrum in the other
// window, where the lifter interval is taken.
int SetFunction(int w, int i);
int SetWindowFormat(int w, int f);
int SetYUnit(int w, int u);
int SetXUnit(int w, int u);
int SetDbRange(int w, int db);
int SetDbTop(int w, double db);
int SetIntegration(int w, int n);
// What a window was left showing, taken as it is; the measurement type then keeps what fits.
struct WindowChoices {
  int function, format, yUnit, xUnit, dbRange;
  double dbTop;
};
int RestoreWindowChoices(int w, const WindowChoices& c);
// The visible range of window w: the box between two corners (0 when it encloses nothing a
// graph could show), or the whole result again. Gates and the other window's lifter take it.
int ZoomTo(int w, double x1, double x2, double y1, double y2);
void Unzoom(int w);
// A gated time display or cepstrum cuts its frame to the visible range (refused elsewhere).
int SetGate(int w, int on);
// Windows shown: 0 window 1, 1 window 2, 2 both.
int SetWindowSelection(int s);
// No reference held, none equalised or shown.
void ForgetMemory(int w);
// Equalising by the reference and showing it (shown only while one is held: 0 then).
int SetMemoryUse(int w, int equalize, int show);
// Reference memory of window w: 1 takes the next result as the reference, 0 forgets it.
int SetMemoryState(int w, int state);
// The unit rows window w offers now (7 flags each), for its function and format.
const int* OfferedYUnits(int w);
const int* OfferedXUnits(int w);
// Whether window w offers its reference memory (responses in magnitude or phase).
bool MemoryOffered(int w);

// ---- octave and third-octave bands
extern const double x_okt[kOktCentres];
extern const double okt_[kOktCentres + 1];
extern const double x_ok_3[kOkt3Centres];
extern const double okt3_[kOkt3Centres + 1];

int CallBandOkt(double f);
int CallBandOkt_3(double f);
void AxisX_Oktave(ViewState* v);
void AxisX_Oktave_3(ViewState* v);
// Sums the record's line powers (yData, `lines` values) into nb bands with the given edges
// (nb + 1 values), divides by the window's noise bandwidth and appends the sum as band nb.
void Union(ViewState* v, int nb, const double* edges);

// ---- units, dB and axes
void XYUnit(ViewState* v, double factor);
void AxisY_Unit(ViewState* v);
void AxisY_Density(ViewState* v);
void AxisY_dB(ViewState* v, double factor);
void UnitWD_dB(ViewState* v, double factor);
void Integrations(ViewState* v);
void AxisX_Band(ViewState* v);
int CallRange(double step);

// Pure helpers behind the labellers (exposed for tests).
// Time-axis unit for the visible end `to`: factor and text ("с.", "мс.", "мкс.").
void TimeAxisUnit(double to, double* factor, const char** unit);
// Overload of an input frame whose RMS is rms counts.
int Overloaded(double rms);
// The total readout text of window w (what SetTot shows), into buf.
void TotText(int w, char* buf, int bufSize);
