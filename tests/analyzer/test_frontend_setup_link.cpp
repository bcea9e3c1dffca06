// The front end on its serial link: connecting to a simulated unit, settings reaching the
// modules, and a missing or partly silent unit.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

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
      if (p.title == "Внимание !!!" &&
          p.text == "Проверьте подсоединение кабеля управления PC<=>DKV")
        ++n;
    return n;
  }
  // The unit vanishes: the pseudo-terminal closes under the open link.
  void PullTheCable() {
    dkvsim::SimStop(sim_);
    running_ = false;
  }
  // One tick of the front-end panel's link timer, which takes the worker's reports.
  static void LinkTick() { UserFireEvent(frontpanel, FRONT_LinkTimer, EVENT_TIMER_TICK, 0, 0); }
  // Measurement ticks and link ticks until the link has nothing left to do; how many
  // measurement ticks ran meanwhile. Bounded, never timed.
  static int TickWhileLinkBusy() {
    int ticks = 0;
    for (int i = 0; i < 4000 && LinkPending5128() > 0; ++i, ++ticks) {
      Tick();
      LinkTick();
      usleep(5000);
    }
    EXPECT_EQ(LinkPending5128(), 0) << "the link never finished";
    return ticks;
  }
  static std::string Status() {
    char text[256] = "";
    GetCtrlVal(frontpanel, FRONT_LinkStatusReadout, text, sizeof text);
    return text;
  }
  // The frames a connect puts on the wire, in order.
  static std::vector<std::string> ConnectFrames() {
    std::vector<std::string> frames;
    for (int a = 1; a <= kAmplifiers; ++a) {
      for (const char* word : {"ECHO1", "KEY0", "STATE"}) {
        frames.push_back((a < 10 ? "$0" : "$") + std::to_string(a) + word);
      }
    }
    return frames;
  }
  static int NoAnswerMessages() {
    int n = 0;
    for (const auto& p : Seen()) n += p.text.find("не отвечает") != std::string::npos;
    return n;
  }
  dkvsim::SimPty sim_;
  bool running_ = false;
};

TEST_F(FrontEndLink, SettingsReachTheSimulatedModules) {
  StartUnit();
  Press("ConnectButton");
  WaitLink5128();
  ASSERT_NE(dev5128, nullptr);
  EXPECT_EQ(CableMessages(), 0);
  const int a = rcu.chanA, b = rcu.chanB;

  // A newly chosen module is sent its own stored settings (not what the panel last showed for
  // another input), its gain included: the channel's scale is computed from that gain.
  ASSERT_EQ(dkvsim::SimModule(sim_, a + 1).gain100, 100);
  amplif[a] = {0, 400, 4, 1};
  Set("ChannelSelector", std::to_string(b).c_str());
  Set("CoefFieldA", "дж");
  WaitLink5128();
  dkvsim::Module m = dkvsim::SimModule(sim_, a + 1);
  EXPECT_EQ(m.lpfCode, 4);
  EXPECT_EQ(m.hpfCode, 1);
  EXPECT_EQ(m.gain100, 400);
  EXPECT_EQ(cch.gain[a], 4.0);
  EXPECT_EQ(IntOf("ChannelSelector"), a);

  Set("GainField", "2.5");
  Set("LowPassSelector", "3");
  Set("HighPassSelector", "2");
  WaitLink5128();
  m = dkvsim::SimModule(sim_, a + 1);
  EXPECT_EQ(m.gain100, 250);
  EXPECT_EQ(m.lpfCode, 3);
  EXPECT_EQ(m.hpfCode, 2);
  EXPECT_EQ(m.key, 0);  // remote mode: the module's own keys are off
  EXPECT_EQ(amplif[a].gain100, 250);

  // Unity gain to the modules in use, 0 to the six others.
  Set("CoefFieldB", "дж");
  SetKp();
  WaitLink5128();
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
  WaitLink5128();
  EXPECT_EQ(CableMessages(), 1);
  EXPECT_NE(dev5128, nullptr);  // six modules answer: the link stays

  // Connecting again replaces the link rather than finding the port taken.
  Press("ConnectButton");
  WaitLink5128();
  EXPECT_EQ(CableMessages(), 2);
  EXPECT_NE(dev5128, nullptr);
}

TEST_F(FrontEndLink, WithoutAUnitTheModelStillChanges) {
  setenv("DKV5120_COM1", "/nonexistent/dkv-port", 1);
  Press("ConnectButton");
  WaitLink5128();
  EXPECT_EQ(CableMessages(), 1);
  EXPECT_EQ(dev5128, nullptr);
  const int a = rcu.chanA;
  Set("CoefFieldA", "дж");
  Set("GainField", "4");
  EXPECT_EQ(amplif[a].gain100, 400);
  EXPECT_EQ(cch.gain[a], 4.0);
}

