// Result-window presentation through the real panels: cursor readouts, harmonic and side-band
// markers, band totals, zoom by cursors, window selection and cursor synchronisation, on
// results constructed by hand.
#include <qcustomplot.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "analyzer/calibration.h"
#include "analyzer/display1.h"
#include "analyzer/iirfilter.h"
#include "analyzer/view1_internal.h"
#include "fixture.h"
#include "ui/uiqt.h"

namespace {

using veltra_test::VeltraTest;

// A result made by hand for each window: line i at x = x0 + i·dx with the value y[i].
struct Made {
  std::vector<double> y;
  double x0 = 0.0, dx = 2.5;
  int xUnit = kXLines, yUnit = kYPower;
  int style = kPlotLine;
  int computed = 0;
};
Made made[kWindows];

void Fill(ViewState* v) {
  Made& m = made[v == &vs[0] ? 0 : 1];
  ++m.computed;
  v->count = static_cast<int>(m.y.size());
  for (int i = 0; i < v->count; ++i) {
    v->xData[i] = m.x0 + i * m.dx;
    v->yData[i] = m.y[static_cast<size_t>(i)];
  }
  v->xScale = v->yScale = 1.0;
  v->xUnit = m.xUnit;
  v->yUnit = m.yUnit;
  v->plotStyle = m.style;
  v->xMin = v->xData[0];
  v->xMax = v->xData[v->count - 1];
  ResultRange(v->yData, v->count, &v->yMax, &v->yMin);
}

class Display : public VeltraTest {
 protected:
  void SetUp() override {
    VeltraTest::SetUp();
    rcu.onA = rcu.onB = 1;
    for (Made& m : made) m = Made{};
  }
  void TearDown() override {
    for (ViewState& v : vs) {
      v.zoomed = v.cursorMode = v.markCount = 0;
      v.cursorPoint = -1;
    }
    sp.dataReady = 0;
    rcu.cursync = 0;
    VeltraTest::TearDown();
  }
  // Window w shows `function` with a hand-made result of n lines, drawn as results exist.
  static void Show(int w, int function, int n, double (*value)(int)) {
    made[w].y.resize(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) made[w].y[static_cast<size_t>(i)] = value(i);
    vs[w].function = function;
    vs[w].compute = Fill;
    sp.dataReady = 1;
    ViewResult(w);
  }
  static int Graph(int w) { return w == 0 ? MAIN_Graph1 : MAIN_Graph2; }
  // As a person dragging cursor c of window w onto line k.
  static void MoveCursor(int w, int c, int k) {
    SetGraphCursor(mainpanel, Graph(w), c, vs[w].xData[k], vs[w].yData[k]);
    UserFireEvent(mainpanel, Graph(w), EVENT_COMMIT, c, 0);
  }
  static std::string Readout(int w) {
    char buf[256] = "";
    GetCtrlVal(mainpanel, w == 0 ? MAIN_CursorReadout1 : MAIN_CursorReadout2, buf, sizeof buf);
    return buf;
  }
  static std::string TextOf(int w, int k) {
    char buf[256];
    CursorText(w, k, buf, sizeof buf);
    return buf;
  }
  static QCustomPlot* Plot(int w) {
    return static_cast<QCustomPlot*>(CtrlWidget(mainpanel, Graph(w)));
  }
  // Texts and vertical marker lines on window w's graph.
  static std::vector<std::string> Texts(int w) {
    std::vector<std::string> out;
    QCustomPlot* p = Plot(w);
    for (int i = 0; i < p->itemCount(); ++i)
      if (auto* t = qobject_cast<QCPItemText*>(p->item(i))) out.push_back(t->text().toStdString());
    return out;
  }
  static std::vector<double> MarkerLines(int w) {
    std::vector<double> out;
    QCustomPlot* p = Plot(w);
    for (int i = 0; i < p->itemCount(); ++i)
      if (auto* l = qobject_cast<QCPItemLine*>(p->item(i))) out.push_back(l->start->coords().x());
    return out;
  }
  struct Rect {
    int top, left, height, width;
  };
  static Rect Bounds(const char* role) {
    int panel = 0;
    Rect r{};
    GetCtrlBoundingRect(panel, Control(role, &panel), &r.top, &r.left, &r.height, &r.width);
    return r;
  }
  static int Attr(const char* role, int attribute) {
    int panel = 0, v = 0;
    GetCtrlAttribute(panel, Control(role, &panel), attribute, &v);
    return v;
  }
};

double Ramp(int i) { return 1.0 + 0.5 * i; }

TEST_F(Display, ReadoutTextsByXUnit) {
  Show(0, 0, 401, Ramp);
  // Through the graph: the cursor's line, its frequency and value with the unit labels.
  MoveCursor(0, 1, 40);
  EXPECT_EQ(Readout(0), std::string("k= 40; X:= 100.00,Гц; Y:= 21.000,") + Yunit[kYPower]);
  EXPECT_EQ(vs[0].cursorPoint, 40);

  made[0].xUnit = kXReal;
  ViewResult(0);
  EXPECT_EQ(TextOf(0, 3),
            std::string("k= 3; X:= 7.500,") + Xunit[kXReal] + "; Y:= 2.500," + Yunit[kYPower]);
  made[0].xUnit = kXAmplitude;
  ViewResult(0);
  EXPECT_EQ(TextOf(0, 3), std::string("k= 3; X:= 7.500,") + Xunit[kXAmplitude] + "; Y:= 2.500," +
                              Yunit[kYPower] + ".");
  made[0].xUnit = kXPhase;
  ViewResult(0);
  EXPECT_EQ(TextOf(0, 3), std::string("k = 3; X:= 7.50,Град; Y:= 2.50,") + Yunit[kYPower]);

  // Time displays: seconds from 1 s on, milliseconds when the display ends below 1 s, nothing
  // when it ends below 1 ms.
  made[0].xUnit = kXTime;
  made[0].dx = 0.5 / 400;  // ends at 0.5 s
  ViewResult(0);
  EXPECT_EQ(TextOf(0, 10), std::string("k= 10; X:= 12.500,мс.; Y:= 6.000,") + Yunit[kYPower]);
  made[0].dx = 2.0 / 400;
  ViewResult(0);
  EXPECT_EQ(TextOf(0, 10), std::string("k= 10; X:= 0.050,с; Y:= 6.000,") + Yunit[kYPower]);
  made[0].dx = 0.0009 / 400;
  ViewResult(0);
  EXPECT_EQ(TextOf(0, 10), "");

  // Bands: a centre frequency per band, the sum in the last one.
  made[0].xUnit = kXThird;
  made[0].dx = 100.0;
  Show(0, 0, 19, Ramp);
  EXPECT_EQ(TextOf(0, 2), std::string("k= 2; X:= 200.00,Гц; Y:= 2.000,") + Yunit[kYPower]);
  EXPECT_EQ(TextOf(0, 18), std::string("k= 18; Σ:= 10.000,") + Yunit[kYPower]);
  EXPECT_EQ(TextOf(0, 19), "");  // beyond the result

  // A line that is no number never reads "nan" or "inf".
  made[0] = Made{};
  Show(0, 0, 41, Ramp);
  vs[0].yData[7] = std::nan("");
  vs[0].yData[8] = HUGE_VAL;
  vs[0].xData[9] = -HUGE_VAL;
  for (int k : {7, 8, 9}) {
    const std::string t = TextOf(0, k);
    EXPECT_EQ(t.find("nan"), std::string::npos) << t;
    EXPECT_EQ(t.find("inf"), std::string::npos) << t;
  }
  EXPECT_EQ(TextOf(0, 6), std::string("k= 6; X:= 15.00,Гц; Y:= 4.000,") + Yunit[kYPower]);
}

TEST_F(Display, HarmonicMarkersAtMultiplesOfTheCursorLine) {
  Show(0, 0, 401, Ramp);  // lines of 2.5 Hz up to 1000 Hz
  vs[0].cursorMode = 1;
  MoveCursor(0, 1, 10);
  EXPECT_EQ(vs[0].markCount, 0);
  EXPECT_TRUE(MarkerLines(0).empty());

  MoveCursor(0, 1, 11);  // 27.5 Hz: 36 multiples below 1000 Hz, the first 32 drawn
  EXPECT_EQ(vs[0].markCount, 32);
  std::vector<double> lines = MarkerLines(0);
  ASSERT_EQ(lines.size(), 32u);
  for (int n = 1; n <= 32; ++n) EXPECT_NEAR(lines[static_cast<size_t>(n - 1)], 27.5 * n, 1e-9);
  // Each marker carries its harmonic's level: line 11·n holds 1 + 5.5·n.
  EXPECT_EQ(Texts(0).front(), "1: 6.5");
  EXPECT_EQ(Texts(0).back(), "32: 177.0");

  // Zoomed to 0 … 250 Hz: the multiples below the right end of the visible range only.
  SetGraphCursor(mainpanel, MAIN_Graph1, 2, 0.0, 0.0);
  SetGraphCursor(mainpanel, MAIN_Graph1, 3, 250.0, 300.0);
  UserFireEvent(mainpanel, MAIN_Graph1, EVENT_RIGHT_CLICK, 0, 0);
  MoveCursor(0, 1, 11);
  lines = MarkerLines(0);
  EXPECT_EQ(lines.size(), 9u);  // 9 · 27.5 = 247.5 < 250
  EXPECT_EQ(vs[0].markCount, 9);
  std::vector<std::string> nine;
  for (int n = 1; n <= 9; ++n) {
    char t[32];
    std::snprintf(t, sizeof t, "%d: %.1f", n, 1.0 + 5.5 * n);
    nine.push_back(t);
  }
  EXPECT_EQ(Texts(0), nine);

  // A harmonic cursor dropped beside a peak takes the peak; the markers stay after a redraw.
  Show(0, 0, 401, [](int i) { return i == 40 ? 50.0 : 1.0; });
  MoveCursor(0, 1, 42);
  EXPECT_EQ(vs[0].cursorPoint, 40);
  const size_t marks = MarkerLines(0).size();
  EXPECT_GT(marks, 0u);
  ViewResult(0);
  EXPECT_EQ(MarkerLines(0).size(), marks);
  EXPECT_EQ(vs[0].cursorPoint, 40);

  // Back below line 11 the markers go.
  MoveCursor(0, 1, 5);
  EXPECT_TRUE(MarkerLines(0).empty());
}

double Comb(int i) { return i % 10 == 0 ? 4.0 : 1.0; }

TEST_F(Display, SideBandSpacingCombAndBandTotals) {
  const double enbw = WC.enbw;
  WC.enbw = 1.5;
  sp.powerA = 400.0;
  const double k = ChannelScale(rcu.chanA);
  Show(0, 0, 401, Comb);  // 2.5 Hz lines, a comb of 4 every 10 lines on a floor of 1
  // No function offers the side-band modes; the ring is given one here.
  InsertListItem(mainpanel, MAIN_CursorModeRing1, -1, "2", 2);
  Set("CursorModeRing1", "2");
  ASSERT_EQ(vs[0].cursorMode, 2);
  SetCtrlVal(mainpanel, MAIN_SideBandToggle1, 0);
  // Carrier under cursor 1 at line 100, side bands marked by cursors 4 and 5 at 105 and 115.
  SetGraphCursor(mainpanel, MAIN_Graph1, 4, vs[0].xData[105], 1.0);
  SetGraphCursor(mainpanel, MAIN_Graph1, 5, vs[0].xData[115], 1.0);
  MoveCursor(0, 1, 100);
  EXPECT_EQ(vs[0].sbCentre, 110);
  EXPECT_EQ(vs[0].sbSpacing, 10);
  EXPECT_EQ(vs[0].sbBase, 100);
  EXPECT_EQ(Texts(0), (std::vector<std::string>{"dF=25.00,Гц;", "Fm=275.00,Гц", "Fb=250.00,Гц."}));

  // Switched on: the comb every 10 lines from line 10 to the end of the visible range.
  Press("SideBandToggle1");
  ASSERT_EQ(vs[0].markCount, 39);  // 10, 20, … 390: 400 · 2.5 Hz is the range's end
  EXPECT_EQ(sdindx[0][0], 10);
  EXPECT_EQ(sdindx[0][38], 390);

  // Cursor 1 near comb line 50: the band 45 … 55 is read out.
  MoveCursor(0, 1, 52);
  double x4 = 0, x5 = 0, y = 0;
  GetGraphCursor(mainpanel, MAIN_Graph1, 4, &x4, &y);
  GetGraphCursor(mainpanel, MAIN_Graph1, 5, &x5, &y);
  EXPECT_DOUBLE_EQ(x4, 45 * 2.5);
  EXPECT_DOUBLE_EQ(x5, 55 * 2.5);
  // Lines 45 … 55: one comb line of 4 and ten of 1.
  const double dtot = k * k * 14.0 / 1.5, tot = k * k * 400.0;
  EXPECT_NEAR(GetDtot(0, 45, 55), dtot, 1e-12 * dtot);
  EXPECT_NEAR(GetTotal(0), tot, 1e-12 * tot);
  char want[5][64];
  std::snprintf(want[0], 64, "Tot = %1.3e", tot);
  std::snprintf(want[1], 64, "dTot = %1.3e", dtot);
  std::snprintf(want[2], 64, "dTot/Tot = %1.2e", dtot / tot);
  std::vector<std::string> texts = Texts(0);
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[0], want[0]);
  EXPECT_EQ(texts[1], want[1]);
  EXPECT_EQ(texts[2], want[2]);
  EXPECT_EQ(texts[3], "Fm = 125.0,Гц");
  EXPECT_EQ(texts[4], "dF = 25.0,Гц");

