// The six exported functions as the analyzer calls them, against the simulated unit.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "frontend/DKV5120Lib.h"
#include "frontend/DeviceLink.h"
#include "frontend_test_util.h"

namespace {

using Frames = std::vector<std::string>;

// Commands the test expects an answer to get a hang guard for a window, so a busy
// machine is never taken for a silent module; those it expects silence from (or does
// not look at) wait out the real window.
constexpr unsigned kAnswerBoundMs = 10000;
constexpr unsigned kWindowMs = 200;
void ExpectAnswers() { dkv::exportReplyWindowMs = kAnswerBoundMs; }
void ExpectSilence() { dkv::exportReplyWindowMs = kWindowMs; }

class ExportsOnSim : public ::testing::Test {
 protected:
  void Start(const dkvsim::Options& options = dkvsim::Options{}) {
    ASSERT_TRUE(unit.Start(options, 1));
    link = DKV5120LibCreate(0);
    ASSERT_NE(link, nullptr);
    ExpectAnswers();
  }
  void TearDown() override {
    DKV5120LibClose(link);
    ExpectSilence();
  }
  // The frames the unit has received; waits (within a hang guard) for `count` of them,
  // since a frame nobody answers may still be on its way when its window ends.
  Frames TakeFrames(std::size_t count = 0) {
    fetest::WaitFor([&] { return dkvsim::SimFrames(unit.sim).size() >= count; });
    return dkvsim::SimFrames(unit.sim, true);
  }

