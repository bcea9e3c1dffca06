// The panel side of recordings: the recording dialog, the recorded inputs' buttons in playback,
// and the channel switches with their arrow keys otherwise.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <strings.h>

#include "analyzer/calibration.h"
#include "analyzer/file_ctrl_rec.h"
#include "analyzer/file_ctrl_rec_panel.h"
#include "analyzer/menager_panel.h"
#include "analyzer/model.h"
#include "analyzer/modules.h"
#include "analyzer/numtext.h"
#include "analyzer/panels.h"
#include "analyzer/setters.h"
#include "analyzer/sources.h"
#include "ui/userint.h"

namespace {

int InputButton(int n) { return MAIN_InputButton0 + n; }

void ShowInputButton(int n, int enabled) {
  SetCtrlVal(mainpanel, InputButton(n), 0);
  SetCtrlAttribute(mainpanel, InputButton(n), ATTR_DIMMED, enabled ? 0 : 1);
}

int SwitchNumber(int control) {
  char text[32] = "";
  GetCtrlAttribute(mainpanel, control, ATTR_ON_TEXT, text, sizeof text);
  double n = 0.0;
  if (!ParseDecimal(text, &n) || n != std::trunc(n) || n < 0 || n >= kInputs) return -1;
  return static_cast<int>(n);
}

int SwitchCommit(int k, int control) {
  int on = 0;
  GetCtrlVal(mainpanel, control, &on);
  // A channel without an input (playback before its input button is pressed) stays off.
  if (SwitchNumber(control) < 0) {
    SetCtrlVal(mainpanel, control, 0);
    SetChannelOn(k, 0);
    return 0;
  }
  HoldRestarts();
  ShowChannelNumber(control, ChannelInput(k));
  SetParam_Calibr(k);
  // The input's scale follows the amplifier; a recorded input keeps the scale its counts were
  // taken with.
  SetChannelOn(k, on);
  RestartIfRunning();
  ReleaseRestarts();
  return 0;
}

// Arrow keys step the inputs so that channel A's stays below channel B's.
int SwitchKey(int k, int key) {
  if (Source().recorded) return 0;
  if (key != VAL_UP_ARROW_VKEY && key != VAL_DOWN_ARROW_VKEY) return 0;
  int a = SwitchNumber(MAIN_ChannelSwitchA);
  int b = SwitchNumber(MAIN_ChannelSwitchB);
  if (a < 0) a = rcu.chanA;
  if (b < 0) b = rcu.chanB;
  const bool up = key == VAL_UP_ARROW_VKEY;
  if (k == 0) {
    if (up && a <= kInputs - 3) {
      ++a;
      if (a >= b) b = a + 1;
    } else if (!up && a > 0) {
      --a;
    }
  } else {
    if (up && b <= kInputs - 2) {
      ++b;
    } else if (!up && b >= 2) {
      --b;
      if (a >= b) a = b - 1;
    }
  }
  if (a < 0 || a > kInputs - 2 || b < 1 || b > kInputs - 1 || a >= b) {
    a = 0;
    b = 1;
  }
  ShowChannelNumber(MAIN_ChannelSwitchA, a);
  ShowChannelNumber(MAIN_ChannelSwitchB, b);
  HoldRestarts();
  SetChannelInput(0, a);
  SetParam_Calibr(0);
  SetChannelInput(1, b);
  SetParam_Calibr(1);
  RestartIfRunning();
  ReleaseRestarts();
  return 0;
}

}  // namespace

// What the model holds of the recording, on the panel: its name, its inputs' buttons, the
// channel switches (off until an input is assigned) and the rates and averages it allows.
void ShowRecording() {
  SetCtrlVal(mainpanel, MAIN_FileNameBox, file_name);
  if (recording_title[0] != '\0') SetPanelAttribute(mainpanel, ATTR_TITLE, recording_title);
  for (int n = 0; n < kInputs; ++n) ShowInputButton(n, OnOffCh[n]);
  if (rcu.onA == 0 && rcu.onB == 0) {
    for (int c : {MAIN_ChannelSwitchA, MAIN_ChannelSwitchB}) {
      SetCtrlVal(mainpanel, c, 0);
      SetCtrlAttribute(mainpanel, c, ATTR_ON_TEXT, "");
      SetCtrlAttribute(mainpanel, c, ATTR_OFF_TEXT, "");
    }
  }
}

