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

#include "analyzer/generation.h"
#include "analyzer/menager.h"
#include "analyzer/panels.h"
#include "analyzer/recorder_panel.h"
#include "analyzer/aids.h"
#include "analyzer/modules.h"
#include "dsp/signals.h"
#include "ui/userint.h"

CusRecord cus;
SpRecord sp;
RcuRecord rcu;
SrRecord sr;
HsRecord hs;
WsRecord ws;
DbufRecord dbuf;
FsRecord fs;

int start = 0;
int ok = 0;
int gen_start = 0;
int marc_trig = 0;
int marc_g = 0;
int input = 0;
int output = 0;
int count = 0;
int circlen = 0;
double simphase = 0.0;
double tim = 0.0;
double pu = 0.0;

std::vector<int> half;
std::vector<int> res;
std::vector<int> wave;
std::vector<int> tmp;
std::vector<int> circbuff;
int* adapt = nullptr;

double inpf_ChA[kMaxFrame], inpf_ChB[kMaxFrame];
double out_A[kMaxFrame], out_B[kMaxFrame];
double outf_ChA[kStreamLen], outf_ChB[kStreamLen];
double ca[kMaxFrame], cb[kMaxFrame];
double Rx[kFrame2], Ix[kFrame2];
double Ry[kFrame2], Iy[kFrame2];
double cha[kMaxFrame], chb[kMaxFrame];
double Gxx[kMaxFrame], Gyy[kMaxFrame];
double Rxy[kMaxFrame], Ixy[kMaxFrame];
double resX[kResultLen], resY[kResultLen];
double rt[kResultLen], it[kResultLen];
double weightcoef[kFrame2];
double x_band[kMaxLines];
double time_ch[kFrame2];
double x_time[kFrame2];
double part[kFrame2];
int bu[kFrame2];
int arry[9];
IIRFilterPtr iir_ch[2];

char itemcollect[2][kItemText];
char itemweight[10][kItemText];
char itemtrigger[6][kItemText];
char itemfunc[28][kItemText];
int nfunc[28];
char itemcursors[6][kItemText];
char extenitem[6][kItemText];
char runsetup[5][kItemText];
char weightsetup[10][kItemText];
char rankitem[4][kItemText];
int rankval[4];
char overitem[5][kItemText];
double overval[5];
char Yunit[7][kItemText];
char Xunit[7][kItemText];

