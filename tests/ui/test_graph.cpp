// Graph control: plot handles, cursors and snapping, axes and tick labels, robustness against
// non-finite data, coalesced replots, mouse events and panel pictures.
#include "ui_fixture.h"

#include <qcustomplot.h>

#include <QImage>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <limits>

namespace {

class GraphTest : public PanelTest {
 protected:
  QCustomPlot* Plot() { return Widget<QCustomPlot>(PlotGraph); }
  QStringList XLabels() {
    RefreshGraph(panel_, PlotGraph);
    QStringList out;
    for (const QString& s : Plot()->xAxis->tickVectorLabels()) out << s;
    return out;
  }
  // Plottables drawn: a deleted data plot may stay behind hidden, kept for the next one.
  int ShownPlottables() {
    int shown = 0;
    for (int i = 0; i < Plot()->plottableCount(); ++i) shown += Plot()->plottable(i)->visible();
    return shown;
  }
  static constexpr int kCursorItems = 4 * 5;  // two lines and their dark borders per cursor
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST_F(GraphTest, PlotHandlesAreDeletedSinglyAndAll) {
  ASSERT_NE(Plot(), nullptr) << "the placeholder became a plot";
  const double y[4] = {1, 2, 3, 4};
  const int a = PlotY(panel_, PlotGraph, y, 4, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID,
                      1, VAL_RED);
  const int b = PlotLine(panel_, PlotGraph, 0, 0, 3, 4, VAL_WHITE);
  const int c = PlotText(panel_, PlotGraph, 1, 1, "1", "NIAppMetaFont", VAL_GREEN, VAL_TRANSPARENT);
  const int d = PlotPoint(panel_, PlotGraph, 2, 3, VAL_EMPTY_CIRCLE, VAL_WHITE);
  for (int h : {a, b, c, d}) EXPECT_GT(h, 0);
  EXPECT_NE(a, b);
  EXPECT_NE(c, d);
  EXPECT_EQ(ShownPlottables(), 2);  // the data and the point
  EXPECT_EQ(Plot()->itemCount(), kCursorItems + 2);

  EXPECT_EQ(DeleteGraphPlot(panel_, PlotGraph, b, VAL_DELAYED_DRAW), UIE_NoError);
  EXPECT_EQ(Plot()->itemCount(), kCursorItems + 1);
  EXPECT_EQ(DeleteGraphPlot(panel_, PlotGraph, b, VAL_DELAYED_DRAW), UIE_NoPlot);
  EXPECT_EQ(DeleteGraphPlot(panel_, PlotGraph, a, VAL_IMMEDIATE_DRAW), UIE_NoError);
  EXPECT_EQ(ShownPlottables(), 1);

  EXPECT_EQ(DeleteGraphPlot(panel_, PlotGraph, -1, VAL_IMMEDIATE_DRAW), UIE_NoError);
  EXPECT_EQ(ShownPlottables(), 0);
  EXPECT_EQ(Plot()->itemCount(), kCursorItems) << "cursors are not plots";
  EXPECT_EQ(DeleteGraphPlot(panel_, PlotGraph, c, VAL_IMMEDIATE_DRAW), UIE_NoPlot);
  EXPECT_EQ(PlotY(panel_, CountField, y, 4, VAL_DOUBLE, 0, 0, 0, 1, 0), UIE_WrongType);
}

TEST_F(GraphTest, PlotStylesMapToTheirDrawings) {
  const double x[5] = {0, 1, 2, 3, 4};
  const double back[5] = {0, 2, 1, 3, 2};
  const double y[5] = {1, 3, 2, 5, 4};
  PlotXY(panel_, PlotGraph, x, y, 5, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID,
         1, VAL_RED);
  PlotXY(panel_, PlotGraph, x, y, 5, VAL_DOUBLE, VAL_DOUBLE, VAL_VERTICAL_BAR, VAL_NO_POINT,
         VAL_SOLID, 1, VAL_GREEN);
  PlotXY(panel_, PlotGraph, back, y, 5, VAL_DOUBLE, VAL_DOUBLE, VAL_SCATTER, VAL_SIMPLE_DOT,
         VAL_DOT, 1, VAL_BLUE);
  PlotXY(panel_, PlotGraph, back, y, 5, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT,
         VAL_SOLID, 1, VAL_CYAN);
  QCustomPlot* p = Plot();
  ASSERT_EQ(p->plottableCount(), 4);
  auto* line = qobject_cast<QCPGraph*>(p->plottable(0));
  ASSERT_NE(line, nullptr);
  EXPECT_EQ(line->pen().color(), QColor(255, 0, 0));
  EXPECT_EQ(line->lineStyle(), QCPGraph::lsLine);
  auto* bars = qobject_cast<QCPBars*>(p->plottable(1));
  ASSERT_NE(bars, nullptr);
  EXPECT_DOUBLE_EQ(bars->width(), 1.0);
  auto* scatter = qobject_cast<QCPGraph*>(p->plottable(2));
  ASSERT_NE(scatter, nullptr);
  EXPECT_EQ(scatter->lineStyle(), QCPGraph::lsNone);
  EXPECT_NE(scatter->scatterStyle().shape(), QCPScatterStyle::ssNone);
  // A line whose X goes back keeps the order of its points.
  auto* curve = qobject_cast<QCPCurve*>(p->plottable(3));
  ASSERT_NE(curve, nullptr);
  EXPECT_EQ(curve->data()->size(), 5);
  EXPECT_FALSE(p->antialiasedElements().testFlag(QCP::aePlottables));
  EXPECT_TRUE(p->notAntialiasedElements().testFlag(QCP::aePlottables));
  EXPECT_TRUE(line->pen().isCosmetic());
  EXPECT_LE(line->pen().widthF(), 1.0);
}

TEST_F(GraphTest, BarsStandOnTheAxisBottomAndEndAtTheirValues) {
  // dB band display: bars rise from the bottom of a manual range to their own level.
  const double y[3] = {97.0, -20.0, 10.0};
  ASSERT_EQ(SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, -50.0, 100.0), 0);
  PlotY(panel_, PlotGraph, y, 3, VAL_DOUBLE, VAL_VERTICAL_BAR, 0, 0, 1, VAL_GREEN);
  RefreshGraph(panel_, PlotGraph);
  auto* bars = qobject_cast<QCPBars*>(Plot()->plottable(0));
  ASSERT_NE(bars, nullptr);
  ASSERT_EQ(bars->data()->size(), 3);
  EXPECT_DOUBLE_EQ(bars->baseValue(), -50.0);
  int i = 0;
  for (auto it = bars->data()->constBegin(); it != bars->data()->constEnd(); ++it, ++i)
    EXPECT_DOUBLE_EQ(bars->baseValue() + it->value, y[i]) << "bar " << i;
  // A new range moves the base; the tops stay where they were.
  ASSERT_EQ(SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, -100.0, 100.0), 0);
  RefreshGraph(panel_, PlotGraph);
  i = 0;
  for (auto it = bars->data()->constBegin(); it != bars->data()->constEnd(); ++it, ++i)
    EXPECT_DOUBLE_EQ(bars->baseValue() + it->value, y[i]) << "bar " << i;
}

