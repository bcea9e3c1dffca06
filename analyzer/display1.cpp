// Window controls of the result windows: cursor events and zoom, cursor modes, side-band and gate
// toggles, cursor synchronisation, and the panel layout for the window selection.
#include "analyzer/display1.h"

#include <cmath>

#include "analyzer/panels.h"
#include "analyzer/view1_internal.h"
#include "analyzer/view1_panel.h"
#include "ui/userint.h"

namespace {

// Every control of a result window, in role order (graph first).
#define DISPLAY1_ROLE(role, cb) MAIN_##role,
constexpr int kWindowRoles[kWindows][26] = {
    {VELTRA_WINDOW_ROLES(DISPLAY1_ROLE, 1, _, _, _, _, _, _, _, _)},
    {VELTRA_WINDOW_ROLES(DISPLAY1_ROLE, 2, _, _, _, _, _, _, _, _)},
};
#undef DISPLAY1_ROLE
constexpr int kRolesPerWindow = sizeof kWindowRoles[0] / sizeof kWindowRoles[0][0];
static_assert(kWindowRoles[0][kRolesPerWindow - 1] == MAIN_DistortionReadout1,
              "role list complete");

int ZoomLed(int w) { return w == 0 ? MAIN_ZoomLed1 : MAIN_ZoomLed2; }
int SideBandToggle(int w) { return w == 0 ? MAIN_SideBandToggle1 : MAIN_SideBandToggle2; }

bool Results() { return sp.dataReady == 1; }

// ---- layout

struct Rect {
  int top, left, height, width;
};

// The designed (both windows) geometry, taken from each freshly loaded main panel.
struct DesignLayout {
  int panel = 0;
  Rect ctrl[kWindows][kRolesPerWindow];
  Rect area, lower;  // the whole display area; window 2's half of it
};
DesignLayout design;

Rect RectOf(int control) {
  Rect r{};
  GetCtrlBoundingRect(mainpanel, control, &r.top, &r.left, &r.height, &r.width);
  return r;
}

void TakeDesign() {
  if (design.panel == mainpanel) return;
  design.panel = mainpanel;
  for (int w = 0; w < kWindows; ++w)
    for (int i = 0; i < kRolesPerWindow; ++i) design.ctrl[w][i] = RectOf(kWindowRoles[w][i]);
  design.area = RectOf(MAIN_GraphFrame);
  design.lower = RectOf(MAIN_Graph2Frame);
}

void Place(int control, const Rect& r) {
  SetCtrlAttribute(mainpanel, control, ATTR_TOP, r.top);
  SetCtrlAttribute(mainpanel, control, ATTR_LEFT, r.left);
  SetCtrlAttribute(mainpanel, control, ATTR_HEIGHT, r.height);
  SetCtrlAttribute(mainpanel, control, ATTR_WIDTH, r.width);
}

void ShowWindowControls(int w, bool show) {
  for (int control : kWindowRoles[w]) {
    SetCtrlAttribute(mainpanel, control, ATTR_VISIBLE, show ? 1 : 0);
    SetCtrlAttribute(mainpanel, control, ATTR_DIMMED, show ? 0 : 1);
  }
}

// Window w at its designed place (its half of the area), or alone over the whole area: its
// controls move up to the top of the area, the graph grows by the other half and what stands
// below the graph moves down with its bottom edge.
void LayWindow(int w, bool alone) {
  const int areaBottom = design.area.top + design.area.height;
  const int halfTop = w == 0 ? design.area.top : design.lower.top;
  const int otherHalf = w == 0 ? areaBottom - design.lower.top : design.lower.top - design.area.top;
  const int shift = alone ? design.area.top - halfTop : 0;
  const int grow = alone ? otherHalf : 0;
  const Rect& graph = design.ctrl[w][0];
  const int graphBottom = graph.top + graph.height;
  for (int i = 0; i < kRolesPerWindow; ++i) {
    Rect r = design.ctrl[w][i];
    if (i == 0) r.height += grow;
    if (i == 0 || r.top < graphBottom)
      r.top += shift;
    else
      r.top += shift + grow;
    Place(kWindowRoles[w][i], r);
  }
}

void Aspect(int w) {
  int top, left, height = 0, width = 0;
  GetCtrlBoundingRect(mainpanel, WindowCtrl(w).graph, &top, &left, &height, &width);
  vs[w].aspect = height > 0 ? static_cast<double>(width) / height : 1.0;
}

// A shown window: its function selected again, cursors back on its ranges, no side-band readout.
void Reselect(int w) {
  ClearSideBandMarks(w);
  const CtrlCallbackPtr funct = w == 0 ? FunctW1 : FunctW2;
  Commit(funct, mainpanel, WindowCtrl(w).functionRing);
  if (Results()) SetCursorsZoom(w);
  SetCtrlVal(mainpanel, SideBandToggle(w), 0);
}

// ---- callbacks

int CursorW(int w, int event) {
  ViewState& v = vs[w];
  const int graph = WindowCtrl(w).graph;
  switch (event) {
    case EVENT_COMMIT: CtrlCursors(w); return 0;
    case EVENT_RIGHT_CLICK: {
      if (!Results()) return 0;
      double x2 = 0, y2 = 0, x3 = 0, y3 = 0;
      GetGraphCursor(mainpanel, graph, 2, &x2, &y2);
      GetGraphCursor(mainpanel, graph, 3, &x3, &y3);
      // Cursors on one vertical or horizontal line enclose nothing to show; nor does a box so
      // narrow that its axis could carry no distinct labels (the wheel and the rubber band
      // zoom through here too).
      if (ZoomTo(w, x2, x3, y2, y3) == 0) return 0;
      v.cursorPoint = kNoCursor;
      SetCtrlVal(mainpanel, ZoomLed(w), 1);
      break;
    }
    case EVENT_RIGHT_DOUBLE_CLICK:
      Unzoom(w);
      v.cursorPoint = kNoCursor;
      SetCtrlVal(mainpanel, ZoomLed(w), 0);
      if (!Results()) return 0;
      break;
    default: return 0;
  }
  ViewResult(w);
  if (Results() && start == 0) ViewResult(1 - w);
  return 0;
}

int SetCursors(int w, int panel, int control) {
  ViewState& v = vs[w];
  int mode = 0;
  GetCtrlVal(panel, control, &mode);
  v.cursorMode = mode;
  if (Results() && start == 0) ViewResult(w);
  const int toggle = SideBandToggle(w);
  if (mode == 2 || mode == 3) {
    DeltaSideBandSetup(w);
    SetCtrlAttribute(mainpanel, toggle, ATTR_DIMMED, 0);
  } else {
    SetCtrlAttribute(mainpanel, WindowCtrl(w).graph, ATTR_NUM_CURSORS, 3);
    SetCtrlAttribute(mainpanel, toggle, ATTR_DIMMED, 1);
  }
  return 0;
}

}  // namespace

