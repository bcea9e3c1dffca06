// Settings of the measurement: averaging, data source and the dump switch. Each callback
// writes the model, adjusts the controls the new setting concerns, and restarts a running
// measurement so that no run mixes two configurations.
#include <cstdio>
#include <cstring>

#include "analyzer/generation.h"
#include "analyzer/initstruct.h"
#include "analyzer/menager.h"
#include "analyzer/panels.h"
#include "analyzer/pending.h"
#include "ui/userint.h"

int dump = 0;

VELTRA_CALLBACK(SetupHard) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  SetCtrlAttribute(mainpanel, MAIN_TimerTick, ATTR_ENABLED, 0);
  int value = 0;
  if (control == MAIN_AveragesField) {
    GetCtrlVal(panel, control, &rcu.avgTarget);
    if (rcu.avgTarget < 1) {
      rcu.avgTarget = 1;
      SetCtrlVal(panel, control, 1);
    }
  } else if (control == MAIN_LinearBox) {
    GetCtrlVal(panel, control, &value);
    rcu.expAver = value ? 0 : 1;
    SetCtrlVal(panel, MAIN_ExponentialBox, rcu.expAver);
  } else if (control == MAIN_ExponentialBox) {
    GetCtrlVal(panel, control, &value);
    rcu.expAver = value ? 1 : 0;
    SetCtrlVal(panel, MAIN_LinearBox, 1 - rcu.expAver);
  }
  if (start == 1) SetZero();
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
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_DIMMED, 0);
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_DIMMED, 0);
      SetCtrlAttribute(mainpanel, MAIN_ExponentialBox, ATTR_DIMMED, 0);
      SetCtrlAttribute(mainpanel, MAIN_CoefFieldA, ATTR_DIMMED, 0);
      SetCtrlAttribute(mainpanel, MAIN_CoefFieldB, ATTR_DIMMED, 0);
      break;
    case 1: {
      ViewHideGen(0);
      SetCtrlVal(mainpanel, MAIN_ChannelSwitchA, 1);
      SetCtrlVal(mainpanel, MAIN_ChannelSwitchB, 1);
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_DIMMED, 0);
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_DIMMED, 0);
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
      std::snprintf(ta, sizeof ta, "%d", a);
      std::snprintf(tb, sizeof tb, "%d", b);
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_ON_TEXT, ta);
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_OFF_TEXT, ta);
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_ON_TEXT, tb);
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_OFF_TEXT, tb);
      rcu.onA = rcu.onB = 1;
      rcu.chanA = a;
      rcu.chanB = b;
      SwitchChA(mainpanel, MAIN_ChannelSwitchA, EVENT_COMMIT, nullptr, 0, 0);
      SwitchChB(mainpanel, MAIN_ChannelSwitchB, EVENT_COMMIT, nullptr, 0, 0);
      SetCtrlAttribute(mainpanel, MAIN_ExponentialBox, ATTR_DIMMED, 0);
      SetCtrlAttribute(mainpanel, MAIN_CoefFieldA, ATTR_DIMMED, 0);
      SetCtrlAttribute(mainpanel, MAIN_CoefFieldB, ATTR_DIMMED, 0);
      break;
    }
    case 2:
      ViewHideGen(1);
      SetCtrlVal(mainpanel, MAIN_ChannelSwitchA, 0);
      SetCtrlVal(mainpanel, MAIN_ChannelSwitchB, 0);
      rcu.onA = rcu.onB = 0;
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_ON_TEXT, "");
      SetCtrlAttribute(mainpanel, MAIN_ChannelSwitchB, ATTR_ON_TEXT, "");
      SetCtrlAttribute(mainpanel, MAIN_CoefFieldA, ATTR_DIMMED, 1);
      SetCtrlAttribute(mainpanel, MAIN_CoefFieldB, ATTR_DIMMED, 1);
      cus.thin = 1;
      ViewSelectCh();
      InputDataFiles();
      break;
    default:
      break;
  }
  return 0;
}

VELTRA_CALLBACK(SetDump) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  GetCtrlVal(panel, control, &dump);
  return 0;
}
