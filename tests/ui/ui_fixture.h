// Shared set-up of the toolkit tests: one application, the test panel loaded fresh per test,
// and a callback that records every event it receives.
#pragma once

#include "ui/uiqt.h"
#include "ui/userint.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <string>
#include <vector>

// Roles of the test panel, in registration order (control id = position + 1).
enum TestCtrl : int {
  ModeRing = 1,
  RateRing,
  CountField,
  GainField,
  NameBox,
  PowerToggle,
  EnableBox,
  StartButton,
  OverloadLed,
  StatusReadout,
  ChoiceList,
  TickTimer,
  GraphFrame,
  PlotGraph,
  kTestCtrlCount = PlotGraph
};

inline const char* const kTestRoles[] = {
    "ModeRing",    "RateRing",  "CountField",  "GainField",   "NameBox",
    "PowerToggle", "EnableBox", "StartButton", "OverloadLed", "StatusReadout",
    "ChoiceList",  "TickTimer", "GraphFrame",  "PlotGraph",
};
static_assert(sizeof kTestRoles / sizeof kTestRoles[0] == kTestCtrlCount);

constexpr const char* kTestUir = "test.uir";
constexpr int kTestPanelId = 1;

struct RecordedEvent {
  int panel, control, event, data1, data2;
};

inline std::vector<RecordedEvent>& Events() {
  static std::vector<RecordedEvent> events;
  return events;
}

inline int Record(int panel, int control, int event, void*, int data1, int data2) {
  Events().push_back({panel, control, event, data1, data2});
  return 0;
}

inline int CountEvents(int control, int event) {
  int n = 0;
  for (const auto& e : Events()) n += (e.control == control && e.event == event) ? 1 : 0;
  return n;
}

// Makes sure the application exists and the test panel is registered (once per binary).
void EnsureToolkit();

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureToolkit();
    panel_ = LoadPanel(0, kTestUir, kTestPanelId);
    ASSERT_GT(panel_, 0);
    for (int c = 1; c <= kTestCtrlCount; ++c) InstallCtrlCallback(panel_, c, Record, nullptr);
    Events().clear();
  }
  void TearDown() override {
    if (panel_ > 0) DiscardPanel(panel_);
    ProcessSystemEvents();
    SetPopupHandler(nullptr, nullptr);
  }
  template <typename W>
  W* Widget(int control) {
    return qobject_cast<W*>(CtrlWidget(panel_, control));
  }
  int panel_ = 0;
};
