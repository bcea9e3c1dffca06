// Unit rings of the result windows.
#include "analyzer/file_ctrl.h"

#include "analyzer/cultivate1.h"
#include "analyzer/modules.h"
#include "analyzer/panels.h"
#include "analyzer/setters.h"
#include "analyzer/view1.h"
#include "analyzer/view1_internal.h"
#include "analyzer/view1_panel.h"
#include "ui/userint.h"

#include <string_view>

namespace {

void Refresh(int w) {
  if (sp.dataReady == 1) ViewResult(w);
}

int RingY(int w, int panel, int control) {
  int u = 0;
  GetCtrlVal(panel, control, &u);
  SetYUnit(w, u);
  ShowUnits(w);
  Refresh(w);
  return 0;
}

int RingX(int w, int panel, int control) {
  SetCtrlVal(mainpanel, MAIN_CursorSyncToggle, 0);
  Commit(CursorSyn, mainpanel, MAIN_CursorSyncToggle);
  int u = 0;
  GetCtrlVal(panel, control, &u);
  SetXUnit(w, u);
  Refresh(w);
  return 0;
}

int RingDb(int w, int panel, int control) {
  int db = 0;
  GetCtrlVal(panel, control, &db);
  SetDbRange(w, db);
  ShowUnits(w);
  Refresh(w);
  return 0;
}

}  // namespace

void ShowUnits(int w) {
  ViewState& v = vs[w];
  const WindowControls& c = WindowCtrl(w);
  RefillRing(mainpanel, c.yUnitRing, Yunit, OfferedYUnits(w), kUnitOptions, v.yUnit);
  RefillRing(mainpanel, c.xUnitRing, Xunit, OfferedXUnits(w), kUnitOptions, v.xUnit);
  const bool db = v.yUnit == kYDb;
  // A window that is not shown keeps its dB controls out of sight as well.
  const bool shown = rcu.winsel == 2 || rcu.winsel == w;
  SetCtrlAttribute(mainpanel, c.dbRangeRing, ATTR_VISIBLE, db && shown ? 1 : 0);
  SetCtrlAttribute(mainpanel, c.dbTopField, ATTR_VISIBLE, db && shown ? 1 : 0);
  VisibleHideSpecButton(w);
}

void VisibleHideSpecButton(int w) {
  const WindowControls& c = WindowCtrl(w);
  const bool offered = MemoryOffered(w);
  if (offered && MemoryHeldForView(w)) return;  // another unit of the same curve: kept
  for (int b : {c.memoryToggle, c.equalizeToggle, c.showMemoryToggle}) {
    SetCtrlVal(mainpanel, b, 0);
    SetCtrlAttribute(mainpanel, b, ATTR_DIMMED, offered ? 0 : 1);
  }
}

VELTRA_COMMIT(RingY1) { return RingY(0, panel, control); }
VELTRA_COMMIT(RingY2) { return RingY(1, panel, control); }
VELTRA_COMMIT(RingX1) { return RingX(0, panel, control); }
VELTRA_COMMIT(RingX2) { return RingX(1, panel, control); }
VELTRA_COMMIT(RingDbOne) { return RingDb(0, panel, control); }
VELTRA_COMMIT(RingDbTwo) { return RingDb(1, panel, control); }

VELTRA_COMMIT(MaxdB) {
  const int w = WindowOf(control, MAIN_DbTopField1, MAIN_DbTopField2);
  if (w < 0) return 0;
  double db = 0.0;
  GetCtrlVal(panel, control, &db);
  SetDbTop(w, db);
  ShowUnits(w);
  if (start == 0) Refresh(w);
  return 0;
}