const int ringcollect[4][2] = {{1, 1}, {0, 1}, {1, 1}, {1, 1}};
const int ringrun[4][2][3] = {
    {{1, 0, 1}, {0, 1, 1}},
    {{0, 0, 0}, {0, 1, 1}},
    {{1, 0, 1}, {0, 1, 1}},
    {{1, 0, 1}, {0, 1, 0}},
};
const int ringweight[4][10] = {
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 1},
    {1, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    {1, 1, 1, 1, 1, 1, 1, 1, 1, 0},
};
const int triggrun[4][2][6] = {
    {{1, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}},
    {{1, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}},
    {{1, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1}},
    {{1, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}},
};
const int param_analis[3][4][5] = {
    {{0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {1, 1, 1, 0, 0}, {1, 1, 1, 0, 0}},
    {{0, 0, 0, 0, 0}, {1, 1, 1, 1, 0}, {1, 1, 1, 1, 0}, {1, 1, 1, 1, 0}},
    {{1, 1, 1, 0, 0}, {1, 1, 1, 1, 0}, {1, 1, 1, 1, 0}, {1, 1, 1, 1, 0}},
};

const char* const textmode[kRunModes] = {
    "Сбор-непрерывный. Старт-свободный.",
    "Сбор-непрерывный. Старт по уровню.",
    "Сбор по условию. EXT TRIG.",
    "Сбор по условию. Старт по уровню",
    "Сбор по условию. Ниже уровня",
    "Сбор по условию. Выше уровня",
    "Сбор по условию. Регион",
    "Сбор по условию. Верхний гистерезис",
    "Сбор по условию. Нижний гистерезис",
};
const int ringmode[kRunModes] = {
    static_cast<int>(sizeof "Сбор-непрерывный. Старт-свободный." - 1),
    static_cast<int>(sizeof "Сбор-непрерывный. Старт по уровню." - 1),
    static_cast<int>(sizeof "Сбор по условию. EXT TRIG." - 1),
    static_cast<int>(sizeof "Сбор по условию. Старт по уровню" - 1),
    static_cast<int>(sizeof "Сбор по условию. Ниже уровня" - 1),
    static_cast<int>(sizeof "Сбор по условию. Выше уровня" - 1),
    static_cast<int>(sizeof "Сбор по условию. Регион" - 1),
    static_cast<int>(sizeof "Сбор по условию. Верхний гистерезис" - 1),
    static_cast<int>(sizeof "Сбор по условию. Нижний гистерезис" - 1),
};

char file_name[kPathLen];
char proj_dir[kPathLen];

namespace {

// Pushes a control's value through its own callback, as a commit from the user would.
void Apply(CtrlCallbackPtr callback, int panel, int control) {
  callback(panel, control, EVENT_COMMIT, nullptr, 0, 0);
}

// Reads up to `rows` item labels of a list control into a label table.
template <int Rows>
int ReadLabels(int panel, int control, char (&table)[Rows][kItemText]) {
  int n = 0;
  GetNumListItems(panel, control, &n);
  if (n > Rows) n = Rows;
  for (int i = 0; i < n; ++i) GetLabelFromIndex(panel, control, i, table[i], kItemText);
  return n;
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

void GetCollectItem() { ReadLabels(mainpanel, MAIN_CollectRing, itemcollect); }
void GetTriggerMode() { ReadLabels(trigpanel, TRIG_LevelModeList, itemtrigger); }
void GetWeightItem() { ReadLabels(mainpanel, MAIN_WindowRing, itemweight); }
void GetCursorsItem() { ReadLabels(mainpanel, MAIN_CursorModeRing1, itemcursors); }
void GetExtentionItem() { ReadLabels(mainpanel, MAIN_FormatRing1, extenitem); }
void GetRunSetup() { ReadLabels(mainpanel, MAIN_StartRing, runsetup); }
void GetWeightSetup() { ReadLabels(mainpanel, MAIN_WindowRing, weightsetup); }
void GetRingY() { ReadLabels(mainpanel, MAIN_YUnitRing1, Yunit); }
void GetRingX() { ReadLabels(mainpanel, MAIN_XUnitRing1, Xunit); }

void GetItemRank() {
  const int n = ReadLabels(mainpanel, MAIN_FftSizeRing, rankitem);
  for (int i = 0; i < n; ++i) GetValueFromIndex(mainpanel, MAIN_FftSizeRing, i, &rankval[i]);
}

void GetItemOverlap() {
  const int n = ReadLabels(mainpanel, MAIN_OverlapRing, overitem);
  for (int i = 0; i < n; ++i) GetValueFromIndex(mainpanel, MAIN_OverlapRing, i, &overval[i]);
}

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

// The sample rates of the resource's ring: the generator's list, read before any saved state
// or playback changes the ring's items.
static double rateval[16];
static int nrates = 0;

static void GetItemRate() {
  GetNumListItems(mainpanel, MAIN_SampleRateRing, &nrates);
  nrates = std::clamp(nrates, 0, 16);
  for (int i = 0; i < nrates; ++i) {
    GetValueFromIndex(mainpanel, MAIN_SampleRateRing, i, &rateval[i]);
  }
}

void OfferRates(double rate) {
  double offered[16];
  int n = 0;
  if (rcu.source == 2 && fs.srate > 0.0) {
    for (int d : {1, 2, 4, 8}) offered[n++] = fs.srate / d;
  } else {
    n = nrates;
    std::copy(rateval, rateval + n, offered);
  }
  if (n == 0) return;
  ClearListCtrl(mainpanel, MAIN_SampleRateRing);
  auto distance = [rate](double r) { return rate > 0.0 ? std::fabs(std::log(r / rate)) : 0.0; };
  int pick = 0;
  for (int i = 0; i < n; ++i) {
    char label[kItemText];
    std::snprintf(label, sizeof label, "%g Гц", offered[i]);
    InsertListItem(mainpanel, MAIN_SampleRateRing, -1, label, offered[i]);
    if (distance(offered[i]) < distance(offered[pick])) pick = i;
  }
  SetCtrlIndex(mainpanel, MAIN_SampleRateRing, pick);
}

void SetParamAnalysis() {
  int r = 0, n = 0, o = 0;
  GetCtrlIndex(mainpanel, MAIN_SampleRateRing, &r);
  GetCtrlIndex(mainpanel, MAIN_FftSizeRing, &n);
  GetCtrlIndex(mainpanel, MAIN_OverlapRing, &o);
  if (n < 0) n = 0;
  if (n > 3) n = 3;
  if (o < 0) o = 0;
  if (o > 4) o = 4;

  if (r >= 0 && r < 3 && rcu.source != 2 && !param_analis[r][n][o]) {
    int nn = n, oo = o;
    bool found = false;
    if (o == 0) {
      for (int m = n; m < 4 && !found; ++m) {
        if (param_analis[r][m][0]) nn = m, oo = 0, found = true;
      }
    } else {
      for (int m = n; m < 4 && !found; ++m) {
        if (param_analis[r][m][o]) nn = m, oo = o, found = true;
      }
      for (int m = n; m < 4 && !found; ++m) {
        for (int k = 4; k >= 0 && !found; --k) {
          if (param_analis[r][m][k]) nn = m, oo = k, found = true;
        }
      }
    }
    n = nn;
    o = oo;
    SetCtrlIndex(mainpanel, MAIN_FftSizeRing, n);
    SetCtrlIndex(mainpanel, MAIN_OverlapRing, o);
  }

  double fraction = 0.0;
  int frame = 1024;
  GetCtrlVal(mainpanel, MAIN_OverlapRing, &fraction);
  GetCtrlVal(mainpanel, MAIN_FftSizeRing, &frame);
  if (frame < 1) frame = 1024;
  if (frame > kMaxFrame) frame = kMaxFrame;
  cus.frameLen = frame;
  sr.ovsamp = static_cast<int>(fraction * frame);
  cus.halfLen = frame >> 1;
  cus.lines = static_cast<int>(frame / 2.56) + 1;

  double rate = 1024.0;
  GetCtrlVal(mainpanel, MAIN_SampleRateRing, &rate);
  if (!(rate > 0.0)) rate = 1024.0;
  cus.srate = rate;
  const double q = rate / 1024.0;
  if (rcu.source == 2 && fs.nrec > 0 && fs.srate > 0.0) {
    // A recording's own rate is the base, lowered by decimating 2, 4 or 8 times; the ring
    // offers just those and shows the one analysed.
    OfferRates(rate);
    GetCtrlVal(mainpanel, MAIN_SampleRateRing, &rate);
    cus.srate = fs.srate;
    const long ratio = std::lround(fs.srate / rate);
    cus.thin = ratio == 2 || ratio == 4 || ratio == 8 ? static_cast<int>(ratio) : 1;
  } else if (q < 1.0) {
    cus.thin = static_cast<int>(1.0 / q);
    cus.srate = 1024.0;
  } else {
    cus.thin = 1;
  }

  sp.fmax = cus.srate / 2.56 / cus.thin;
  sp.df = sp.fmax / (cus.lines - 1);
  sp.dt = cus.thin / cus.srate;
  ShowDelay();
}

void Axis() {
  const int n = cus.frameLen;
  const int h = n / 2;
  for (int i = 0; i < cus.lines && i < kMaxLines; ++i) x_band[i] = i * sp.df;
  for (int i = 0; i < n; ++i) time_ch[i] = i * sp.dt;
  x_time[h] = 0.0;
  for (int k = 1; k <= h; ++k) {
    x_time[h + k] = k * sp.dt;
    x_time[h - k] = -k * sp.dt;
  }
}

// A new geometry makes the old averages meaningless: they are neither redrawn nor saved.
static void GeometryChanged() {
  if (start == 1) {
    SetZero();
  } else {
    sp.dataReady = 0;
  }
  ClearResults();
  CheckGeneratorBand();
}

VELTRA_CALLBACK(SetSampl) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  double rate = 0.0;
  GetCtrlVal(panel, control, &rate);
  if (rcu.source == 2) {
    if (rate > 1024.0 && !(fs.nrec > 0 && fs.srate > 0.0)) {
      // Without a recording playback has only the 1024 Hz base to decimate. Nothing changed: a
      // run restarts, stopped results stay valid.
      SetCtrlVal(panel, control, cus.srate / cus.thin);
      if (start == 1) SetZero();
      return 0;
    }
    SetParamAnalysis();
    SetParamAver();
  } else {
    SetParamAnalysis();
    ws.srate = cus.srate;
    SetCtrlAttribute(mainpanel, MAIN_PulseWidthField, ATTR_MAX_VALUE, cus.frameLen);
  }
  GeometryChanged();
  return 0;
}

// The FFT-size and overlap commits; playback re-derives its averaging for the new frames.
static int FrameCommit(int event) {
  if (event != EVENT_COMMIT) return 0;
  SetParamAnalysis();
  if (rcu.source == 2) SetParamAver();
  GeometryChanged();
  return 0;
}

VELTRA_CALLBACK(SetRankFFT) {
  (void)panel, (void)control, (void)callbackData, (void)eventData1, (void)eventData2;
  return FrameCommit(event);
}

VELTRA_CALLBACK(Overlap) {
  (void)panel, (void)control, (void)callbackData, (void)eventData1, (void)eventData2;
  return FrameCommit(event);
}

// ---------------------------------------------------------------------------------------------
// Start-up

void InitHard() {
  hs.fullscale = kFullScale;
  hs.mvpc = kMvPerCount;
  rcu.source = 1;
}

void InitTrigger() {
  RecallTrusted(trigpanel, kTriggerRoleCount, "triggfile");
  if (rcu.startmode == 2) Apply(TriggerSetup, trigpanel, TRIG_TriggerChannelField);
  Apply(TriggerSetup, trigpanel, TRIG_LevelField);
  Apply(TriggerSetup, trigpanel, TRIG_Level2Field);
  Apply(TriggerSetup, trigpanel, TRIG_SlopeRing);
  Apply(TriggerSetup, trigpanel, TRIG_PretrigField);
}

void InitStructures() {
  for (int w = 0; w < kWindows; ++w) {
    vs[w].workRe = rt + w * kResultHalf;
    vs[w].workIm = it + w * kResultHalf;
    vs[w].yData = resY + w * kResultHalf;
    vs[w].xData = resX + w * kResultHalf;
    vs[w].calib = &cch;
    vs[w].histParams = &pa;
  }
  cus.nchan = 2;
  cus.iirtype = 0;
  cus.iirorder = 14;
  cus.iirripple = 0.1;
  cus.iiratten = 100.0;
  for (int i = 0; i < kInputs; ++i) {
    cch.fsc[i] = kFullScale / 2 - 1;
    cch.upc[i] = 1.0 / hs.mvpc;
  }
  SetCtrlVal(mainpanel, MAIN_AverCountDisplay, 0);

  GetParamDKV5128OfFile();
  GetParamCalibrOfFile();
  // The input modes are known from the record before any switch that depends on them (AC/DC)
  // is applied.
  for (int i = 0; i < kInputs; ++i) hs.inmode[i] = cch.mode[i];

  RecallTrusted(mainpanel, kMainRoleCount, "veltrafile");
  // The count and readouts of the last session's run are no results of this one.
  SetCtrlVal(mainpanel, MAIN_AverCountDisplay, 0);
  for (int c : {MAIN_CursorReadout1, MAIN_TotalReadout1, MAIN_CursorReadout2, MAIN_TotalReadout2}) {
    SetCtrlVal(mainpanel, c, "");
  }
  InitRecorderControls();

  GetCtrlVal(mainpanel, MAIN_WindowRing, &cus.window);
  GetCtrlVal(mainpanel, MAIN_ChannelSwitchA, &rcu.onA);
  rcu.chanA = ChannelFromSwitch(MAIN_ChannelSwitchA);
  GetCtrlVal(mainpanel, MAIN_ChannelSwitchB, &rcu.onB);
  rcu.chanB = ChannelFromSwitch(MAIN_ChannelSwitchB);

  // Window selection: the pressed one of the three buttons (both windows when none is). It is
  // known before the measurement type re-selects the windows' functions.
  int sel1 = 0, sel2 = 0;
  GetCtrlVal(mainpanel, MAIN_WindowSel1, &sel1);
  GetCtrlVal(mainpanel, MAIN_WindowSel2, &sel2);
  const int selCtrl = sel1 ? MAIN_WindowSel1 : sel2 ? MAIN_WindowSel2 : MAIN_WindowSelBoth;
  rcu.winsel = sel1 ? 0 : sel2 ? 1 : 2;

  HideSelectCh();
  Apply(SetSampl, mainpanel, MAIN_SampleRateRing);
  Apply(SetRankFFT, mainpanel, MAIN_FftSizeRing);
  GetCtrlVal(mainpanel, MAIN_SourceRing, &rcu.source);
  GetCtrlVal(mainpanel, MAIN_AveragesField, &rcu.avgTarget);
  if (rcu.avgTarget < 1) rcu.avgTarget = 1;
  Apply(Overlap, mainpanel, MAIN_OverlapRing);

  // Every program start begins with the generator as source, whatever the saved state held.
  SetCtrlVal(mainpanel, MAIN_SourceRing, 1);
  Apply(RegimMeas, mainpanel, MAIN_SourceRing);

  // Dimming is never restored from the state file. What the measurement type leaves as it
  // was (type 3 changes nothing) starts as the spectral types have it: boxes on, bins off.
  SetCtrlAttribute(mainpanel, MAIN_LinearBox, ATTR_DIMMED, 0);
  SetCtrlAttribute(mainpanel, MAIN_ExponentialBox, ATTR_DIMMED, 0);
  SetCtrlAttribute(mainpanel, MAIN_BinsField, ATTR_DIMMED, 1);
  int linear = 1;
  GetCtrlVal(mainpanel, MAIN_LinearBox, &linear);
  Apply(SetupHard, mainpanel, linear ? MAIN_LinearBox : MAIN_ExponentialBox);

  sr.delaystep = 512;
  SetCtrlVal(mainpanel, MAIN_DelayField, 0);
  Apply(SetupRun, mainpanel, MAIN_DelayField);

  Apply(SetDiffIntegr, mainpanel, MAIN_DiffIntRingA);
  Apply(SetDiffIntegr, mainpanel, MAIN_DiffIntRingB);
  Apply(RingMeas, mainpanel, MAIN_MeasTypeRing);
  Apply(ColorA, mainpanel, MAIN_ColorSelect1);
  Apply(ColorB, mainpanel, MAIN_ColorSelect2);
  Apply(SetRank, mainpanel, MAIN_BinsField);
  pa.sigmas = 4;
  for (int c : {MAIN_MemoryToggle1, MAIN_EqualizeToggle1, MAIN_ShowMemoryToggle1,
                MAIN_MemoryToggle2, MAIN_EqualizeToggle2, MAIN_ShowMemoryToggle2}) {
    SetCtrlVal(mainpanel, c, 0);
  }
  for (int w = 0; w < kWindows; ++w) vs[w].memState = vs[w].memEqualize = vs[w].memShow = 0;
  Apply(SetRectif, mainpanel, MAIN_CoefFieldA);
  Apply(SetRectif, mainpanel, MAIN_CoefFieldB);
  Apply(SetAcDc, mainpanel, MAIN_AcDcSwitchA);
  Apply(SetAcDc, mainpanel, MAIN_AcDcSwitchB);

  SetCtrlVal(mainpanel, selCtrl, 1);
  Apply(SetFormatDisp, mainpanel, selCtrl);
  Apply(SetCursors1, mainpanel, MAIN_CursorModeRing1);
  Apply(SetCursors2, mainpanel, MAIN_CursorModeRing2);
  // The views the operator left on come back on; the rest are off.
  for (int control : {MAIN_PeakHoldToggle1, MAIN_PeakHoldToggle2})
    Apply(SetPeakHold, mainpanel, control);
  for (int control : {MAIN_SpectrogramToggle1, MAIN_SpectrogramToggle2})
    Apply(SetSpectrogram, mainpanel, control);
  for (int control : {MAIN_ConfidenceToggle1, MAIN_ConfidenceToggle2})
    Apply(SetConfidence, mainpanel, control);
}

void InitialStruct() {
  // File dialogs open in the working directory, where the settings files live too.
  if (proj_dir[0] == '\0' && getcwd(proj_dir, sizeof proj_dir) == nullptr) proj_dir[0] = '\0';
  sp.dataReady = 0;
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
  GetItemRate();
  GetRingY();
  GetRingX();
  ColorKnobCh();
  InitHard();
  InitTrigger();
  InitStructures();
  InitCalibration();
  InitStructWaver();
  DeleteGraphPlot(mainpanel, MAIN_Graph1, -1, VAL_IMMEDIATE_DRAW);
  DeleteGraphPlot(mainpanel, MAIN_Graph2, -1, VAL_IMMEDIATE_DRAW);
}
