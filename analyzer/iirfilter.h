// Data windows as applied to the frames of channels A and B: the coefficient sets, the gates of
// the time displays and the window-type ring.
#pragma once

#include "analyzer/model.h"
#include "dsp/windows.h"

// Constants of the current data window (enbw in lines, coherent gain).
extern WindowConstants WC;

// Builds both coefficient sets of weightcoef and WC for the window type and frame length of c.
void WeightFunction(CusRecord* c);
// The data windows, in the order of the window ring (and of the window types of dsp/windows.h).
// A gate cuts the frame to a time interval, flat or falling exponentially, instead of
// weighting it.
enum : int { kWeighting = 0, kRectGate = 1, kExpGate = 2 };
struct DataWindow {
  const char* text;   // as the window ring shows it
  int gate;           // kWeighting, kRectGate or kExpGate
  int ringweight[4];  // offered under measurement type 0 … 3
};
constexpr int kWindowTypes = 10;
extern const DataWindow kDataWindows[kWindowTypes];
inline bool WindowOffered(int measType, int type) {
  return measType >= 0 && measType < 4 && type >= 0 && type < kWindowTypes &&
         kDataWindows[type].ringweight[measType] != 0;
}
inline int GateOf(int type) {
  return type >= 0 && type < kWindowTypes ? kDataWindows[type].gate : 0;
}
constexpr int kGateSets = 2;  // one gate per result window

// A time interval [from, to) in seconds; an empty one (from >= to) stands for the whole frame.
struct GateSpan {
  double from, to;
};

// Rebuilds coefficient set w (0, 1) as a rectangular or exponential gate over g.
void RectWeight(int w, GateSpan g);
void ExpWeight(int w, GateSpan g);
// Applies the data window to the current frames in Rx and Ry. Under a gate type, set w gates
// frame A (gated[w] 1) or B (2), or neither (0), over gates[w].
void WeightFrames(const GateSpan gates[kGateSets], const int gated[kGateSets]);
// WeightFrames with the gates the result windows ask for (their gated time displays).
void WeightCtrl();

// Anti-alias low-pass for the decimation cus.thin (cut-off 10 % above the analysis band), made
// afresh at every start; no filter without decimation.
void IIRFilterParam();
// Creates and designs the two anti-alias filters iir_ch (A, B) from cus, releasing the old ones.
void CascadeIIRFilter();