void SetFormat() {
  const int s = rcu.winsel;
  if (s < 0 || s > 2) return;
  TakeDesign();
  for (int w = 0; w < kWindows; ++w) {
    const bool shown = s == 2 || s == w;
    ShowWindowControls(w, shown);
    if (shown) LayWindow(w, s != 2);
  }
  SetCtrlAttribute(mainpanel, MAIN_Graph2Frame, ATTR_VISIBLE, s == 2 ? 1 : 0);
  for (int w = 0; w < kWindows; ++w) {
    if (s != 2 && s != w) continue;
    Aspect(w);
    Reselect(w);
  }
}

VELTRA_COMMIT(SetFormatDisp) {
  const int buttons[3] = {MAIN_WindowSel1, MAIN_WindowSel2, MAIN_WindowSelBoth};
  int s = -1;
  for (int i = 0; i < 3; ++i)
    if (control == buttons[i]) s = i;
  if (s < 0) return 0;
  SetWindowSelection(s);
  for (int i = 0; i < 3; ++i) SetCtrlVal(panel, buttons[i], i == s ? 1 : 0);
  SetFormat();
  return 0;
}

int CursorW1(int, int, int event, void*, int, int) { return CursorW(0, event); }
int CursorW2(int, int, int event, void*, int, int) { return CursorW(1, event); }

VELTRA_COMMIT(SetCursors1) { return SetCursors(0, panel, control); }
VELTRA_COMMIT(SetCursors2) { return SetCursors(1, panel, control); }

VELTRA_COMMIT(SetRead) {
  const int w = WindowOf(control, MAIN_SideBandToggle1, MAIN_SideBandToggle2);
  if (w < 0) return 0;
  int on = 0;
  GetCtrlVal(panel, control, &on);
  if (on && Results()) ViewSideBand(w);
  return 0;
}

VELTRA_COMMIT(SetZoom) {
  const int w = WindowOf(control, MAIN_GateToggle1, MAIN_GateToggle2);
  int on = 0;
  GetCtrlVal(panel, control, &on);
  if (w >= 0) SetGate(w, on);
  return 0;
}

VELTRA_COMMIT(CursorSyn) {
  int on = 0;
  GetCtrlVal(panel, control, &on);
  rcu.cursync = on && vs[0].count == vs[1].count ? 1 : 0;
  if (!rcu.cursync) SetCtrlVal(panel, control, 0);
  return 0;
}