TEST_F(GraphTest, NonFinitePointsAreSkippedAndNeverHang) {
  const double y[6] = {1, kNaN, kInf, -kInf, 5, 1e300};
  const int h = PlotY(panel_, PlotGraph, y, 6, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID,
                      1, VAL_WHITE);
  ASSERT_GT(h, 0);
  auto* g = qobject_cast<QCPGraph*>(Plot()->plottable(0));
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->data()->size(), 3);
  ASSERT_EQ(SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0), 0);
  EXPECT_EQ(RefreshGraph(panel_, PlotGraph), UIE_NoError);
  PlotXY(panel_, PlotGraph, y, y, 6, VAL_DOUBLE, VAL_DOUBLE, VAL_VERTICAL_BAR, VAL_NO_POINT,
         VAL_SOLID, 1, VAL_WHITE);
  PlotXY(panel_, PlotGraph, y, y, 6, VAL_DOUBLE, VAL_DOUBLE, VAL_SCATTER, VAL_X, VAL_SOLID, 1,
         VAL_WHITE);
  EXPECT_EQ(RefreshGraph(panel_, PlotGraph), UIE_NoError);
  const double none[1] = {kNaN};
  EXPECT_GT(PlotY(panel_, PlotGraph, none, 1, VAL_DOUBLE, VAL_THIN_LINE, 0, 0, 1, 0), 0);
  EXPECT_EQ(PlotLine(panel_, PlotGraph, 0, kNaN, 1, 1, VAL_WHITE), UIE_InvalidValue);
  EXPECT_EQ(PlotText(panel_, PlotGraph, kInf, 1, "x", "", 0, 0), UIE_InvalidValue);
  EXPECT_EQ(PlotPoint(panel_, PlotGraph, 1, -kInf, VAL_X, VAL_WHITE), UIE_InvalidValue);
  EXPECT_EQ(SetGraphCursor(panel_, PlotGraph, 1, kNaN, 0), UIE_InvalidValue);
  EXPECT_EQ(InsertAxisItem(panel_, PlotGraph, VAL_XAXIS, -1, "x", kNaN), UIE_InvalidValue);
  EXPECT_EQ(SetCtrlAttribute(panel_, PlotGraph, ATTR_YAXIS_GAIN, kInf), UIE_InvalidValue);
  EXPECT_EQ(RefreshGraph(panel_, PlotGraph), UIE_NoError);

  // Finite but far outside a manual range: every kind of plot is clipped, none hangs.
  SetAxisScalingMode(panel_, PlotGraph, VAL_XAXIS, VAL_MANUAL, 0, 10);
  SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 10);
  const double far[4] = {1e300, -1e300, 1e200, 5};
  const double back[4] = {3, 1, 1e300, 2};
  for (int style : {VAL_THIN_LINE, VAL_VERTICAL_BAR, VAL_SCATTER, VAL_CONNECTED_POINTS}) {
    EXPECT_GT(PlotY(panel_, PlotGraph, far, 4, VAL_DOUBLE, style, VAL_X, VAL_DASH, 1, VAL_RED), 0);
  }
  EXPECT_GT(PlotXY(panel_, PlotGraph, back, far, 4, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, 0,
                   VAL_DASH, 1, VAL_RED),
            0);
  EXPECT_GT(PlotLine(panel_, PlotGraph, -1e300, -1e300, 1e300, 1e300, VAL_WHITE), 0);
  EXPECT_GT(PlotText(panel_, PlotGraph, 1e300, 1e300, "far", "", VAL_WHITE, VAL_BLACK), 0);
  EXPECT_EQ(SetGraphCursor(panel_, PlotGraph, 1, 1e300, -1e300), UIE_NoError);
  EXPECT_EQ(RefreshGraph(panel_, PlotGraph), UIE_NoError);
}

