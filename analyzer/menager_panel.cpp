// The panel side of run control.
#include "analyzer/menager_panel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "analyzer/aids.h"
#include "analyzer/collection.h"
#include "analyzer/live_panel.h"
#include "analyzer/modules.h"
#include "analyzer/notify.h"
#include "analyzer/panels.h"
#include "analyzer/range_ch.h"
#include "analyzer/recorder_panel.h"
#include "analyzer/setters.h"
#include "analyzer/sources.h"
#include "safefile/safefile.h"
#include "ui/userint.h"

namespace {

// Written at exit in this order; the journal exists only while they go in place.
constexpr const char* kSettingsJournal = "veltra.commit";
constexpr const char* kSettingsFiles[4] = {"Calibr.inf", "dkv5128.inf", "veltrafile", "triggfile"};

void TimerOff() { SetCtrlAttribute(mainpanel, MAIN_TimerTick, ATTR_ENABLED, 0); }

void TimerOn() {
  SetCtrlAttribute(mainpanel, MAIN_TimerTick, ATTR_INTERVAL, 0.05);
  SetCtrlAttribute(mainpanel, MAIN_TimerTick, ATTR_ENABLED, 1);
}

bool ShowsWindow1() { return rcu.winsel == 0 || rcu.winsel == 2; }
bool ShowsWindow2() { return rcu.winsel == 1 || rcu.winsel == 2; }

bool g_redrawDeferred = false;
int g_redrawNoted = -1;  // the widest redraw asked for while deferred (1 with cursors), or -1

void RunStopped() {
  SetCtrlVal(mainpanel, MAIN_StartButton, 0);
  TimerOff();
  EndAutoRanging();
}

void CountChanged(int averages) { SetCtrlVal(mainpanel, MAIN_AverCountDisplay, averages); }

void Message(const char* title, const char* text) { MessagePopup(title, text); }

void Status(const char* text) { ShowStatus(text); }

void SettingChanged(int what) {
  if (what & kChangedDelay) ShowDelay();
  if (what & kChangedRates) ShowRates();
  if (what & kChangedGeometry) ShowGeometry();
  if (what & kChangedAverages) {
    ShowAverages();
    // A recording supplies a counted number of frames: no exponential averaging of it.
    if (!ExpAverOffered()) SetCtrlAttribute(mainpanel, MAIN_ExponentialBox, ATTR_DIMMED, 1);
  }
  if (what & kChangedPretrig) {
    SetCtrlAttribute(trigpanel, TRIG_PretrigField, ATTR_MAX_VALUE, cus.frameLen / 2);
    SetCtrlVal(trigpanel, TRIG_PretrigField, rcu.pretrig);
  }
  // Only a start by level marks its channel as the trigger source.
  if (what & kChangedChannels) SortTriggCh(rcu.startmode == 2 ? rcu.trigchan : -1);
}

}  // namespace

void InstallPanelEvents() {
  CoreEvents e{};
  e.runStarted = TimerOn;
  e.runStopped = RunStopped;
  e.countChanged = CountChanged;
  e.message = Message;
  e.status = Status;
  e.resultsReady = RedrawWindows;
  e.settingChanged = SettingChanged;
  e.autoRangeStep = AutoAdaptation;
  e.rawStep = RecordStep;
  e.sourceGap = EndRecordingAtGap;
  SetCoreEvents(e);
}

void ShowDelay() {
  SetCtrlVal(mainpanel, MAIN_DelayField, sr.delay);
  char text[64];
  DelayText(text, sizeof text);
  SetCtrlVal(mainpanel, MAIN_DelayReadout, text);
}

void ShowRates() {
  double offered[kGeneratorRates];
  const int n = OfferedRates(offered);
  ClearListCtrl(mainpanel, MAIN_SampleRateRing);
  int pick = 0;
  for (int i = 0; i < n; ++i) {
    char label[kItemText];
    RateLabel(offered[i], label, sizeof label);
    InsertListItem(mainpanel, MAIN_SampleRateRing, -1, label, offered[i]);
    if (offered[i] == cus.rate) pick = i;
  }
  SetCtrlIndex(mainpanel, MAIN_SampleRateRing, pick);
}

