// The two-channel and time functions through the real panels after a generator run: every
// format of every one of them draws finite data on finite axes.
#include <cmath>
#include <string>

#include "analyzer/cultivate1.h"
#include "analyzer/view1.h"
#include "fixture.h"

namespace {

using veltra_test::VeltraTest;

class CrossPanels : public VeltraTest {
 protected:
  void SetUp() override {
    VeltraTest::SetUp();
    Set("SampleRateRing", "1024");
    Set("FftSizeRing", "1024");
    Set("OverlapRing", "0");
    Set("WindowSel1", "1");
    Set("FunctionRing1", "0");
    Set("AmplitudeField", "1000");
    PrepareSineRun(3);
    Set("Freq1Field", "100");
    if (rcu.onA == 0) Press("ChannelSwitchA");
    if (rcu.onB == 0) Press("ChannelSwitchB");
  }
};

// Every point, range and axis label of the window's result is a finite number.
void ExpectFiniteView(const ViewState& v) {
  ASSERT_GT(v.count, 0);
  for (int i = 0; i < v.count; ++i) {
    ASSERT_TRUE(std::isfinite(v.yData[i])) << i;
    ASSERT_TRUE(std::isfinite(v.xData[i])) << i;
  }
  EXPECT_TRUE(std::isfinite(v.yMin) && std::isfinite(v.yMax));
  EXPECT_TRUE(std::isfinite(v.xMin) && std::isfinite(v.xMax));
  EXPECT_TRUE(std::isfinite(v.labYFrom) && std::isfinite(v.labYTo));
  EXPECT_TRUE(std::isfinite(v.labXFrom) && std::isfinite(v.labXTo));
}

TEST_F(CrossPanels, EveryFormatDrawsFiniteValues) {
  Press("StartButton");
  Tick();  // the first step only fills the decimated streams
  Tick(3);
  ASSERT_EQ(start, 0);
  ASSERT_EQ(sp.dataReady, 1);
  const ViewState& v = vs[0];
  for (int f : {2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}) {
    Set("FunctionRing1", std::to_string(f).c_str());
    ASSERT_EQ(v.function, f);
    for (int format = 0; format < (cf[f].hasFormats ? kFormats : 1); ++format) {
      SCOPED_TRACE(std::string(cf[f].name) + " format " + std::to_string(format));
      if (cf[f].hasFormats) Set("FormatRing1", std::to_string(format).c_str());
      ASSERT_EQ(ViewResult(0), 1);
      ASSERT_NO_FATAL_FAILURE(ExpectFiniteView(v));
    }
  }
  // The same tone feeds both channels: the coherence at its line is 1.
  Set("FunctionRing1", "4");
  EXPECT_NEAR(vs[0].yData[100], 1.0, 1e-6);
}

// A silent generator: every format and Y unit of every spectral function draws finite data,
// finite axes and finite labels.
TEST_F(CrossPanels, SilentChannelsDrawFiniteValuesInEveryUnit) {
  Set("AmplitudeField", "0");
  Press("StartButton");
  Tick();
  Tick(3);
  ASSERT_EQ(start, 0);
  ASSERT_EQ(sp.dataReady, 1);
  ASSERT_EQ(sp.powerA, 0.0);
  ASSERT_EQ(sp.powerB, 0.0);
  const ViewState& v = vs[0];
  for (int f = 2; f <= 20; ++f) {
    Set("FunctionRing1", std::to_string(f).c_str());
    ASSERT_EQ(v.function, f);
    for (int format = 0; format < (cf[f].hasFormats ? kFormats : 1); ++format) {
      if (cf[f].yUnits[format] == nullptr) continue;
      if (cf[f].hasFormats) Set("FormatRing1", std::to_string(format).c_str());
      for (int yu = 0; yu < kUnitOptions; ++yu) {
        if (!cf[f].yUnits[format][yu]) continue;
        SCOPED_TRACE(std::string(cf[f].name) + " format " + std::to_string(format) + " y " +
                     std::to_string(yu));
        Set("YUnitRing1", std::to_string(yu).c_str());
        ASSERT_EQ(v.yUnit, yu);
        ASSERT_EQ(ViewResult(0), 1);
        ASSERT_NO_FATAL_FAILURE(ExpectFiniteView(v));
      }
    }
  }
}

}  // namespace