  fetest::SimUnitOnPort unit;
  DeviceLink* link = nullptr;
};

TEST(Exports, NullHandleIsAcceptedEverywhere) {
  EXPECT_EQ(DKV5120LibInit(nullptr, 1, 1), 0);
  EXPECT_EQ(DKV5120LibInit(nullptr, 1, 0), 0);
  EXPECT_EQ(DKV5120LibSetGain(nullptr, 1, 100), 0);
  EXPECT_EQ(DKV5120LibSetHPF(nullptr, 1, 0), 0);
  EXPECT_EQ(DKV5120LibSetLPF(nullptr, 1, 6), 0);
  DKV5120LibClose(nullptr);
}

TEST(Exports, CreateOnAMissingOrUnfitDeviceIsNullAndLeavesNothingOpen) {
  const int fds = fetest::OpenDescriptors();
  const int threads = fetest::Threads();
  fetest::MapPort(7, "/nonexistent/dkv5128");
  EXPECT_EQ(DKV5120LibCreate(6), nullptr);
  fetest::MapPort(7, "/dev/null");
  EXPECT_EQ(DKV5120LibCreate(6), nullptr);
  EXPECT_EQ(DKV5120LibCreate(-1), nullptr);  // no COM0
  EXPECT_EQ(DKV5120LibCreate(INT_MAX), nullptr);
  EXPECT_EQ(DKV5120LibCreate(INT_MIN), nullptr);
  EXPECT_EQ(fetest::OpenDescriptors(), fds);
  // A thread of an earlier test may still be leaving /proc: only more threads is a leak.
  EXPECT_TRUE(fetest::WaitFor([&] { return fetest::Threads() <= threads; }));
}

TEST_F(ExportsOnSim, PortInUseIsRefused) {
  Start();
  EXPECT_EQ(DKV5120LibCreate(0), nullptr);
}

TEST_F(ExportsOnSim, RemoteInitSendsEchoKeyStateAndReadsTheStatus) {
  dkvsim::Options options;
  options.modules[4].echo = false;  // as after power-up: ECHO1 switches it on
  options.modules[5].status = 8;
  options.modules[6].status = 12;
  options.modules[7].status = 7;
  Start(options);
  EXPECT_EQ(DKV5120LibInit(link, 4, 1), 1);
  EXPECT_EQ(TakeFrames(), (Frames{"$04ECHO1", "$04KEY0", "$04STATE"}));
  EXPECT_TRUE(dkvsim::SimModule(unit.sim, 4).echo);
  EXPECT_EQ(dkvsim::SimModule(unit.sim, 4).key, 0);
  EXPECT_EQ(DKV5120LibInit(link, 5, 1), 9);  // #8;
  EXPECT_EQ(DKV5120LibInit(link, 6, 1), 9);  // #12;
  EXPECT_EQ(DKV5120LibInit(link, 7, 1), 1);  // #7;
}

TEST_F(ExportsOnSim, LocalInitSendsEchoOffAndKeyOn) {
  Start();
  ExpectSilence();  // with echo off nothing answers
  EXPECT_EQ(DKV5120LibInit(link, 2, 0), 1);
  EXPECT_EQ(TakeFrames(2), (Frames{"$02ECHO0", "$02KEY1"}));
  EXPECT_FALSE(dkvsim::SimModule(unit.sim, 2).echo);
  EXPECT_EQ(dkvsim::SimModule(unit.sim, 2).key, 1);
}

TEST_F(ExportsOnSim, InitOfSilentOrMissingModulesFails) {
  dkvsim::Options options;
  options.modules[2].silent = true;
  options.modules[7].silent = true;
  Start(options);
  int answered = 0;
  for (int address = 1; address <= 8; ++address) {
    const bool silent = options.modules[static_cast<std::size_t>(address)].silent;
    silent ? ExpectSilence() : ExpectAnswers();
    const int result = DKV5120LibInit(link, address, 1);
    if (silent) {
      EXPECT_EQ(result, -1) << address;
    }
    answered += result > 0 ? 1 : 0;
  }
  EXPECT_EQ(answered, 6);
  ExpectSilence();
  EXPECT_EQ(DKV5120LibInit(link, 9, 1), -1);  // no module at 9
}

TEST_F(ExportsOnSim, GainAndFiltersReachTheModule) {
  Start();
  EXPECT_EQ(DKV5120LibSetGain(link, 1, 100), 2);
  EXPECT_EQ(DKV5120LibSetGain(link, 3, 25000), 2);
  EXPECT_EQ(DKV5120LibSetLPF(link, 3, 4), 2);
  EXPECT_EQ(DKV5120LibSetHPF(link, 3, 2), 2);
  EXPECT_EQ(TakeFrames(), (Frames{"$01GAIN100", "$03GAIN25000", "$03LPF4", "$03HPF2"}));
  const dkvsim::Module m = dkvsim::SimModule(unit.sim, 3);
  EXPECT_EQ(m.gain100, 25000);
  EXPECT_EQ(m.lpfCode, 4);
  EXPECT_EQ(m.hpfCode, 2);
}

TEST_F(ExportsOnSim, EdgeAddressesAndNegativeValues) {
  Start();
  ExpectSilence();  // no module at 0 or 99
  DKV5120LibSetGain(link, 0, 100);
  DKV5120LibSetLPF(link, 100, 1);
  ExpectAnswers();
  EXPECT_EQ(DKV5120LibSetHPF(link, 8, -1), 2);
  EXPECT_EQ(TakeFrames(), (Frames{"$00GAIN100", "$99LPF1", "$08HPF"}));
}

TEST_F(ExportsOnSim, ResultsOfSilentAndWrongModules) {
  dkvsim::Options options;
  options.modules[5].silent = true;
  options.modules[6].wrongEcho = true;
  Start(options);
  EXPECT_EQ(DKV5120LibSetGain(link, 6, 100), 1);
  ExpectSilence();
  EXPECT_EQ(DKV5120LibSetGain(link, 5, 100), -1);
}

TEST_F(ExportsOnSim, CloseAndCreateAgain) {
  Start();
  DKV5120LibClose(link);
  link = DKV5120LibCreate(0);
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(DKV5120LibSetGain(link, 2, 150), 2);
}

}  // namespace
