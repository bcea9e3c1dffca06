// Derived parameters of the analysis geometry, the allowed-combination corrections, the axes and
// the start-up defaults, through the real rings.
#include <cmath>

#include "analyzer/roles.h"
#include "analyzer/setters.h"
#include "fixture.h"

namespace {

using veltra_test::VeltraTest;

class Model : public VeltraTest {
 protected:
  static void Indices(int rate, int size, int overlap) {
    SetCtrlIndex(mainpanel, MAIN_SampleRateRing, rate);
    SetCtrlIndex(mainpanel, MAIN_FftSizeRing, size);
    SetCtrlIndex(mainpanel, MAIN_OverlapRing, overlap);
    SetParamAnalysis();
  }
  static int Index(int control) {
    int i = -1;
    GetCtrlIndex(mainpanel, control, &i);
    return i;
  }
};

TEST_F(Model, RingsOfferTheDocumentedEntries) {
  const int rates[] = {65536, 32768, 16384, 8192, 4096, 2048, 1024, 512, 256, 128};
  int n = 0;
  GetNumListItems(mainpanel, MAIN_SampleRateRing, &n);
  ASSERT_EQ(n, 10);
  for (int i = 0; i < n; ++i) {
    double v = 0;
    GetValueFromIndex(mainpanel, MAIN_SampleRateRing, i, &v);
    EXPECT_EQ(v, rates[i]);
  }
  EXPECT_EQ(rankval[0], 1024);
  EXPECT_EQ(rankval[3], 8192);
  EXPECT_DOUBLE_EQ(overval[4], 0.875);
  GetNumListItems(mainpanel, MAIN_WindowRing, &n);
  EXPECT_EQ(n, 10);
  EXPECT_EQ(std::string(itemfunc[26]), "Реализация B") << "all 27 functions read at start";
  GetNumListItems(mainpanel, MAIN_FunctionRing1, &n);
  EXPECT_EQ(n, 21) << "spectral averaging offers functions 0 … 20";
  GetNumListItems(mainpanel, MAIN_UnitRingA, &n);
  EXPECT_EQ(n, 7);
}

// The program without panels starts where the program with them does: the same item texts, the
// same function table, the same settings on a first start.
TEST_F(Model, TheCoreKnowsThePanelsItemsAndFirstStart) {
  EXPECT_EQ(ItemMismatches(), 0) << "the panels' rings and the core's item texts";
  auto settings = [] {
    std::vector<double> v = {cus.rate,
                             cus.srate,
                             double(cus.thin),
                             double(cus.frameLen),
                             cus.overlap,
                             double(cus.window),
                             double(rcu.measType),
                             double(rcu.source),
                             double(rcu.avgTarget),
                             double(rcu.expAver),
                             double(rcu.onA),
                             double(rcu.onB),
                             double(rcu.chanA),
                             double(rcu.chanB),
                             double(rcu.diA),
                             double(rcu.diB),
                             double(rcu.winsel),
                             double(rcu.collect),
                             double(rcu.startmode),
                             rcu.level,
                             rcu.level2,
                             double(rcu.pretrig),
                             double(sr.delay),
                             double(pa.bins),
                             double(ws.form),
                             double(ws.amp),
                             ws.f1,
                             ws.f2,
                             double(ws.width),
                             double(gen_start),
                             cch.upc[0],
                             cch.upc[1],
                             cch.gain[0],
                             cch.gain[1],
                             sp.df,
                             sp.dt};
    for (const ViewState& w : vs) {
      for (double x :
           {double(w.function), double(w.format), double(w.formatChoice), double(w.yUnit),
            double(w.xUnit), double(w.dbRange), w.dbTop, double(w.integration), double(w.gate)})
        v.push_back(x);
    }
    return v;
  };
  const std::vector<double> panelStart = settings();
  InitModel();
  const std::vector<double> coreStart = settings();
  ASSERT_EQ(coreStart.size(), panelStart.size());
  for (size_t i = 0; i < coreStart.size(); ++i) EXPECT_EQ(coreStart[i], panelStart[i]) << i;
}

TEST_F(Model, LowRatesComeFromDecimatingTheBaseRate) {
  struct Case {
    const char* rate;
    int thin;
    double fmax;
  };
  for (Case c : {Case{"512", 2, 200.0}, Case{"256", 4, 100.0}, Case{"128", 8, 50.0},
                 Case{"1024", 1, 400.0}, Case{"8192", 1, 3200.0}}) {
    Set("SampleRateRing", c.rate);
    EXPECT_EQ(cus.srate, c.thin == 1 ? std::atof(c.rate) : 1024.0) << c.rate;
    EXPECT_EQ(cus.thin, c.thin) << c.rate;
    EXPECT_DOUBLE_EQ(sp.fmax, c.fmax) << c.rate;
    EXPECT_DOUBLE_EQ(sp.dt, c.thin / cus.srate) << c.rate;
  }
}

TEST_F(Model, FrameSizeGivesLinesAndHalf) {
  Set("SampleRateRing", "4096");
  Set("FftSizeRing", "8192");
  EXPECT_EQ(cus.frameLen, 8192);
  EXPECT_EQ(cus.lines, 3201);
  EXPECT_EQ(cus.halfLen, 4096);
  EXPECT_DOUBLE_EQ(sp.df, 4096 / 2.56 / 3200);
  Set("FftSizeRing", "1024");
  EXPECT_EQ(cus.lines, 401);
  Set("FftSizeRing", "2048");
  Set("OverlapRing", "0.5");
  EXPECT_EQ(sr.ovsamp, 1024);
}

TEST_F(Model, DisallowedCombinationsAreCorrected) {
  struct Case {
    int rate, size, overlap, size2, overlap2;
  };
  const Case cases[] = {
      {0, 0, 0, 2, 0},                   // size raised to the first allowed one
      {0, 3, 3, 3, 2},                   // overlap lowered within the size
      {0, 1, 4, 2, 2},                   // no size keeps 87.5 %: smallest size, largest overlap
      {1, 0, 4, 1, 3}, {2, 0, 3, 1, 3},  // a larger size keeps the overlap
      {2, 0, 2, 0, 2},                   // allowed as it is
      {3, 0, 4, 0, 4},                   // unrestricted rate
  };
  for (const Case& c : cases) {
    Indices(c.rate, c.size, c.overlap);
    EXPECT_EQ(Index(MAIN_FftSizeRing), c.size2) << c.rate << c.size << c.overlap;
    EXPECT_EQ(Index(MAIN_OverlapRing), c.overlap2) << c.rate << c.size << c.overlap;
    EXPECT_EQ(cus.frameLen, 1024 << c.size2);
  }
}

TEST_F(Model, PlaybackSkipsTheCombinationTableAndRefusesFastRates) {
  rcu.source = 2;
  fs.nrec = 0;  // no recording loaded: the ring alone sets the rate
  Indices(0, 0, 4);
  EXPECT_EQ(Index(MAIN_FftSizeRing), 0);
  EXPECT_EQ(Index(MAIN_OverlapRing), 4);

  Set("SampleRateRing", "512");
  ASSERT_EQ(cus.thin, 2);
  sp.dataReady = 1;
  Set("SampleRateRing", "4096");
  EXPECT_EQ(cus.thin, 2) << "refused: the model keeps the previous rate";
  EXPECT_EQ(cus.srate, 1024.0);
  EXPECT_EQ(DoubleOf("SampleRateRing"), 512.0) << "the ring shows the rate in force";
  EXPECT_EQ(sp.dataReady, 1) << "nothing changed: the results still match the geometry";
}

TEST_F(Model, AxesFollowTheGeometry) {
  Set("SampleRateRing", "1024");
  Set("FftSizeRing", "1024");
  Axis();
  EXPECT_DOUBLE_EQ(x_band[400], 400.0);
  EXPECT_DOUBLE_EQ(x_band[1], 1.0);
  EXPECT_DOUBLE_EQ(time_ch[1023], 1023.0 / 1024.0);
  EXPECT_DOUBLE_EQ(x_time[512], 0.0);
  EXPECT_DOUBLE_EQ(x_time[1024], 0.5);
  EXPECT_DOUBLE_EQ(x_time[0], -0.5);
  EXPECT_DOUBLE_EQ(x_time[511], -1.0 / 1024.0);
}

TEST_F(Model, StartUpDefaults) {
  EXPECT_EQ(hs.fullscale, 16777216);
  EXPECT_DOUBLE_EQ(hs.mvpc, 0.0011920929665620904);
  EXPECT_EQ(cus.nchan, 2);
  EXPECT_EQ(cus.iirorder, 14);
  EXPECT_EQ(sr.delaystep, 512);
  EXPECT_EQ(rcu.source, 1);
  EXPECT_EQ(IntOf("SourceRing"), 1);
  EXPECT_EQ(pa.sigmas, 4);
  EXPECT_EQ(sp.dataReady, 0);
  EXPECT_EQ(vs[1].yData, resY + 16384);
  EXPECT_EQ(vs[0].workIm, it);
  EXPECT_EQ(cch.fsc[7], 8388607.0);
  EXPECT_EQ(std::string(itemcollect[1]), "По условию");
  EXPECT_EQ(std::string(textmode[7]), "Сбор по условию. Верхний гистерезис");
  // Mode texts have the documented lengths in characters; a recording's line is compared over
  // each text's stored (UTF-8) length.
  const int chars[kRunModes] = {34, 34, 26, 32, 28, 28, 23, 35, 34};
  for (int i = 0; i < kRunModes; ++i) {
    int c = 0;
    for (const char* p = textmode[i]; *p; ++p) c += (*p & 0xC0) != 0x80;
    EXPECT_EQ(c, chars[i]) << i;
    EXPECT_EQ(ringmode[i], static_cast<int>(std::string(textmode[i]).size())) << i;
  }
}

TEST_F(Model, MeasurementTypeOffersItsChoices) {
  Set("OverlapRing", "0.5");
  Set("MeasTypeRing", "1");
  int n = 0;
  GetNumListItems(mainpanel, MAIN_CollectRing, &n);
  EXPECT_EQ(n, 1) << "time averaging collects conditionally only";
  EXPECT_EQ(rcu.collect, 1);
  GetNumListItems(mainpanel, MAIN_StartRing, &n);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(sr.ovsamp, 0) << "a type change resets the overlap";
  Set("MeasTypeRing", "2");
  GetNumListItems(mainpanel, MAIN_WindowRing, &n);
  EXPECT_EQ(n, 1);
  int dimmed = 1;
  GetCtrlAttribute(mainpanel, MAIN_BinsField, ATTR_DIMMED, &dimmed);
  EXPECT_EQ(dimmed, 0);
}

TEST_F(Model, CalibrationPresetShowsBothAutoSpectraOverFrequency) {
  Set("XUnitRing1", "3");  // octave bands
  Set("XUnitRing2", "3");
  ASSERT_EQ(vs[0].xUnit, 3);
  Press("CalibrPresetButton");
  EXPECT_EQ(vs[0].function, 0);
  EXPECT_EQ(vs[1].function, 1);
  for (int w = 0; w < 2; ++w) {
    EXPECT_EQ(vs[w].yUnit, 2) << w;
    EXPECT_EQ(vs[w].xUnit, kXLines) << w;
  }
  EXPECT_EQ(cch.sen[0], 1.0);
  EXPECT_EQ(cch.sen[1], 1.0);
}

TEST_F(Model, LevelStartShowsTheTriggerPanel) {
  Set("CollectRing", "0");
  Set("StartRing", "2");
  int visible = 0;
  GetPanelAttribute(trigpanel, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 1);
  Set("StartRing", "0");
  GetPanelAttribute(trigpanel, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 0);
}

}  // namespace
