// The front end on its serial link: connecting to a simulated unit, settings reaching the
// modules, and a missing or partly silent unit.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "analyzer/dkv.h"
#include "analyzer/range_ch.h"
#include "fixture.h"
#include "tools/dkv5128_sim.h"

namespace {

class FrontEndLink : public veltra_test::VeltraTest {
 protected:
  void TearDown() override {
    Close5128();
    if (running_) dkvsim::SimStop(sim_);
    unsetenv("DKV5120_COM1");
    VeltraTest::TearDown();
  }
  void StartUnit(const dkvsim::Options& options = dkvsim::Options{}) {
    ASSERT_TRUE(dkvsim::SimStart(sim_, options, nullptr));
    running_ = true;
    setenv("DKV5120_COM1", sim_.path, 1);
  }
  static int CableMessages() {
    int n = 0;
    for (const auto& p : Seen())
      if (p.title == "Внимание !!!" && p.text == "Проверьте подсоединение кабеля управления PC<=>DKV") ++n;
    return n;
  }
  dkvsim::SimPty sim_;
  bool running_ = false;
};

TEST_F(FrontEndLink, SettingsReachTheSimulatedModules) {
  StartUnit();
  Press("ConnectButton");
  ASSERT_NE(dev5128, nullptr);
  EXPECT_EQ(CableMessages(), 0);
  const int a = rcu.chanA, b = rcu.chanB;

  // A newly chosen module is sent its own stored settings (not what the panel last showed for
  // another input), its gain included: the channel's scale is computed from that gain.
  ASSERT_EQ(dkvsim::SimModule(sim_, a + 1).gain100, 100);
  amplif[a] = {0, 400, 4, 1};
  Set("ChannelSelector", std::to_string(b).c_str());
  Set("CoefFieldA", "дж");
  dkvsim::Module m = dkvsim::SimModule(sim_, a + 1);
  EXPECT_EQ(m.lpfCode, 4);
  EXPECT_EQ(m.hpfCode, 1);
  EXPECT_EQ(m.gain100, 400);
  EXPECT_EQ(cch.gain[a], 4.0);
  EXPECT_EQ(IntOf("ChannelSelector"), a);

  Set("GainField", "2.5");
  Set("LowPassSelector", "3");
  Set("HighPassSelector", "2");
  m = dkvsim::SimModule(sim_, a + 1);
  EXPECT_EQ(m.gain100, 250);
  EXPECT_EQ(m.lpfCode, 3);
  EXPECT_EQ(m.hpfCode, 2);
  EXPECT_EQ(m.key, 0);  // remote mode: the module's own keys are off
  EXPECT_EQ(amplif[a].gain100, 250);

  // Unity gain to the modules in use, 0 to the six others.
  Set("CoefFieldB", "дж");
  SetKp();
  for (int j = 0; j < kAmplifiers; ++j) {
    EXPECT_EQ(dkvsim::SimModule(sim_, j + 1).gain100, j == a || j == b ? 100 : 0) << j;
  }
}

TEST_F(FrontEndLink, SilentModulesGiveTheCableMessageOnce) {
  dkvsim::Options options;
  options.modules[3].silent = true;
  options.modules[7].silent = true;
  StartUnit(options);
  Press("ConnectButton");
  EXPECT_EQ(CableMessages(), 1);
  EXPECT_NE(dev5128, nullptr);  // six modules answer: the link stays

  // Connecting again replaces the link rather than finding the port taken.
  Press("ConnectButton");
  EXPECT_EQ(CableMessages(), 2);
  EXPECT_NE(dev5128, nullptr);
}

TEST_F(FrontEndLink, WithoutAUnitTheModelStillChanges) {
  setenv("DKV5120_COM1", "/nonexistent/dkv-port", 1);
  Press("ConnectButton");
  EXPECT_EQ(CableMessages(), 1);
  EXPECT_EQ(dev5128, nullptr);
  const int a = rcu.chanA;
  Set("CoefFieldA", "дж");
  Set("GainField", "4");
  EXPECT_EQ(amplif[a].gain100, 400);
  EXPECT_EQ(cch.gain[a], 4.0);
}

}  // namespace
