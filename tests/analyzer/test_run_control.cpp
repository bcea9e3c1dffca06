// Start checks, the cycle's counting and stopping, restarts and redraws, through the real panels.
#include <cstdint>
#include <cstdio>
#include <string>

#include "analyzer/menager_panel.h"
#include "fixture.h"

namespace {

using veltra_test::VeltraTest;

class RunControl : public VeltraTest {};

TEST_F(RunControl, RefusesStartWithoutChannelsOrWithTheGeneratorOff) {
  ASSERT_EQ(gen_start, 0) << "every program start has the generator off";
  const char* const expected[] = {"Генератор не включен !!!",
                                  "Каналы для измерения не выбраны !!!"};
  for (const char* text : expected) {
    if (text == expected[1]) {
      PrepareSineRun(10);
      Set("ChannelSwitchA", "0");
      Set("ChannelSwitchB", "0");
      rcu.onA = rcu.onB = 0;  // the channel switches' own callbacks belong to channel selection
    }
    veltra_test::Popups().seen.clear();
    Set("StartButton", "1");
    ASSERT_EQ(Seen().size(), 1u) << text;
    EXPECT_EQ(Seen()[0].title, "!?!");
    EXPECT_EQ(Seen()[0].text, text);
    EXPECT_EQ(IntOf("StartButton"), 0);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(TimerEnabled(), 0);
  }
}

TEST_F(RunControl, PlaybackIsNotRefusedForTheDimmedGeneratorSwitch) {
  ASSERT_EQ(gen_start, 0);
  rcu.source = 2;
  rcu.onA = 1;
  fs.nrec = 2;
  fs.flen = 1024;
  Set("StartButton", "1");
  for (const auto& p : Seen()) EXPECT_NE(p.text, "Генератор не включен !!!");
  EXPECT_EQ(start, 1);
  EXPECT_EQ(TimerEnabled(), 1);
}

TEST_F(RunControl, RefusesAWrongTriggerChannelInConditionalAndLevelModes) {
  PrepareSineRun(10);
  struct Case {
    int collect, startmode;
  };
  // conditional with external trigger (mode 2), continuous with a level start (mode 1)
  for (Case c : {Case{1, 1}, Case{0, 2}}) {
    veltra_test::Popups().seen.clear();
    rcu.collect = c.collect;
    rcu.startmode = c.startmode;
    Set("TriggerChannelField", "5");  // neither input 0 nor input 1
    Set("StartButton", "1");
    ASSERT_EQ(Seen().size(), 1u) << c.collect << c.startmode;
    EXPECT_EQ(Seen()[0].title, "Внимание!!! ");
    EXPECT_EQ(Seen()[0].text, "Неправильно выбран канал запуска!");
    EXPECT_EQ(start, 0);
    EXPECT_EQ(IntOf("StartButton"), 0);
  }
  // The same trigger channel on input B is accepted.
  veltra_test::Popups().seen.clear();
  Set("TriggerChannelField", std::to_string(rcu.chanB).c_str());
  Set("StartButton", "1");
  EXPECT_TRUE(Seen().empty());
  EXPECT_EQ(start, 1);
  EXPECT_EQ(dbuf.trigidx, 1);
  // Input 2 fits neither channel until channel B is renumbered to it; the start then takes it.
  Set("StartButton", "0");
  Set("TriggerChannelField", "2");
  ASSERT_EQ(rcu.trigchan, -1);
  UserFireEvent(mainpanel, MAIN_ChannelSwitchB, EVENT_KEYPRESS, VAL_UP_ARROW_VKEY, 0);
  ASSERT_EQ(rcu.chanB, 2);
  veltra_test::Popups().seen.clear();
  Set("StartButton", "1");
  EXPECT_TRUE(Seen().empty());
  EXPECT_EQ(start, 1);
  EXPECT_EQ(dbuf.trigidx, 1);
}

TEST_F(RunControl, ContinuousFreeStartIgnoresTheTriggerChannel) {
  PrepareSineRun(10);
  rcu.trigchan = -1;
  Set("StartButton", "1");
  EXPECT_TRUE(Seen().empty());
  EXPECT_EQ(start, 1);
}

TEST_F(RunControl, LinearRunStopsByItselfAfterTheTargetCount) {
  PrepareSineRun(10);
  Set("StartButton", "1");
  ASSERT_EQ(start, 1);
  EXPECT_EQ(IntOf("AverCountDisplay"), 1);
  Tick();  // the first step only fills the decimated streams
  for (int i = 1; i <= 9; ++i) {
    Tick();
    ASSERT_EQ(start, 1) << "stopped early after frame " << i;
    EXPECT_EQ(IntOf("AverCountDisplay"), i);
  }
  Tick();
  EXPECT_EQ(start, 0);
  EXPECT_EQ(IntOf("StartButton"), 0);
  EXPECT_EQ(TimerEnabled(), 0);
  EXPECT_EQ(IntOf("AverCountDisplay"), 10);
  EXPECT_EQ(sp.dataReady, 1);
  // Both windows were selected at start and show their spectra.
  EXPECT_EQ(vs[0].count, cus.lines);
  EXPECT_EQ(vs[1].count, cus.lines);
  // Further ticks of a stopped run change nothing.
  Tick(3);
  EXPECT_EQ(IntOf("AverCountDisplay"), 10);
}

TEST_F(RunControl, ExponentialRunKeepsCounting) {
  PrepareSineRun(10);
  Press("LinearBox");
  ASSERT_EQ(rcu.expAver, 1);
  EXPECT_EQ(IntOf("ExponentialBox"), 1);
  Set("StartButton", "1");
  Tick();  // the first step only fills the decimated streams
  Tick(30);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(IntOf("StartButton"), 1);
  EXPECT_EQ(IntOf("AverCountDisplay"), 30);
}

TEST_F(RunControl, AveragingBoxesAreExclusive) {
  Press("ExponentialBox");
  EXPECT_EQ(rcu.expAver, 1);
  EXPECT_EQ(IntOf("LinearBox"), 0);
  Press("ExponentialBox");
  EXPECT_EQ(rcu.expAver, 0);
  EXPECT_EQ(IntOf("LinearBox"), 1);
}

TEST_F(RunControl, AveragesFieldTakesOneOrMore) {
  int panel = 0, control = 0;
  ASSERT_EQ(FindCtrlByRole("AveragesField", &panel, &control), 0);
  EXPECT_LT(UserSetCtrlVal(panel, control, "0"), 0);
  Set("AveragesField", "1");
  EXPECT_EQ(rcu.avgTarget, 1);
}

TEST_F(RunControl, SettingsChangeWhileRunningRestartsAtOne) {
  PrepareSineRun(100);
  Set("StartButton", "1");
  Tick();  // the first step only fills the decimated streams
  Tick(5);
  ASSERT_EQ(IntOf("AverCountDisplay"), 5);
  for (const char* setting : {"FftSizeRing=2048", "OverlapRing=0.5", "SampleRateRing=4096"}) {
    const std::string s = setting;
    const auto eq = s.find('=');
    Set(s.substr(0, eq).c_str(), s.substr(eq + 1).c_str());
    EXPECT_EQ(start, 1) << setting;
    EXPECT_EQ(IntOf("AverCountDisplay"), 1) << setting;
    EXPECT_EQ(rcu.avgCount, 1) << setting;
    EXPECT_EQ(sp.dataReady, 0) << setting;
    Tick(2);
  }
  EXPECT_EQ(dbuf.n, 2048);
}

TEST_F(RunControl, GeometryChangeWhileStoppedDiscardsOldResults) {
  PrepareSineRun(3);
  Set("StartButton", "1");
  Tick();  // the first step only fills the decimated streams
  Tick(3);
  ASSERT_EQ(start, 0);
  ASSERT_EQ(sp.dataReady, 1);
  Set("FftSizeRing", "4096");
  EXPECT_EQ(sp.dataReady, 0);
}

TEST_F(RunControl, StopRedrawsOnlyWhenResultsExist) {
  PrepareSineRun(100);
  Set("StartButton", "1");
  vs[0].count = -7;  // a redraw would recompute it
  Set("StartButton", "0");
  EXPECT_EQ(vs[0].count, -7) << "nothing processed, nothing drawn";
  EXPECT_EQ(TimerEnabled(), 0);

  Set("StartButton", "1");
  Tick(3);
  vs[0].count = -7;
  Set("StartButton", "0");
  EXPECT_EQ(vs[0].count, cus.lines);
  EXPECT_EQ(start, 0);
}

TEST_F(RunControl, CountedRunWithOverlapProcessesExactlyTheTarget) {
  // With 87.5 % overlap a step can complete several frames; none is taken after the stop, so
  // the count shown, the saved averages and the picture drawn at the stop agree.
  Set("SampleRateRing", "4096");
  Set("OverlapRing", "0.875");
  PrepareSineRun(3);
  Set("StartButton", "1");
  for (int i = 0; i < 50 && start == 1; ++i) Tick();
  ASSERT_EQ(start, 0);
  EXPECT_EQ(rcu.avgCount - 1, 3);
  EXPECT_EQ(IntOf("AverCountDisplay"), 3);
}

TEST_F(RunControl, SourceChangeStopsTheRun) {
  PrepareSineRun(100);
  Set("StartButton", "1");
  Tick(2);
  Set("SourceRing", "0");
  EXPECT_EQ(start, 0);
  EXPECT_EQ(IntOf("StartButton"), 0);
  EXPECT_EQ(TimerEnabled(), 0);
}

TEST_F(RunControl, UnitInputSourceStartsOnlyWithItsCaptureDevice) {
  setenv("VELTRA_CAPTURE_DEVICE", "no-such-capture-device", 1);
  Set("SourceRing", "0");
  Set("StartButton", "1");
  unsetenv("VELTRA_CAPTURE_DEVICE");
  EXPECT_EQ(start, 0);
  EXPECT_EQ(TimerEnabled(), 0);
  ASSERT_EQ(Seen().size(), 1u);
  EXPECT_NE(Seen()[0].text.find("«no-such-capture-device»"), std::string::npos);
  Tick(5);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(sp.dataReady, 0);
}

TEST_F(RunControl, PretriggerIsClampedAndCarryClearedOutsideLevelCollection) {
  PrepareSineRun(10);
  rcu.collect = 1;
  rcu.startmode = 2;
  rcu.levelmode = 0;
  rcu.trigchan = rcu.chanA;
  rcu.pretrig = 100000;
  ASSERT_EQ(SetZero(), 1);
  EXPECT_EQ(rcu.runmode, 3);
  EXPECT_EQ(rcu.pretrig, cus.frameLen / 2);
  EXPECT_EQ(rcu.carry, 0) << "the lead-in is the run's own samples, not zeros";
  EXPECT_EQ(static_cast<int>(tmp.size()), 2 * (dbuf.blk + rcu.carry));
  StopMeass();
  rcu.collect = 0;
  rcu.startmode = 0;
  ASSERT_EQ(SetZero(), 1);
  EXPECT_EQ(rcu.carry, 0);
}

TEST(CollectRunMode, DerivesTheModeFromCollectionAndStart) {
  struct Case {
    int collect, startmode, levelmode, expected;
  };
  const Case cases[] = {{0, 0, 0, 0}, {0, 2, 4, 1}, {1, 1, 0, 2},
                        {1, 2, 0, 3}, {1, 2, 3, 6}, {1, 2, 5, 8}};
  for (const Case& c : cases) {
    rcu.collect = c.collect;
    rcu.startmode = c.startmode;
    rcu.levelmode = c.levelmode;
    rcu.runmode = -5;
    CollectRunMode();
    EXPECT_EQ(rcu.runmode, c.expected) << c.collect << c.startmode << c.levelmode;
  }
  rcu.runmode = 7;
  rcu.collect = 0;
  rcu.startmode = 1;  // never offered: the mode stays
  CollectRunMode();
  EXPECT_EQ(rcu.runmode, 7);
}

TEST(PlaybackFrames, ShortRecordingFramesAreReported) {
  cus.frameLen = 1024;
  fs.flen = 512;
  rcu.runmode = 2;
  EXPECT_EQ(SetStartMode(), 0);
  EXPECT_EQ(fs.nread, 512);
  EXPECT_EQ(dbuf.nframe, 1024);
  rcu.runmode = 0;
  EXPECT_EQ(SetStartMode(), 1);
  EXPECT_EQ(fs.nread, 1024);
}

}  // namespace