  // In dB the band total is the dB sum of the lines and the readout a difference.
  made[0].yUnit = kYDb;
  const double o = ChannelDbOffset(rcu.chanA);
  made[0].y.assign(401, 0.0);
  for (int i = 0; i < 401; ++i) made[0].y[static_cast<size_t>(i)] = 10.0 * std::log10(Comb(i)) + o;
  Press("SideBandToggle1");  // off
  Press("SideBandToggle1");  // on: comb again on the dB result
  MoveCursor(0, 1, 52);
  const double dtotDb = 10.0 * std::log10(14.0) + o - 10.0 * std::log10(1.5);
  const double totDb = 10.0 * std::log10(400.0) + o;
  EXPECT_NEAR(GetDtot(0, 45, 55), dtotDb, 1e-9);
  std::snprintf(want[2], 64, "dTot/Tot = %1.3e", dtotDb - totDb);
  texts = Texts(0);
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[2], want[2]);

  // A line at the top of the double range in dB (an overflowed trace) still sums to its own
  // level, and no band text reads "inf".
  made[0].y[50] = 6000.0 + o;
  ViewResult(0);
  Press("SideBandToggle1");
  Press("SideBandToggle1");
  MoveCursor(0, 1, 52);
  EXPECT_NEAR(GetDtot(0, 45, 55), 6000.0 + o - 10.0 * std::log10(1.5), 1e-6);
  for (const std::string& t : Texts(0)) {
    EXPECT_EQ(t.find("inf"), std::string::npos) << t;
    EXPECT_EQ(t.find("nan"), std::string::npos) << t;
  }

  // Another function has no total: in dB it reads the −200 dB floor, never −inf.
  vs[0].function = 4;
  EXPECT_DOUBLE_EQ(GetTotal(0), -200.0);
  made[0].yUnit = kYPower;
  ViewResult(0);
  EXPECT_EQ(GetDtot(0, 45, 55), 0.0);
  WC.enbw = enbw;
}

