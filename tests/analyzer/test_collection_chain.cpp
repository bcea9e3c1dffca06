// The conditioning chain: anti-alias filtering and decimation, frames cut from the decimated
// streams with overlap and delay, differentiation and integration; and its panel controls.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "analyzer/collection.h"
#include "analyzer/iirfilter.h"
#include "analyzer/initstruct.h"
#include "analyzer/menager_panel.h"
#include "fixture.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kN = 1024;

// The chain as the run cycle drives it: returns the frames one input step yields.
int Step(const std::vector<double>& a, const std::vector<double>& b) {
  for (int i = 0; i < kN; ++i) {
    wave[i] = static_cast<int>(std::lround(a[i]));
    wave[kN + i] = static_cast<int>(std::lround(b[i]));
  }
  dbuf.nframe = kN;
  if (FilterArry() == 0) return 0;
  int frames = 1;
  while (sr.fill >= sr.need && sr.settle == 0 && DataFormer() == 1) ++frames;
  return frames;
}

void Begin(int thin, int delay = 0, int overlap = 0) {
  rcu.source = 1;
  rcu.runmode = 0;
  cus.nchan = 2;
  cus.frameLen = dbuf.n = dbuf.nm = kN;
  dbuf.blk = 2 * kN;
  cus.srate = 1024.0;
  cus.thin = thin;
  sp.dt = thin / 1024.0;
  cus.iirtype = 0;
  cus.iirorder = 14;
  cus.iirripple = 0.1;
  cus.iiratten = 100.0;
  sr.ovsamp = overlap;
  sr.delay = delay;
  wave.assign(2 * kN, 0);
  sr.fill = 0;
  sr.wpA = outf_ChA;
  sr.wpB = outf_ChB;
  IIRFilterParam();
  SetSetupDelay();
}

// Amplitude of the DFT line k of x[0..n), computed directly.
double Line(const double* x, int n, int k) {
  std::complex<double> s = 0.0;
  for (int i = 0; i < n; ++i) s += x[i] * std::polar(1.0, -2.0 * kPi * k * i / n);
  return 2.0 * std::abs(s) / n;
}

// Amplitude that a base-rate tone of frequency f shows at decimated line `line` once settled.
double Through(int thin, double f, int line) {
  Begin(thin);
  constexpr double kAmp = 1.0e6;
  long t = 0;
  for (int step = 0; step < 48; ++step) {
    std::vector<double> a(kN);
    for (double& v : a) v = kAmp * std::sin(2.0 * kPi * f * static_cast<double>(t++) / 1024.0);
    Step(a, a);
  }
  return Line(ca, kN, line) / kAmp;
}

TEST(CollectionChain, DecimatedToneOnItsLineAndItsAliasRejected) {
  struct Case {
    int thin;
    double inBand, outOfBand;  // Hz at the base rate of 1024 Hz
  };
  // Lines at fs/thin/N: the out-of-band tone would fold onto the line of fs/thin - f.
  for (Case c : {Case{2, 150.0, 372.0}, Case{4, 60.0, 200.0}, Case{8, 30.0, 100.0}}) {
    const double df = 1024.0 / c.thin / kN;
    const double gain = Through(c.thin, c.inBand, static_cast<int>(c.inBand / df));
    EXPECT_NEAR(gain, 1.0, 0.02) << c.thin;
    const double fold = 1024.0 / c.thin - c.outOfBand;
    const double alias = Through(c.thin, c.outOfBand, static_cast<int>(fold / df));
    EXPECT_LT(alias, 1.0e-4) << c.thin << ": alias at " << fold << " Hz";
  }
  EXPECT_EQ(cus.iirfcut, 55.0);
  Begin(1);
  EXPECT_EQ(cus.iirtype, 4) << "no filter without decimation";
}

// Ramp input: a frame's first value is the stream position it was cut at.
std::vector<double> Ramp(long* t) {
  std::vector<double> r(kN);
  for (double& v : r) v = static_cast<double>((*t)++);
  return r;
}

int StepRamp(long* t) {
  const std::vector<double> r = Ramp(t);
  return Step(r, r);
}

