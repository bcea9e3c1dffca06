// Unit rings of the result windows.
#include "analyzer/file_ctrl.h"

#include "analyzer/cultivate1.h"
#include "analyzer/panels.h"
#include "analyzer/modules.h"
#include "analyzer/view1.h"
#include "analyzer/view1_internal.h"
#include "ui/userint.h"

#include <string_view>

namespace {

constexpr int kFirstResponse = 10, kLastResponse = 13;  // FreqRespH1 … FreqResp1_H2

const MeasFunction& Entry(int function) {
  return cf[function >= 0 && function < kFunctions ? function : 0];
}

int FormatRow(const ViewState& v) { return v.format > 0 && v.format < kFormats ? v.format : 0; }

// Refills a unit ring with the offered options, keeping the previous choice when its label is
// still there; returns the choice (0 when nothing is offered).
int RefillUnits(int ring, const char (*labels)[kItemText], const int* row) {
  char previous[kItemText] = "";
  int index = -1;
  GetCtrlIndex(mainpanel, ring, &index);
  if (index >= 0) GetLabelFromIndex(mainpanel, ring, index, previous, kItemText);
  ClearListCtrl(mainpanel, ring);
  int n = 0, keep = -1;
  for (int u = 0; row && u < kUnitOptions; ++u) {
    if (!row[u]) continue;
    InsertListItem(mainpanel, ring, -1, labels[u], u);
    if (previous[0] && std::string_view(previous) == labels[u]) keep = n;
    ++n;
  }
  if (n == 0) return 0;
  SetCtrlIndex(mainpanel, ring, keep >= 0 ? keep : 0);
  int choice = 0;
  GetCtrlVal(mainpanel, ring, &choice);
  return choice;
}

void Refresh(int w) {
  if (sp.dataReady == 1) ViewResult(w);
}

int RingY(int w, int event) {
  if (event != EVENT_COMMIT) return 0;
  int function = 0;
  GetCtrlVal(mainpanel, WindowCtrl(w).functionRing, &function);
  SetItemLabelXY(w, function);
  Refresh(w);
  return 0;
}

int RingX(int w, int panel, int control, int event) {
  if (event != EVENT_COMMIT) return 0;
  SetCtrlVal(mainpanel, MAIN_CursorSyncToggle, 0);
  CursorSyn(mainpanel, MAIN_CursorSyncToggle, EVENT_COMMIT, nullptr, 0, 0);
  GetCtrlVal(panel, control, &vs[w].xUnit);
  Refresh(w);
  return 0;
}

int RingDb(int w, int panel, int control, int event) {
  if (event != EVENT_COMMIT) return 0;
  GetCtrlVal(panel, control, &vs[w].dbRange);
  return RingY(w, event);
}

}  // namespace

const int* LabelUnitY(int w, int function) {
  ViewState& v = vs[w];
  const MeasFunction& m = Entry(function);
  const int f = FormatRow(v);
  const int* yrow = m.yUnits[f] ? m.yUnits[f] : m.yUnits[0];
  const WindowControls& c = WindowCtrl(w);
  v.yUnit = RefillUnits(c.yUnitRing, Yunit, yrow);
  const bool db = v.yUnit == kYDb;
  if (db) {
    GetCtrlVal(mainpanel, c.dbRangeRing, &v.dbRange);
    GetCtrlVal(mainpanel, c.dbTopField, &v.dbTop);
  }
  // A window that is not shown keeps its dB controls out of sight as well.
  const bool shown = rcu.winsel == 2 || rcu.winsel == w;
  SetCtrlAttribute(mainpanel, c.dbRangeRing, ATTR_VISIBLE, db && shown ? 1 : 0);
  SetCtrlAttribute(mainpanel, c.dbTopField, ATTR_VISIBLE, db && shown ? 1 : 0);
  return m.xUnits[f] ? m.xUnits[f] : m.xUnits[0];
}

void LabelUnitX(int w, const int* row) {
  vs[w].xUnit = RefillUnits(WindowCtrl(w).xUnitRing, Xunit, row);
}

void SetItemLabelXY(int w, int function) {
  LabelUnitX(w, LabelUnitY(w, function));
  VisibleHideSpecButton(w);
}

void VisibleHideSpecButton(int w) {
  ViewState& v = vs[w];
  const WindowControls& c = WindowCtrl(w);
  const int buttons[] = {c.memoryToggle, c.equalizeToggle, c.showMemoryToggle};
  const bool offered = v.function >= kFirstResponse && v.function <= kLastResponse &&
                       (v.format == 2 || v.format == 3);
  if (offered && MemoryHeldForView(w)) return;  // another unit of the same curve: kept
  for (int b : buttons) {
    SetCtrlVal(mainpanel, b, 0);
    SetCtrlAttribute(mainpanel, b, ATTR_DIMMED, offered ? 0 : 1);
  }
  v.memState = v.memEqualize = v.memShow = 0;
}

int RingY1(int, int, int event, void*, int, int) { return RingY(0, event); }
int RingY2(int, int, int event, void*, int, int) { return RingY(1, event); }
int RingX1(int panel, int control, int event, void*, int, int) { return RingX(0, panel, control, event); }
int RingX2(int panel, int control, int event, void*, int, int) { return RingX(1, panel, control, event); }
int RingDbOne(int panel, int control, int event, void*, int, int) {
  return RingDb(0, panel, control, event);
}
int RingDbTwo(int panel, int control, int event, void*, int, int) {
  return RingDb(1, panel, control, event);
}

int MaxdB(int panel, int control, int event, void*, int, int) {
  if (event != EVENT_COMMIT) return 0;
  const int w = WindowOf(control, MAIN_DbTopField1, MAIN_DbTopField2);
  if (w < 0) return 0;
  GetCtrlVal(panel, control, &vs[w].dbTop);
  SetItemLabelXY(w, vs[w].function);
  if (start == 0) Refresh(w);
  return 0;
}