TEST_F(Display, CursorModesSetTheNumberOfCursors) {
  auto cursors = [] { return Attr("Graph1", ATTR_NUM_CURSORS); };
  InsertListItem(mainpanel, MAIN_CursorModeRing1, -1, "2", 2);
  Set("CursorModeRing1", "2");
  EXPECT_EQ(cursors(), 5);
  EXPECT_EQ(Attr("SideBandToggle1", ATTR_DIMMED), 0);
  for (int c = 4; c <= 5; ++c) {
    int color = 0, visible = 0;
    GetCursorAttribute(mainpanel, MAIN_Graph1, c, ATTR_CURSOR_COLOR, &color);
    GetCursorAttribute(mainpanel, MAIN_Graph1, c, ATTR_CURSOR_VISIBLE, &visible);
    EXPECT_EQ(color, 0xFFFFFF);
    EXPECT_EQ(visible, 1);
  }
  Set("CursorModeRing1", "0");
  EXPECT_EQ(cursors(), 3);
  EXPECT_EQ(Attr("SideBandToggle1", ATTR_DIMMED), 1);
  EXPECT_EQ(vs[0].cursorMode, 0);
}

TEST_F(Display, ZoomByCursorsTwoAndThree) {
  // Before any result a right click changes nothing.
  SetGraphCursor(mainpanel, MAIN_Graph1, 2, 10.0, 1.0);
  SetGraphCursor(mainpanel, MAIN_Graph1, 3, 100.0, 50.0);
  UserFireEvent(mainpanel, MAIN_Graph1, EVENT_RIGHT_CLICK, 0, 0);
  EXPECT_EQ(vs[0].zoomed, 0);
  EXPECT_EQ(IntOf("ZoomLed1"), 0);

  Show(0, 0, 401, Ramp);
  Show(1, 1, 401, Ramp);
  vs[0].cursorPoint = 7;
  // Either order of the two cursors gives the same box.
  for (int order = 0; order < 2; ++order) {
    SetGraphCursor(mainpanel, MAIN_Graph1, order ? 3 : 2, 10.0, 1.0);
    SetGraphCursor(mainpanel, MAIN_Graph1, order ? 2 : 3, 100.0, 50.0);
    UserFireEvent(mainpanel, MAIN_Graph1, EVENT_RIGHT_CLICK, 0, 0);
    EXPECT_EQ(vs[0].zoomed, 1);
    EXPECT_EQ(vs[0].viewXFrom, 10.0);
    EXPECT_EQ(vs[0].viewXTo, 100.0);
    EXPECT_EQ(vs[0].viewYFrom, 1.0);
    EXPECT_EQ(vs[0].viewYTo, 50.0);
    EXPECT_EQ(vs[0].cursorPoint, -1);
    EXPECT_EQ(IntOf("ZoomLed1"), 1);
  }
  // The zoom holds over a refresh.
  ViewResult(0);
  EXPECT_EQ(vs[0].viewXTo, 100.0);
  // A box a few ulps wide (deep wheel or rubber-band zoom) is refused, and labelling an axis that
  // narrow ends: it once looped for ever.
  SetGraphCursor(mainpanel, MAIN_Graph1, 2, 50.0, 1.0);
  SetGraphCursor(mainpanel, MAIN_Graph1, 3, std::nextafter(std::nextafter(50.0, 99.0), 99.0), 50.0);
  UserFireEvent(mainpanel, MAIN_Graph1, EVENT_RIGHT_CLICK, 0, 0);
  EXPECT_EQ(vs[0].viewXFrom, 10.0);
  vs[0].viewXFrom = 900.0;
  vs[0].viewXTo = std::nextafter(std::nextafter(900.0, 1e4), 1e4);
  ViewResult(0);
  vs[0].viewXFrom = 10.0;
  vs[0].viewXTo = 100.0;

  // During a run only the zoomed window is redrawn; after it both are.
  made[0].computed = made[1].computed = 0;
  start = 1;
  UserFireEvent(mainpanel, MAIN_Graph2, EVENT_RIGHT_CLICK, 0, 0);
  EXPECT_EQ(made[1].computed, 1);
  EXPECT_EQ(made[0].computed, 0);
  start = 0;
  UserFireEvent(mainpanel, MAIN_Graph1, EVENT_RIGHT_DOUBLE_CLICK, 0, 0);
  EXPECT_EQ(made[0].computed, 1);
  EXPECT_EQ(made[1].computed, 2);
  EXPECT_EQ(vs[0].zoomed, 0);
  EXPECT_EQ(IntOf("ZoomLed1"), 0);
  EXPECT_EQ(vs[0].viewXTo, 1000.0);
  // Cursors 2 and 3 go back to the corners of the full ranges after the relabelling, a
  // twentieth inside them so that they can be seen and taken.
  double x2 = 0, y2 = 0, x3 = 0, y3 = 0;
  GetGraphCursor(mainpanel, MAIN_Graph1, 2, &x2, &y2);
  GetGraphCursor(mainpanel, MAIN_Graph1, 3, &x3, &y3);
  const double dy = 0.05 * (vs[0].yMax - vs[0].yMin);
  EXPECT_DOUBLE_EQ(x2, 50.0);
  EXPECT_DOUBLE_EQ(x3, 950.0);
  EXPECT_DOUBLE_EQ(y2, vs[0].yMin + dy);
  EXPECT_DOUBLE_EQ(y3, vs[0].yMax - dy);
}