TEST(CollectionChain, FramesFollowSettlingOverlapAndDecimation) {
  long t = 0;
  Begin(1);
  EXPECT_EQ(StepRamp(&t), 0) << "the first step only fills the streams";
  ASSERT_EQ(StepRamp(&t), 1);
  EXPECT_EQ(ca[0], 0.0) << "the first frame holds the first step";
  EXPECT_EQ(ca[kN - 1], kN - 1.0);
  EXPECT_EQ(StepRamp(&t), 1);
  EXPECT_EQ(ca[0], kN) << "one step behind";

  Begin(1, 0, kN / 2);
  t = 0;
  std::vector<int> frames;
  for (int s = 0; s < 4; ++s) frames.push_back(StepRamp(&t));
  EXPECT_EQ(frames, (std::vector<int>{0, 1, 2, 2})) << "half overlap: two frames a step";

  Begin(8);
  cus.iirtype = 4;  // a ramp shows the positions better unfiltered
  t = 0;
  std::vector<int> when;
  for (int s = 1; s <= 32; ++s) {
    if (StepRamp(&t) > 0) when.push_back(s);
  }
  EXPECT_EQ(when, (std::vector<int>{16, 24, 32}));
}

TEST(CollectionChain, DelayShiftsOneChannelWithinTheStream) {
  struct Case {
    int delay, settle, offA, offB;
  };
  for (Case c : {Case{512, 1, 0, 512}, Case{-512, -1, 512, 0}, Case{3000, 3, 0, 3000}}) {
    Begin(1, c.delay);
    EXPECT_EQ(sr.settle, c.settle);
    EXPECT_EQ(sr.offA, c.offA);
    EXPECT_EQ(sr.offB, c.offB);
    EXPECT_EQ(sr.need, 2 * kN + (c.delay == 3000 ? 2 * kN : 0));
    long t = 0;
    int frames = 0;
    for (int s = 0; s < 6 && frames == 0; ++s) {
      frames = StepRamp(&t);
    }
    ASSERT_GT(frames, 0) << c.delay;
    EXPECT_EQ(cb[0] - ca[0], c.delay);
    EXPECT_EQ(cb[kN - 1] - ca[kN - 1], c.delay);
  }
  // The largest frame and delay still fit the streams with a step to spare.
  cus.frameLen = kMaxFrame;
  sr.delay = -kStreamLen;
  SetSetupDelay();
  EXPECT_LE(sr.need + kMaxFrame, kStreamLen);
  EXPECT_LE(sr.offA + kMaxFrame, sr.need);
}

TEST(CollectionChain, DifferentiationAndIntegrationScaleBySquaredOmega) {
  cus.frameLen = kN;
  sp.dt = 1.0 / 1024.0;
  const double w = 2.0 * kPi * 16.0;  // 16 whole periods in the frame
  for (int di : {0, 4}) {
    rcu.diA = di;
    rcu.diB = 2;
    for (int i = 0; i < kN; ++i) ca[i] = cb[i] = std::sin(w * i * sp.dt);
    DifIntegrTime();
    double worst = 0.0;
    for (int i = 2; i < kN; ++i) {
      // Two backward differences delay by one sample; double integration needs no shift.
      const double expect =
          di == 0 ? -w * w * std::sin(w * (i - 1) * sp.dt) : -std::sin(w * i * sp.dt) / (w * w);
      const double scale = di == 0 ? w * w : 1.0 / (w * w);
      worst = std::max(worst, std::fabs(Rx[i] - expect) / scale);
    }
    EXPECT_LT(worst, 0.01) << di;
    EXPECT_EQ(Ry[7], std::sin(w * 7 * sp.dt)) << "channel B untouched";
  }
  // A constant integrates to a ramp through zero at mid-frame.
  rcu.diA = 3;
  for (int i = 0; i < kN; ++i) ca[i] = 1.0;
  DifIntegrTime();
  for (int i : {0, 100, kN - 1}) EXPECT_NEAR(Rx[i], (i - (kN - 1) / 2.0) * sp.dt, 1e-12) << i;
}

class CollectionPanels : public veltra_test::VeltraTest {};

