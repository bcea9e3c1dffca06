// Settings of the measurement: averaging, data source and the dump switch. Each callback
// writes the model, adjusts the controls the new setting concerns, and restarts a running
// measurement so that no run mixes two configurations.
#include <cstdio>
#include <cstring>

#include "analyzer/aids.h"
#include "analyzer/calibration.h"
#include "analyzer/file_ctrl.h"
#include "analyzer/generation.h"
#include "analyzer/initstruct.h"
#include "analyzer/menager_panel.h"
#include "analyzer/setters.h"
#include "analyzer/sources.h"
#include "analyzer/panels.h"
#include "analyzer/modules.h"
#include "ui/userint.h"

int dump = 0;

namespace {

void Apply(CtrlCallbackPtr callback, int panel, int control) {
  callback(panel, control, EVENT_COMMIT, nullptr, 0, 0);
}

// Rebuilds a ring with the entries its availability row offers (value = entry index), keeping
// the previous choice when it is still offered.
void RebuildRing(int panel, int control, const char (*labels)[kItemText], int entries,
                 const int* offered) {
  int previous = -1;
  int items = 0;
  GetNumListItems(panel, control, &items);
  if (items > 0) GetCtrlVal(panel, control, &previous);
  ClearListCtrl(panel, control);
  int keep = -1;
  int position = 0;
  for (int i = 0; i < entries; ++i) {
    if (!offered[i]) continue;
    InsertListItem(panel, control, -1, labels[i], i);
    if (i == previous) keep = position;
    ++position;
  }
  if (position > 0) SetCtrlIndex(panel, control, keep >= 0 ? keep : 0);
}

int MeasIndex() { return rcu.measType >= 0 && rcu.measType < 4 ? rcu.measType : 0; }
int CollectIndex() { return rcu.collect == 1 ? 1 : 0; }

void DimCtrl(int control, int dimmed) { SetCtrlAttribute(mainpanel, control, ATTR_DIMMED, dimmed); }
void DimOverlap(int dimmed) { DimCtrl(MAIN_OverlapRing, dimmed); }

// Averaging boxes against the histogram control: statistics use the one, the others the two.
void DimAveraging(int dimmed) {
  DimCtrl(MAIN_LinearBox, dimmed);
  DimCtrl(MAIN_ExponentialBox, dimmed);
  DimCtrl(MAIN_BinsField, !dimmed);
}

// Channel switches, exponential averaging and the rectifier controls, usable with a live or
// generated signal.
void EnableChannelControls() {
  for (int c : {MAIN_ChannelSwitchA, MAIN_ChannelSwitchB, MAIN_ExponentialBox, MAIN_CoefFieldA,
                MAIN_CoefFieldB}) {
    DimCtrl(c, 0);
  }
}

// What the operator chose under each measurement type, so that coming back to a type gives
// back its windows' functions, formats and units and its data window.
struct TypeChoice {
  bool held = false;
  int ring[2][4] = {};  // function, format, Y unit, X unit of each window
  int window = 0;
};
TypeChoice typeChoice[4];

// Set while another setting re-applies the start ring: the trigger panel is then not popped up.
bool quietStartRing = false;

constexpr int kWindowRings[2][4] = {
    {MAIN_FunctionRing1, MAIN_FormatRing1, MAIN_YUnitRing1, MAIN_XUnitRing1},
    {MAIN_FunctionRing2, MAIN_FormatRing2, MAIN_YUnitRing2, MAIN_XUnitRing2},
};
constexpr CtrlCallbackPtr kWindowRingCallbacks[2][4] = {
    {FunctW1, CrossRingFunc1, RingY1, RingX1},
    {FunctW2, CrossRingFunc2, RingY2, RingX2},
};

void KeepTypeChoice(int type) {
  TypeChoice& t = typeChoice[type];
  for (int w = 0; w < 2; ++w)
    for (int r = 0; r < 4; ++r) GetCtrlVal(mainpanel, kWindowRings[w][r], &t.ring[w][r]);
  GetCtrlVal(mainpanel, MAIN_WindowRing, &t.window);
  t.held = true;
}

// Selects a ring's item of the given value and applies it, when the ring offers that item.
void Choose(int control, int value, CtrlCallbackPtr callback) {
  int current = -1;
  GetCtrlVal(mainpanel, control, &current);
  if (current == value || SetCtrlVal(mainpanel, control, value) < 0) return;
  Apply(callback, mainpanel, control);
}

bool Offered(const int* row, int entries, int value) {
  return value >= 0 && value < entries && row[value] != 0;
}

// Only what the previous type forced away comes back: a choice the previous type offered as
// well is the operator's present one and stays.
void RestoreTypeChoice(int previousType, int type) {
  const TypeChoice& t = typeChoice[type];
  if (!t.held) return;
  for (int w = 0; w < 2; ++w) {
    if (Offered(funcmeas[previousType], kFunctions, t.ring[w][0])) continue;
    for (int r = 0; r < 4; ++r) Choose(kWindowRings[w][r], t.ring[w][r], kWindowRingCallbacks[w][r]);
  }
  if (!Offered(ringweight[previousType], 10, t.window)) Choose(MAIN_WindowRing, t.window, Weight);
}

}  // namespace

