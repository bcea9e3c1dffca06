// Drawing of the two result windows, their function and format selection, the reference memory
// toggles and the plot colours.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "analyzer/cultivate1.h"
#include "analyzer/file_ctrl.h"
#include "analyzer/iirfilter.h"
#include "analyzer/modules.h"
#include "analyzer/panels.h"
#include "analyzer/setters.h"
#include "analyzer/view1.h"
#include "analyzer/view1_internal.h"
#include "analyzer/view1_panel.h"
#include "analyzer/views.h"
#include "ui/userint.h"

namespace {

constexpr int kMemoryHeld = 65280;  // green: a reference is held
constexpr int kTotalBarColor = 0x808080;

const WindowControls kControls[kWindows] = {
    {MAIN_Graph1, MAIN_FunctionRing1, MAIN_FormatRing1, MAIN_YUnitRing1, MAIN_XUnitRing1,
     MAIN_DbRangeRing1, MAIN_DbTopField1, MAIN_IntegrationRing1, MAIN_CursorModeRing1,
     MAIN_GateToggle1, MAIN_MemoryToggle1, MAIN_EqualizeToggle1, MAIN_ShowMemoryToggle1,
     MAIN_TotalReadout1, MAIN_OverloadLedA},
    {MAIN_Graph2, MAIN_FunctionRing2, MAIN_FormatRing2, MAIN_YUnitRing2, MAIN_XUnitRing2,
     MAIN_DbRangeRing2, MAIN_DbTopField2, MAIN_IntegrationRing2, MAIN_CursorModeRing2,
     MAIN_GateToggle2, MAIN_MemoryToggle2, MAIN_EqualizeToggle2, MAIN_ShowMemoryToggle2,
     MAIN_TotalReadout2, MAIN_OverloadLedB},
};

// The measuring cursor's colour: white or magenta, whichever differs more from the trace.
int ContrastColor(int trace) {
  auto distance = [trace](int c) {
    int d = 0;
    for (int shift : {0, 8, 16}) d += std::abs(((trace >> shift) & 0xFF) - ((c >> shift) & 0xFF));
    return d;
  };
  return distance(0xFF00FF) > distance(0xFFFFFF) ? 0xFF00FF : 0xFFFFFF;
}

}  // namespace

const WindowControls& WindowCtrl(int w) { return kControls[w == 0 ? 0 : 1]; }

void RefillRing(int panel, int control, const char (*labels)[kItemText], const int* flags, int n,
                int choice) {
  int previous = choice;
  const bool had = choice >= 0 || GetCtrlVal(panel, control, &previous) >= 0;
  ClearListCtrl(panel, control);
  int index = 0, keep = -1;
  for (int p = 0; p < n; ++p) {
    if (!flags || !flags[p]) continue;
    InsertListItem(panel, control, -1, labels[p], p);
    if (had && p == previous) keep = index;
    ++index;
  }
  if (index > 0) SetCtrlIndex(panel, control, keep >= 0 ? keep : 0);
}

int WindowOf(int control, int first, int second) {
  if (control == first) return 0;
  if (control == second) return 1;
  return -1;
}

int ViewResult(int w) {
  if (w != 0 && w != 1) return 0;
  const int held = vs[w].memState;
  EvaluateResult(w);
  if (held == 1 && vs[w].memState == 2) {
    SetCtrlAttribute(mainpanel, kControls[w].memoryToggle, ATTR_ON_COLOR, kMemoryHeld);
  }
  SetTot(w);
  ShowDistortion(w);
  if (YesNoViewFunction(w) != 1) {
    // A function whose channel is off shows nothing, not the trace of what was there before.
    ClearSideBandMarks(w);
    DeleteGraphPlot(mainpanel, kControls[w].graph, -1, VAL_DELAYED_DRAW);
    ClearReadout(w);
    return 0;
  }
  const int drawn = ViewGraph(w);
  RefreshCursor(w);
  return drawn;
}

void ClearResults() {
  for (int w = 0; w < kWindows; ++w) {
    ClearSideBandMarks(w);
    DeleteGraphPlot(mainpanel, kControls[w].graph, -1, VAL_DELAYED_DRAW);
    ClearReadout(w);
    SetCtrlVal(mainpanel, kControls[w].totalReadout, "");
  }
}