int InputInfFile() {
  SetCtrlVal(mainpanel, MAIN_FileNameBox, "");
  const int taken = LoadRecording();
  ShowRecording();
  return taken;
}

int InputDataFiles() {
  char path[kPathLen];
  std::snprintf(path, sizeof path, "%s", file_name);
  const int chosen =
      FileSelectPopup(proj_dir, "*.dat", "*.dat;*.inf;*.wav;*.flac;*.w64;*.rf64", "Открыть запись",
                      VAL_OK_BUTTON, 0, 0, 1, 1, path, sizeof path);
  if (chosen < 1) return chosen;
  SetRecordingName(path);
  return InputInfFile();
}

void HideSelectCh() {
  for (int n = 0; n < kInputs; ++n) {
    SetCtrlVal(mainpanel, InputButton(n), 0);
    SetCtrlAttribute(mainpanel, InputButton(n), ATTR_VISIBLE, 0);
  }
  SetCtrlAttribute(mainpanel, MAIN_FileNameBox, ATTR_VISIBLE, 0);
  ResetInputAssignment();
}

// The input buttons appear dimmed; a header enables those of its inputs.
void ViewSelectCh() {
  for (int n = 0; n < kInputs; ++n) {
    SetCtrlAttribute(mainpanel, InputButton(n), ATTR_VISIBLE, 1);
    ShowInputButton(n, OnOffCh[n]);
  }
  SetCtrlAttribute(mainpanel, MAIN_FileNameBox, ATTR_VISIBLE, 1);
}

VELTRA_COMMIT(SelectCh) {
  const int n = control - MAIN_InputButton0;
  const int wasA = rcu.chanA, wasB = rcu.chanB;
  const int first = ctrl_select != 1;
  if (AssignInput(n) == 0) {
    SetCtrlVal(mainpanel, control, 0);
    return 0;
  }
  if (first) {
    for (int c : {wasA, wasB}) {
      if (c >= 0 && c < kInputs) SetCtrlVal(mainpanel, InputButton(c), 0);
    }
    SetCtrlVal(mainpanel, MAIN_ChannelSwitchA, 0);
    SetCtrlVal(mainpanel, MAIN_ChannelSwitchB, 0);
    SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_ON_TEXT, "");
    SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_OFF_TEXT, "");
    SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_DIMMED, 1);
  }
  const int k = first ? 0 : 1;
  const int sw = first ? MAIN_ChannelSwitchA : MAIN_ChannelSwitchB;
  SetCtrlVal(mainpanel, control, 1);
  ShowChannelNumber(sw, n);
  // The panel shows the calibration the recording's counts are scaled with: its unit and
  // its 0 dB level, not the unit's standard one.
  ShowChannelCalibration(k, n);
  SetCtrlAttribute(mainpanel, sw, ATTR_DIMMED, 0);
  SetCtrlVal(mainpanel, sw, 1);
  return 0;
}

VELTRA_CALLBACK(SwitchChA) {
  (void)panel, (void)callbackData, (void)eventData2;
  if (event == EVENT_COMMIT) return SwitchCommit(0, control);
  if (event == EVENT_KEYPRESS) return SwitchKey(0, eventData1);
  return 0;
}

VELTRA_CALLBACK(SwitchChB) {
  (void)panel, (void)callbackData, (void)eventData2;
  if (event == EVENT_COMMIT) return SwitchCommit(1, control);
  if (event == EVENT_KEYPRESS) return SwitchKey(1, eventData1);
  return 0;
}
