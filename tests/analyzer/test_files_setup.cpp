// Settings that rebuild rings and switch the data source, through the real panels.
#include <string>
#include <tuple>
#include <vector>

#include "analyzer/setters.h"
#include "fixture.h"

namespace {

using veltra_test::VeltraTest;

class Setup : public VeltraTest {
 protected:
  static std::vector<int> Values(int panel, int ring) {
    int n = 0;
    GetNumListItems(panel, ring, &n);
    std::vector<int> v;
    for (int i = 0; i < n; ++i) {
      int value = -1;
      GetValueFromIndex(panel, ring, i, &value);
      v.push_back(value);
    }
    return v;
  }
  static std::string OnText(int control) {
    char text[32] = "";
    GetCtrlAttribute(mainpanel, control, ATTR_ON_TEXT, text, sizeof text);
    return text;
  }
};

TEST_F(Setup, RingsOfferTheEntriesOfEachMeasurementType) {
  using V = std::vector<int>;
  struct Expect {
    V collect, windows, startContinuous, startConditional;
  };
  const V all10 = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  const Expect byType[4] = {
      {{0, 1}, all10, {0, 2}, {1, 2}},
      {{1}, all10, {}, {1, 2}},
      {{0, 1}, {0}, {0, 2}, {1, 2}},
      {{0, 1}, {0, 1, 2, 3, 4, 5, 6, 7, 8}, {0, 2}, {1}},
  };
  for (int type = 0; type < 4; ++type) {
    Set("MeasTypeRing", std::to_string(type).c_str());
    const Expect& e = byType[type];
    EXPECT_EQ(Values(mainpanel, MAIN_CollectRing), e.collect) << type;
    EXPECT_EQ(Values(mainpanel, MAIN_WindowRing), e.windows) << type;
    for (int collect : e.collect) {
      Set("CollectRing", std::to_string(collect).c_str());
      EXPECT_EQ(Values(mainpanel, MAIN_StartRing), collect ? e.startConditional : e.startContinuous)
          << type << "/" << collect;
      EXPECT_EQ(rcu.collect, collect);
    }
  }
  // Level sub-modes: all six only for statistics with conditional collection.
  Set("MeasTypeRing", "2");
  Set("CollectRing", "1");
  Set("StartRing", "2");
  EXPECT_EQ(Values(trigpanel, TRIG_LevelModeList).size(), 6u);
  Set("MeasTypeRing", "0");
  Set("CollectRing", "1");
  Set("StartRing", "2");
  EXPECT_EQ(Values(trigpanel, TRIG_LevelModeList), std::vector<int>{0});

  // A window still offered stays chosen; one no longer offered gives way to the first.
  Set("WindowRing", "8");
  Set("MeasTypeRing", "3");
  EXPECT_EQ(IntOf("WindowRing"), 8);
  Set("MeasTypeRing", "0");
  Set("WindowRing", "9");
  Set("MeasTypeRing", "3");
  EXPECT_EQ(IntOf("WindowRing"), 0);
}

TEST_F(Setup, SourceChangesSetTheChannels) {
  // Playback: the run stops and both channels wait for recorded inputs.
  PrepareSineRun(100);
  Set("StartButton", "1");
  ASSERT_EQ(start, 1);
  Set("SourceRing", "2");  // the file dialog is cancelled
  EXPECT_EQ(start, 0);
  EXPECT_EQ(rcu.onA + rcu.onB, 0);
  EXPECT_EQ(IntOf("ChannelSwitchA") + IntOf("ChannelSwitchB"), 0);
  EXPECT_EQ(OnText(MAIN_ChannelSwitchA), "");
  char off[32] = "x";
  GetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_OFF_TEXT, off, sizeof off);
  EXPECT_STREQ(off, "") << "an off switch shows no stale input";
  EXPECT_EQ(cus.thin, 1);
  int visible = 0;
  GetCtrlAttribute(mainpanel, MAIN_InputButton0, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 1);

  // Back to the generator with no numbers on the switches: inputs 0 and 1, both on.
  Set("SourceRing", "1");
  EXPECT_EQ(OnText(MAIN_ChannelSwitchA), "0");
  EXPECT_EQ(OnText(MAIN_ChannelSwitchB), "1");
  EXPECT_EQ(rcu.onA + rcu.onB, 2);
  GetCtrlAttribute(mainpanel, MAIN_InputButton0, ATTR_VISIBLE, &visible);
  EXPECT_EQ(visible, 0);

  // Equal numbers become 0 and 1; A above B are exchanged.
  for (auto [a, b, wantA, wantB] : {std::tuple{4, 4, 0, 1}, std::tuple{5, 2, 2, 5}}) {
    Set("SourceRing", "0");
    SetChannelInput(0, a);
    SetChannelInput(1, b);
    Set("SourceRing", "1");
    EXPECT_EQ(rcu.chanA, wantA) << a << b;
    EXPECT_EQ(rcu.chanB, wantB) << a << b;
  }
}

}  // namespace