int ViewGraph(int w) {
  ViewState& v = vs[w];
  const int graph = kControls[w].graph;
  ClearSideBandMarks(w);
  v.relabelled = 0;
  AxisX(w);
  AxisY(w);
  if (v.relabelled && sp.dataReady == 1) SetCursorsZoom(w);
  DeleteGraphPlot(mainpanel, graph, -1, VAL_DELAYED_DRAW);
  if (v.count < 1) return 0;
  if (DrawSpectrogram(w)) return 1;
  int handle = 0;
  switch (v.plotStyle) {
    case kPlotLine:
      handle = PlotXY(mainpanel, graph, v.xData, v.yData, v.count - 1, VAL_DOUBLE, VAL_DOUBLE,
                      VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1, v.color);
      break;
    case kPlotBarsByIndex:
      handle = PlotY(mainpanel, graph, v.yData, v.count, VAL_DOUBLE, VAL_VERTICAL_BAR,
                     VAL_EMPTY_SQUARE, VAL_SOLID, 1, v.color);
      // The last bar of a band display is the total of all bands, not a band: drawn over in
      // grey so it is not read as the highest band.
      if (handle > 0 && v.count > 1 && (v.xUnit == kXOctave || v.xUnit == kXThird)) {
        const double at = v.count - 1;
        PlotXY(mainpanel, graph, &at, v.yData + v.count - 1, 1, VAL_DOUBLE, VAL_DOUBLE,
               VAL_VERTICAL_BAR, VAL_NO_POINT, VAL_SOLID, 1, kTotalBarColor);
      }
      break;
    case kPlotBars:
      handle = PlotXY(mainpanel, graph, v.xData, v.yData, v.count, VAL_DOUBLE, VAL_DOUBLE,
                      VAL_VERTICAL_BAR, VAL_NO_POINT, VAL_SOLID, 1, v.color);
      break;
    case kPlotPoints:
      handle = PlotXY(mainpanel, graph, v.xData, v.yData, v.count, VAL_DOUBLE, VAL_DOUBLE,
                      VAL_SCATTER, VAL_SIMPLE_DOT, VAL_DOT, 1, v.color);
      break;
    default: break;
  }
  DrawViewTraces(w);
  return handle > 0 ? 1 : 0;
}

// ---- function and format selection

// The controls of window w show the function, gate, integration, format and units it shows.
void ShowWindow(int w) {
  const WindowControls& c = kControls[w];
  const ViewState& v = vs[w];
  SetCtrlVal(mainpanel, c.functionRing, v.function);
  SetCtrlVal(mainpanel, c.gateToggle, v.gate);
  SetCtrlAttribute(mainpanel, c.gateToggle, ATTR_DIMMED, GateOffered(v.function) ? 0 : 1);
  const bool integrable = cf[v.function].integration != 0;
  SetCtrlVal(mainpanel, c.integrationRing, v.integration);
  SetCtrlAttribute(mainpanel, c.integrationRing, ATTR_DIMMED, integrable ? 0 : 1);
  if (cf[v.function].hasFormats == 1) {
    SetExtentionFunction(w);
    // A window that is not shown keeps its controls out of sight.
    SetCtrlAttribute(mainpanel, c.formatRing, ATTR_VISIBLE,
                     rcu.winsel == 2 || rcu.winsel == w ? 1 : 0);
    SetCtrlAttribute(mainpanel, c.formatRing, ATTR_DIMMED, 0);
  } else {
    SetCtrlAttribute(mainpanel, c.formatRing, ATTR_DIMMED, 1);
  }
  ShowUnits(w);
  SetCursorsItem(w);
}

// A window's new choice on the panel and in its drawing.
static void Reshow(int w) {
  ShowWindow(w);
  Commit(CursorSyn, mainpanel, MAIN_CursorSyncToggle);
  if (sp.dataReady == 1) ViewResult(w);
  ShowDistortion(w);
}

void SelectFunction(int w, int i) {
  if (SetFunction(w, i) == 0) return;
  // A liftered spectrum takes its lifter interval from the cepstrum in the other window.
  if (i == kFnLiftSpecA || i == kFnLiftSpecB) Reshow(1 - w);
  Reshow(w);
}

static int FunctW(int w, int panel, int control) {
  int i = 0;
  GetCtrlVal(panel, control, &i);
  SelectFunction(w, i);
  return 0;
}

VELTRA_COMMIT(FunctW1) { return FunctW(0, panel, control); }
VELTRA_COMMIT(FunctW2) { return FunctW(1, panel, control); }

static int CrossRingFunc(int w, int panel, int control) {
  int format = 0;
  GetCtrlVal(panel, control, &format);
  SetWindowFormat(w, format);
  ShowUnits(w);
  SetCursorsItem(w);
  if (sp.dataReady == 1) ViewResult(w);
  return 0;
}

VELTRA_COMMIT(CrossRingFunc1) { return CrossRingFunc(0, panel, control); }
VELTRA_COMMIT(CrossRingFunc2) { return CrossRingFunc(1, panel, control); }

void SetFunctionMeas(int type) {
  if (type < 0 || type > 3) return;
  int offered[kFuncPositions];
  for (int p = 0; p < kFuncPositions; ++p) offered[p] = FunctionOffered(type, p);
  for (int w = 0; w < kWindows; ++w) {
    const int ring = kControls[w].functionRing;
    const int previous = vs[w].function;
    ClearListCtrl(mainpanel, ring);
    int index = 0, keep = -1;
    for (int p = 0; p < kFunctions; ++p) {
      if (!offered[p]) continue;
      InsertListItem(mainpanel, ring, -1, itemfunc[p], nfunc[p]);
      if (nfunc[p] == previous) keep = index;
      ++index;
    }
    if (index > 0) SetCtrlIndex(mainpanel, ring, keep >= 0 ? keep : 0);
  }
}

