// The analysis core through the real panels: counted and exponential runs, the window-type
// ring, function and format selection, unit rings, reference memory, totals and lamps.
#include <qcustomplot.h>

#include <cmath>
#include <cstring>
#include <string>

#include "analyzer/calibration.h"
#include "analyzer/cultivate1.h"
#include "analyzer/iirfilter.h"
#include "analyzer/view1.h"
#include "fixture.h"
#include "ui/uiqt.h"

namespace {

using veltra_test::VeltraTest;

int g_computed = 0;
void CountingSpectrumA(ViewState* v) {
  ++g_computed;
  SpectrumA(v);
}

// A made-up frequency-response magnitude: 1 … n, with a zero at line 5 when asked.
bool g_zeroAt5 = false;
void FakeResponse(ViewState* v) {
  v->count = 20;
  for (int i = 0; i < v->count; ++i) {
    v->yData[i] = g_zeroAt5 && i == 5 ? 0.0 : 1.0 + i;
    v->xData[i] = i;
  }
  v->yMin = 0.0;
  v->yMax = 20.0;
  v->plotStyle = kPlotLine;
}

class AnalysisPanels : public VeltraTest {
 protected:
  void SetUp() override {
    VeltraTest::SetUp();
    // 1024 Hz, 1024 points: 1 Hz lines; a 100 Hz tone sits on line 100.
    Set("SampleRateRing", "1024");
    Set("FftSizeRing", "1024");
    Set("OverlapRing", "0");
    Set("WindowRing", "0");
    Set("WindowSel1", "1");
    Set("FunctionRing1", "0");
    Set("AmplitudeField", "1000");
    PrepareSineRun(3);
    Set("Freq1Field", "100");
  }
  static int Items(const char* role) {
    int panel = 0, n = 0;
    GetNumListItems(panel, Control(role, &panel), &n);
    return n;
  }
  static int Dimmed(const char* role) {
    int panel = 0, d = 0;
    GetCtrlAttribute(panel, Control(role, &panel), ATTR_DIMMED, &d);
    return d;
  }
  static int Visible(const char* role) {
    int panel = 0, d = 0;
    GetCtrlAttribute(panel, Control(role, &panel), ATTR_VISIBLE, &d);
    return d;
  }
  static std::string Text(const char* role) {
    int panel = 0;
    char buf[256] = "";
    GetCtrlVal(panel, Control(role, &panel), buf, sizeof buf);
    return buf;
  }
};

TEST_F(AnalysisPanels, CountedRunStopsAndRefreshesOnce) {
  Press("StartButton");
  ASSERT_EQ(start, 1);
  Tick();  // the first step only fills the decimated streams
  vs[0].compute = CountingSpectrumA;
  g_computed = 0;
  Tick(2);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(g_computed, 2);
  Tick();  // the third frame ends the run and draws once
  EXPECT_EQ(start, 0);
  EXPECT_EQ(IntOf("StartButton"), 0);
  EXPECT_EQ(TimerEnabled(), 0);
  EXPECT_EQ(g_computed, 3);
  EXPECT_EQ(IntOf("AverCountDisplay"), 3);
  Tick(2);
  EXPECT_EQ(g_computed, 3);

  // 1 V amplitude on line 100: A²/2 in counts², i.e. 0.7071 V RMS.
  const double amp = 1000.0 / hs.mvpc;
  EXPECT_NEAR(Gxx[200] / (amp * amp / 2), 1.0, 1e-4);
  EXPECT_NEAR(sp.powerA / (amp * amp / 2), 1.0, 1e-4);
  EXPECT_NE(Text("TotalReadout1").find("Sa = 7.071e-01"), std::string::npos);
}

TEST_F(AnalysisPanels, ExponentialRunDoesNotStop) {
  Press("ExponentialBox");
  ASSERT_EQ(rcu.expAver, 1);
  Press("StartButton");
  Tick(6);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(TimerEnabled(), 1);
}

TEST_F(AnalysisPanels, WindowChangeRestartsARunAndVoidsStoppedResults) {
  Press("StartButton");
  Tick();  // the first step only fills the decimated streams
  Tick(2);
  ASSERT_EQ(rcu.avgCount, 3);
  Set("WindowRing", "1");  // Hanning
  EXPECT_EQ(start, 1);
  EXPECT_EQ(rcu.avgCount, 1);
  EXPECT_EQ(IntOf("AverCountDisplay"), 1);
  EXPECT_DOUBLE_EQ(WC.enbw, 1.5);
  Tick();  // the first step only fills the decimated streams
  Tick(3);
  ASSERT_EQ(start, 0);
  ASSERT_EQ(sp.dataReady, 1);
  Set("WindowRing", "9");
  EXPECT_EQ(sp.dataReady, 0);
  EXPECT_EQ(start, 0);
  EXPECT_DOUBLE_EQ(WC.enbw, 1.0);
  EXPECT_EQ(Dimmed("GateToggle1"), 1);  // the gate is offered only for time displays
  Set("FunctionRing1", "14");           // Time_A: gated under a gate type only
  EXPECT_EQ(Dimmed("GateToggle1"), 0);
  Set("WindowRing", "1");
  EXPECT_EQ(Dimmed("GateToggle1"), 1);
  Set("WindowRing", "0");  // back at a gate type the time display offers its gate again
  EXPECT_EQ(Dimmed("GateToggle1"), 0);
  EXPECT_EQ(Dimmed("GateToggle2"), 1);
}

TEST_F(AnalysisPanels, FunctionSelection) {
  Set("FunctionRing1", "19");  // LiftSpecA takes its lifter from CepstrumA in window 2
  EXPECT_EQ(vs[0].function, 19);
  EXPECT_EQ(vs[1].function, 17);
  EXPECT_EQ(IntOf("FunctionRing2"), 17);
  EXPECT_EQ(Dimmed("GateToggle2"), 0);
  EXPECT_EQ(vs[0].format, -1);
  EXPECT_EQ(Dimmed("FormatRing1"), 1);

  Set("FunctionRing1", "0");
  Set("IntegrationRing1", "2");
  EXPECT_EQ(vs[0].integration, 2);
  Set("FunctionRing1", "4");  // any other function: integration off and dimmed
  EXPECT_EQ(vs[0].integration, 0);
  EXPECT_EQ(IntOf("IntegrationRing1"), 0);
  EXPECT_EQ(Dimmed("IntegrationRing1"), 1);
  EXPECT_EQ(Items("YUnitRing1"), 1);
  EXPECT_EQ(IntOf("YUnitRing1"), 0);

  Set("WindowSelBoth", "1");   // window 2's controls are dimmed while window 1 is alone
  Set("FunctionRing2", "20");  // LiftSpecB puts CepstrumB into window 1
  EXPECT_EQ(vs[0].function, 18);
  EXPECT_EQ(vs[0].format, IntOf("FormatRing1"));
  EXPECT_EQ(Items("FormatRing1"), 3);
}

TEST_F(AnalysisPanels, FormatAndUnitRingsFollowTheTable) {
  Set("FunctionRing1", "8");  // CrossSpectrums
  EXPECT_EQ(Items("FormatRing1"), 6);
  Set("FormatRing1", "3");  // phase: degrees against frequency
  EXPECT_EQ(vs[0].format, 3);
  EXPECT_EQ(Items("YUnitRing1"), 1);
  EXPECT_EQ(vs[0].yUnit, kYPhase);
  EXPECT_EQ(Items("XUnitRing1"), 1);
  EXPECT_EQ(vs[0].xUnit, kXLines);

  Set("FunctionRing1", "0");
  EXPECT_EQ(vs[0].format, -1);
  EXPECT_EQ(Items("YUnitRing1"), 4);
  EXPECT_EQ(Items("XUnitRing1"), 3);
  EXPECT_EQ(Items("CursorModeRing1"), 2);
  Set("YUnitRing1", "4");
  EXPECT_EQ(vs[0].yUnit, kYDb);
  EXPECT_EQ(Visible("DbRangeRing1"), 1);
  Set("DbRangeRing1", "80");
  Set("DbTopField1", "20");
  EXPECT_EQ(vs[0].dbRange, 80);
  EXPECT_DOUBLE_EQ(vs[0].dbTop, 20.0);
  Set("YUnitRing1", "2");
  EXPECT_EQ(Visible("DbRangeRing1"), 0);
  Set("XUnitRing1", "3");
  EXPECT_EQ(vs[0].xUnit, kXOctave);
  EXPECT_EQ(Dimmed("MemoryToggle1"), 1);  // memory is for frequency responses only
}

TEST_F(AnalysisPanels, DecibelRangeAndTopAfterARun) {
  Set("YUnitRing1", "4");
  Set("DbRangeRing1", "80");
  Set("DbTopField1", "120");
  Press("StartButton");
  Tick();  // the first step only fills the decimated streams
  Tick(3);
  ASSERT_EQ(start, 0);
  EXPECT_DOUBLE_EQ(vs[0].yMax, 120.0);
  EXPECT_DOUBLE_EQ(vs[0].yMin, 40.0);
  // The tone: 0.7071 V RMS re 1e-05 V.
  EXPECT_NEAR(vs[0].yData[100], 20.0 * std::log10(std::sqrt(0.5) / 1e-05), 0.01);
  for (int i = 0; i < vs[0].count; ++i) ASSERT_TRUE(std::isfinite(vs[0].yData[i])) << i;
}

TEST_F(AnalysisPanels, BandsOfARunSumToTheTotalPower) {
  Set("XUnitRing1", "3");
  Set("YUnitRing1", "2");
  Press("StartButton");
  Tick();  // the first step only fills the decimated streams
  Tick(3);
  ASSERT_EQ(start, 0);
  const int nb = vs[0].count - 1;
  ASSERT_EQ(nb, 5);  // 400 Hz: octaves 16 … 250
  EXPECT_NEAR(vs[0].yData[nb] / sp.powerA, 1.0, 1e-6);
  EXPECT_NEAR(vs[0].yData[3] / sp.powerA, 1.0, 1e-6);  // 100 Hz lies in the 125 Hz octave
}

TEST_F(AnalysisPanels, SilentChannelDrawsWithFiniteAxes) {
  Set("AmplitudeField", "0");
  for (const char* unit : {"2", "4", "1"}) {
    Set("YUnitRing1", unit);
    Press("StartButton");
    Tick();  // the first step only fills the decimated streams
    Tick(3);
    ASSERT_EQ(start, 0);
    EXPECT_TRUE(std::isfinite(vs[0].labYFrom)) << unit;
    EXPECT_TRUE(std::isfinite(vs[0].labYTo)) << unit;
    EXPECT_TRUE(std::isfinite(vs[0].yMax)) << unit;
    for (int i = 0; i < vs[0].count; ++i) ASSERT_TRUE(std::isfinite(vs[0].yData[i])) << unit;
  }
}

TEST_F(AnalysisPanels, IntegrationOfAStoppedSpectrum) {
  Set("YUnitRing1", "2");
  Press("StartButton");
  Tick();  // the first step only fills the decimated streams
  Tick(3);
  ASSERT_EQ(start, 0);
  Set("IntegrationRing1", "1");
  const double w = 2.0 * M_PI * 100 * sp.df;
  EXPECT_NEAR(vs[0].yData[100], Gxx[200] / (w * w), 1e-9 * Gxx[200]);
}

// What window 1's X axis shows after one of the labellers ran over the visible range [from, to].
std::string LabelsAfter(void (*label)(int), double from, double to) {
  ViewState& v = vs[0];
  v.xMin = v.viewXFrom = from;
  v.xMax = v.viewXTo = to;
  v.labXFrom = v.labXTo = -1.0;
  label(0);
  RefreshGraph(mainpanel, MAIN_Graph1);
  auto* plot = static_cast<QCustomPlot*>(CtrlWidget(mainpanel, MAIN_Graph1));
  std::string out;
  for (const QString& s : plot->xAxis->tickVectorLabels()) out += s.toStdString() + "|";
  return out;
}

TEST_F(AnalysisPanels, AxisLabelsOfBandsFrequencyAndTime) {
  // Third octaves at fmax 1000 Hz: 18 bands, octave centres on every third, the total at 18.
  EXPECT_EQ(LabelsAfter([](int w) { LabelOkt(w, 18, 3); }, 0.0, 18.0),
            "16.0|31.5|63.0|125.0|250.0|500.0|Σ|");
  EXPECT_EQ(vs[0].relabelled, 1);
  EXPECT_EQ(LabelsAfter([](int w) { LabelOkt(w, 9, 1); }, 0.0, 9.0),
            "16.0|31.5|63.0|125.0|250.0|500.0|1.0 k|2.0 k|4.0 k|Σ|");
  EXPECT_EQ(LabelsAfter(LabelBand, 0.0, 3200.0),
            "0.0|400.0|800.0|1.2 k|1.6 k|2.0 k|2.4 k|2.8 k|Гц|");
  EXPECT_EQ(LabelsAfter(LabelTime, 0.0, 0.0125), "0.0|2.0|4.0|6.0|8.0|10.0|мс.|");
}

TEST_F(AnalysisPanels, OverloadLampFollowsTheInputRms) {
  sp.dataReady = 1;
  hs.rmsA = 11898735.0;
  ViewResult(0);
  EXPECT_EQ(IntOf("OverloadLedA"), 1);
  hs.rmsA = 11898734.0;
  ViewResult(0);
  EXPECT_EQ(IntOf("OverloadLedA"), 0);
}

TEST_F(AnalysisPanels, ChannelRuleDecidesWhatIsDrawn) {
  rcu.onA = 0;
  rcu.onB = 1;
  Set("FunctionRing1", "0");
  EXPECT_EQ(YesNoViewFunction(0), 0);
  EXPECT_EQ(ViewResult(0), 0);
  Set("FunctionRing1", "1");
  EXPECT_EQ(ViewResult(0), 1);
  rcu.onB = 0;
  EXPECT_EQ(ViewResult(0), 0);
}

TEST_F(AnalysisPanels, ReferenceMemoryCaptureEqualizeAndShow) {
  Set("FunctionRing1", "10");  // FreqRespH1
  Set("FormatRing1", "2");     // magnitude
  EXPECT_EQ(Dimmed("MemoryToggle1"), 0);
  Set("YUnitRing1", "0");
  vs[0].compute = FakeResponse;
  sp.dataReady = 1;
  g_zeroAt5 = true;  // capture a reference holding a zero
  Press("MemoryToggle1");
  EXPECT_EQ(vs[0].memState, 2) << "results at hand, no run: taken at once";
  EXPECT_DOUBLE_EQ(mem_wd[0][3], 4.0);
  EXPECT_NEAR(mem_dB[0][3], 20.0 * std::log10(4.0), 1e-12);
  EXPECT_TRUE(std::isfinite(mem_dB[0][5]));
  EXPECT_NEAR(mem_dB[0][5], 20.0 * std::log10(20.0 * 1e-20), 1e-9);

  g_zeroAt5 = true;
  Press("EqualizeToggle1");
  ViewResult(0);  // reference / current on every line; 0 only where the current line is 0
  EXPECT_DOUBLE_EQ(vs[0].yData[3], 1.0);
  EXPECT_DOUBLE_EQ(vs[0].yData[4], 1.0);
  EXPECT_EQ(vs[0].yData[5], 0.0);
  for (int i = 6; i < 20; ++i) EXPECT_DOUBLE_EQ(vs[0].yData[i], 1.0) << i;

  g_zeroAt5 = false;
  Press("ShowMemoryToggle1");
  EXPECT_EQ(vs[0].memShow, 1);
  EXPECT_DOUBLE_EQ(vs[0].yData[7], 8.0);
  EXPECT_DOUBLE_EQ(vs[0].yData[5], 0.0);

  // Another unit of the same curve keeps the reference, shown in that unit.
  Set("YUnitRing1", "4");
  EXPECT_EQ(vs[0].memState, 2);
  EXPECT_EQ(IntOf("MemoryToggle1"), 1);
  EXPECT_EQ(IntOf("ShowMemoryToggle1"), 1);
  EXPECT_NEAR(vs[0].yData[7], 20.0 * std::log10(8.0), 1e-9);
  // Another format is another curve: the reference is cleared.
  Set("FormatRing1", "3");
  EXPECT_EQ(vs[0].memState, 0);
  EXPECT_EQ(IntOf("MemoryToggle1"), 0);
}

// A reference armed during a run is the run's last result, taken when ПУСК stops it.
TEST_F(AnalysisPanels, StoppingTakesTheArmedReference) {
  Set("FunctionRing1", "10");
  Set("FormatRing1", "2");
  Set("AveragesField", "1000");
  if (gen_start == 0) Press("GeneratorSwitch");
  Set("StartButton", "1");
  ASSERT_EQ(start, 1);
  Tick(3);
  Press("MemoryToggle1");
  EXPECT_EQ(vs[0].memState, 1) << "armed, not taken, while the run goes on";
  Set("StartButton", "0");
  EXPECT_EQ(start, 0);
  EXPECT_EQ(vs[0].memState, 2) << "taken from the drawing that ends the run";
}

}  // namespace