void SetCollectionType() {
  RebuildRing(mainpanel, MAIN_CollectRing, itemcollect, 2, ringcollect[MeasIndex()]);
}

void SetRingRun() {
  RebuildRing(mainpanel, MAIN_StartRing, runsetup, 3, ringrun[MeasIndex()][CollectIndex()]);
}

void SetWeightFunc() {
  RebuildRing(mainpanel, MAIN_WindowRing, weightsetup, 10, ringweight[MeasIndex()]);
}

void SetTriggerMode() {
  RebuildRing(trigpanel, TRIG_LevelModeList, itemtrigger, 6, triggrun[MeasIndex()][CollectIndex()]);
}

VELTRA_CALLBACK(RingMeas) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  const int previousType = MeasIndex();
  KeepTypeChoice(previousType);
  GetCtrlVal(panel, control, &rcu.measType);
  SetFunctionMeas(MeasIndex());
  SetWeightFunc();
  // The data window in force is the one the ring shows.
  int shown = cus.window;
  GetCtrlVal(mainpanel, MAIN_WindowRing, &shown);
  if (shown != cus.window) Apply(Weight, mainpanel, MAIN_WindowRing);
  SetCollectionType();
  SetCtrlIndex(mainpanel, MAIN_OverlapRing, 0);
  Apply(Overlap, mainpanel, MAIN_OverlapRing);
  switch (rcu.measType) {
    case 0:
    case 1:
      DimOverlap(rcu.measType == 1);
      DimAveraging(0);
      break;
    case 2:
      DimOverlap(1);
      DimAveraging(1);
      break;
    default:
      break;
  }
  sp.dataReady = 0;
  if (rcu.winsel == 0 || rcu.winsel == 2) Apply(FunctW1, mainpanel, MAIN_FunctionRing1);
  if (rcu.winsel == 1 || rcu.winsel == 2) Apply(FunctW2, mainpanel, MAIN_FunctionRing2);
  RestoreTypeChoice(previousType, MeasIndex());
  Apply(SetCollectMode, mainpanel, MAIN_CollectRing);
  if (Source().recorded) SetParamAver();
  if (start == 1) SetZero();
  ClearResults();
  return 0;
}

VELTRA_CALLBACK(SetCollectMode) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  const int wasRunning = start;
  start = 0;
  int value = 0;
  GetCtrlVal(panel, control, &value);
  rcu.collectchanged = value != rcu.collect ? 1 : 0;
  rcu.collect = value;
  SetRingRun();
  DimOverlap(rcu.collect == 1 ? 1 : 0);
  quietStartRing = true;
  Apply(RunSetup, mainpanel, MAIN_StartRing);
  quietStartRing = false;
  start = wasRunning;
  if (start == 1) SetZero();
  return 0;
}

VELTRA_CALLBACK(RunSetup) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  // A run restarts once, after the panel is set, and not from the trigger callbacks it applies.
  const int wasRunning = start;
  start = 0;
  GetCtrlVal(panel, control, &rcu.startmode);
  SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_ON_COLOR, rcu.colornormal);
  SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_ON_COLOR, rcu.colornormal);
  switch (rcu.startmode) {
    case 0:
      HidePanel(trigpanel);
      DimOverlap(0);
      break;
    case 1:
      HidePanel(trigpanel);
      DimOverlap(1);
      break;
    case 2:
      SetTriggerMode();
      DimOverlap(1);
      Apply(SetLevelMode, trigpanel, TRIG_LevelModeList);
      Apply(TriggerSetup, trigpanel, TRIG_TriggerChannelField);
      if (!quietStartRing) DisplayPanel(trigpanel);
      break;
    default:
      break;
  }
  start = wasRunning;
  if (start == 1) SetZero();
  return 0;
}

