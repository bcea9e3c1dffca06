// The generator: phase continuity across steps, identical channels, the pulse rules, the noise
// frequency rule and the amplitude range.
#include <cmath>

#include "analyzer/generation.h"
#include "fixture.h"

namespace {

using veltra_test::VeltraTest;

class Generator : public VeltraTest {
 protected:
  // Sizes the step buffers as a run would, without starting one.
  static void SizeStep(int n) {
    dbuf.nm = n;
    dbuf.blk = 2 * n;
    half.assign(static_cast<size_t>(dbuf.blk), 0);
  }
  static void UseForm(const char* form) {
    Set("WaveformRing", form);
    if (gen_start == 0) Press("GeneratorSwitch");
  }
  static bool ChannelsIdentical() {
    for (int i = 0; i < dbuf.nm; ++i) {
      if (half[2 * i] != half[2 * i + 1]) return false;
    }
    return true;
  }
};

TEST_F(Generator, SineContinuesAcrossStepsWithoutAPhaseJump) {
  Set("SampleRateRing", "4096");
  Set("Freq1Field", "1024");  // a quarter of the rate
  UseForm("0");
  ws.amp = 1000;
  const int n = 256;
  SizeStep(n);
  const double phase0 = simphase;
  std::vector<int> joined;
  for (int step = 0; step < 3; ++step) {
    BufferArrySim();
    ASSERT_TRUE(ChannelsIdentical());
    for (int i = 0; i < n; ++i) joined.push_back(half[2 * i]);
  }
  // Every sample, across both boundaries, lies on one sine (the dither moves it by < 1 count).
  const double pi = std::acos(-1.0);
  for (size_t k = 0; k < joined.size(); ++k) {
    const double expected = 1000.0 * std::sin(phase0 * pi / 180.0 + 2.0 * pi * k / 4.0);
    ASSERT_NEAR(joined[k] / 128.0, expected, 1.0 + 1e-9) << "sample " << k;
  }
}

TEST_F(Generator, EveryWaveformFeedsBothChannelsAlike) {
  SizeStep(512);
  ws.amp = 5000;
  for (const char* form : {"0", "1", "2", "3", "4"}) {
    UseForm(form);
    for (int step = 0; step < 3; ++step) {
      BufferArrySim();
      EXPECT_TRUE(ChannelsIdentical()) << "waveform " << form;
    }
  }
}

TEST_F(Generator, TwoLevelSignalTakesOnlyTheSetLevels) {
  SizeStep(512);
  UseForm("3");
  ws.amp = 77;
  BufferArrySim();
  int plus = 0;
  for (int i = 0; i < 512; ++i) {
    ASSERT_TRUE(half[2 * i] == 77 || half[2 * i] == -77);
    plus += half[2 * i] > 0;
  }
  EXPECT_GT(plus, 150);
  EXPECT_LT(plus, 362);
}

TEST_F(Generator, PulseFollowsItsPlacementRules) {
  const int n = 1024;
  SizeStep(n);
  UseForm("4");
  ws.amp = 300;
  // Whatever position this second draws, the step obeys the rules for it.
  for (int width : {1, 100, n - 1, n, n + 5, 2147483647}) {
    ws.width = width;
    BufferArrySim();
    const int p = static_cast<int>(n * pu);
    const bool fits = pu < 0.5 && static_cast<long>(p) + width < n;
    for (int i = 0; i < n; ++i) {
      const int expected = fits && i >= p && i < p + width ? 300 : 0;
      ASSERT_EQ(half[2 * i], expected) << "width " << width << " sample " << i << " p " << p;
    }
  }
}

TEST_F(Generator, PulseEndingExactlyAtTheFrameEndIsNotDrawn) {
  const int n = 1024;
  SizeStep(n);
  UseForm("4");
  ws.amp = 300;
  ws.width = 1;
  // Learn this second's position, then ask for a pulse that would end exactly at N.
  for (int attempt = 0; attempt < 4; ++attempt) {
    BufferArrySim();
    const double drawn = pu;
    const int p = static_cast<int>(n * drawn);
    ws.width = n - p;
    BufferArrySim();
    if (pu != drawn) continue;  // the second changed in between: try again
    for (int i = 0; i < n; ++i) ASSERT_EQ(half[2 * i], 0) << "p " << p;
    return;
  }
  GTEST_SKIP() << "the clock's second kept changing";
}

TEST_F(Generator, OffLeavesTheLastStep) {
  SizeStep(256);
  UseForm("2");
  ws.amp = 1000;
  BufferArrySim();
  const std::vector<int> before = half;
  Press("GeneratorSwitch");
  ASSERT_EQ(gen_start, 0);
  BufferArrySim();
  EXPECT_EQ(half, before);
}

TEST_F(Generator, NoiseKeepsFrequencyOneBelowFrequencyTwo) {
  // The frequency fields are dimmed for noise; the rule holds for values restored into them.
  Set("WaveformRing", "1");
  SetCtrlVal(mainpanel, MAIN_Freq2Field, 100.0);
  SetFreq2(mainpanel, MAIN_Freq2Field, EVENT_COMMIT, nullptr, 0, 0);
  SetCtrlVal(mainpanel, MAIN_Freq1Field, 500.0);
  SetFreq1(mainpanel, MAIN_Freq1Field, EVENT_COMMIT, nullptr, 0, 0);
  EXPECT_DOUBLE_EQ(ws.f1, 90.0);
  EXPECT_DOUBLE_EQ(DoubleOf("Freq1Field"), 90.0);
  Set("WaveformRing", "0");
  Set("Freq1Field", "500");
  EXPECT_DOUBLE_EQ(ws.f1, 500.0) << "the rule is the noise waveform's only";
}

TEST_F(Generator, FullAmplitudeStaysInRange) {
  int panel = 0, control = 0;
  ASSERT_EQ(FindCtrlByRole("AmplitudeField", &panel, &control), 0);
  EXPECT_LT(UserSetCtrlVal(panel, control, "10001"), 0) << "beyond the converter's span";
  Set("AmplitudeField", "10000");
  EXPECT_EQ(ws.amp, 8388607);
  SizeStep(1024);
  Set("Freq1Field", "250");
  UseForm("0");
  BufferArrySim();  // UBSan reports any overflow of the ×128 scaling
  int peak = 0;
  for (int i = 0; i < 1024; ++i) peak = std::max(peak, std::abs(half[2 * i]));
  EXPECT_GT(peak, 8388000 * 128);
}

TEST_F(Generator, ControlsFollowTheWaveform) {
  auto dimmed = [](int control) {
    int d = -1;
    GetCtrlAttribute(mainpanel, control, ATTR_DIMMED, &d);
    return d;
  };
  Set("WaveformRing", "0");
  EXPECT_EQ(dimmed(MAIN_AmplitudeField), 0);
  EXPECT_EQ(dimmed(MAIN_Freq1Field), 0);
  EXPECT_EQ(dimmed(MAIN_Freq2Field), 1);
  EXPECT_EQ(dimmed(MAIN_PulseWidthField), 1);
  Set("WaveformRing", "3");
  EXPECT_EQ(dimmed(MAIN_AmplitudeField), 1);
  Set("WaveformRing", "4");
  EXPECT_EQ(dimmed(MAIN_PulseWidthField), 0);
  EXPECT_EQ(dimmed(MAIN_Freq1Field), 1);
  int max = 0;
  GetCtrlAttribute(mainpanel, MAIN_PulseWidthField, ATTR_MAX_VALUE, &max);
  EXPECT_EQ(max, cus.frameLen);
}

TEST(SimRand, StaysInRangeAndRepeatsFromASeed) {
  SimSrand(42);
  int first[8];
  for (int& v : first) v = SimRand();
  SimSrand(42);
  for (int v : first) EXPECT_EQ(SimRand(), v);
  int lo = 32767, hi = 0;
  for (int i = 0; i < 100000; ++i) {
    const int v = SimRand();
    ASSERT_GE(v, 0);
    ASSERT_LE(v, 32767);
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  EXPECT_LT(lo, 100);
  EXPECT_GT(hi, 32667);
}

}  // namespace
