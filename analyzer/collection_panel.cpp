// The panel side of triggering and of the channels' conditioning: the trigger panel, the
// differentiation rings and the inter-channel delay.
#include "analyzer/collection.h"
#include "analyzer/menager_panel.h"
#include "analyzer/model.h"
#include "analyzer/panels.h"
#include "analyzer/setters.h"
#include "ui/userint.h"

namespace {

constexpr const char* kLevelLabel = "           Уровень, В";
constexpr const char* kUpperLevelLabel = "Верхний уровень, В";

}  // namespace

// ---------------------------------------------------------------------------------------------
// Trigger panel

int SortTriggCh(int number) {
  SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_ON_COLOR, rcu.colornormal);
  SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_ON_COLOR, rcu.colornormal);
  if (number == rcu.chanA) {
    SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_ON_COLOR, rcu.colortrig);
    return number;
  }
  if (number == rcu.chanB) {
    SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_ON_COLOR, rcu.colortrig);
    return number;
  }
  return -1;
}

VELTRA_COMMIT(TriggerSetup) {
  switch (control) {
    case TRIG_TriggerChannelField: {
      int number = -1;
      GetCtrlVal(panel, control, &number);
      SetTriggerInput(number);
      SortTriggCh(number);
      break;
    }
    case TRIG_LevelField:
    case TRIG_Level2Field: {
      double volts = 0.0;
      GetCtrlVal(panel, control, &volts);
      (control == TRIG_LevelField ? SetLevel : SetLevel2)(volts);
      break;
    }
    case TRIG_SlopeRing:
    case TRIG_PretrigField: {
      int value = 0;
      GetCtrlVal(panel, control, &value);
      (control == TRIG_SlopeRing ? SetSlope : SetPretrig)(value);
      break;
    }
    default: break;
  }
  return 0;
}

VELTRA_COMMIT(SetLevelMode) {
  int mode = 0;
  GetCtrlVal(panel, control, &mode);
  HoldRestarts();
  SetLevelChoice(mode);
  const bool region = mode >= 3 && mode <= 5;
  SetCtrlAttribute(trigpanel, TRIG_Level2Field, ATTR_DIMMED, region ? 0 : 1);
  SetCtrlAttribute(trigpanel, TRIG_SlopeRing, ATTR_DIMMED, mode == 0 ? 0 : 1);
  SetCtrlAttribute(trigpanel, TRIG_LevelField, ATTR_LABEL_TEXT,
                   region ? kUpperLevelLabel : kLevelLabel);
  // Samples before the trigger belong to a level start of conditional collection only.
  const bool pretrig = mode == 0 && rcu.collect == 1;
  SetCtrlAttribute(trigpanel, TRIG_PretrigField, ATTR_DIMMED, pretrig ? 0 : 1);
  int samples = 0, inputNo = 0;
  double level = 0.0, level2 = 0.0;
  GetCtrlVal(trigpanel, TRIG_PretrigField, &samples);
  if (pretrig) SetPretrig(samples);
  GetCtrlVal(trigpanel, TRIG_TriggerChannelField, &inputNo);
  SetTriggerInput(inputNo);
  GetCtrlVal(trigpanel, TRIG_LevelField, &level);
  SetLevel(level);
  if (region) {
    GetCtrlVal(trigpanel, TRIG_Level2Field, &level2);
    SetLevel2(level2);
  }
  ReleaseRestarts();
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Channel and delay settings

VELTRA_COMMIT(SetDiffIntegr) {
  int value = 2;
  GetCtrlVal(panel, control, &value);
  if (SetDiffInt(control == MAIN_DiffIntRingB ? 1 : 0, value) == 0)
    SetDiffInt(control == MAIN_DiffIntRingB ? 1 : 0, 2);
  return 0;
}

VELTRA_COMMIT(SetupRun) {
  if (control == MAIN_DelayField) {
    int samples = 0;
    GetCtrlVal(panel, control, &samples);
    SetDelay(samples);
  } else {
    StepDelay(control == MAIN_DelayUpButton);
  }
  ShowDelay();
  return 0;
}
