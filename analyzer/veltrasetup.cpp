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
#include "analyzer/modules.h"
#include "analyzer/panels.h"
#include "analyzer/setters.h"
#include "analyzer/sources.h"
#include "ui/userint.h"

int dump = 0;

// The rings whose items follow the measurement type (and collection mode), rebuilt.
void SetCollectionType();
void SetRingRun();
void SetWeightFunc();
void SetTriggerMode();

namespace {

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

// The start ring's choice on the panel: the trigger panel for a start by level (popped up
// unless `quiet`), the overlap dimmed for any start but the free one.
void ShowStartMode(bool quiet) {
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
      SetCtrlVal(trigpanel, TRIG_LevelModeList, rcu.levelmode);
      DimOverlap(1);
      Commit(SetLevelMode, trigpanel, TRIG_LevelModeList);
      Commit(TriggerSetup, trigpanel, TRIG_TriggerChannelField);
      if (!quiet) DisplayPanel(trigpanel);
      break;
    default: break;
  }
}

}  // namespace

// The collection ring's choice on the panel, then the start ring's.
void ShowCollect() {
  SetCtrlVal(mainpanel, MAIN_CollectRing, rcu.collect);
  SetRingRun();
  SetCtrlVal(mainpanel, MAIN_StartRing, rcu.startmode);
  DimOverlap(rcu.collect == 1 ? 1 : 0);
  ShowStartMode(true);
}

namespace {

// A run restarts once, after the panel is set, and not from the trigger callbacks it applies.
template <typename Body>
void RestartOnceAfter(Body body) {
  HoldRestarts();
  body();
  ReleaseRestarts();
}

}  // namespace

void SetCollectionType() {
  RefillRing(mainpanel, MAIN_CollectRing, itemcollect, ringcollect[MeasIndex()], 2);
}

void SetRingRun() {
  RefillRing(mainpanel, MAIN_StartRing, runsetup, ringrun[MeasIndex()][CollectIndex()], 3);
}

void SetWeightFunc() {
  int offered[kWindowTypes];
  for (int k = 0; k < kWindowTypes; ++k) offered[k] = WindowOffered(MeasIndex(), k);
  RefillRing(mainpanel, MAIN_WindowRing, weightsetup, offered, kWindowTypes);
}

void SetTriggerMode() {
  RefillRing(trigpanel, TRIG_LevelModeList, itemtrigger, triggrun[MeasIndex()][CollectIndex()], 6);
}

VELTRA_COMMIT(RingMeas) {
  int type = 0;
  GetCtrlVal(panel, control, &type);
  RestartOnceAfter([type] {
    SetMeasType(type);
    SetFunctionMeas(MeasIndex());
    SetWeightFunc();
    SetCtrlVal(mainpanel, MAIN_WindowRing, cus.window);
    ShowWindowType();
    SetCollectionType();
    ShowGeometry();
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
      default: break;
    }
    // A recording supplies a counted number of frames: no exponential averaging of it.
    if (!ExpAverOffered()) DimCtrl(MAIN_ExponentialBox, 1);
    for (int w = 0; w < kWindows; ++w) ShowWindow(w);
    ShowCollect();
  });
  ClearResults();
  return 0;
}

VELTRA_COMMIT(SetCollectMode) {
  int value = 0;
  GetCtrlVal(panel, control, &value);
  RestartOnceAfter([value] {
    SetCollect(value);
    ShowCollect();
  });
  return 0;
}

VELTRA_COMMIT(RunSetup) {
  int mode = 0;
  GetCtrlVal(panel, control, &mode);
  RestartOnceAfter([mode] {
    SetStartChoice(mode);
    ShowStartMode(false);
  });
  return 0;
}

VELTRA_COMMIT(CalibrSet) {
  // The preset overwrites the operator's choices and two calibrations: say which first.
  if (ConfirmPopup("Спектры, 1 мВ/ед",
                   "Окна 1 и 2 покажут спектры A и B в единицах мощности,\n"
                   "чувствительность входов 0 и 1 станет 1 мВ/ед.\nПродолжить?") != VAL_YES) {
    return 0;
  }
  SetCtrlVal(mainpanel, MAIN_FunctionRing1, 0);
  Commit(FunctW1, mainpanel, MAIN_FunctionRing1);
  SetCtrlVal(mainpanel, MAIN_FunctionRing2, 1);
  Commit(FunctW2, mainpanel, MAIN_FunctionRing2);
  SetCtrlVal(mainpanel, MAIN_YUnitRing1, 2);
  SetCtrlVal(mainpanel, MAIN_YUnitRing2, 2);
  Commit(RingY1, mainpanel, MAIN_YUnitRing1);
  Commit(RingY2, mainpanel, MAIN_YUnitRing2);
  // The first X unit the spectra offer: frequency of the lines (option 0 is not theirs).
  SetCtrlIndex(mainpanel, MAIN_XUnitRing1, 0);
  SetCtrlIndex(mainpanel, MAIN_XUnitRing2, 0);
  Commit(RingX1, mainpanel, MAIN_XUnitRing1);
  Commit(RingX2, mainpanel, MAIN_XUnitRing2);
  SetSensitivity(0, 1.0);
  SetSensitivity(1, 1.0);
  CalibrDerive(0);
  CalibrDerive(1);
  // A channel fed from input 0 or 1 shows its new sensitivity.
  if (rcu.chanA == 0 || rcu.chanA == 1) ShowChannelCalibration(0, rcu.chanA);
  if (rcu.chanB == 0 || rcu.chanB == 1) ShowChannelCalibration(1, rcu.chanB);
  if (sp.dataReady == 1) RedrawWindows(0);
  return 0;
}

VELTRA_COMMIT(SetupHard) {
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

VELTRA_COMMIT(RegimMeas) {
  int source = 1;
  GetCtrlVal(panel, control, &source);
  if (SetSource(source) == 0) return 0;
  HideSelectCh();
  if (Source().generated) {
    ViewHideGen(0);
    SetCtrlVal(mainpanel, MAIN_ChannelSwitchA, 1);
    SetCtrlVal(mainpanel, MAIN_ChannelSwitchB, 1);
    ShowChannelNumber(MAIN_ChannelSwitchA, rcu.chanA);
    ShowChannelNumber(MAIN_ChannelSwitchB, rcu.chanB);
    SetParam_Calibr(0);
    SetParam_Calibr(1);
  }
  if (!Source().recorded) EnableChannelControls();
  if (Source().recorded) {
    ViewHideGen(1);
    for (int c : {MAIN_ChannelSwitchA, MAIN_ChannelSwitchB}) {
      SetCtrlVal(mainpanel, c, 0);
      SetCtrlAttribute(mainpanel, c, ATTR_ON_TEXT, "");
      SetCtrlAttribute(mainpanel, c, ATTR_OFF_TEXT, "");
    }
    DimCtrl(MAIN_CoefFieldA, 1);
    DimCtrl(MAIN_CoefFieldB, 1);
    ViewSelectCh();
    InputDataFiles();
  } else {
    // Out of playback the ring offers the generator's rates again, nearest the one analysed.
    ShowRates();
    ShowGeometry();
    ShowDelay();
    SetCtrlAttribute(mainpanel, MAIN_PulseWidthField, ATTR_MAX_VALUE, cus.frameLen);
    ClearResults();
  }
  CheckGeneratorBand();
  return 0;
}

VELTRA_COMMIT(SetDump) {
  GetCtrlVal(panel, control, &dump);
  return 0;
}