void ShowGeometry() {
  SetCtrlVal(mainpanel, MAIN_FftSizeRing, cus.frameLen);
  SetCtrlVal(mainpanel, MAIN_OverlapRing, cus.overlap);
}

void ShowAverages() {
  SetCtrlVal(mainpanel, MAIN_AveragesField, rcu.avgTarget);
  SetCtrlVal(mainpanel, MAIN_LinearBox, 1 - rcu.expAver);
  SetCtrlVal(mainpanel, MAIN_ExponentialBox, rcu.expAver);
}

void DeferRedraw(bool deferred) {
  g_redrawDeferred = deferred;
  if (deferred || g_redrawNoted < 0) return;
  const int withCursor = g_redrawNoted;
  g_redrawNoted = -1;
  if (sp.dataReady == 1) RedrawWindows(withCursor);
}

void RedrawWindows(int withCursor) {
  if (g_redrawDeferred) {
    g_redrawNoted = std::max(g_redrawNoted, withCursor);
    return;
  }
  if (ShowsWindow1()) {
    ViewResult(0);
    if (withCursor && vs[0].cursorPoint >= 0) SetTextCursor(0, vs[0].cursorPoint);
  }
  if (ShowsWindow2()) {
    ViewResult(1);
    if (withCursor && vs[1].cursorPoint >= 0) SetTextCursor(1, vs[1].cursorPoint);
  }
}

VELTRA_COMMIT(StartStop) {
  int on = 0;
  GetCtrlVal(panel, control, &on);
  if (on == 1) {
    TimerOff();
    SetZero();
  } else {
    // Stopped first: a reference armed during the run is taken from this last drawing.
    StopMeass();
    if (sp.dataReady == 1) RedrawWindows(0);
  }
  return 0;
}

VELTRA_CALLBACK(SetData) {
  (void)panel, (void)control, (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_TIMER_TICK) return 0;
  if (start != 1) return 0;
  const int ready = Source().step();
  if (start == 1 && ready) RedrawWindows(1);
  if (Source().live) ShowLiveState(ready);
  return 0;
}

void RecoverSettingsFiles() { RecoverFileSet(kSettingsJournal, kSettingsFiles, 4); }

VELTRA_COMMIT(Quit) {
  TimerOff();
  StopSources();
  StopRecording();
  // An unfinished auto-ranging pass holds the modules at trial gains: the operator's go back
  // before "dkv5128.inf" is written.
  EndAutoRanging();
  DeleteGraphPlot(mainpanel, MAIN_Graph1, -1, VAL_IMMEDIATE_DRAW);
  DeleteGraphPlot(mainpanel, MAIN_Graph2, -1, VAL_IMMEDIATE_DRAW);
  SetCtrlVal(mainpanel, MAIN_CursorSyncToggle, 0);
  ShowChannelNumber(MAIN_ChannelSwitchA, rcu.chanA);
  ShowChannelNumber(MAIN_ChannelSwitchB, rcu.chanB);
  SetCtrlVal(mainpanel, MAIN_GeneratorSwitch, 0);
  // The four files go in place together: a start after a kill finds all of one exit or all of
  // the one before, never a mix.
  BeginFileSet(kSettingsJournal);
  bool saved[4];
  saved[0] = SaveParamCalibr() == 1;
  saved[1] = SaveParamDKV5128() == 1;
  Close5128();
  saved[2] = SavePanelState(mainpanel, kSettingsFiles[2], 0) >= 0;
  saved[3] = SavePanelState(trigpanel, kSettingsFiles[3], 0) >= 0;
  std::string failed;
  EndFileSet(&failed);
  for (int i = 0; i < 4; ++i) {
    if (saved[i] && failed != kSettingsFiles[i]) continue;
    char text[128];
    std::snprintf(text, sizeof text, "Настройки не сохранены: файл \"%s\" не записывается !",
                  kSettingsFiles[i]);
    MessagePopup("Внимание !!!", text);
  }
  QuitUserInterface(0);
  return 0;
}

VELTRA_COMMIT(Exit) {
  HidePanel(trigpanel);
  return 0;
}
