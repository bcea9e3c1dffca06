// Panel state across a program restart, and the command-line automation.
#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "analyzer/automation.h"
#include "fixture.h"

namespace {

using veltra_test::VeltraTest;

class PanelState : public VeltraTest {};

// The dimming of every control of the main and trigger panels.
std::vector<int> Dimming() {
  std::vector<int> dims;
  for (auto [panel, count] :
       {std::pair{mainpanel, kMainRoleCount}, std::pair{trigpanel, kTriggerRoleCount}}) {
    for (int c = 1; c <= count; ++c) {
      int d = 0;
      GetCtrlAttribute(panel, c, ATTR_DIMMED, &d);
      dims.push_back(d);
    }
  }
  return dims;
}

TEST_F(PanelState, SettingsSurviveARestartAndTheGeneratorIsTheSource) {
  Set("FftSizeRing", "4096");
  Set("AveragesField", "25");
  Set("Freq1Field", "1234.5");
  Set("WaveformRing", "2");
  Press("ExponentialBox");
  Set("WindowRing", "6");
  Set("CollectRing", "1");
  Set("StartRing", "2");
  Set("PretrigField", "100");
  Press("GeneratorSwitch");
  SetCtrlVal(mainpanel, MAIN_SourceRing, 2);         // saved while another source was shown
  SetCtrlVal(mainpanel, MAIN_AverCountDisplay, 25);  // and after a run
  SetCtrlVal(mainpanel, MAIN_TotalReadout1, "Sa = 1.000e+00, В");
  Press("QuitButton");
  ASSERT_EQ(GetFileInfo("veltrafile", nullptr), 1);
  ASSERT_EQ(GetFileInfo("triggfile", nullptr), 1);
  EXPECT_TRUE(Seen().empty());

  // A new start over the saved state (the model is re-derived from the panels).
  rcu = RcuRecord{};
  cus = CusRecord{};
  ws = WsRecord{};
  ASSERT_EQ(StartVeltra(), 0);
  EXPECT_EQ(cus.frameLen, 4096);
  EXPECT_EQ(rcu.avgTarget, 25);
  EXPECT_EQ(rcu.expAver, 1);
  EXPECT_DOUBLE_EQ(ws.f1, 1234.5);
  EXPECT_EQ(ws.form, 2);
  EXPECT_EQ(cus.window, 6);
  EXPECT_EQ(IntOf("PretrigField"), 100);
  EXPECT_EQ(rcu.collect, 1) << "conditional collection comes back";
  EXPECT_EQ(rcu.startmode, 2) << "and the start by level";
  EXPECT_EQ(IntOf("CollectRing"), 1);
  EXPECT_EQ(IntOf("StartRing"), 2);
  EXPECT_EQ(rcu.pretrig, 100);
  EXPECT_EQ(IntOf("SourceRing"), 1);
  EXPECT_EQ(rcu.source, 1);
  EXPECT_EQ(IntOf("GeneratorSwitch"), 0) << "the generator is switched off at exit";
  EXPECT_EQ(gen_start, 0);
  EXPECT_EQ(rcu.chanA, 0);
  EXPECT_EQ(rcu.chanB, 1);
  EXPECT_EQ(IntOf("AverCountDisplay"), 0) << "no result yet in this session";
  char total[64] = "?";
  GetCtrlVal(mainpanel, MAIN_TotalReadout1, total, sizeof total);
  EXPECT_STREQ(total, "");
}

// With dimming no longer kept in the file, a restart must dim what the restored settings imply,
// as the session that saved them did (the trigger panel's controls matter while it is shown).
TEST_F(PanelState, DimmingAfterARestartFollowsTheRestoredSettings) {
  const std::pair<const char*, const char*> typeAndStart[] = {
      {"2", "2"}, {"1", "2"}, {"3", "1"}, {"0", "0"}};
  for (auto [type, startMode] : typeAndStart) {
    SCOPED_TRACE(type);
    Set("MeasTypeRing", type);
    Set("CollectRing", startMode[0] == '0' ? "0" : "1");
    Set("StartRing", startMode);
    const std::vector<int> before = Dimming();
    Press("QuitButton");
    ASSERT_EQ(StartVeltra(), 0);
    const std::vector<int> after = Dimming();
    const size_t compared =
        startMode[0] == '2' ? after.size() : static_cast<size_t>(kMainRoleCount);
    for (size_t i = 0; i < compared; ++i) {
      const bool main = i < static_cast<size_t>(kMainRoleCount);
      EXPECT_EQ(after[i], before[i]) << (main ? kMainRoles[i] : kTriggerRoles[i - kMainRoleCount]);
    }
  }
}

TEST_F(PanelState, SettingsThatCannotBeSavedAreReported) {
  ASSERT_EQ(mkdir("triggfile", 0700), 0);  // a directory where the file should go
  Press("QuitButton");
  ASSERT_EQ(Seen().size(), 1u);
  EXPECT_NE(Seen()[0].text.find("triggfile"), std::string::npos);
  // Automation's exit fails with it.
  AutomationPlan plan;
  plan.actions.push_back({AutomationAction::Quit, "", "", 0});
  std::string error;
  EXPECT_EQ(RunAutomation(plan, &error), 3);
  rmdir("triggfile");
}

// Replaces the whole line that starts with `key` in a panel-state file.
void ReplaceLine(std::string& text, const std::string& key, const std::string& line) {
  const size_t at = text.find("\n" + key);
  ASSERT_NE(at, std::string::npos) << key;
  text.replace(at + 1, text.find('\n', at + 1) - at - 1, line);
}

TEST_F(PanelState, DamagedStateFileNeitherBreaksTheModelNorLocksTheOperatorOut) {
  Set("FftSizeRing", "2048");
  SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_ON_TEXT, "42");
  SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_ON_TEXT, "-3");
  SavePanelState(mainpanel, "veltrafile", 0);
  std::string text;
  {
    std::ifstream f("veltrafile");
    text.assign(std::istreambuf_iterator<char>(f), {});
  }
  // Items no resource ring has: a rate that would divide by almost nothing, frames of one and
  // two samples, a full overlap; and the start button dimmed.
  ReplaceLine(text, "SampleRateRing=", "SampleRateRing=3");
  ReplaceLine(text,
              "SampleRateRing.values=", "SampleRateRing.values=1, 2, 3, 1e-300, 5, 6, 7, 8, 9, 10");
  ReplaceLine(text, "FftSizeRing.values=", "FftSizeRing.values=1, 2, 4096, 8192");
  ReplaceLine(text, "FftSizeRing=", "FftSizeRing=0");
  ReplaceLine(text, "OverlapRing.values=", "OverlapRing.values=1, 1, 1, 1, 1");
  ReplaceLine(text, "WaveformRing.labels=", "WaveformRing.labels=a, b, c, d, e");
  // Dimming follows from the values alone: the same start with every control marked dimmed
  // in the file dims exactly what a start without those marks dims.
  { std::ofstream("veltrafile") << text; }
  ASSERT_EQ(StartVeltra(), 0);
  const std::vector<int> derived = Dimming();
  std::string marked;
  for (size_t at = 0, eol; at < text.size(); at = eol + 1) {
    eol = text.find('\n', at);
    if (eol == std::string::npos) eol = text.size();
    const std::string line = text.substr(at, eol - at);
    marked += line + "\n";
    const size_t eq = line.find('=');
    if (eq != std::string::npos && line.find('.') > eq)
      marked += line.substr(0, eq) + ".dimmed=1\n";
  }
  { std::ofstream("veltrafile") << marked; }

  ASSERT_EQ(StartVeltra(), 0);
  EXPECT_EQ(Dimming(), derived);
  int panel = 0;
  EXPECT_EQ(UserSetCtrlVal(panel, Control("FftSizeRing", &panel), "2048"), 0);
  Set("FftSizeRing", "1024");
  EXPECT_EQ(cus.frameLen, 1024) << "the resource's sizes, first one chosen";
  EXPECT_EQ(cus.srate, 8192.0) << "the resource's rates";
  EXPECT_EQ(cus.thin, 1);
  EXPECT_EQ(sr.ovsamp, 0);
  int dimmed = 1;
  GetCtrlAttribute(mainpanel, MAIN_StartButton, ATTR_DIMMED, &dimmed);
  EXPECT_EQ(dimmed, 0);
  char label[64] = "";
  GetLabelFromIndex(mainpanel, MAIN_WaveformRing, 0, label, sizeof label);
  EXPECT_STREQ(label, "Синус");
  // Channel numbers restored from the switch texts stay within the inputs.
  EXPECT_GE(rcu.chanA, 0);
  EXPECT_LE(rcu.chanA, 7);
  EXPECT_GE(rcu.chanB, 0);
  EXPECT_LE(rcu.chanB, 7);
  EXPECT_NE(rcu.chanA, rcu.chanB);
  // A run over the restored settings completes.
  PrepareSineRun(2);
  Set("StartButton", "1");
  Tick();  // the first step only fills the decimated streams
  Tick(2);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(IntOf("AverCountDisplay"), 2);
}

