// What the operator sees after changing things, through the real panels: readouts that follow
// the curve, fields that show what the model holds, no trace left from other settings, the
// measurement type's choices kept across a round trip, warnings and hints.
#include <qcustomplot.h>

#include <QApplication>
#include <QLabel>
#include <QShortcut>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <string>
#include <vector>

#include "analyzer/aids.h"
#include "analyzer/display1.h"
#include "analyzer/iirfilter.h"
#include "fixture.h"
#include "ui/uiqt.h"

namespace {

using veltra_test::VeltraTest;

class Operator : public VeltraTest {
 protected:
  void TearDown() override {
    for (ViewState& v : vs) v.cursorPoint = -1;
    VeltraTest::TearDown();
  }
  static int Graph(int w) { return w == 0 ? MAIN_Graph1 : MAIN_Graph2; }
  static QCustomPlot* Plot(int w) {
    return static_cast<QCustomPlot*>(CtrlWidget(mainpanel, Graph(w)));
  }
  // The plots drawn: a deleted data plot may stay behind hidden, kept for the next one.
  static std::vector<QCPAbstractPlottable*> Shown(QCustomPlot* p) {
    std::vector<QCPAbstractPlottable*> shown;
    for (int i = 0; i < p->plottableCount(); ++i) {
      if (p->plottable(i)->visible()) shown.push_back(p->plottable(i));
    }
    return shown;
  }
  static std::string Text(int control, int panel = mainpanel) {
    char buf[512] = "";
    GetCtrlVal(panel, control, buf, sizeof buf);
    return buf;
  }
  static std::string Readout(int w) {
    return Text(w == 0 ? MAIN_CursorReadout1 : MAIN_CursorReadout2);
  }
  static std::string Expected(int w, int k) {
    char buf[256];
    CursorText(w, k, buf, sizeof buf);
    return buf;
  }
  // A counted run of the generator's sine, ticked until it stops by itself.
  static void Run(int averages) {
    PrepareSineRun(averages);
    Set("StartButton", "1");
    for (int i = 0; i < 400 && start == 1; ++i) Tick();
    ASSERT_EQ(start, 0);
    ASSERT_EQ(sp.dataReady, 1);
  }
  static void PlaceCursor(int w, int k) {
    SetGraphCursor(mainpanel, Graph(w), 1, vs[w].xData[k], vs[w].yData[k]);
    UserFireEvent(mainpanel, Graph(w), EVENT_COMMIT, 1, 0);
  }
  // The readout is the value of the point the cursor stands on.
  static void ExpectCursorOnTrace(int w, int k) {
    ASSERT_EQ(vs[w].cursorPoint, k);
    double x = 0, y = 0;
    GetGraphCursor(mainpanel, Graph(w), 1, &x, &y);
    EXPECT_DOUBLE_EQ(x, vs[w].xData[k]);
    EXPECT_DOUBLE_EQ(y, vs[w].yData[k]);
    EXPECT_FALSE(Readout(w).empty());
    EXPECT_EQ(Readout(w), Expected(w, k));
  }
};

TEST_F(Operator, CursorReadoutFollowsEveryChangeOfTheCurve) {
  Run(2);
  const int k = 125;  // the 1 kHz tone
  PlaceCursor(0, k);
  ExpectCursorOnTrace(0, k);

  // Another Y unit: the same line, its value in the new unit.
  const std::string decibels = Readout(0);
  ASSERT_EQ(vs[0].yUnit, 4);
  Set("YUnitRing1", "1");
  ExpectCursorOnTrace(0, k);
  EXPECT_NE(Readout(0), decibels);

  // Another function on the same frequency axis keeps the line.
  Set("FunctionRing1", "1");
  ExpectCursorOnTrace(0, k);

  // A new run with another level: the readout is the new value, not the old one.
  const std::string before = Readout(0);
  Set("AmplitudeField", "100");
  Run(2);
  ExpectCursorOnTrace(0, k);
  EXPECT_NE(Readout(0), before);

  // Octave bands have another axis: the cursor and its readout are gone.
  Set("XUnitRing1", "3");
  EXPECT_EQ(vs[0].cursorPoint, kNoCursor);
  EXPECT_EQ(Readout(0), "");
}

TEST_F(Operator, WheelZoomsTheFrequencyAxisAboutThePointer) {
  Run(1);
  RefreshGraph(mainpanel, MAIN_Graph1);
  QCustomPlot* p = Plot(0);
  const double from = vs[0].viewXFrom, to = vs[0].viewXTo;
  const double x0 = from + 0.3 * (to - from);
  const QPointF at(p->xAxis->coordToPixel(x0), p->yAxis->coordToPixel(p->yAxis->range().center()));
  QWheelEvent e(at, p->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(p, &e);
  EXPECT_EQ(vs[0].zoomed, 1);
  EXPECT_EQ(IntOf("ZoomLed1"), 1);
  const double span = vs[0].viewXTo - vs[0].viewXFrom;
  EXPECT_NEAR(span, 0.8 * (to - from), 0.01 * (to - from));
  // The frequency under the pointer stays where it was on the axis.
  EXPECT_NEAR((x0 - vs[0].viewXFrom) / span, 0.3, 0.01);
  // The tick labels of the zoomed axis are round numbers of hertz.
  RefreshGraph(mainpanel, MAIN_Graph1);
  const QVector<double> ticks = p->xAxis->tickVector();
  ASSERT_GE(ticks.size(), 3);
  const double step = ticks[1] - ticks[0];
  const double decade = std::pow(10.0, std::floor(std::log10(step)));
  const double m = step / decade;
  EXPECT_TRUE(std::fabs(m - std::round(m * 2) / 2) < 1e-6) << step;
  for (int i = 0; i + 1 < ticks.size(); ++i)  // the last one carries the unit
    EXPECT_NEAR(ticks[i] / step, std::round(ticks[i] / step), 1e-6) << ticks[i];
  EXPECT_EQ(p->xAxis->tickVectorLabels().last(), "Гц");
  // A double click gives the whole band back.
  QTest::mouseDClick(p, Qt::LeftButton, Qt::NoModifier, at.toPoint());
  EXPECT_EQ(vs[0].zoomed, 0);
  EXPECT_DOUBLE_EQ(vs[0].viewXTo, to);
}

TEST_F(Operator, ValueAxisTicksAreRoundInTheShownUnit) {
  Set("YUnitRing1", "1");  // RMS in volts: the axis shows counts times the channel's scale
  Run(1);
  RefreshGraph(mainpanel, MAIN_Graph1);
  QCustomPlot* p = Plot(0);
  const QVector<QString> labels = p->yAxis->tickVectorLabels();
  ASSERT_GE(labels.size(), 3);
  std::vector<double> values;
  for (const QString& l : labels) values.push_back(l.toDouble());
  const double step = values[1] - values[0];
  ASSERT_GT(step, 0.0);
  for (double v : values)
    EXPECT_NEAR(v / step, std::round(v / step), 1e-3) << v << " step " << step;
}

TEST_F(Operator, BandTotalIsLabelledAndSetApart) {
  Run(1);
  Set("XUnitRing1", "3");  // octaves
  RefreshGraph(mainpanel, MAIN_Graph1);
  QCustomPlot* p = Plot(0);
  EXPECT_EQ(p->xAxis->tickVectorLabels().last(), "Σ");
  // Two bar plots: the bands in the window's colour, the total over them in grey.
  const std::vector<QCPAbstractPlottable*> shown = Shown(p);
  ASSERT_EQ(shown.size(), 2u);
  auto* bands = qobject_cast<QCPBars*>(shown[0]);
  auto* total = qobject_cast<QCPBars*>(shown[1]);
  ASSERT_NE(bands, nullptr);
  ASSERT_NE(total, nullptr);
  EXPECT_EQ(total->data()->size(), 1);
  EXPECT_EQ(total->data()->begin()->key, vs[0].count - 1);
  EXPECT_NE(total->brush().color(), bands->brush().color());
}

TEST_F(Operator, StaleResultsAreClearedWhenTheGeometryChanges) {
  const char* const changes[][2] = {{"SampleRateRing", "8192"},
                                    {"FftSizeRing", "2048"},
                                    {"WindowRing", "6"},
                                    {"MeasTypeRing", "3"}};
  for (const auto& change : changes) {
    Run(1);
    PlaceCursor(0, 10);
    ASSERT_FALSE(Shown(Plot(0)).empty());
    Set(change[0], change[1]);
    EXPECT_EQ(sp.dataReady, 0) << change[0];
    EXPECT_TRUE(Shown(Plot(0)).empty()) << change[0];
    EXPECT_TRUE(Shown(Plot(1)).empty()) << change[0];
    EXPECT_EQ(Readout(0), "") << change[0];
    EXPECT_EQ(Text(MAIN_TotalReadout1), "") << change[0];
  }
}

TEST_F(Operator, SpectraPresetAsksFirstAndShowsTheSensitivities) {
  ASSERT_EQ(rcu.chanA, 0);
  ASSERT_EQ(rcu.chanB, 1);
  ASSERT_DOUBLE_EQ(DoubleOf("SenFieldA"), 1000.0);
  // Declined: nothing changes.
  veltra_test::Popups().confirmAnswer = VAL_NO;
  Press("CalibrPresetButton");
  ASSERT_EQ(Seen().size(), 1u);
  EXPECT_EQ(Seen()[0].kind, POPUP_CONFIRM);
  EXPECT_NE(Seen()[0].text.find("1 мВ/ед"), std::string::npos);
  EXPECT_EQ(cch.sen[0], 1000.0);

  veltra_test::Popups().confirmAnswer = VAL_YES;
  Press("CalibrPresetButton");
  EXPECT_EQ(cch.sen[0], 1.0);
  EXPECT_DOUBLE_EQ(DoubleOf("SenFieldA"), 1.0);
  EXPECT_DOUBLE_EQ(DoubleOf("SenFieldB"), 1.0);
  // The field and the model agree: committing the field changes nothing.
  const double upc = cch.upc[0];
  Set("SenFieldA", "1");
  EXPECT_DOUBLE_EQ(cch.upc[0], upc);
}

TEST_F(Operator, StatisticsRoundTripGivesBackTheWindowsAndTheDataWindow) {
  Set("FunctionRing1", "0");
  Set("YUnitRing1", "4");
  Set("XUnitRing1", "3");
  Set("FunctionRing2", "10");
  Set("FormatRing2", "3");
  Set("WindowRing", "6");
  Set("MeasTypeRing", "2");
  EXPECT_EQ(vs[0].function, 21);
  Set("MeasTypeRing", "0");
  EXPECT_EQ(vs[0].function, 0);
  EXPECT_EQ(vs[0].yUnit, 4);
  EXPECT_EQ(vs[0].xUnit, 3);
  EXPECT_EQ(vs[1].function, 10);
  EXPECT_EQ(vs[1].format, 3);
  EXPECT_EQ(IntOf("WindowRing"), 6);
  EXPECT_EQ(cus.window, 6);

  // A choice both types offer stays as the operator left it.
  Set("MeasTypeRing", "3");
  Set("WindowRing", "2");
  Set("MeasTypeRing", "0");
  EXPECT_EQ(cus.window, 2);
  EXPECT_EQ(IntOf("WindowRing"), 2);
}

TEST_F(Operator, ToneOutsideTheAnalysedBandIsWarnedAbout) {
  Set("SampleRateRing", "8192");
  Set("Freq1Field", "5000");
  // 5000 Hz sampled at 8192 Hz folds to 3192 Hz.
  EXPECT_NE(Text(MAIN_StatusLine).find("3192.0 Гц"), std::string::npos) << Text(MAIN_StatusLine);
  Set("Freq1Field", "3500");  // below half the rate, above the 3200 Hz band
  EXPECT_NE(Text(MAIN_StatusLine).find("вне полосы"), std::string::npos) << Text(MAIN_StatusLine);
  Set("Freq1Field", "1000");
  EXPECT_EQ(Text(MAIN_StatusLine), "");
  Set("Freq1Field", "5000");
  Set("SampleRateRing", "16384");  // the band now reaches 6400 Hz
  EXPECT_EQ(Text(MAIN_StatusLine), "");
}

TEST_F(Operator, InputModeRingAndCoefficientFieldAgree) {
  Set("InputModeRingA", "0");
  EXPECT_EQ(hs.inmode[rcu.chanA], 0);
  EXPECT_EQ(Text(MAIN_CoefFieldA), "ICP");
  Set("InputModeRingA", "1");
  EXPECT_EQ(hs.inmode[rcu.chanA], 1);
  EXPECT_DOUBLE_EQ(cch.gain[rcu.chanA], 1.0);
  Set("CoefFieldB", "icp");
  EXPECT_EQ(IntOf("InputModeRingB"), 0);
  Set("CoefFieldB", "2.5");
  EXPECT_EQ(IntOf("InputModeRingB"), 1);
  EXPECT_DOUBLE_EQ(cch.gain[rcu.chanB], 2.5);
  EXPECT_NE(Text(FRONT_LinkStatusReadout, frontpanel).find("Подключить"), std::string::npos);
}

TEST_F(Operator, EveryControlHasAHintAndTheShortcutsWork) {
  const struct {
    int panel, count;
    const char* const* roles;
  } panels[] = {{mainpanel, kMainRoleCount, kMainRoles},
                {trigpanel, kTriggerRoleCount, kTriggerRoles},
                {frontpanel, kFrontRoleCount, kFrontRoles}};
  for (const auto& p : panels) {
    for (int i = 0; i < p.count; ++i) {
      const std::string role = p.roles[i];
      if (role.size() >= 5 && role.compare(role.size() - 5, 5, "Timer") == 0) continue;  // unseen
      if (role == "TimerTick") continue;
      char hint[512] = "";
      GetCtrlAttribute(p.panel, i + 1, ATTR_TOOLTIP_TEXT, hint, sizeof hint);
      EXPECT_GT(std::string(hint).size(), 5u) << p.roles[i];
    }
  }
  // F5 is ПУСК: with the generator on it starts a run.
  PrepareSineRun(1);
  bool found = false;
  for (QShortcut* s : PanelWidget(mainpanel)->findChildren<QShortcut*>()) {
    if (s->key() != QKeySequence(Qt::Key_F5)) continue;
    found = true;
    emit s->activated();
  }
  ASSERT_TRUE(found);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(IntOf("StartButton"), 1);
}

TEST_F(Operator, CaptionsGoWithTheirControls) {
  auto caption = [](const char* name) { return PanelWidget(mainpanel)->findChild<QLabel*>(name); };
  QLabel* db1 = caption("caption31");      // "дБ" of window 1
  QLabel* cursor2 = caption("caption38");  // "Курсор" of window 2
  ASSERT_NE(db1, nullptr);
  ASSERT_NE(cursor2, nullptr);
  ASSERT_EQ(vs[0].yUnit, 4);
  EXPECT_FALSE(db1->isHidden());
  Set("YUnitRing1", "1");
  EXPECT_TRUE(db1->isHidden()) << "no dB controls, no dB caption";
  Press("WindowSel1");
  EXPECT_TRUE(cursor2->isHidden());
  Press("WindowSel2");
  EXPECT_FALSE(cursor2->isHidden());
  // Window 2 alone moves up with its caption.
  int top = 0, left = 0, height = 0, width = 0;
  GetCtrlBoundingRect(mainpanel, MAIN_CursorModeRing2, &top, &left, &height, &width);
  EXPECT_EQ(cursor2->geometry().top(), top - 20) << "the caption stays just above its ring";
}

TEST_F(Operator, TriggerPanelOpensOnlyWhenAskedFor) {
  int visible = 0;
  Set("CollectRing", "0");
  Set("StartRing", "2");
  GetPanelAttribute(trigpanel, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 1);
  Press("TriggerCloseButton");
  GetPanelAttribute(trigpanel, ATTR_VISIBLE, &visible);
  ASSERT_EQ(visible, 0);
  // Other settings that re-apply the start ring leave it closed.
  Set("MeasTypeRing", "3");
  Set("CollectRing", "0");
  GetPanelAttribute(trigpanel, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 0);
  // So does a start of the program with a level start restored.
  ASSERT_EQ(StartVeltra(), 0);
  GetPanelAttribute(trigpanel, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 0);
  GetPanelAttribute(frontpanel, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 0);
}

}  // namespace

namespace {

TEST_F(Operator, AutoRangingWithoutACaptureDeviceIsRefusedWithAMessage) {
  // Auto-ranging measures the signal: without a device to deliver it the pass does not start
  // (a device that falls silent during a pass stops it, as it stops any live run).
  setenv("VELTRA_CAPTURE_DEVICE", "veltra_no_such_device", 1);
  Set("SourceRing", "0");
  Press("AutoRangeButton");
  EXPECT_EQ(start, 0);
  EXPECT_EQ(IntOf("StartButton"), 0);
  EXPECT_EQ(rcu.adaptpass, 1);
  ASSERT_FALSE(Seen().empty());
  EXPECT_NE(Seen().back().text.find("veltra_no_such_device"), std::string::npos);
  unsetenv("VELTRA_CAPTURE_DEVICE");
}

}  // namespace