TEST_F(FrontEndLink, ConnectLeavesThePanelsFreeAndShowsEachModule) {
  dkvsim::Options options;
  options.modules[2].silent = true;
  options.modules[5].silent = true;
  StartUnit(options);
  PrepareSineRun(1000000);
  Set("StartButton", "1");
  ASSERT_EQ(start, 1);

  Press("ConnectButton");
  // The callback has returned while the modules are still being asked: nothing of the
  // outcome is known yet, and the measurement goes on tick by tick.
  EXPECT_GT(LinkPending5128(), 0);
  EXPECT_EQ(dev5128, nullptr);
  EXPECT_EQ(CableMessages(), 0);
  EXPECT_EQ(Status(), "Подключение к COM1…");
  const int before = IntOf("AverCountDisplay");
  Tick(3);
  EXPECT_GT(IntOf("AverCountDisplay"), before);
  std::vector<std::string> seen;
  for (int i = 0; i < 4000 && LinkPending5128() > 0; ++i) {
    Tick();
    LinkTick();
    if (seen.empty() || seen.back() != Status()) seen.push_back(Status());
    usleep(5000);
  }
  ASSERT_EQ(LinkPending5128(), 0);
  EXPECT_EQ(start, 1);
  EXPECT_NE(dev5128, nullptr);
  EXPECT_EQ(CableMessages(), 1);
  EXPECT_EQ(Status(), "Ответили 6 из 8 модулей; нет ответа: 2, 5");
  bool progress = false;
  for (const auto& text : seen) progress = progress || text.rfind("Модуль ", 0) == 0;
  EXPECT_TRUE(progress) << "no module's progress was shown";
  // The worker speaks the same frames in the same order as a connect always has.
  EXPECT_EQ(dkvsim::SimFrames(sim_), ConnectFrames());
}

TEST_F(FrontEndLink, ExitDuringASilentConnectClosesTheLink) {
  dkvsim::Options options;
  for (int a = 1; a <= kAmplifiers; ++a) options.modules[a].silent = true;
  StartUnit(options);
  Press("ConnectButton");
  ASSERT_GT(LinkPending5128(), 0);
  Press("QuitButton");
  EXPECT_EQ(LinkPending5128(), 0);
  EXPECT_EQ(dev5128, nullptr);
  EXPECT_EQ(CableMessages(), 0) << "a connect dropped at exit reports nothing";
  // Whatever reached the wire before the exit is the beginning of a connect, in order.
  const std::vector<std::string> sent = dkvsim::SimFrames(sim_), all = ConnectFrames();
  ASSERT_LE(sent.size(), all.size());
  EXPECT_TRUE(std::equal(sent.begin(), sent.end(), all.begin()));
}

TEST_F(FrontEndLink, UnitPulledOutDuringGainSettingsGivesOneMessage) {
  StartUnit();
  Press("ConnectButton");
  WaitLink5128();
  ASSERT_NE(dev5128, nullptr);
  const int a = rcu.chanA;
  Set("CoefFieldA", "дж");
  PrepareSineRun(1000000);
  Set("StartButton", "1");
  Set("GainField", "3");
  PullTheCable();  // perhaps under the command just queued, surely under the next ones
  Set("GainField", "5");
  Set("LowPassSelector", "2");
  TickWhileLinkBusy();
  EXPECT_EQ(NoAnswerMessages(), 1);
  EXPECT_EQ(Status().rfind("Модуль " + std::to_string(a + 1) + " не ответил", 0), 0u) << Status();
  // The program goes on: the model took the settings and the run still runs.
  EXPECT_EQ(amplif[a].gain100, 500);
  EXPECT_EQ(amplif[a].lpfcode, 2);
  EXPECT_EQ(start, 1);
  const int before = rcu.avgCount;
  Tick(3);
  EXPECT_GT(rcu.avgCount, before);
}

TEST_F(FrontEndLink, UnitPulledOutDuringAutoRangingLetsThePassEnd) {
  StartUnit();
  Press("ConnectButton");
  WaitLink5128();
  Set("CoefFieldA", "дж");
  Set("CoefFieldB", "дж");
  WaitLink5128();
  PrepareSineRun(1000000);
  Press("AutoRangeButton");
  ASSERT_EQ(rcu.adaptpass, 2);
  for (int i = 0; i < 50 && rcu.adaptstep == 0; ++i) Tick();
  ASSERT_EQ(rcu.adaptstep, 1) << "unity gains are on their way";
  PullTheCable();
  for (int i = 0; i < 200 && rcu.adaptpass == 2; ++i) {
    TickWhileLinkBusy();
    Tick();
  }
  EXPECT_EQ(rcu.adaptpass, 1) << "the pass ended";
  EXPECT_EQ(start, 1);
  EXPECT_EQ(NoAnswerMessages(), 1);
  // The step was measured at unity gain: the generator's 1 V sine needs gain 5 to reach half
  // the full scale, and the scale takes it although the module never heard of it.
  EXPECT_EQ(amplif[rcu.chanA].gain100, 500);
  EXPECT_EQ(cch.gain[rcu.chanA], 5.0);
}

}  // namespace
