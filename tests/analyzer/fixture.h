// Shared fixture of the analyzer tests: the real panels, offscreen, in a scratch working
// directory, with every popup recorded and answered at once.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "analyzer/calibration.h"
#include "analyzer/calibration_sens.h"
#include "analyzer/cultivate1.h"
#include "analyzer/file_ctrl_rec_panel.h"
#include "analyzer/generation_panel.h"
#include "analyzer/initstruct.h"
#include "analyzer/panels.h"
#include "analyzer/view1.h"
#include "analyzer/view1_panel.h"
#include "analyzer/views_panel.h"
#include "ui/userint.h"

namespace veltra_test {

struct Popup {
  int kind;
  std::string title, text;
};

struct PopupLog {
  std::vector<Popup> seen;
  std::deque<std::string> fileAnswers;  // answers to file dialogs, in order
  int confirmAnswer = VAL_YES;
};

inline PopupLog& Popups() {
  static PopupLog log;
  return log;
}

inline int RecordPopup(int kind, const char* title, const char* text, char* answer, int answerSize,
                       void*) {
  PopupLog& log = Popups();
  log.seen.push_back({kind, title ? title : "", text ? text : ""});
  if (kind == POPUP_CONFIRM) return log.confirmAnswer;
  if (kind == POPUP_FILE_SELECT) {
    if (log.fileAnswers.empty()) return VAL_NO_FILE_SELECTED;
    std::snprintf(answer, static_cast<size_t>(answerSize), "%s", log.fileAnswers.front().c_str());
    log.fileAnswers.pop_front();
    return GetFileInfo(answer, nullptr) == 1 ? VAL_EXISTING_FILE_SELECTED : VAL_NEW_FILE_SELECTED;
  }
  return 0;
}

// The scratch directory every analyzer test works in (state files land there).
// Created on first use, removed with its contents when the test program ends.
inline const std::string& ScratchDir() {
  static char path[64] = "/tmp/veltra-test-XXXXXX";  // outlives the exit handler below
  static std::string dir = [] {
    if (mkdtemp(path) == nullptr) return std::string("/tmp");
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    });
    return std::string(path);
  }();
  return dir;
}

inline void EnsureUserInterface() {
  static bool done = false;
  if (done) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static char name[] = "veltra-test";
  static char* argv[] = {name, nullptr};
  static int argc = 1;
  InitUserInterface(&argc, argv);
  done = true;
}

inline void RemoveStateFiles() {
  for (const char* f : {"veltrafile", "triggfile", "Calibr.inf", "dkv5128.inf"}) std::remove(f);
}

// A started analyzer: panels loaded and bound, model initialised, no run.
class VeltraTest : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureUserInterface();
    ASSERT_EQ(chdir(ScratchDir().c_str()), 0);
    if (FreshState()) RemoveStateFiles();
    Popups() = PopupLog{};
    SetPopupHandler(RecordPopup, nullptr);
    ASSERT_EQ(StartVeltra(), 0);
  }
  void TearDown() override {
    start = 0;
    SetPopupHandler(nullptr, nullptr);
  }
  // Tests that restart the program over saved state files override this.
  virtual bool FreshState() const { return true; }

  static int Control(const char* role, int* panel) {
    int control = 0;
    EXPECT_EQ(FindCtrlByRole(role, panel, &control), 0) << role;
    return control;
  }
  // As a person: set a control from text and commit.
  static void Set(const char* role, const char* value) {
    int panel = 0;
    const int control = Control(role, &panel);
    ASSERT_GE(UserSetCtrlVal(panel, control, value), 0) << role << "=" << value;
  }
  static void Press(const char* role) {
    int panel = 0;
    const int control = Control(role, &panel);
    ASSERT_GE(UserPressCtrl(panel, control), 0) << role;
  }
  static int IntOf(const char* role) {
    int panel = 0, v = 0;
    GetCtrlVal(panel, Control(role, &panel), &v);
    return v;
  }
  static double DoubleOf(const char* role) {
    int panel = 0;
    double v = 0;
    GetCtrlVal(panel, Control(role, &panel), &v);
    return v;
  }
  static void Tick(int n = 1) {
    for (int i = 0; i < n; ++i) UserFireEvent(mainpanel, MAIN_TimerTick, EVENT_TIMER_TICK, 0, 0);
  }
  // Generator on, linear averaging of `averages` frames of a 1 kHz sine.
  static void PrepareSineRun(int averages) {
    Set("Freq1Field", "1000");
    Set("AveragesField", std::to_string(averages).c_str());
    if (gen_start == 0) Press("GeneratorSwitch");
  }
  static int TimerEnabled() {
    int enabled = 0;
    GetCtrlAttribute(mainpanel, MAIN_TimerTick, ATTR_ENABLED, &enabled);
    return enabled;
  }
  static const std::vector<Popup>& Seen() { return Popups().seen; }
};

}  // namespace veltra_test