// ---------------------------------------------------------------------------------------------

int Parse(std::vector<const char*> args, AutomationPlan* plan, std::string* error) {
  args.insert(args.begin(), "veltra");
  return ParseAutomation(static_cast<int>(args.size()), args.data(), plan, error);
}

TEST(AutomationParse, AcceptsEveryAction) {
  AutomationPlan plan;
  std::string error;
  ASSERT_EQ(
      Parse({"--offscreen", "--set", "FftSizeRing=2048", "--press", "GeneratorSwitch", "--file",
             "a.dat", "--ticks", "5", "--run", "--save", "2=r.txt", "--grab", "p.png", "--quit"},
            &plan, &error),
      0)
      << error;
  EXPECT_TRUE(plan.offscreen);
  ASSERT_EQ(plan.actions.size(), 8u);
  EXPECT_EQ(plan.actions[0].role, "FftSizeRing");
  EXPECT_EQ(plan.actions[0].value, "2048");
  EXPECT_EQ(plan.actions[3].number, 5);
  EXPECT_EQ(plan.actions[5].number, 2);
  EXPECT_EQ(plan.actions[5].value, "r.txt");
  EXPECT_TRUE(plan.HasQuit());
}

TEST(AutomationParse, RefusesWhatItCannotDo) {
  const std::vector<std::vector<const char*>> bad = {
      {"--frobnicate"}, {"--set"},         {"--set", "NoEquals"},           {"--set", "=5"},
      {"--ticks", "x"}, {"--ticks", "-1"}, {"--save", "3=a.txt"},           {"--save", "1="},
      {"--grab"},       {"stray"},         {"--quit", "--save", "1=a.txt"},
  };
  for (const auto& args : bad) {
    AutomationPlan plan;
    std::string error;
    EXPECT_EQ(Parse(args, &plan, &error), 2) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

class Automation : public VeltraTest {};

TEST_F(Automation, UnknownRoleIsAnError) {
  AutomationPlan plan;
  std::string error;
  ASSERT_EQ(Parse({"--set", "FftSizeRig=2048"}, &plan, &error), 0);
  EXPECT_EQ(CheckAutomationRoles(plan, &error), 2);
  EXPECT_NE(error.find("FftSizeRig"), std::string::npos);
}

TEST_F(Automation, ValueAControlCannotTakeIsAnError) {
  AutomationPlan plan;
  std::string error;
  ASSERT_EQ(Parse({"--set", "FftSizeRing=1000"}, &plan, &error), 0);
  ASSERT_EQ(CheckAutomationRoles(plan, &error), 0);
  EXPECT_EQ(RunAutomation(plan, &error), 2);
  EXPECT_EQ(cus.frameLen, 1024);
}

TEST_F(Automation, RingTakesAValueOrALabel) {
  AutomationPlan plan;
  std::string error;
  ASSERT_EQ(
      Parse({"--set", "FftSizeRing=4096", "--set", "WaveformRing=Равномерный шум"}, &plan, &error),
      0);
  ASSERT_EQ(RunAutomation(plan, &error), 0) << error;
  EXPECT_EQ(cus.frameLen, 4096);
  EXPECT_EQ(ws.form, 2);
}

TEST_F(Automation, RefusedRunIsAnError) {
  AutomationPlan plan;
  std::string error;
  ASSERT_EQ(Parse({"--run"}, &plan, &error), 0);
  EXPECT_EQ(RunAutomation(plan, &error), 3);  // the generator is off
  ASSERT_FALSE(AutomationPopups().empty());
  EXPECT_EQ(AutomationPopups()[0], "!?!: Генератор не включен !!!");
}

TEST_F(Automation, RunEndedByAnUnreadableRecordingIsAnError) {
  std::snprintf(file_name, sizeof file_name, "%s/missing.dat", veltra_test::ScratchDir().c_str());
  rcu.source = 2;
  rcu.onA = rcu.onB = 1;
  fs.nrec = 2;
  fs.flen = 1024;
  AutomationPlan plan;
  std::string error;
  ASSERT_EQ(Parse({"--set", "AveragesField=5", "--run"}, &plan, &error), 0);
  EXPECT_EQ(RunAutomation(plan, &error), 3);
  EXPECT_NE(error.find("0 из 5"), std::string::npos) << error;
}

TEST_F(Automation, ExponentialRunIsNotAwaited) {
  AutomationPlan plan;
  std::string error;
  ASSERT_EQ(
      Parse({"--press", "GeneratorSwitch", "--press", "ExponentialBox", "--run"}, &plan, &error),
      0);
  EXPECT_EQ(RunAutomation(plan, &error), 3);
  EXPECT_NE(error.find("--ticks"), std::string::npos);
}

TEST_F(Automation, TenAverageSpectrumOfAOneKilohertzSine) {
  const std::string out = veltra_test::ScratchDir() + "/auto.txt";
  const std::string png = veltra_test::ScratchDir() + "/auto.png";
  AutomationPlan plan;
  std::string error;
  ASSERT_EQ(
      Parse({"--press", "GeneratorSwitch", "--set", "Freq1Field=1000", "--set", "AveragesField=10",
             "--run", "--save", ("1=" + out).c_str(), "--grab", png.c_str()},
            &plan, &error),
      0);
  ASSERT_EQ(RunAutomation(plan, &error), 0) << error;
  EXPECT_EQ(start, 0);
  EXPECT_EQ(IntOf("AverCountDisplay"), 10);
  std::ifstream f(out);
  int lines = 0;
  double x = 0, y = 0, peakX = -1, peakY = -1e300;
  while (f >> x >> y) {
    ++lines;
    if (y > peakY) peakY = y, peakX = x;
  }
  EXPECT_EQ(lines, cus.lines);
  EXPECT_NEAR(peakX, 1000.0, sp.df);
  long size = 0;
  EXPECT_EQ(GetFileInfo(png.c_str(), &size), 1);
  EXPECT_GT(size, 1000);
}

TEST_F(Automation, FileDialogsAreAnsweredInOrder) {
  AutomationPlan plan;
  std::string error;
  const std::string out = veltra_test::ScratchDir() + "/dialog.txt";
  ASSERT_EQ(Parse({"--file", out.c_str(), "--press", "SaveButton2"}, &plan, &error), 0);
  ASSERT_EQ(RunAutomation(plan, &error), 0) << error;
  EXPECT_EQ(GetFileInfo(out.c_str(), nullptr), 1);
}

}  // namespace
