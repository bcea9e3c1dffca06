// Editing the calibration of channels A and B: sensitivity with its fine-tuning keys,
// reference level, unit, and the start-up pass.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "analyzer/aids.h"
#include "analyzer/calibration.h"
#include "analyzer/calibration_sens.h"
#include "analyzer/initstruct.h"
#include "analyzer/panels.h"
#include "analyzer/range_ch.h"
#include "ui/userint.h"

namespace {

constexpr int kShiftUp = VAL_SHIFT_MODIFIER | VAL_UP_ARROW_VKEY;
constexpr int kShiftDown = VAL_SHIFT_MODIFIER | VAL_DOWN_ARROW_VKEY;
constexpr double kFirstStep = 1.05;

// Fine-tuning state per channel: the step factor and the direction of the last step.
double tempA = kFirstStep, tempB = kFirstStep;
int dyA = 0, dyB = 0;

struct ChannelControls {
  int sen, lo, unit, coef;
};

ChannelControls ControlsOf(int k) {
  return k == 0 ? ChannelControls{MAIN_SenFieldA, MAIN_LoFieldA, MAIN_UnitRingA, MAIN_CoefFieldA}
                : ChannelControls{MAIN_SenFieldB, MAIN_LoFieldB, MAIN_UnitRingB, MAIN_CoefFieldB};
}

int InputOf(int k) {
  const int i = ChannelInput(k);
  return i < 0 ? 0 : (i >= kCalibrInputs ? kCalibrInputs - 1 : i);
}

void SenCommit(int k) {
  double sen = 0.0;
  GetCtrlVal(mainpanel, ControlsOf(k).sen, &sen);
  SetSensitivity(InputOf(k), sen);
  ThrougCount(k);
}

void SenKey(int k, int key) {
  const int control = ControlsOf(k).sen;
  double& temp = k == 0 ? tempA : tempB;
  int& dy = k == 0 ? dyA : dyB;
  double v = 0.0;
  GetCtrlVal(mainpanel, control, &v);
  double next = v;
  if (key == kShiftUp || key == kShiftDown) {
    const bool up = key == kShiftUp;
    next = up ? v * temp : v / temp;
    const int d = next > v ? 1 : -1;
    // A reversal halves the relative step, so alternating presses close in on a value.
    if (d + dy == 0) {
      temp = up ? (v + next) / (2.0 * v) : (v + next) / (2.0 * next);
    } else {
      temp = kFirstStep;
    }
    SetCtrlVal(mainpanel, control, next);
    // The field keeps the value within its range.
    GetCtrlVal(mainpanel, control, &next);
    dy = d;
  }
  SetSensitivity(InputOf(k), next);
  ThrougCount(k);
  SetCtrlAttribute(mainpanel, control, ATTR_INCR_VALUE, Incval(next));
}

int SenEvent(int k, int event, int key) {
  if (event == EVENT_COMMIT) SenCommit(k);
  if (event == EVENT_KEYPRESS) SenKey(k, key);
  return 0;
}

// Channel k's unit list shows `text`: one of the seven units, or a unit of a recording or an
// older "Calibr.inf" that is none of them, as an item of its own after the seven (it has no
// standard reference level; choosing it keeps the input's level). The list holds at most one
// such item.
void ShowUnit(int k, const char* text) {
  const int control = ControlsOf(k).unit;
  int n = 0;
  GetNumListItems(mainpanel, control, &n);
  if (n != kUnitCount) {
    ClearListCtrl(mainpanel, control);
    for (int u = 0; u < kUnitCount; ++u) InsertListItem(mainpanel, control, -1, Dim[u], u);
  }
  for (int idx = 0; idx < kUnitCount; ++idx) {
    char label[kItemText] = "";
    GetLabelFromIndex(mainpanel, control, idx, label, sizeof label);
    if (std::strcmp(label, text) == 0) {
      SetCtrlIndex(mainpanel, control, idx);
      return;
    }
  }
  if (text[0] == '\0') return;
  InsertListItem(mainpanel, control, -1, text, kUnitCount);
  SetCtrlIndex(mainpanel, control, kUnitCount);
}

void SetLevel(int k, int i, double lo) {
  SetZeroDbLevel(i, lo);
  ThrougCount(k);
}

void DimCommit(int k) {
  const ChannelControls c = ControlsOf(k);
  const int i = InputOf(k);
  int idx = -1;
  GetCtrlIndex(mainpanel, c.unit, &idx);
  char label[kItemText] = "";
  if (idx >= 0) GetLabelFromIndex(mainpanel, c.unit, idx, label, sizeof label);
  const int unit = UnitIndex(label);
  // Only the seven units have a reference level. The one other item the list may hold is the
  // input's own unit (ShowUnit): choosing it keeps the input's unit and level.
  if (unit < 0) return;
  SetUnitName(i, unit);
  SetCtrlVal(mainpanel, c.lo, support_unit[unit]);
  SetLevel(k, i, support_unit[unit]);
}

void LoCommit(int k) {
  double lo = 0.0;
  GetCtrlVal(mainpanel, ControlsOf(k).lo, &lo);
  if (!(lo > 0.0)) return;  // the field's range keeps it positive; a dB level needs that
  SetLevel(k, InputOf(k), lo);
}

}  // namespace