TEST_F(Display, WindowSelectionLaysOutThePanel) {
  const Rect graph1 = Bounds("Graph1"), graph2 = Bounds("Graph2");
  const Rect readout2 = Bounds("CursorReadout2");
  Show(0, 0, 401, Ramp);
  Show(1, 1, 401, Ramp);
  SetCtrlVal(mainpanel, MAIN_SideBandToggle1, 1);

  Press("WindowSel1");
  EXPECT_EQ(rcu.winsel, 0);
  EXPECT_EQ(IntOf("WindowSel1"), 1);
  EXPECT_EQ(IntOf("WindowSel2"), 0);
  EXPECT_EQ(IntOf("WindowSelBoth"), 0);
  for (const char* role : {"Graph2", "FunctionRing2", "CursorReadout2", "ColorSelect2"}) {
    EXPECT_EQ(Attr(role, ATTR_VISIBLE), 0) << role;
    EXPECT_EQ(Attr(role, ATTR_DIMMED), 1) << role;
  }
  EXPECT_EQ(Attr("Graph1", ATTR_VISIBLE), 1);
  Rect g = Bounds("Graph1");
  EXPECT_EQ(g.top, graph1.top);
  EXPECT_EQ(g.top + g.height, graph2.top + graph2.height);  // down to the bottom of the area
  EXPECT_EQ(Bounds("CursorReadout1").top, readout2.top);
  EXPECT_DOUBLE_EQ(vs[0].aspect, static_cast<double>(g.width) / g.height);
  EXPECT_EQ(IntOf("SideBandToggle1"), 0);

  Press("WindowSel2");
  EXPECT_EQ(rcu.winsel, 1);
  EXPECT_EQ(IntOf("WindowSel1"), 0);
  EXPECT_EQ(Attr("Graph1", ATTR_VISIBLE), 0);
  EXPECT_EQ(Attr("FunctionRing1", ATTR_DIMMED), 1);
  EXPECT_EQ(Attr("Graph2", ATTR_VISIBLE), 1);
  EXPECT_EQ(Attr("FunctionRing2", ATTR_DIMMED), 0);
  g = Bounds("Graph2");
  EXPECT_EQ(g.top, graph1.top);
  EXPECT_EQ(g.top + g.height, graph2.top + graph2.height);
  EXPECT_EQ(Bounds("FunctionRing2").top, Bounds("FunctionRing1").top);
  EXPECT_DOUBLE_EQ(vs[1].aspect, static_cast<double>(g.width) / g.height);

  // Both: each window on its half again, both aspects from the graphs' real sizes.
  vs[0].aspect = vs[1].aspect = 0.0;
  Press("WindowSelBoth");
  EXPECT_EQ(rcu.winsel, 2);
  for (const char* role : {"Graph1", "Graph2", "FunctionRing1", "FunctionRing2"})
    EXPECT_EQ(Attr(role, ATTR_VISIBLE), 1) << role;
  g = Bounds("Graph1");
  EXPECT_EQ(g.top, graph1.top);
  EXPECT_EQ(g.height, graph1.height);
  EXPECT_EQ(Bounds("Graph2").top, graph2.top);
  EXPECT_EQ(Bounds("CursorReadout2").top, readout2.top);
  EXPECT_DOUBLE_EQ(vs[0].aspect, static_cast<double>(graph1.width) / graph1.height);
  EXPECT_DOUBLE_EQ(vs[1].aspect, static_cast<double>(graph2.width) / graph2.height);
}

