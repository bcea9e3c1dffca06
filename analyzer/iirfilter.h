// Data windows as applied to the frames of channels A and B: the coefficient sets, the gates of
// the time displays and the window-type ring.
#pragma once

#include "analyzer/initstruct.h"
#include "dsp/windows.h"

// Constants of the current data window (enbw in lines, coherent gain).
extern WindowConstants WC;

// Builds both coefficient sets of weightcoef and WC for the window type and frame length of c.
void WeightFunction(CusRecord* c);
// Rebuilds coefficient set w (0, 1) as a rectangular or exponential gate over the visible time
// range of a gated time display of window w, else over the whole frame.
void RectWeight(int w);
void ExpWeight(int w);
// Applies the data window to the current frames in Rx and Ry.
void WeightCtrl();
// Commit callback of the window-type ring.
int Weight(int panel, int control, int event, void* callbackData, int eventData1, int eventData2);

// Anti-alias low-pass for the decimation cus.thin (cut-off 10 % above the analysis band), made
// afresh at every start; no filter without decimation.
void IIRFilterParam();
// Creates and designs the two anti-alias filters iir_ch (A, B) from cus, releasing the old ones.
void CascadeIIRFilter();