void SetExtentionFunction(int w) {
  const MeasFunction& m = cf[ValidFunction(vs[w].function) ? vs[w].function : 0];
  int exists[kFormats];
  for (int f = 0; f < kFormats; ++f) exists[f] = m.yUnits[f] != nullptr;
  RefillRing(mainpanel, kControls[w].formatRing, extenitem, exists, kFormats, vs[w].formatChoice);
}

void SetCursorsItem(int w) {
  const ViewState& v = vs[w];
  const MeasFunction& m = cf[ValidFunction(v.function) ? v.function : 0];
  const int* modes = m.cursorModes[v.format > 0 ? v.format : 0];
  if (!modes) modes = m.cursorModes[0];
  RefillRing(mainpanel, kControls[w].cursorModeRing, itemcursors, modes, kCursorModes);
  const CtrlCallbackPtr callback = w == 0 ? SetCursors1 : SetCursors2;
  Commit(callback, mainpanel, kControls[w].cursorModeRing);
}

// ---- reference memory

VELTRA_COMMIT(InMemory) {
  const int w = WindowOf(control, MAIN_MemoryToggle1, MAIN_MemoryToggle2);
  if (w < 0) return 0;
  int state = 0;
  GetCtrlVal(panel, control, &state);
  SetMemoryState(w, state);
  SetCtrlAttribute(panel, control, ATTR_ON_COLOR, state ? VAL_RED : VAL_GRAY);
  // With results at hand and no run going the reference is taken at once.
  if (state == 1 && sp.dataReady == 1 && start == 0) ViewResult(w);
  return 0;
}

VELTRA_COMMIT(Equalize) {
  const int w = WindowOf(control, MAIN_EqualizeToggle1, MAIN_EqualizeToggle2);
  if (w < 0) return 0;
  int on = 0;
  GetCtrlVal(panel, control, &on);
  SetMemoryUse(w, on, vs[w].memShow);
  return 0;
}

VELTRA_COMMIT(ViewMm) {
  const int w = WindowOf(control, MAIN_ShowMemoryToggle1, MAIN_ShowMemoryToggle2);
  if (w < 0) return 0;
  int on = 0;
  GetCtrlVal(panel, control, &on);
  SetMemoryUse(w, vs[w].memEqualize, on);
  if (vs[w].memState == 2) {
    ViewResult(w);
  } else {
    SetCtrlVal(panel, control, 0);
  }
  return 0;
}

VELTRA_COMMIT(Integration) {
  const int w = WindowOf(control, MAIN_IntegrationRing1, MAIN_IntegrationRing2);
  if (w < 0) return 0;
  int n = 0;
  GetCtrlVal(panel, control, &n);
  SetIntegration(w, n);
  if (start == 0 && sp.dataReady == 1) ViewResult(w);
  return 0;
}

// ---- plot colour

static int ColorOfWindow(int w, int panel, int control) {
  int color = 0;
  GetCtrlVal(panel, control, &color);
  vs[w].color = color;
  SetCursorAttribute(mainpanel, kControls[w].graph, 1, ATTR_CURSOR_COLOR, ContrastColor(color));
  const int led = w == 0 ? MAIN_ZoomLed1 : MAIN_ZoomLed2;
  SetCtrlAttribute(mainpanel, led, ATTR_ON_COLOR, color);
  SetCtrlAttribute(mainpanel, w == 0 ? MAIN_WindowMark1 : MAIN_WindowMark2, ATTR_TEXT_BGCOLOR,
                   color);
  SetCtrlAttribute(mainpanel, w == 0 ? MAIN_WindowCaption1 : MAIN_WindowCaption2, ATTR_TEXT_COLOR,
                   VAL_DK_BLUE);
  if (sp.dataReady == 1) ViewResult(w);
  return 0;
}

VELTRA_COMMIT(ColorA) { return ColorOfWindow(0, panel, control); }
VELTRA_COMMIT(ColorB) { return ColorOfWindow(1, panel, control); }

// ---- data window

void ShowWindowType() {
  for (int w = 0; w < kWindows; ++w) {
    const int toggle = WindowCtrl(w).gateToggle;
    SetCtrlVal(mainpanel, toggle, vs[w].gate);
    // Back at a gate type, a time display offers its gate again.
    const bool offered = GateOf(cus.window) != kWeighting && GateOffered(vs[w].function);
    SetCtrlAttribute(mainpanel, toggle, ATTR_DIMMED, offered ? 0 : 1);
  }
}

VELTRA_COMMIT(Weight) {
  int type = 0;
  GetCtrlVal(panel, control, &type);
  SetWindowType(type);
  ShowWindowType();
  ClearResults();
  return 0;
}

// ---- histogram bins

VELTRA_COMMIT(SetRank) {
  int value = 0;
  GetCtrlVal(panel, control, &value);
  if (SetBins(value) == 0) SetBins(1);
  return 0;
}