TEST_F(GraphTest, CursorSnapsToTheNearestPointOfTheFirstPlot) {
  int plot = 0, index = 0;
  EXPECT_EQ(GetGraphCursorIndex(panel_, PlotGraph, 1, &plot, &index), UIE_NoError);
  EXPECT_EQ(plot, -1);
  EXPECT_EQ(index, -1);

  double x[6], y[6];
  for (int i = 0; i < 6; ++i) {
    x[i] = 10.0 * i;
    y[i] = i * i;
  }
  y[3] = kNaN;  // point 3 cannot be chosen
  const int first = PlotXY(panel_, PlotGraph, x, y, 6, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE,
                           VAL_NO_POINT, VAL_SOLID, 1, VAL_RED);
  const double other[2] = {0, 1};
  PlotY(panel_, PlotGraph, other, 2, VAL_DOUBLE, VAL_THIN_LINE, 0, 0, 1, VAL_GREEN);

  struct Case {
    double at;
    int expect;
  } cases[] = {{-100, 0}, {4.9, 0}, {5.1, 1}, {14.9, 1}, {26, 2}, {29, 2}, {31, 4}, {1e9, 5}};
  for (const auto& c : cases) {
    SetGraphCursor(panel_, PlotGraph, 2, c.at, 0);
    ASSERT_EQ(GetGraphCursorIndex(panel_, PlotGraph, 2, &plot, &index), UIE_NoError);
    EXPECT_EQ(plot, first);
    EXPECT_EQ(index, c.expect) << "cursor at " << c.at;
  }
  double cx = 0, cy = 0;
  GetGraphCursor(panel_, PlotGraph, 2, &cx, &cy);
  EXPECT_DOUBLE_EQ(cx, 1e9) << "code places cursors exactly";
  EXPECT_EQ(SetGraphCursor(panel_, PlotGraph, 6, 0, 0), UIE_IndexOutOfRange);
  EXPECT_EQ(GetGraphCursorIndex(panel_, PlotGraph, 0, &plot, &index), UIE_IndexOutOfRange);

  // Deleting the first plot makes the next oldest the first.
  DeleteGraphPlot(panel_, PlotGraph, first, VAL_NO_DRAW);
  SetGraphCursor(panel_, PlotGraph, 1, 0.9, 0);
  GetGraphCursorIndex(panel_, PlotGraph, 1, &plot, &index);
  EXPECT_EQ(plot, first + 1);
  EXPECT_EQ(index, 1);
}

