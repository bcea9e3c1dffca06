// Editing the calibration of channels A and B: sensitivity with its fine-tuning keys,
// reference level, unit, and the start-up pass.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "analyzer/calibration.h"
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
  const int i = k == 0 ? rcu.chanA : rcu.chanB;
  return i < 0 ? 0 : (i >= kCalibrInputs ? kCalibrInputs - 1 : i);
}

void Apply(CtrlCallbackPtr callback, int control) {
  callback(mainpanel, control, EVENT_COMMIT, nullptr, 0, 0);
}

void SenCommit(int k) {
  GetCtrlVal(mainpanel, ControlsOf(k).sen, &cch.sen[InputOf(k)]);
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
  cch.sen[InputOf(k)] = next;
  ThrougCount(k);
  SetCtrlAttribute(mainpanel, control, ATTR_INCR_VALUE, Incval(next));
}

int SenEvent(int k, int event, int key) {
  if (event == EVENT_COMMIT) SenCommit(k);
  if (event == EVENT_KEYPRESS) SenKey(k, key);
  return 0;
}

// Index in the unit list of the item named `text`: an exact match first, else the first item
// whose text begins `text`; -1 when none.
int UnitItem(int control, const char* text) {
  int n = 0;
  GetNumListItems(mainpanel, control, &n);
  int prefix = -1;
  for (int idx = 0; idx < n; ++idx) {
    char label[kItemText] = "";
    GetLabelFromIndex(mainpanel, control, idx, label, sizeof label);
    if (std::strcmp(label, text) == 0) return idx;
    const std::size_t len = std::strlen(label);
    if (prefix < 0 && len > 0 && std::strncmp(label, text, len) == 0) prefix = idx;
  }
  return prefix;
}

void SetLevel(int k, int i, double lo) {
  cch.lo[i] = lo;
  cch.lodb[i] = 20.0 * std::log10(lo);
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
  // Only the seven units have a reference level; anything else leaves the record as it is.
  if (unit < 0) return;
  std::snprintf(cch.dim[i], kDimTextLen, "%s", Dim[unit]);
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

VELTRA_CALLBACK(SetLo) {
  (void)panel, (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  LoCommit(control == MAIN_LoFieldA ? 0 : 1);
  return 0;
}

VELTRA_CALLBACK(SetDim) {
  (void)panel, (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  DimCommit(control == MAIN_UnitRingA ? 0 : 1);
  return 0;
}

void SetDimension(int k, int input) {
  if (input < 0 || input >= kCalibrInputs) return;
  const ChannelControls c = ControlsOf(k);
  const int idx = UnitItem(c.unit, cch.dim[input]);
  if (idx >= 0) SetCtrlIndex(mainpanel, c.unit, idx);
  DimCommit(k);
}

void SetParam_Calibr(int k) {
  const ChannelControls c = ControlsOf(k);
  const int i = InputOf(k);
  const int idx = UnitItem(c.unit, cch.dim[i]);
  if (idx >= 0) SetCtrlIndex(mainpanel, c.unit, idx);
  SetCtrlVal(mainpanel, c.lo, cch.lo[i]);
  SetCtrlVal(mainpanel, c.sen, cch.sen[i]);
  char text[32];
  switch (cch.mode[i]) {
    case 0:
      SetCtrlVal(mainpanel, c.coef, "icp");
      break;
    case 3:
      SetCtrlVal(mainpanel, c.coef, "дж");
      break;
    default:
      std::snprintf(text, sizeof text, "%1.2f", cch.gain[i]);
      SetCtrlVal(mainpanel, c.coef, text);
      break;
  }
  SenCommit(k);
}

void InitCalibration() {
  for (int k = 0; k < 2; ++k) {
    const ChannelControls c = ControlsOf(k);
    Apply(k == 0 ? SwitchChA : SwitchChB, k == 0 ? MAIN_ChannelSwitchA : MAIN_ChannelSwitchB);
    const int i = InputOf(k);
    GetCtrlVal(mainpanel, c.lo, &cch.lo[i]);
    GetCtrlVal(mainpanel, c.sen, &cch.sen[i]);
    int idx = -1;
    char label[kItemText] = "";
    GetCtrlIndex(mainpanel, c.unit, &idx);
    if (idx >= 0) GetLabelFromIndex(mainpanel, c.unit, idx, label, sizeof label);
    const int unit = UnitIndex(label);
    if (unit >= 0) std::snprintf(cch.dim[i], kDimTextLen, "%s", Dim[unit]);
  }
  Apply(SetRectif, MAIN_CoefFieldA);
  Apply(SetRectif, MAIN_CoefFieldB);
  Apply(SetSenA, MAIN_SenFieldA);
  Apply(SetSenB, MAIN_SenFieldB);
  Apply(SetLo, MAIN_LoFieldA);
  Apply(SetLo, MAIN_LoFieldB);
  Apply(SetDim, MAIN_UnitRingA);
  Apply(SetDim, MAIN_UnitRingB);
  SetPanelAttribute(mainpanel, ATTR_TITLE, "Анализатор сигналов VZ_07. Выполняется калибровка каналов!");
  SetPanelAttribute(mainpanel, ATTR_TITLE, "Анализатор сигналов VZ_07");
}