TEST_F(CollectionPanels, DelayButtonsWrapAndTheReadoutShowsTime) {
  Set("SampleRateRing", "1024");
  ASSERT_DOUBLE_EQ(sp.dt, 1.0 / 1024.0);
  sr.delay = kStreamLen;
  Press("DelayUpButton");
  EXPECT_EQ(sr.delay, 0);
  Press("DelayDownButton");
  EXPECT_EQ(sr.delay, -512);
  char text[64] = "";
  GetCtrlVal(mainpanel, MAIN_DelayReadout, text, sizeof text);
  EXPECT_STREQ(text, "-500.000,мс");
  Set("DelayField", "2048");
  GetCtrlVal(mainpanel, MAIN_DelayReadout, text, sizeof text);
  EXPECT_STREQ(text, "2.000,сек");
}

TEST_F(CollectionPanels, LevelSubModesSetLabelAndUsableControls) {
  struct Case {
    int mode;
    const char* label;
    int level2Dimmed, slopeDimmed;
  };
  const char* const plain = "           Уровень, В";
  for (Case c : {Case{0, plain, 1, 0}, Case{2, plain, 1, 1}, Case{4, "Верхний уровень, В", 0, 1}}) {
    SetCtrlVal(trigpanel, TRIG_LevelModeList, c.mode);
    UserFireEvent(trigpanel, TRIG_LevelModeList, EVENT_COMMIT, 0, 0);
    EXPECT_EQ(rcu.levelmode, c.mode);
    char label[128] = "";
    GetCtrlAttribute(trigpanel, TRIG_LevelField, ATTR_LABEL_TEXT, label, sizeof label);
    EXPECT_STREQ(label, c.label);
    int dimmed = -1;
    GetCtrlAttribute(trigpanel, TRIG_Level2Field, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, c.level2Dimmed) << c.mode;
    GetCtrlAttribute(trigpanel, TRIG_SlopeRing, ATTR_DIMMED, &dimmed);
    EXPECT_EQ(dimmed, c.slopeDimmed) << c.mode;
  }
}

TEST_F(CollectionPanels, TriggerChannelMustFeedAChannelAndIsMarked) {
  SetCtrlVal(trigpanel, TRIG_TriggerChannelField, rcu.chanB);
  UserFireEvent(trigpanel, TRIG_TriggerChannelField, EVENT_COMMIT, 0, 0);
  EXPECT_EQ(rcu.trigchan, rcu.chanB);
  int colour = -1;
  GetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_ON_COLOR, &colour);
  EXPECT_EQ(colour, rcu.colortrig);
  GetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_ON_COLOR, &colour);
  EXPECT_EQ(colour, rcu.colornormal);
  int other = 0;
  while (other == rcu.chanA || other == rcu.chanB) ++other;
  SetCtrlVal(trigpanel, TRIG_TriggerChannelField, other);
  UserFireEvent(trigpanel, TRIG_TriggerChannelField, EVENT_COMMIT, 0, 0);
  EXPECT_EQ(rcu.trigchan, -1);
  GetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_ON_COLOR, &colour);
  EXPECT_EQ(colour, rcu.colornormal);
}

TEST_F(CollectionPanels, EveryConditionalModeDeliversFramesOfTheGeneratorSine) {
  PrepareSineRun(1000);
  Set("SampleRateRing", "1024");
  Set("Freq1Field", "50");
  for (int mode = 0; mode < 6; ++mode) {
    rcu.collect = 1;
    rcu.startmode = 2;
    rcu.levelmode = mode;
    rcu.trigchan = rcu.chanA;
    rcu.level = 0.5;  // the sine swings by 1 V
    rcu.level2 = -0.5;
    rcu.pretrig = 100;
    Set("StartButton", "1");
    ASSERT_EQ(start, 1) << mode;
    ASSERT_EQ(rcu.runmode, 3 + mode);
    Tick(12);
    EXPECT_EQ(sp.dataReady, 1) << mode;
    if (mode == 0) {
      // Frames are cut from the decimated stream, so the trigger frame itself is in wave.
      const int level = static_cast<int>(500.0 / hs.mvpc);
      EXPECT_LE(wave[99], level);
      EXPECT_GT(wave[100], level) << "the crossing follows 100 samples of lead-in";
    }
    Set("StartButton", "0");
  }
}