TEST_F(GraphTest, CursorAttributesAndCount) {
  int v = 0;
  EXPECT_EQ(GetCtrlAttribute(panel_, PlotGraph, ATTR_NUM_CURSORS, &v), UIE_NoError);
  EXPECT_EQ(v, 3) << "from the resource";
  EXPECT_EQ(SetCtrlAttribute(panel_, PlotGraph, ATTR_NUM_CURSORS, 5), UIE_NoError);
  EXPECT_EQ(SetCtrlAttribute(panel_, PlotGraph, ATTR_NUM_CURSORS, 6), UIE_IndexOutOfRange);
  EXPECT_EQ(SetCursorAttribute(panel_, PlotGraph, 4, ATTR_CURSOR_COLOR, VAL_WHITE), UIE_NoError);
  EXPECT_EQ(SetCursorAttribute(panel_, PlotGraph, 5, ATTR_CURSOR_VISIBLE, 0), UIE_NoError);
  GetCursorAttribute(panel_, PlotGraph, 4, ATTR_CURSOR_COLOR, &v);
  EXPECT_EQ(v, VAL_WHITE);
  GetCursorAttribute(panel_, PlotGraph, 5, ATTR_CURSOR_VISIBLE, &v);
  EXPECT_EQ(v, 0);
  SetGraphCursor(panel_, PlotGraph, 5, 3.5, 4.5);
  double x = 0, y = 0;
  GetGraphCursor(panel_, PlotGraph, 5, &x, &y);
  EXPECT_DOUBLE_EQ(x, 3.5) << "a hidden cursor keeps its position";
  EXPECT_DOUBLE_EQ(y, 4.5);
}

TEST_F(GraphTest, ScalingIsNeverEmptyOrInverted) {
  int mode = -1;
  double lo = 0, hi = 0;
  ASSERT_EQ(SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, -5, 20), 0);
  GetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, &mode, &lo, &hi);
  EXPECT_EQ(mode, VAL_MANUAL);
  EXPECT_DOUBLE_EQ(lo, -5);
  EXPECT_DOUBLE_EQ(hi, 20);

  SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 0);  // silent channel
  GetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, &mode, &lo, &hi);
  EXPECT_LT(lo, 0.0);
  EXPECT_GT(hi, 0.0);
  SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, 3e6, 3e6);
  GetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, &mode, &lo, &hi);
  EXPECT_LT(lo, 3e6);
  EXPECT_GT(hi, 3e6);
  SetAxisScalingMode(panel_, PlotGraph, VAL_XAXIS, VAL_MANUAL, 8, 2);
  GetAxisScalingMode(panel_, PlotGraph, VAL_XAXIS, &mode, &lo, &hi);
  EXPECT_DOUBLE_EQ(lo, 2);
  EXPECT_DOUBLE_EQ(hi, 8);
  EXPECT_EQ(SetAxisScalingMode(panel_, PlotGraph, VAL_XAXIS, VAL_MANUAL, kNaN, 1),
            UIE_InvalidValue);
  GetAxisScalingMode(panel_, PlotGraph, VAL_XAXIS, &mode, &lo, &hi);
  EXPECT_DOUBLE_EQ(lo, 2) << "a refused range keeps the old one";

  const double y[3] = {4, 4, 4};
  SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_AUTOSCALE, 0, 0);
  PlotY(panel_, PlotGraph, y, 3, VAL_DOUBLE, VAL_THIN_LINE, 0, 0, 1, VAL_RED);
  GetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, &mode, &lo, &hi);
  EXPECT_EQ(mode, VAL_AUTOSCALE);
  EXPECT_LT(lo, 4.0);
  EXPECT_GT(hi, 4.0);
}

TEST_F(GraphTest, TickLabelsShowGainOffsetPrecisionAndDivisions) {
  SetAxisScalingMode(panel_, PlotGraph, VAL_XAXIS, VAL_MANUAL, 0, 10);
  SetCtrlAttribute(panel_, PlotGraph, ATTR_XDIVISIONS, 5);
  SetCtrlAttribute(panel_, PlotGraph, ATTR_XAXIS_GAIN, 2.5);
  SetCtrlAttribute(panel_, PlotGraph, ATTR_XPRECISION, 1);
  EXPECT_EQ(XLabels(), QStringList({"0.0", "5.0", "10.0", "15.0", "20.0", "25.0"}));

  SetCtrlAttribute(panel_, PlotGraph, ATTR_XAXIS_OFFSET, -5.0);
  SetCtrlAttribute(panel_, PlotGraph, ATTR_XPRECISION, 0);
  EXPECT_EQ(XLabels(), QStringList({"-5", "0", "5", "10", "15", "20"}));

  // A tiny negative value rounds to a zero without a sign.
  SetCtrlAttribute(panel_, PlotGraph, ATTR_XAXIS_OFFSET, -0.001);
  SetCtrlAttribute(panel_, PlotGraph, ATTR_XAXIS_GAIN, 1.0);
  SetCtrlAttribute(panel_, PlotGraph, ATTR_XPRECISION, 2);
  EXPECT_EQ(XLabels().value(0), "0.00");

  double gain = 0;
  GetCtrlAttribute(panel_, PlotGraph, ATTR_XAXIS_GAIN, &gain);
  EXPECT_DOUBLE_EQ(gain, 1.0);
}