double Incval(double x) {
  if (!(x > 0.0) || !std::isfinite(x)) return 1.0;
  double r = 1.0;
  double b = x / 10000.0;
  // A value so small that x/10000 underflows to 0 would never reach 1: the step ends at 0.
  while (b < 1.0 && r > 0.0) {
    b *= 10.0;
    r *= 0.1;
  }
  return r;
}

VELTRA_CALLBACK(SetSenA) {
  (void)panel, (void)control, (void)callbackData, (void)eventData2;
  return SenEvent(0, event, eventData1);
}

VELTRA_CALLBACK(SetSenB) {
  (void)panel, (void)control, (void)callbackData, (void)eventData2;
  return SenEvent(1, event, eventData1);
}

VELTRA_COMMIT(SetLo) {
  LoCommit(control == MAIN_LoFieldA ? 0 : 1);
  return 0;
}

VELTRA_COMMIT(SetDim) {
  DimCommit(control == MAIN_UnitRingA ? 0 : 1);
  return 0;
}

void SetDimension(int k, int inputNo) {
  if (inputNo < 0 || inputNo >= kCalibrInputs) return;
  ShowUnit(k, cch.dim[inputNo]);
  DimCommit(k);
}

void ShowChannelCalibration(int k, int inputNo) {
  if (inputNo < 0 || inputNo >= kCalibrInputs) return;
  const ChannelControls c = ControlsOf(k);
  ShowUnit(k, cch.dim[inputNo]);
  SetCtrlVal(mainpanel, c.lo, cch.lo[inputNo]);
  SetCtrlVal(mainpanel, c.sen, cch.sen[inputNo]);
}

void SetParam_Calibr(int k) {
  const ChannelControls c = ControlsOf(k);
  const int i = InputOf(k);
  ShowChannelCalibration(k, i);
  char text[kCoefTextLen];
  switch (cch.mode[i]) {
    case 0: SetCtrlVal(mainpanel, c.coef, "icp"); break;
    case 3: SetCtrlVal(mainpanel, c.coef, "дж"); break;
    default:
      CoefText(cch.gain[i], text, sizeof text);
      SetCtrlVal(mainpanel, c.coef, text);
      break;
  }
  // The stored values are the calibration: read back through the fields they would lose the
  // digits the fields do not show.
  ThrougCount(k);
  ShowInputMode(k);
}

void InitCalibration() {
  // The channels show the stored calibration of their inputs (SetParam_Calibr through the
  // switches). Their unit and level are not committed again: that would put each input's level
  // back to its unit's standard one at every start.
  Commit(SwitchChA, mainpanel, MAIN_ChannelSwitchA);
  Commit(SwitchChB, mainpanel, MAIN_ChannelSwitchB);
  Commit(SetRectif, mainpanel, MAIN_CoefFieldA);
  Commit(SetRectif, mainpanel, MAIN_CoefFieldB);
  SetPanelAttribute(mainpanel, ATTR_TITLE,
                    "Анализатор сигналов VZ_07. Выполняется калибровка каналов!");
  SetPanelAttribute(mainpanel, ATTR_TITLE, "Анализатор сигналов VZ_07");
}