VELTRA_CALLBACK(CalibrSet) {
  (void)panel, (void)control, (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  // The preset overwrites the operator's choices and two calibrations: say which first.
  if (ConfirmPopup("Спектры, 1 мВ/ед",
                   "Окна 1 и 2 покажут спектры A и B в единицах мощности,\n"
                   "чувствительность входов 0 и 1 станет 1 мВ/ед.\nПродолжить?") != VAL_YES) {
    return 0;
  }
  SetCtrlVal(mainpanel, MAIN_FunctionRing1, 0);
  Apply(FunctW1, mainpanel, MAIN_FunctionRing1);
  SetCtrlVal(mainpanel, MAIN_FunctionRing2, 1);
  Apply(FunctW2, mainpanel, MAIN_FunctionRing2);
  SetCtrlVal(mainpanel, MAIN_YUnitRing1, 2);
  SetCtrlVal(mainpanel, MAIN_YUnitRing2, 2);
  Apply(RingY1, mainpanel, MAIN_YUnitRing1);
  Apply(RingY2, mainpanel, MAIN_YUnitRing2);
  // The first X unit the spectra offer: frequency of the lines (option 0 is not theirs).
  SetCtrlIndex(mainpanel, MAIN_XUnitRing1, 0);
  SetCtrlIndex(mainpanel, MAIN_XUnitRing2, 0);
  Apply(RingX1, mainpanel, MAIN_XUnitRing1);
  Apply(RingX2, mainpanel, MAIN_XUnitRing2);
  cch.sen[0] = cch.sen[1] = 1.0;
  CalibrDerive(0);
  CalibrDerive(1);
  // A channel fed from input 0 or 1 shows its new sensitivity.
  if (rcu.chanA == 0 || rcu.chanA == 1) ShowChannelCalibration(0, rcu.chanA);
  if (rcu.chanB == 0 || rcu.chanB == 1) ShowChannelCalibration(1, rcu.chanB);
  if (sp.dataReady == 1) RedrawWindows(0);
  return 0;
}

VELTRA_CALLBACK(SetupHard) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  SetCtrlAttribute(mainpanel, MAIN_TimerTick, ATTR_ENABLED, 0);
  int value = 0;
  GetCtrlVal(panel, control, &value);
  if (control == MAIN_AveragesField) {
    if (SetAverages(value) == 0) SetAverages(1);
  } else {
    SetExpAver(control == MAIN_ExponentialBox ? value : !value);
  }
  ShowAverages();
  return 0;
}

VELTRA_CALLBACK(RegimMeas) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  if (start == 1) StopMeass();
  GetCtrlVal(panel, control, &rcu.source);
  rcu.adaptpass = 1;
  HideSelectCh();
  switch (rcu.source) {
    case 0:
      EnableChannelControls();
      break;
    case 1: {
      ViewHideGen(0);
      SetCtrlVal(mainpanel, MAIN_ChannelSwitchA, 1);
      SetCtrlVal(mainpanel, MAIN_ChannelSwitchB, 1);
      EnableChannelControls();
      char ta[32] = "", tb[32] = "";
      GetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_ON_TEXT, ta, sizeof ta);
      GetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_ON_TEXT, tb, sizeof tb);
      int a = 0, b = 1;
      if (std::sscanf(ta, "%d", &a) != 1) a = 0;
      if (std::sscanf(tb, "%d", &b) != 1) b = 1;
      if (a < 0 || a > kInputs - 1 || b < 0 || b > kInputs - 1 || a == b) {
        a = 0;
        b = 1;
      } else if (a > b) {
        const int t = a;
        a = b;
        b = t;
      }
      ShowChannelNumber(MAIN_ChannelSwitchA, a);
      ShowChannelNumber(MAIN_ChannelSwitchB, b);
      rcu.onA = rcu.onB = 1;
      rcu.chanA = a;
      rcu.chanB = b;
      SwitchChA(mainpanel, MAIN_ChannelSwitchA, EVENT_COMMIT, nullptr, 0, 0);
      SwitchChB(mainpanel, MAIN_ChannelSwitchB, EVENT_COMMIT, nullptr, 0, 0);
      break;
    }
    case 2:
      ViewHideGen(1);
      SetCtrlVal(mainpanel, MAIN_ChannelSwitchA, 0);
      SetCtrlVal(mainpanel, MAIN_ChannelSwitchB, 0);
      rcu.onA = rcu.onB = 0;
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_ON_TEXT, "");
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_ON_TEXT, "");
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_OFF_TEXT, "");
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_OFF_TEXT, "");
      DimCtrl(MAIN_CoefFieldA, 1);
      DimCtrl(MAIN_CoefFieldB, 1);
      cus.thin = 1;
      ViewSelectCh();
      InputDataFiles();
      break;
    default:
      break;
  }
  // Out of playback the ring offers the generator's rates again, nearest the one analysed.
  if (!Source().ownRate) {
    cus.rate = NearestRate(cus.rate);
    ShowRates();
    Apply(SetSampl, mainpanel, MAIN_SampleRateRing);
  }
  CheckGeneratorBand();
  return 0;
}

VELTRA_CALLBACK(SetDump) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  GetCtrlVal(panel, control, &dump);
  return 0;
}