TEST_F(GraphTest, AxisLabelStringsReplaceNumbers) {
  SetAxisScalingMode(panel_, PlotGraph, VAL_XAXIS, VAL_MANUAL, 0, 100);
  ClearAxisItems(panel_, PlotGraph, VAL_XAXIS);
  InsertAxisItem(panel_, PlotGraph, VAL_XAXIS, -1, "31.5", 10);
  InsertAxisItem(panel_, PlotGraph, VAL_XAXIS, -1, "63", 20);
  InsertAxisItem(panel_, PlotGraph, VAL_XAXIS, 0, "16", 5);
  InsertAxisItem(panel_, PlotGraph, VAL_XAXIS, -1, "beyond", 500);  // outside the range
  SetCtrlAttribute(panel_, PlotGraph, ATTR_XUSE_LABEL_STRINGS, 1);
  EXPECT_EQ(XLabels(), QStringList({"16", "31.5", "63"}));
  ClearAxisItems(panel_, PlotGraph, VAL_XAXIS);
  EXPECT_TRUE(XLabels().isEmpty());
  SetCtrlAttribute(panel_, PlotGraph, ATTR_XUSE_LABEL_STRINGS, 0);
  EXPECT_FALSE(XLabels().isEmpty());
  EXPECT_EQ(InsertAxisItem(panel_, PlotGraph, VAL_XAXIS, 3, "x", 1), UIE_IndexOutOfRange);
  EXPECT_EQ(InsertAxisItem(panel_, PlotGraph, 7, -1, "x", 1), UIE_InvalidValue);
}

TEST_F(GraphTest, ManyPlotCallsInOneEventMakeOneReplot) {
  ProcessSystemEvents();  // the plot's own first drawing after loading
  int replots = 0;
  QObject::connect(Plot(), &QCustomPlot::afterReplot, [&replots] { ++replots; });
  const double y[64] = {};
  for (int i = 0; i < 10; ++i) {
    DeleteGraphPlot(panel_, PlotGraph, -1, VAL_DELAYED_DRAW);
    PlotY(panel_, PlotGraph, y, 64, VAL_DOUBLE, VAL_THIN_LINE, 0, 0, 1, VAL_RED);
    SetAxisScalingMode(panel_, PlotGraph, VAL_XAXIS, VAL_MANUAL, 0, 63);
    SetCtrlAttribute(panel_, PlotGraph, ATTR_YAXIS_GAIN, 2.0);
  }
  EXPECT_EQ(replots, 0);
  ProcessSystemEvents();
  EXPECT_EQ(replots, 1);
}

TEST_F(GraphTest, NewDataKeepsTheFrameAndHiddenGraphsWaitUntilShown) {
  DisplayPanel(panel_);
  SetAxisScalingMode(panel_, PlotGraph, VAL_XAXIS, VAL_MANUAL, 0, 1);
  SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, -1, 1);
  int replots = 0;
  QObject::connect(Plot(), &QCustomPlot::afterReplot, [&replots] { ++replots; });
  const int magenta = MakeColor(255, 0, 255), green = MakeColor(0, 255, 0);
  auto draw = [&](double level, int color) {
    const double y[2] = {level, level};  // away from the cursors at 0
    DeleteGraphPlot(panel_, PlotGraph, -1, VAL_DELAYED_DRAW);
    PlotY(panel_, PlotGraph, y, 2, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1, color);
    SetCtrlAttribute(panel_, PlotGraph, ATTR_YAXIS_GAIN, 1.0);  // unchanged: no new frame
    ProcessSystemEvents();
  };
  // Pixels of one colour in what the widget shows (its buffers, without a new replot).
  auto shown = [&](int color) {
    const QImage img = Plot()->grab().toImage();
    int count = 0;
    for (int yy = 0; yy < img.height(); ++yy) {
      for (int xx = 0; xx < img.width(); ++xx)
        count += (img.pixel(xx, yy) & 0xFFFFFF) == uint(color);
    }
    return count;
  };
  draw(0.5, magenta);
  const int afterFirst = replots;
  EXPECT_GT(shown(magenta), 50);
  draw(-0.5, green);  // same axes: only the plot layer is drawn again
  EXPECT_EQ(replots, afterFirst);
  EXPECT_GT(shown(green), 50);
  EXPECT_EQ(shown(magenta), 0) << "the old plot is gone";
  SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, -2, 2);
  draw(0.5, magenta);
  EXPECT_EQ(replots, afterFirst + 1) << "a new range draws the frame";

  SetCtrlAttribute(panel_, PlotGraph, ATTR_VISIBLE, 0);
  draw(-0.5, green);
  RefreshGraph(panel_, PlotGraph);
  EXPECT_EQ(replots, afterFirst + 1) << "a hidden graph is not drawn";
  SetCtrlAttribute(panel_, PlotGraph, ATTR_VISIBLE, 1);
  ProcessSystemEvents();
  EXPECT_GT(shown(green), 50) << "shown again with its latest data";
  EXPECT_EQ(shown(magenta), 0);
}

