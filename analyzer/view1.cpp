// Evaluation of the two result windows from the averages, and their reference memory.
#include "analyzer/view1.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "analyzer/calibration.h"
#include "analyzer/cultivate1.h"
#include "analyzer/iirfilter.h"
#include "analyzer/view1_internal.h"
#include "analyzer/views.h"
#include "dsp/dsp.h"

ViewState vs[kWindows];
double mem_wd[kWindows][kMaxLines];
double mem_dB[kWindows][kMaxLines];

namespace {

int MemLen(const ViewState& v) {
  return v.count < kMaxLines ? (v.count > 0 ? v.count : 0) : kMaxLines;
}

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

bool GateOffered(int function) { return ValidFunction(function) && cf[function].gate != 0; }

int YesNoViewFunction(int w) {
  const int f = vs[w].function;
  if (!ValidFunction(f)) return 0;
  if (rcu.onA && rcu.onB) return 1;
  if (rcu.onA) return cf[f].fA;
  if (rcu.onB) return cf[f].fB;
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
  // An unzoomed window sees its whole result; the gates and the other window's lifter take
  // the range it sees.
  if (!v.zoomed) {
    v.viewXFrom = v.xMin;
    v.viewXTo = v.xMax;
    v.viewYFrom = v.yMin;
    v.viewYTo = v.yMax;
  }
}

void BindViewArrays(int w) {
  ViewState& v = vs[w];
  v.workRe = rt + w * kResultHalf;
  v.workIm = it + w * kResultHalf;
  v.yData = resY + w * kResultHalf;
  v.xData = resX + w * kResultHalf;
  v.calib = &cch;
  v.histParams = &pa;
}

bool ValidFunction(int f) { return f >= 0 && f < kFunctions; }

GateSpan ViewGate(int w) {
  const ViewState& v = vs[w];
  if (v.gate == 1 && (v.function == kFnTime_A || v.function == kFnTime_B))
    return {v.viewXFrom, v.viewXTo};
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

// ---- what each window shows

namespace {

const MeasFunction& Entry(int function) { return cf[ValidFunction(function) ? function : 0]; }

int FormatRow(const ViewState& v) { return v.format > 0 && v.format < kFormats ? v.format : 0; }

// Units follow the function and format; a reference is kept only for another unit of the
// same curve.
void ChooseUnits(int w) {
  ViewState& v = vs[w];
  v.yUnit = KeepOrFirst(v.yUnit, OfferedYUnits(w), kUnitOptions, 0);
  v.xUnit = KeepOrFirst(v.xUnit, OfferedXUnits(w), kUnitOptions, 0);
  if (MemoryOffered(w) && MemoryHeldForView(w)) return;
  v.memState = v.memEqualize = v.memShow = 0;
}

}  // namespace

const int* OfferedYUnits(int w) {
  const ViewState& v = vs[w];
  const MeasFunction& m = Entry(v.function);
  const int f = FormatRow(v);
  return m.yUnits[f] ? m.yUnits[f] : m.yUnits[0];
}

const int* OfferedXUnits(int w) {
  const ViewState& v = vs[w];
  const MeasFunction& m = Entry(v.function);
  const int f = FormatRow(v);
  return m.xUnits[f] ? m.xUnits[f] : m.xUnits[0];
}

bool MemoryOffered(int w) {
  const ViewState& v = vs[w];
  return v.function >= kFnFreqRespH1 && v.function <= kFnFreqResp1_H2 &&
         (v.format == 2 || v.format == 3);
}

int SetFunction(int w, int i) {
  if (w < 0 || w >= kWindows || !ValidFunction(i)) return 0;
  ViewState& v = vs[w];
  v.gate = 0;
  if (i == kFnLiftSpecA || i == kFnLiftSpecB) {
    SetFunction(1 - w, i == kFnLiftSpecA ? kFnCepstrumA : kFnCepstrumB);
  }
  v.function = i;
  if (!cf[i].integration) v.integration = 0;
  v.compute = cf[i].compute;
  if (cf[i].hasFormats == 1) {
    int exists[kFormats];
    for (int f = 0; f < kFormats; ++f) exists[f] = cf[i].yUnits[f] != nullptr;
    v.formatChoice = KeepOrFirst(v.formatChoice, exists, kFormats, 0);
    v.format = v.formatChoice;
  } else {
    v.format = -1;
  }
  ChooseUnits(w);
  return 1;
}

int SetWindowFormat(int w, int f) {
  if (w < 0 || w >= kWindows || f < 0 || f >= kFormats) return 0;
  ViewState& v = vs[w];
  if (!ValidFunction(v.function) || cf[v.function].hasFormats != 1 ||
      cf[v.function].yUnits[f] == nullptr) {
    return 0;
  }
  v.formatChoice = v.format = f;
  ChooseUnits(w);
  return 1;
}

int SetYUnit(int w, int u) {
  if (w < 0 || w >= kWindows || u < 0 || u >= kUnitOptions) return 0;
  const int* row = OfferedYUnits(w);
  if (row == nullptr || !row[u]) return 0;
  vs[w].yUnit = u;
  ChooseUnits(w);
  return 1;
}

int SetXUnit(int w, int u) {
  if (w < 0 || w >= kWindows || u < 0 || u >= kUnitOptions) return 0;
  const int* row = OfferedXUnits(w);
  if (row == nullptr || !row[u]) return 0;
  vs[w].xUnit = u;
  return 1;
}

int SetDbRange(int w, int db) {
  if (w < 0 || w >= kWindows || db < 0) return 0;
  vs[w].dbRange = db;
  ChooseUnits(w);
  return 1;
}

int SetDbTop(int w, double db) {
  if (w < 0 || w >= kWindows || !std::isfinite(db)) return 0;
  vs[w].dbTop = db;
  ChooseUnits(w);
  return 1;
}

int SetMemoryState(int w, int state) {
  if (w < 0 || w >= kWindows || state < 0 || state > 1) return 0;
  vs[w].memState = state;
  // A reference about to be taken starts empty.
  const int n = CheckedLines() > 0 ? CheckedLines() : kMaxLines;
  for (int i = 0; i < n; ++i) mem_wd[w][i] = mem_dB[w][i] = 0.0;
  return 1;
}

void ForgetMemory(int w) {
  if (w < 0 || w >= kWindows) return;
  vs[w].memState = vs[w].memEqualize = vs[w].memShow = 0;
}

int SetMemoryUse(int w, int equalize, int show) {
  if (w < 0 || w >= kWindows) return 0;
  vs[w].memEqualize = equalize ? 1 : 0;
  // Only a reference held can be shown.
  vs[w].memShow = show && vs[w].memState == 2 ? 1 : 0;
  return 1;
}

int RestoreWindowChoices(int w, const WindowChoices& c) {
  if (w < 0 || w >= kWindows) return 0;
  ViewState& v = vs[w];
  if (ValidFunction(c.function)) v.function = c.function;
  if (c.format >= 0 && c.format < kFormats) v.formatChoice = c.format;
  if (c.yUnit >= 0 && c.yUnit < kUnitOptions) v.yUnit = c.yUnit;
  if (c.xUnit >= 0 && c.xUnit < kUnitOptions) v.xUnit = c.xUnit;
  if (c.dbRange >= 0) v.dbRange = c.dbRange;
  if (std::isfinite(c.dbTop)) v.dbTop = c.dbTop;
  return 1;
}

int ZoomTo(int w, double x1, double x2, double y1, double y2) {
  if (w < 0 || w >= kWindows) return 0;
  // Corners on one vertical or horizontal line enclose nothing to show; nor does a box so
  // narrow that its axis could carry no distinct labels.
  if (!(x1 != x2 && y1 != y2) || !std::isfinite(x1 + x2 + y1 + y2)) return 0;
  const double minWidth = 1e-9 * std::fmax(std::fabs(x1), std::fabs(x2));
  const double minHeight = 1e-9 * std::fmax(std::fabs(y1), std::fabs(y2));
  if (std::fabs(x2 - x1) <= minWidth || std::fabs(y2 - y1) <= minHeight) return 0;
  ViewState& v = vs[w];
  v.viewXFrom = std::fmin(x1, x2);
  v.viewXTo = std::fmax(x1, x2);
  v.viewYFrom = std::fmin(y1, y2);
  v.viewYTo = std::fmax(y1, y2);
  v.zoomed = 1;
  return 1;
}

void Unzoom(int w) {
  if (w >= 0 && w < kWindows) vs[w].zoomed = 0;
}

int SetGate(int w, int on) {
  if (w < 0 || w >= kWindows) return 0;
  if (on && !GateOffered(vs[w].function)) return 0;
  vs[w].gate = on ? 1 : 0;
  return 1;
}

int SetWindowSelection(int s) {
  if (s < 0 || s > 2) return 0;
  rcu.winsel = s;
  return 1;
}

int SetIntegration(int w, int n) {
  if (w < 0 || w >= kWindows || n < 0 || n > 2) return 0;
  if (n != 0 && !(ValidFunction(vs[w].function) && cf[vs[w].function].integration)) return 0;
  vs[w].integration = n;
  return 1;
}
