// The measurement core with no panels: geometry set by one setter, runs through the source
// table, and what the core reports on the way.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "analyzer/menager.h"
#include "analyzer/model.h"
#include "analyzer/notify.h"
#include "analyzer/roles.h"
#include "analyzer/setters.h"
#include "analyzer/sources.h"
#include "analyzer/view1.h"

namespace {

struct Heard {
  int started = 0, stopped = 0, results = 0, geometry = 0, messages = 0;
  int lastCount = -1;
};
Heard g_heard;

class Core : public ::testing::Test {
 protected:
  void SetUp() override {
    // No "Calibr.inf" may be read from wherever the tests run.
    char dir[] = "/tmp/veltra-core-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    was_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_);
    g_heard = Heard{};
    CoreEvents e{};
    e.runStarted = [] { ++g_heard.started; };
    e.runStopped = [] { ++g_heard.stopped; };
    e.resultsReady = [](int) { ++g_heard.results; };
    e.countChanged = [](int n) { g_heard.lastCount = n; };
    e.message = [](const char*, const char*) { ++g_heard.messages; };
    e.settingChanged = [](int what) { g_heard.geometry += (what & kChangedGeometry) != 0; };
    previous_ = SetCoreEvents(e);
    InitModel();
  }
  void TearDown() override {
    StopSources();
    SetCoreEvents(previous_);
    std::filesystem::current_path(was_);
    std::filesystem::remove_all(dir_);
  }
  // A counted run to its end, step by step as the timer gives them.
  static void RunToEnd() {
    ASSERT_EQ(SetZero(), 1);
    for (int i = 0; i < 1000 && start == 1; ++i) Source().step();
    ASSERT_EQ(start, 0);
  }
  std::filesystem::path dir_, was_;
  CoreEvents previous_{};
};

TEST_F(Core, OneSetterDerivesTheWholeGeometry) {
  ASSERT_EQ(SetSampleRate(256.0), 1);
  ASSERT_EQ(SetFrameLength(2048), 1);
  // 256 Hz is the 1024 Hz base decimated four times.
  EXPECT_EQ(cus.srate, 1024.0);
  EXPECT_EQ(cus.thin, 4);
  EXPECT_EQ(cus.lines, 801);
  EXPECT_DOUBLE_EQ(sp.fmax, 100.0);
  EXPECT_DOUBLE_EQ(sp.df, 0.125);
  EXPECT_DOUBLE_EQ(sp.dt, 1.0 / 256.0);
  EXPECT_DOUBLE_EQ(x_band[800], 100.0);
  EXPECT_DOUBLE_EQ(time_ch[2047], 2047.0 / 256.0);
  // At 65536 Hz frames shorter than 4096 are not offered: the model moves to the nearest
  // allowed length and says so.
  ASSERT_EQ(SetSampleRate(65536.0), 1);
  ASSERT_EQ(SetFrameLength(1024), 1);
  EXPECT_EQ(cus.frameLen, 4096);
  EXPECT_EQ(cus.lines, 1601);
  EXPECT_GE(g_heard.geometry, 1);
  // A value no control offers changes nothing.
  EXPECT_EQ(SetFrameLength(1000), 0);
  EXPECT_EQ(SetSampleRate(1000.0), 0);
  EXPECT_EQ(cus.frameLen, 4096);
  EXPECT_EQ(cus.srate, 65536.0);
}

TEST_F(Core, GeneratorRunMeasuresItsSineAndReportsItsEnd) {
  ASSERT_EQ(SetGenerator(1), 1);
  ASSERT_EQ(SetAverages(3), 1);
  ASSERT_EQ(SetYUnit(0, kYRms), 1);
  RunToEnd();
  EXPECT_EQ(g_heard.started, 1);
  EXPECT_EQ(g_heard.stopped, 1);
  EXPECT_GE(g_heard.results, 1);
  EXPECT_EQ(g_heard.lastCount, 3);
  EXPECT_EQ(g_heard.messages, 0);
  EvaluateResult(0);
  // A 1 V sine at 1000 Hz sits on line 125 (8 Hz apart): 0.707 V RMS, whatever the window.
  const ViewState& v = vs[0];
  int peak = 0;
  for (int i = 1; i < v.count; ++i)
    if (v.yData[i] > v.yData[peak]) peak = i;
  EXPECT_EQ(peak, 125);
  EXPECT_NEAR(v.yData[peak] * v.yScale, std::sqrt(0.5), 0.005);
}

TEST_F(Core, RefusedStartsSayWhyAndLeaveNoRun) {
  // The generator is off.
  EXPECT_EQ(SetZero(), 0);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(g_heard.messages, 1);
  // Both channels off.
  SetGenerator(1);
  SetChannelOn(0, 0);
  SetChannelOn(1, 0);
  EXPECT_EQ(SetZero(), 0);
  EXPECT_EQ(g_heard.messages, 2);
  EXPECT_EQ(g_heard.started, 0);
  // A run whose restart for a new frame length is refused leaves no results of the old one.
  SetChannelOn(0, 1);
  SetAverages(100);
  ASSERT_EQ(SetZero(), 1);
  for (int i = 0; i < 5; ++i) Source().step();
  ASSERT_EQ(sp.dataReady, 1);
  SetGenerator(0);
  SetFrameLength(4096);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(sp.dataReady, 0);
}

TEST_F(Core, ARecordingOffersItsOwnRateAndItsDecimations) {
  ASSERT_EQ(SetSource(2), 1);
  fs.nrec = 2;
  fs.nrecs = 65536;
  fs.srate = 3000.0;
  double rates[kGeneratorRates];
  ASSERT_EQ(OfferedRates(rates), 4);
  EXPECT_EQ(rates[0], 3000.0);
  EXPECT_EQ(rates[3], 375.0);
  ASSERT_EQ(SetSampleRate(750.0), 1);
  EXPECT_EQ(cus.srate, 3000.0);
  EXPECT_EQ(cus.thin, 4);
  // Back at the generator, the nearest of its own rates.
  ASSERT_EQ(SetSource(1), 1);
  EXPECT_EQ(cus.rate, 1024.0);
}

}  // namespace