TEST_F(GraphTest, MouseMovesCursorOneAndRightClicksReachTheCallback) {
  DisplayPanel(panel_);
  double x[11], y[11];
  for (int i = 0; i <= 10; ++i) {
    x[i] = i;
    y[i] = 10 - i;
  }
  SetAxisScalingMode(panel_, PlotGraph, VAL_XAXIS, VAL_MANUAL, 0, 10);
  SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 10);
  PlotXY(panel_, PlotGraph, x, y, 11, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT,
         VAL_SOLID, 1, VAL_RED);
  SetGraphCursor(panel_, PlotGraph, 2, 9, 9);
  SetGraphCursor(panel_, PlotGraph, 3, 9, 9);
  RefreshGraph(panel_, PlotGraph);

  QCustomPlot* p = Plot();
  const QPoint at(static_cast<int>(p->xAxis->coordToPixel(3.2)),
                  static_cast<int>(p->yAxis->coordToPixel(1.0)));
  QTest::mouseClick(p, Qt::LeftButton, Qt::NoModifier, at);
  ASSERT_EQ(CountEvents(PlotGraph, EVENT_COMMIT), 1);
  double cx = 0, cy = 0;
  GetGraphCursor(panel_, PlotGraph, 1, &cx, &cy);
  EXPECT_DOUBLE_EQ(cx, 3.0) << "the measuring cursor sits on a data point";
  EXPECT_DOUBLE_EQ(cy, 7.0);

  QTest::mouseClick(p, Qt::LeftButton, Qt::NoModifier, at);
  EXPECT_EQ(CountEvents(PlotGraph, EVENT_COMMIT), 1) << "no move, no commit";

  // Dragging cursor 2 from its place moves it freely.
  const QPoint c2(static_cast<int>(p->xAxis->coordToPixel(9)),
                  static_cast<int>(p->yAxis->coordToPixel(9)));
  const QPoint to(static_cast<int>(p->xAxis->coordToPixel(6.5)),
                  static_cast<int>(p->yAxis->coordToPixel(4.5)));
  QTest::mousePress(p, Qt::LeftButton, Qt::NoModifier, c2);
  QMouseEvent move(QEvent::MouseMove, QPointF(to), p->mapToGlobal(QPointF(to)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(p, &move);
  QTest::mouseRelease(p, Qt::LeftButton, Qt::NoModifier, to);
  EXPECT_EQ(CountEvents(PlotGraph, EVENT_COMMIT), 2);
  GetGraphCursor(panel_, PlotGraph, 2, &cx, &cy);
  EXPECT_NEAR(cx, 6.5, 0.1);
  EXPECT_NEAR(cy, 4.5, 0.1);

  QTest::mouseClick(p, Qt::RightButton, Qt::NoModifier, at);
  EXPECT_EQ(CountEvents(PlotGraph, EVENT_RIGHT_CLICK), 1);
  QTest::mouseDClick(p, Qt::RightButton, Qt::NoModifier, at);
  EXPECT_EQ(CountEvents(PlotGraph, EVENT_RIGHT_DOUBLE_CLICK), 1);

  // Arrow keys step the measuring cursor along the plot.
  Events().clear();
  SetGraphCursor(panel_, PlotGraph, 1, 3, 7);
  QTest::keyClick(p, Qt::Key_Right);
  GetGraphCursor(panel_, PlotGraph, 1, &cx, &cy);
  EXPECT_DOUBLE_EQ(cx, 4.0);
  EXPECT_EQ(CountEvents(PlotGraph, EVENT_COMMIT), 1);
}

TEST_F(GraphTest, WheelBoxAndDoubleClickAskForZoomThroughCursorsTwoAndThree) {
  DisplayPanel(panel_);
  double x[11], y[11];
  for (int i = 0; i <= 10; ++i) x[i] = y[i] = i;
  SetAxisScalingMode(panel_, PlotGraph, VAL_XAXIS, VAL_MANUAL, 0, 10);
  SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 10);
  PlotXY(panel_, PlotGraph, x, y, 11, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT,
         VAL_SOLID, 1, VAL_RED);
  RefreshGraph(panel_, PlotGraph);
  QCustomPlot* p = Plot();
  auto pixel = [p](double px, double py) {
    return QPointF(p->xAxis->coordToPixel(px), p->yAxis->coordToPixel(py));
  };
  auto wheel = [p](QPointF at, Qt::KeyboardModifiers mods) {
    QWheelEvent e(at, p->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, mods,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(p, &e);
  };
  double x2, y2, x3, y3;
  auto corners = [&] {
    GetGraphCursor(panel_, PlotGraph, 2, &x2, &y2);
    GetGraphCursor(panel_, PlotGraph, 3, &x3, &y3);
  };
  // One notch at x = 2: X narrows by a fifth about 2, Y stays.
  wheel(pixel(2.0, 5.0), Qt::NoModifier);
  EXPECT_EQ(CountEvents(PlotGraph, EVENT_RIGHT_CLICK), 1);
  corners();
  EXPECT_NEAR(x2, 0.4, 0.02);
  EXPECT_NEAR(x3, 8.4, 0.02);
  EXPECT_NEAR(y2, 0.0, 1e-9);
  EXPECT_NEAR(y3, 10.0, 1e-9);
  // With Ctrl the Y range narrows about the pointer.
  wheel(pixel(5.0, 5.0), Qt::ControlModifier);
  EXPECT_EQ(CountEvents(PlotGraph, EVENT_RIGHT_CLICK), 2);
  corners();
  EXPECT_NEAR(y2, 1.0, 0.02);
  EXPECT_NEAR(y3, 9.0, 0.02);
  EXPECT_NEAR(x3, 10.0, 1e-9);
  // A box drawn with Shift.
  QTest::mousePress(p, Qt::LeftButton, Qt::ShiftModifier, pixel(2.0, 8.0).toPoint());
  QMouseEvent move(QEvent::MouseMove, pixel(6.0, 3.0), p->mapToGlobal(pixel(6.0, 3.0)),
                   Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
  QApplication::sendEvent(p, &move);
  QTest::mouseRelease(p, Qt::LeftButton, Qt::ShiftModifier, pixel(6.0, 3.0).toPoint());
  EXPECT_EQ(CountEvents(PlotGraph, EVENT_RIGHT_CLICK), 3);
  EXPECT_EQ(CountEvents(PlotGraph, EVENT_COMMIT), 0) << "the box moves no measuring cursor";
  corners();
  EXPECT_NEAR(x2, 2.0, 0.1);
  EXPECT_NEAR(y2, 3.0, 0.1);
  EXPECT_NEAR(x3, 6.0, 0.1);
  EXPECT_NEAR(y3, 8.0, 0.1);
  // A left double click asks for the whole result back.
  QTest::mouseDClick(p, Qt::LeftButton, Qt::NoModifier, pixel(5.0, 5.0).toPoint());
  EXPECT_EQ(CountEvents(PlotGraph, EVENT_RIGHT_DOUBLE_CLICK), 1);
}

TEST_F(GraphTest, CursorsAreTakenOnlyAtTheirOwnLine) {
  DisplayPanel(panel_);
  double x[11], y[11];
  for (int i = 0; i <= 10; ++i) x[i] = y[i] = i;
  SetCtrlAttribute(panel_, PlotGraph, ATTR_NUM_CURSORS, 3);
  SetAxisScalingMode(panel_, PlotGraph, VAL_XAXIS, VAL_MANUAL, 0, 10);
  SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, 0, 10);
  PlotXY(panel_, PlotGraph, x, y, 11, VAL_DOUBLE, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT,
         VAL_SOLID, 1, VAL_RED);
  SetGraphCursor(panel_, PlotGraph, 1, 8, 8);
  SetGraphCursor(panel_, PlotGraph, 2, 1, 6);
  RefreshGraph(panel_, PlotGraph);
  QCustomPlot* p = Plot();
  // On cursor 2's horizontal line but far from its corner: the measuring cursor comes there.
  const QPoint at(static_cast<int>(p->xAxis->coordToPixel(4.0)),
                  static_cast<int>(p->yAxis->coordToPixel(6.0)));
  QTest::mouseClick(p, Qt::LeftButton, Qt::NoModifier, at);
  double cx, cy;
  GetGraphCursor(panel_, PlotGraph, 1, &cx, &cy);
  EXPECT_DOUBLE_EQ(cx, 4.0);
  GetGraphCursor(panel_, PlotGraph, 2, &cx, &cy);
  EXPECT_DOUBLE_EQ(cx, 1.0);
  EXPECT_DOUBLE_EQ(cy, 6.0);
  // A hidden measuring cursor appears where it is put.
  SetCursorAttribute(panel_, PlotGraph, 1, ATTR_CURSOR_VISIBLE, 0);
  QTest::mouseClick(p, Qt::LeftButton, Qt::NoModifier,
                    QPoint(static_cast<int>(p->xAxis->coordToPixel(7.0)), at.y()));
  int visible = 0;
  GetCursorAttribute(panel_, PlotGraph, 1, ATTR_CURSOR_VISIBLE, &visible);
  EXPECT_EQ(visible, 1);
  GetGraphCursor(panel_, PlotGraph, 1, &cx, &cy);
  EXPECT_DOUBLE_EQ(cx, 7.0);
}

TEST_F(GraphTest, PanelPicturesGoToPngAndClipboard) {
  DisplayPanel(panel_);
  double y[256];
  for (int i = 0; i < 256; ++i) y[i] = std::sin(i * 0.1);
  PlotY(panel_, PlotGraph, y, 256, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1,
        VAL_YELLOW);
  int top = 0, left = 0, height = 0, width = 0;
  GetCtrlBoundingRect(panel_, GraphFrame, &top, &left, &height, &width);
  int bitmap = 0;
  ASSERT_EQ(GetPanelDisplayBitmap(panel_, VAL_FULL_PANEL, top, left, height / 2, width, &bitmap),
            UIE_NoError);
  QTemporaryDir dir;
  const QByteArray file = dir.filePath("graph.png").toUtf8();
  ASSERT_EQ(SaveBitmapToPNGFile(bitmap, file.constData()), UIE_NoError);
  const QImage img(QString::fromUtf8(file));
  EXPECT_EQ(img.width(), width);
  EXPECT_EQ(img.height(), height / 2);
  EXPECT_EQ(ClipboardPutBitmap(bitmap), UIE_NoError);
  EXPECT_EQ(DiscardBitmap(bitmap), UIE_NoError);
  EXPECT_EQ(ClipboardPutBitmap(bitmap), UIE_InvalidValue);
  EXPECT_EQ(GetPanelDisplayBitmap(panel_, VAL_FULL_PANEL, 5000, 5000, 10, 10, &bitmap),
            UIE_InvalidValue);

  // A picture taken right after plotting already shows the new plot.
  DeleteGraphPlot(panel_, PlotGraph, -1, VAL_NO_DRAW);
  SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, -1, 1);
  const double flat[2] = {0.5, 0.5};  // away from the cursors at 0
  PlotY(panel_, PlotGraph, flat, 2, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1,
        MakeColor(255, 0, 255));
  GetCtrlBoundingRect(panel_, PlotGraph, &top, &left, &height, &width);
  ASSERT_EQ(GetPanelDisplayBitmap(panel_, VAL_FULL_PANEL, top, left, height, width, &bitmap), 0);
  ASSERT_EQ(SaveBitmapToPNGFile(bitmap, file.constData()), UIE_NoError);
  const QImage shot(QString::fromUtf8(file));
  int magenta = 0;
  for (int yy = 0; yy < shot.height(); ++yy) {
    for (int xx = 0; xx < shot.width(); ++xx) magenta += shot.pixel(xx, yy) == qRgb(255, 0, 255);
  }
  EXPECT_GT(magenta, 50);
  DiscardBitmap(bitmap);

  // The full panel, for a person to look at (VELTRA_UI_SCREENSHOT=path).
  if (const char* screenshot = std::getenv("VELTRA_UI_SCREENSHOT")) {
    DeleteGraphPlot(panel_, PlotGraph, -1, VAL_NO_DRAW);
    SetAxisScalingMode(panel_, PlotGraph, VAL_LEFT_YAXIS, VAL_MANUAL, -1.2, 1.2);
    PlotY(panel_, PlotGraph, y, 256, VAL_DOUBLE, VAL_THIN_LINE, VAL_NO_POINT, VAL_SOLID, 1,
          VAL_YELLOW);
    SetCtrlVal(panel_, OverloadLed, 1);
    SetCtrlVal(panel_, PowerToggle, 1);
    SetCtrlVal(panel_, StatusReadout, "k= 12; X:= 120.000,Гц; Y:= 0.932,Па");
    SetCtrlAttribute(panel_, PlotGraph, ATTR_XNAME, "Гц");
    SetGraphCursor(panel_, PlotGraph, 1, 40, y[40]);
    SetGraphCursor(panel_, PlotGraph, 2, 20, -0.5);
    SetGraphCursor(panel_, PlotGraph, 3, 200, 0.5);
    PlotLine(panel_, PlotGraph, 80, -0.9, 80, 0.9, VAL_WHITE);
    PlotText(panel_, PlotGraph, 80, 0.9, "2", "NIAppMetaFont", VAL_YELLOW, VAL_TRANSPARENT);
    ProcessSystemEvents();
    PanelWidget(panel_)->grab().save(QString::fromUtf8(screenshot));
  }
}

}  // namespace