namespace {

class Playback : public veltra_test::VeltraTest {
 protected:
  // A recording of `records` records of two 32-bit little-endian columns: A = i, B = -i.
  static std::string Write(int records) {
    const std::string path = veltra_test::ScratchDir() + "/rec.dat";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    for (int i = 0; i < records; ++i) {
      const int32_t v[2] = {i, -i};
      unsigned char b[8];
      for (int k = 0; k < 2; ++k) {
        const auto u = static_cast<uint32_t>(v[k]);
        for (int j = 0; j < 4; ++j) b[4 * k + j] = static_cast<unsigned char>(u >> (8 * j));
      }
      std::fwrite(b, 1, 8, f);
    }
    std::fclose(f);
    return path;
  }
  static void StartPlayback(const std::string& path) {
    std::snprintf(file_name, sizeof file_name, "%s", path.c_str());
    rcu.source = 2;
    rcu.onA = rcu.onB = 1;
    rcu.colA = 0;
    rcu.colB = 1;
    fs.nrec = 2;
    fs.flen = 1024;
    rcu.avgTarget = 100;
    ASSERT_EQ(SetZero(), 1);
  }
};

TEST_F(Playback, ReadsFramesInOrderAndStopsAtTheEndOfTheRecording) {
  StartPlayback(Write(1024 + 500));
  Tick();
  ASSERT_EQ(start, 1);
  EXPECT_EQ(wave[0], 0);
  EXPECT_EQ(wave[1023], 1023);
  EXPECT_EQ(wave[1024 + 1023], -1023);
  EXPECT_EQ(fs.pos, 1024 * 8);
  EXPECT_EQ(IntOf("AverCountDisplay"), 1);
  Tick();  // only 500 records are left
  EXPECT_EQ(start, 0);
  EXPECT_EQ(IntOf("StartButton"), 0);
  EXPECT_EQ(IntOf("AverCountDisplay"), 1) << "the incomplete frame is not processed";
}

TEST_F(Playback, UnreadableRecordingStopsTheRunWithAMessage) {
  StartPlayback(veltra_test::ScratchDir() + "/missing.dat");
  Tick();
  EXPECT_EQ(start, 0);
  EXPECT_EQ(TimerEnabled(), 0);
  ASSERT_FALSE(Seen().empty());
  EXPECT_EQ(Seen().back().kind, POPUP_MESSAGE);
}

}  // namespace
