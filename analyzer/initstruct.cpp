// The measurement model and its start-up: item tables from the panels, converter scale, trigger
// and main panel state, and every control pushed through its own callback so that the model
// equals what the panels show.
#include "analyzer/initstruct.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include <unistd.h>

#include "analyzer/aids.h"
#include "analyzer/generation.h"
#include "analyzer/menager_panel.h"
#include "analyzer/modules.h"
#include "analyzer/panels.h"
#include "analyzer/recorder_panel.h"
#include "analyzer/roles.h"
#include "analyzer/setters.h"
#include "analyzer/sources.h"
#include "dsp/signals.h"
#include "ui/userint.h"

namespace {

// The item texts the core knows (FillItemTables) against the panel's rings, counted at load.
int g_itemMismatches = 0;

// Counts the items of a ring that differ from the core's `rows`: a text other than text(i), a
// value valueOk(i) rejects, or an item one side lacks. Returns how many items both have.
template <typename Text, typename Value>
int CheckRing(int panel, int control, int rows, Text text, Value valueOk) {
  int n = 0;
  GetNumListItems(panel, control, &n);
  for (int i = 0; i < n || i < rows; ++i) {
    char label[kItemText] = "";
    if (i < n) GetLabelFromIndex(panel, control, i, label, kItemText);
    if (i >= n || i >= rows || std::strcmp(label, text(i)) != 0 || !valueOk(i)) {
      ++g_itemMismatches;
    }
  }
  return n < rows ? n : rows;
}

auto AnyValue = [](int) { return true; };

// A label table's rows are its filled entries.
template <int Rows>
void CheckLabels(int panel, int control, const char (&table)[Rows][kItemText]) {
  int rows = 0;
  while (rows < Rows && table[rows][0] != '\0') ++rows;
  CheckRing(
      panel, control, rows, [&table](int i) { return table[i]; }, AnyValue);
}

// The ring's item i has the value `values[i]`.
template <typename T>
auto ValueIs(int panel, int control, const T* values) {
  return [=](int i) {
    T v{};
    GetValueFromIndex(panel, control, i, &v);
    return v == values[i];
  };
}

// Channel number shown on a channel switch, kept within the eight inputs.
int ChannelFromSwitch(int control) {
  char text[32] = "";
  GetCtrlAttribute(mainpanel, control, ATTR_ON_TEXT, text, sizeof text);
  int n = 0;
  if (std::sscanf(text, "%d", &n) != 1) n = 0;
  if (n < 0) n = 0;
  if (n > kInputs - 1) n = kInputs - 1;
  ShowChannelNumber(control, n);
  return n;
}

// A ring's items and choice.
struct RingItems {
  std::vector<std::string> labels;
  std::vector<double> values;
  int index = -1;
};

RingItems ReadRing(int panel, int control) {
  RingItems r;
  int n = 0;
  if (GetNumListItems(panel, control, &n) < 0) return r;
  for (int i = 0; i < n; ++i) {
    char label[256] = "";
    double value = 0.0;
    GetLabelFromIndex(panel, control, i, label, sizeof label);
    GetValueFromIndex(panel, control, i, &value);
    r.labels.emplace_back(label);
    r.values.push_back(value);
  }
  GetCtrlIndex(panel, control, &r.index);
  return r;
}

// Restores a panel's saved state. A ring only ever offers items of its resource (some rings are
// refilled with a subset at run time), so a saved list holding any other label or value is
// damaged: that ring keeps the resource's items and choice. Frame sizes, rates and overlaps
// are thus never taken from a damaged file.
void RecallTrusted(int panel, int roles, const char* file) {
  if (GetFileInfo(file, nullptr) != 1) return;
  std::vector<RingItems> resource(static_cast<size_t>(roles));
  for (int c = 1; c <= roles; ++c) resource[static_cast<size_t>(c - 1)] = ReadRing(panel, c);
  if (RecallPanelState(panel, file, 0) < 0) return;
  for (int c = 1; c <= roles; ++c) {
    const RingItems& was = resource[static_cast<size_t>(c - 1)];
    if (was.values.empty()) continue;
    // Capture devices come from ALSA at run time; InitCapturePanel checks this ring's choice.
    if (panel == mainpanel && c == MAIN_CaptureDeviceRing) continue;
    const RingItems now = ReadRing(panel, c);
    bool trusted = !now.values.empty();
    for (size_t i = 0; i < now.values.size() && trusted; ++i) {
      bool known = false;
      for (size_t k = 0; k < was.values.size() && !known; ++k) {
        known = now.values[i] == was.values[k] && now.labels[i] == was.labels[k];
      }
      trusted = known;
    }
    if (trusted) continue;
    ClearListCtrl(panel, c);
    for (size_t i = 0; i < was.values.size(); ++i) {
      InsertListItem(panel, c, -1, was.labels[i].c_str(), was.values[i]);
    }
    SetCtrlIndex(panel, c, was.index);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Item tables

// The item readers check the panels' rings, as loaded, against the core's texts: the core's are
// the ones used, so a panel resource edited out of step with the program shows up here (and in
// its tests) rather than as a silent mislabelled choice.
void GetCollectItem() { CheckLabels(mainpanel, MAIN_CollectRing, itemcollect); }
void GetTriggerMode() { CheckLabels(trigpanel, TRIG_LevelModeList, itemtrigger); }
void GetWeightItem() { CheckLabels(mainpanel, MAIN_WindowRing, itemweight); }
void GetCursorsItem() { CheckLabels(mainpanel, MAIN_CursorModeRing1, itemcursors); }
void GetExtentionItem() { CheckLabels(mainpanel, MAIN_FormatRing1, extenitem); }
void GetRunSetup() { CheckLabels(mainpanel, MAIN_StartRing, runsetup); }
void GetWeightSetup() { CheckLabels(mainpanel, MAIN_WindowRing, weightsetup); }
void GetRingY() { CheckLabels(mainpanel, MAIN_YUnitRing1, Yunit); }
void GetRingX() { CheckLabels(mainpanel, MAIN_XUnitRing1, Xunit); }

void GetItemRank() {
  CheckRing(
      mainpanel, MAIN_FftSizeRing, kFrameLengths, [](int i) { return rankitem[i]; },
      ValueIs(mainpanel, MAIN_FftSizeRing, rankval));
}

void GetItemOverlap() {
  CheckRing(
      mainpanel, MAIN_OverlapRing, kOverlaps, [](int i) { return overitem[i]; },
      ValueIs(mainpanel, MAIN_OverlapRing, overval));
}

// The function rings are filled from the function table; the panel's own list must agree.
void GetFunctionItem() {
  static int index[kFunctions];
  for (int f = 0; f < kFunctions; ++f) index[f] = f;
  CheckRing(
      mainpanel, MAIN_FunctionRing1, kFunctions, [](int f) { return cf[f].text; },
      ValueIs(mainpanel, MAIN_FunctionRing1, index));
}

// The source ring against the source table.
static void CheckSources() {
  CheckRing(
      mainpanel, MAIN_SourceRing, kSourceCount, [](int i) { return kSources[i].text; }, AnyValue);
}

int ItemMismatches() { return g_itemMismatches; }

void ShowChannelNumber(int control, int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", n);
  SetCtrlAttribute(mainpanel, control, ATTR_ON_TEXT, text);
  SetCtrlAttribute(mainpanel, control, ATTR_OFF_TEXT, text);
}

// Switch colours: normal, and marked as the trigger source.
void ColorKnobCh() {
  int color = VAL_GREEN;
  if (GetCtrlAttribute(mainpanel, MAIN_ChannelSwitchA, ATTR_ON_COLOR, &color) < 0 || color < 0) {
    color = VAL_GREEN;
  }
  rcu.colornormal = color;
  rcu.colortrig = VAL_RED;
}

// ---------------------------------------------------------------------------------------------
// Derived parameters

// Start-up: the geometry the rings show becomes the model's.
void SetParamAnalysis() {
  double rate = 1024.0, fraction = 0.0;
  int frame = 1024;
  GetCtrlVal(mainpanel, MAIN_SampleRateRing, &rate);
  GetCtrlVal(mainpanel, MAIN_FftSizeRing, &frame);
  GetCtrlVal(mainpanel, MAIN_OverlapRing, &fraction);
  SetGeometry(rate, frame, fraction);
  ShowGeometry();
  ShowDelay();
}

// A new geometry makes the old averages meaningless: they are neither redrawn nor saved.
// (The setters have restarted a run or voided stopped results.)
static void GeometryChanged() {
  ClearResults();
  CheckGeneratorBand();
}

VELTRA_COMMIT(SetSampl) {
  double rate = 0.0;
  GetCtrlVal(panel, control, &rate);
  if (SetSampleRate(rate) == 0) {
    // Nothing changed: a run restarts, stopped results stay valid.
    ShowRates();
    RestartIfRunning();
    return 0;
  }
  ShowRates();
  ShowGeometry();
  ShowDelay();
  if (!Source().ownRate)
    SetCtrlAttribute(mainpanel, MAIN_PulseWidthField, ATTR_MAX_VALUE, cus.frameLen);
  GeometryChanged();
  return 0;
}

VELTRA_COMMIT(SetRankFFT) {
  int n = 0;
  GetCtrlVal(panel, control, &n);
  SetFrameLength(n);
  ShowGeometry();
  ShowDelay();
  GeometryChanged();
  return 0;
}

VELTRA_COMMIT(Overlap) {
  double fraction = 0.0;
  GetCtrlVal(panel, control, &fraction);
  SetOverlap(fraction);
  ShowGeometry();
  GeometryChanged();
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Start-up

// The converter, the calibration and the parts of the model no control sets.
void InitHard() { InitMeasurement(); }

void InitTrigger() {
  RecallTrusted(trigpanel, kTriggerRoleCount, "triggfile");
  int inputNo = 0;
  GetCtrlVal(trigpanel, TRIG_TriggerChannelField, &inputNo);
  SetTriggerInput(inputNo);
  if (rcu.startmode == 2) Commit(TriggerSetup, trigpanel, TRIG_TriggerChannelField);
  Commit(TriggerSetup, trigpanel, TRIG_LevelField);
  Commit(TriggerSetup, trigpanel, TRIG_Level2Field);
  Commit(TriggerSetup, trigpanel, TRIG_SlopeRing);
  Commit(TriggerSetup, trigpanel, TRIG_PretrigField);
}

void InitStructures() {
  SetCtrlVal(mainpanel, MAIN_AverCountDisplay, 0);
  GetParamDKV5128OfFile();

  RecallTrusted(mainpanel, kMainRoleCount, "veltrafile");
  // The count and readouts of the last session's run are no results of this one.
  SetCtrlVal(mainpanel, MAIN_AverCountDisplay, 0);
  for (int c : {MAIN_CursorReadout1, MAIN_TotalReadout1, MAIN_CursorReadout2, MAIN_TotalReadout2}) {
    SetCtrlVal(mainpanel, c, "");
  }
  InitRecorderControls();

  // The panels as they were left become the model's settings, one setter each.
  int value = 0;
  if (GetCtrlVal(mainpanel, MAIN_WindowRing, &value) >= 0) SetWindowType(value);
  for (int k = 0; k < 2; ++k) {
    const int sw = k == 0 ? MAIN_ChannelSwitchA : MAIN_ChannelSwitchB;
    int on = 0;
    GetCtrlVal(mainpanel, sw, &on);
    SetChannelInput(k, ChannelFromSwitch(sw));
    SetChannelOn(k, on);
  }

  // Window selection: the pressed one of the three buttons (both windows when none is). It is
  // known before the measurement type re-selects the windows' functions.
  int sel1 = 0, sel2 = 0;
  GetCtrlVal(mainpanel, MAIN_WindowSel1, &sel1);
  GetCtrlVal(mainpanel, MAIN_WindowSel2, &sel2);
  const int selCtrl = sel1 ? MAIN_WindowSel1 : sel2 ? MAIN_WindowSel2 : MAIN_WindowSelBoth;
  SetWindowSelection(sel1 ? 0 : sel2 ? 1 : 2);

  // What each window shows as the rings hold it; selecting the functions keeps what still fits.
  const int rings[kWindows][6] = {{MAIN_FunctionRing1, MAIN_FormatRing1, MAIN_YUnitRing1,
                                   MAIN_XUnitRing1, MAIN_DbRangeRing1, MAIN_DbTopField1},
                                  {MAIN_FunctionRing2, MAIN_FormatRing2, MAIN_YUnitRing2,
                                   MAIN_XUnitRing2, MAIN_DbRangeRing2, MAIN_DbTopField2}};
  for (int w = 0; w < kWindows; ++w) {
    WindowChoices c{-1, -1, -1, -1, -1, 0.0};
    GetCtrlVal(mainpanel, rings[w][0], &c.function);
    GetCtrlVal(mainpanel, rings[w][1], &c.format);
    GetCtrlVal(mainpanel, rings[w][2], &c.yUnit);
    GetCtrlVal(mainpanel, rings[w][3], &c.xUnit);
    GetCtrlVal(mainpanel, rings[w][4], &c.dbRange);
    GetCtrlVal(mainpanel, rings[w][5], &c.dbTop);
    RestoreWindowChoices(w, c);
  }
  HideSelectCh();
  SetParamAnalysis();
  Commit(SetSampl, mainpanel, MAIN_SampleRateRing);
  Commit(SetRankFFT, mainpanel, MAIN_FftSizeRing);
  int averages = 1;
  GetCtrlVal(mainpanel, MAIN_AveragesField, &averages);
  if (SetAverages(averages) == 0) SetAverages(1);
  Commit(Overlap, mainpanel, MAIN_OverlapRing);

  // Every program start begins with the generator as source, whatever the saved state held.
  SetCtrlVal(mainpanel, MAIN_SourceRing, 1);
  Commit(RegimMeas, mainpanel, MAIN_SourceRing);

  // Dimming is never restored from the state file. What the measurement type leaves as it
  // was (type 3 changes nothing) starts as the spectral types have it: boxes on, bins off.
  SetCtrlAttribute(mainpanel, MAIN_LinearBox, ATTR_DIMMED, 0);
  SetCtrlAttribute(mainpanel, MAIN_ExponentialBox, ATTR_DIMMED, 0);
  SetCtrlAttribute(mainpanel, MAIN_BinsField, ATTR_DIMMED, 1);
  int linear = 1;
  GetCtrlVal(mainpanel, MAIN_LinearBox, &linear);
  Commit(SetupHard, mainpanel, linear ? MAIN_LinearBox : MAIN_ExponentialBox);

  SetCtrlVal(mainpanel, MAIN_DelayField, 0);
  Commit(SetupRun, mainpanel, MAIN_DelayField);

  Commit(SetDiffIntegr, mainpanel, MAIN_DiffIntRingA);
  Commit(SetDiffIntegr, mainpanel, MAIN_DiffIntRingB);
  // The collection, start and level modes as they were left: read before the measurement type
  // rebuilds their rings, taken after it has settled what it offers.
  int collect = 0, startMode = 0, levelMode = 0;
  GetCtrlVal(mainpanel, MAIN_CollectRing, &collect);
  GetCtrlVal(mainpanel, MAIN_StartRing, &startMode);
  GetCtrlVal(trigpanel, TRIG_LevelModeList, &levelMode);
  Commit(RingMeas, mainpanel, MAIN_MeasTypeRing);
  HoldRestarts();
  SetCollect(collect);
  SetStartChoice(startMode);
  if (rcu.startmode == 2) SetLevelChoice(levelMode);
  ReleaseRestarts();
  ShowCollect();
  Commit(ColorA, mainpanel, MAIN_ColorSelect1);
  Commit(ColorB, mainpanel, MAIN_ColorSelect2);
  Commit(SetRank, mainpanel, MAIN_BinsField);
  for (int c : {MAIN_MemoryToggle1, MAIN_EqualizeToggle1, MAIN_ShowMemoryToggle1,
                MAIN_MemoryToggle2, MAIN_EqualizeToggle2, MAIN_ShowMemoryToggle2}) {
    SetCtrlVal(mainpanel, c, 0);
  }
  for (int w = 0; w < kWindows; ++w) ForgetMemory(w);
  Commit(SetRectif, mainpanel, MAIN_CoefFieldA);
  Commit(SetRectif, mainpanel, MAIN_CoefFieldB);
  Commit(SetAcDc, mainpanel, MAIN_AcDcSwitchA);
  Commit(SetAcDc, mainpanel, MAIN_AcDcSwitchB);

  SetCtrlVal(mainpanel, selCtrl, 1);
  Commit(SetFormatDisp, mainpanel, selCtrl);
  Commit(SetCursors1, mainpanel, MAIN_CursorModeRing1);
  Commit(SetCursors2, mainpanel, MAIN_CursorModeRing2);
  // The views the operator left on come back on; the rest are off.
  for (int control : {MAIN_PeakHoldToggle1, MAIN_PeakHoldToggle2})
    Commit(SetPeakHold, mainpanel, control);
  for (int control : {MAIN_SpectrogramToggle1, MAIN_SpectrogramToggle2})
    Commit(SetSpectrogram, mainpanel, control);
  for (int control : {MAIN_ConfidenceToggle1, MAIN_ConfidenceToggle2})
    Commit(SetConfidence, mainpanel, control);
}

void InitialStruct() {
  // File dialogs open in the working directory, where the settings files live too.
  if (proj_dir[0] == '\0' && getcwd(proj_dir, sizeof proj_dir) == nullptr) proj_dir[0] = '\0';
  FillItemTables();
  g_itemMismatches = 0;
  GetCollectItem();
  GetTriggerMode();
  GetWeightItem();
  GetFunctionItem();
  GetCursorsItem();
  GetExtentionItem();
  GetRunSetup();
  GetWeightSetup();
  GetItemRank();
  GetItemOverlap();
  GetRingY();
  GetRingX();
  CheckSources();
  ColorKnobCh();
  InitHard();
  InitTrigger();
  InitStructures();
  InitCalibration();
  InitStructWaver();
  DeleteGraphPlot(mainpanel, MAIN_Graph1, -1, VAL_IMMEDIATE_DRAW);
  DeleteGraphPlot(mainpanel, MAIN_Graph2, -1, VAL_IMMEDIATE_DRAW);
}