double Low(int i) { return i < 200 ? 1.0 + i : 1e6; }

TEST_F(Display, SynchronisedCursorsFollowEachOther) {
  Show(0, 0, 401, Ramp);
  made[1].dx = 5.0;
  Show(1, 1, 401, Low);
  Press("CursorSyncToggle");
  ASSERT_EQ(rcu.cursync, 1);

  MoveCursor(0, 1, 40);
  double x = 0, y = 0;
  GetGraphCursor(mainpanel, MAIN_Graph2, 1, &x, &y);
  EXPECT_EQ(x, 200.0);  // window 2's own frequency of line 40
  EXPECT_EQ(y, 41.0);
  EXPECT_EQ(Readout(1), std::string("k= 40; X:= 200.00,Гц; Y:= 41.000,") + Yunit[kYPower]);

  // Window 2's value at line 300 lies above its visible range (zoomed below it): no move.
  vs[1].zoomed = 1;
  vs[1].viewYFrom = 0.0;
  vs[1].viewYTo = 1000.0;
  MoveCursor(0, 1, 300);
  GetGraphCursor(mainpanel, MAIN_Graph2, 1, &x, &y);
  EXPECT_EQ(x, 200.0);
  EXPECT_EQ(Readout(1), std::string("k= 40; X:= 200.00,Гц; Y:= 41.000,") + Yunit[kYPower]);

  // Windows of different lengths cannot be synchronised.
  Show(1, 1, 201, Ramp);
  Press("CursorSyncToggle");  // off
  Press("CursorSyncToggle");  // on again: refused
  EXPECT_EQ(rcu.cursync, 0);
  EXPECT_EQ(IntOf("CursorSyncToggle"), 0);
}

}  // namespace
