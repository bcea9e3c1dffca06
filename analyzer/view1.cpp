// Evaluation of the two result windows from the averages, and their reference memory.
#include "analyzer/view1.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "analyzer/cultivate1.h"
#include "analyzer/iirfilter.h"
#include "analyzer/view1_internal.h"
#include "analyzer/views.h"
#include "dsp/dsp.h"

ViewState vs[kWindows];
double mem_wd[kWindows][kMaxLines];
double mem_dB[kWindows][kMaxLines];

namespace {




int MemLen(const ViewState& v) { return v.count < kMaxLines ? (v.count > 0 ? v.count : 0) : kMaxLines; }

// dB copy of a linear reference, with the floor the dB axis uses.
void LinearToDb(const double* lin, double* db, int n) {
  double mx, mn;
  ResultRange(lin, n, &mx, &mn);
  const double floor = mx > 0.0 && std::isfinite(mx) ? kDbFloor * mx : kDbFloor;
  for (int i = 0; i < n; ++i) {
    const double y = lin[i] >= floor ? lin[i] : floor;
    db[i] = 20.0 * std::log10(std::isfinite(y) ? y : floor);
  }
}

// The function and format each window's reference was taken of.
int memFunction[kWindows] = {-1, -1};
int memFormat[kWindows] = {-1, -1};

void CaptureMemory(int w) {
  ViewState& v = vs[w];
  memFunction[w] = v.function;
  memFormat[w] = v.format;
  const int n = MemLen(v);
  switch (v.yUnit) {
    case kYLinear:
      for (int i = 0; i < n; ++i) mem_wd[w][i] = v.yData[i];
      LinearToDb(mem_wd[w], mem_dB[w], n);
      break;
    case kYDb:
      for (int i = 0; i < n; ++i) {
        mem_dB[w][i] = v.yData[i];
        mem_wd[w][i] = std::pow(10.0, 0.05 * mem_dB[w][i]);
      }
      break;
    case kYPhase:
      for (int i = 0; i < n; ++i) mem_dB[w][i] = v.yData[i];
      break;
    default: break;
  }
  v.memState = 2;
}

void EqualizeWithMemory(int w) {
  ViewState& v = vs[w];
  const int n = MemLen(v);
  if (v.yUnit == kYLinear) {
    // Every line with a divisor is equalised; a line without one (nothing measured there) has
    // no ratio and shows 0.
    for (int i = 0; i < n; ++i) v.yData[i] = v.yData[i] != 0.0 ? mem_wd[w][i] / v.yData[i] : 0.0;
  } else if (v.yUnit == kYDb || v.yUnit == kYPhase) {
    for (int i = 0; i < n; ++i) v.yData[i] = mem_dB[w][i] - v.yData[i];
  } else {
    return;
  }
  ResultRange(v.yData, v.count, &v.yMax, &v.yMin);
}

void ShowMemory(int w) {
  ViewState& v = vs[w];
  const int n = MemLen(v);
  if (v.yUnit == kYLinear) {
    for (int i = 0; i < n; ++i) v.yData[i] = mem_wd[w][i];
  } else if (v.yUnit == kYDb || v.yUnit == kYPhase) {
    for (int i = 0; i < n; ++i) v.yData[i] = mem_dB[w][i];
  } else {
    return;
  }
  ResultRange(v.yData, v.count, &v.yMax, &v.yMin);
}

}  // namespace


bool MemoryHeldForView(int w) {
  const ViewState& v = vs[w];
  return v.memState == 2 && v.function == memFunction[w] && v.format == memFormat[w];
}

bool GateOffered(int function) {
  return function == kFnTime_A || function == kFnTime_B || function == kFnCepstrumA ||
         function == kFnCepstrumB;
}


int YesNoViewFunction(int w) {
  const int f = vs[w].function;
  if (!ValidFunction(f)) return 0;
  if (rcu.onA && rcu.onB) return 1;
  if (rcu.onA) return fA[f];
  if (rcu.onB) return fB[f];
  return 0;
}


void EvaluateResult(int w) {
  if (w != 0 && w != 1) return;
  ViewState& v = vs[w];
  if (v.compute) v.compute(&v);
  if (start == 0) {
    if (v.memState == 1) CaptureMemory(w);
    if (v.memState == 2 && v.memEqualize == 1) EqualizeWithMemory(w);
  }
  if (v.memShow == 1 && v.memState == 2) ShowMemory(w);
  UpdatePeakHold(w, v);
}

bool ValidFunction(int f) { return f >= 0 && f < kFunctions; }

GateSpan ViewGate(int w) {
  const ViewState& v = vs[w];
  if (v.gate == 1 && (v.function == kFnTime_A || v.function == kFnTime_B)) return {v.viewXFrom, v.viewXTo};
  return {0.0, 0.0};
}

void WeightCtrl() {
  GateSpan gates[kGateSets];
  int gated[kGateSets];
  for (int w = 0; w < kGateSets; ++w) {
    gates[w] = ViewGate(w);
    gated[w] = vs[w].function == kFnTime_A ? 1 : vs[w].function == kFnTime_B ? 2 : 0;
  }
  WeightFrames(gates, gated);
}