// A 3 Hz sine at the default 8192 Hz rises through 0.5 V once every 2.7 steps.
TEST_F(CollectionPanels, LevelStartWithoutPretriggerCompletesTimeAveraging) {
  PrepareSineRun(20);
  Set("Freq1Field", "3");
  Set("MeasTypeRing", "1");
  Set("StartRing", "2");
  Set("LevelField", "0.5");
  Set("PretrigField", "0");
  Set("StartButton", "1");
  ASSERT_EQ(rcu.runmode, 3);
  for (int tick = 0; tick < 200 && start == 1; ++tick) Tick();
  EXPECT_EQ(start, 0) << "the run ends at its count";
  EXPECT_EQ(IntOf("AverCountDisplay"), 20);
}

TEST_F(CollectionPanels, TriggeredFramesAreNeverOverlapped) {
  PrepareSineRun(1000);
  Set("Freq1Field", "3");
  const char* const overlaps[] = {"0.5", "0"};
  int frames[2] = {0, 0};
  for (int i = 0; i < 2; ++i) {
    const char* const overlap = overlaps[i];
    Set("CollectRing", "0");
    Set("StartRing", "0");
    Set("OverlapRing", overlap);
    Set("CollectRing", "1");
    Set("StartRing", "2");
    Set("LevelField", "0.5");
    Set("PretrigField", "0");
    Set("StartButton", "1");
    ASSERT_EQ(rcu.runmode, 3);
    Tick(60);
    frames[i] = IntOf("AverCountDisplay");
    // Each analysis frame is one event's frame: it opens on the crossing.
    const double level = 500.0 / hs.mvpc;
    EXPECT_GT(ca[0], level) << overlap;
    EXPECT_LT(ca[0], 1.01 * level) << overlap;
    Set("StartButton", "0");
  }
  EXPECT_GT(frames[1], 10);
  // The generator runs on between the runs, so the event count may differ by one.
  EXPECT_NEAR(frames[0], frames[1], 1) << "a hidden overlap adds spliced frames";
}

TEST_F(CollectionPanels, StartModeChangeRestartsTheRun) {
  PrepareSineRun(1000);
  Set("CollectRing", "1");
  Set("StartRing", "2");
  Set("StartButton", "1");
  ASSERT_EQ(rcu.runmode, 3);
  Tick(5);
  Set("StartRing", "1");
  EXPECT_EQ(start, 1);
  EXPECT_EQ(rcu.runmode, 2) << "external start in force";
  EXPECT_EQ(IntOf("AverCountDisplay"), 1);
}

TEST_F(CollectionPanels, DelayShownIsTheDelayInForceAfterTheFrameLengthChanges) {
  Set("FftSizeRing", "1024");
  Set("DelayField", "60000");
  ASSERT_EQ(sr.delay, 60000);
  Set("FftSizeRing", "8192");
  EXPECT_EQ(sr.delay, MaxStreamDelay());
  EXPECT_EQ(IntOf("DelayField"), sr.delay);
  char text[64] = "", expect[64] = "";
  GetCtrlVal(mainpanel, MAIN_DelayReadout, text, sizeof text);
  std::snprintf(expect, sizeof expect, "%1.3f,сек", sr.delay * sp.dt);
  EXPECT_STREQ(text, expect);
}

TEST_F(CollectionPanels, GeneratorToneAtADecimatedRateReachesTheAnalysisOnItsLine) {
  PrepareSineRun(1000);
  Set("SampleRateRing", "256");
  Set("FftSizeRing", "1024");
  Set("Freq1Field", "60");
  ASSERT_EQ(cus.thin, 4);
  Set("StartButton", "1");
  ASSERT_EQ(start, 1);
  Tick(40);
  ASSERT_EQ(sp.dataReady, 1);
  // 0.25 Hz lines: 60 Hz is line 240 of the frame handed to the analysis.
  int best = 1;
  for (int k = 1; k < kN / 2; ++k) {
    if (Line(ca, kN, k) > Line(ca, kN, best)) best = k;
  }
  EXPECT_EQ(best, 240);
}

}  // namespace
