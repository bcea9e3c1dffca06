// Run control and the measurement cycle.
#include "analyzer/menager.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "analyzer/generation.h"
#include "analyzer/initstruct.h"
#include "analyzer/live.h"
#include "analyzer/panels.h"
#include "analyzer/range_ch.h"
#include "analyzer/recorder_panel.h"
#include "analyzer/soundfile.h"
#include "analyzer/modules.h"
#include "analyzer/views.h"
#include "dsp/signals.h"
#include "ui/safefile.h"
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

double g_tickBudget = 0.0;
bool g_redrawDeferred = false;
int g_redrawNoted = -1;  // the widest redraw asked for while deferred (1 with cursors), or -1

}  // namespace

void SetTickBudget(double seconds) { g_tickBudget = seconds > 0.0 ? seconds : 0.0; }

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

void StopMeass() {
  SetCtrlVal(mainpanel, MAIN_StartButton, 0);
  TimerOff();
  LiveStop();
  start = 0;
  EndAutoRanging();
}

void StopAveraging() {
  StopMeass();
  RedrawWindows(0);
}

VELTRA_CALLBACK(StartStop) {
  (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  GetCtrlVal(panel, control, &start);
  if (start == 1) {
    SetZero();
  } else {
    if (sp.dataReady == 1) RedrawWindows(0);
    StopMeass();
  }
  return 0;
}

void CollectRunMode() {
  if (rcu.collect == 0) {
    if (rcu.startmode == 0) rcu.runmode = 0;
    else if (rcu.startmode == 2) rcu.runmode = 1;
  } else if (rcu.collect == 1) {
    if (rcu.startmode == 1) rcu.runmode = 2;
    else if (rcu.startmode == 2) rcu.runmode = 3 + rcu.levelmode;
  }
}

int Number_ChForTrigger() {
  if (rcu.chanA == rcu.trigchan) return 0;
  if (rcu.chanB == rcu.trigchan) return 1;
  return -1;
}

int SetStartMode() {
  const int n = cus.frameLen;
  if (rcu.runmode == 2 || rcu.runmode == 3) {
    fs.nread = fs.flen;
    dbuf.nframe = n;
    return fs.flen < n ? 0 : 1;
  }
  dbuf.nframe = n;
  fs.nread = n;
  return 1;
}

void AllocBuff() {
  const auto blk = static_cast<size_t>(dbuf.blk);
  half.assign(blk, 0);
  res.assign(blk, 0);
  wave.assign(blk, 0);
  tmp.assign(2 * (blk + static_cast<size_t>(rcu.carry)), 0);
  circlen = kCircSteps * dbuf.blk;
  circbuff.assign(static_cast<size_t>(circlen), 0);
}

void ZeroView() {
  // The measuring cursor stays where the operator put it: each drawing of the new run moves it
  // onto the new trace (or removes it when it no longer stands on one).
  for (int w = 0; w < kWindows; ++w) {
    vs[w].labXFrom = vs[w].labXTo = vs[w].labYFrom = vs[w].labYTo = 0.0;
  }
  sr.wpA = outf_ChA;
  sr.wpB = outf_ChB;
  const int n = cus.frameLen;
  for (double* a : {Gxx, Gyy, Rxy, Ixy, cha, chb}) Clear1D(a, n);
  for (double* a : {Rx, Ix, Ry, Iy}) Clear1D(a, 2 * n);
}

int SetZero() {
  TimerOff();
  if (rcu.onA == 0 && rcu.onB == 0) {
    StopMeass();
    MessagePopup("!?!", "Каналы для измерения не выбраны !!!");
    return 0;
  }
  // Only the generator needs its switch; playback runs with the (dimmed) switch as it is.
  if (rcu.source == 1 && gen_start == 0) {
    StopMeass();
    MessagePopup("!?!", "Генератор не включен !!!");
    return 0;
  }
  marc_g = 0;
  CollectRunMode();

  const int n = cus.frameLen;
  dbuf.mult = 1;
  dbuf.n = n;
  output = input = count = 0;
  if (rcu.runmode == 3) {
    SetCtrlAttribute(trigpanel, TRIG_PretrigField, ATTR_MAX_VALUE, n / 2);
    if (rcu.pretrig < 0) rcu.pretrig = 0;
    if (rcu.pretrig > n / 2) rcu.pretrig = n / 2;
  }
  // The trigger search holds only samples of this run: a lead-in of zeros would pass for
  // signal, and its step to the first sample for a crossing.
  rcu.carry = 0;
  rcu.hasbase = 0;
  dbuf.nm = dbuf.mult * n;
  dbuf.blk = dbuf.nm * cus.nchan;

  AllocBuff();
  ZeroView();
  ClearViews();
  sr.fill = 0;
  rcu.avgCount = 1;
  sp.dataReady = 0;

  WeightFunction(&cus);
  Axis();
  SetCtrlVal(mainpanel, MAIN_AverCountDisplay, rcu.avgCount);
  IIRFilterParam();
  SetSetupDelay();

  if (rcu.source == 2) {
    fs.pos = 0;
    if (SetStartMode() == 0) {
      MessagePopup("Внимание!!! ",
                   "Длительность кадра записи данных \nМЕНЬШЕ заданного для обработки размера БПФ!");
    }
    TimerOn();
    start = 1;
    return 1;
  }

  // The trigger input is matched against the channels as they are numbered now: renumbering a
  // channel after the input was typed may have made it valid, or invalid.
  if (rcu.runmode >= 1) {
    int typed = -1;
    GetCtrlVal(trigpanel, TRIG_TriggerChannelField, &typed);
    rcu.trigchan = rcu.startmode == 2 ? SortTriggCh(typed)
                   : typed == rcu.chanA || typed == rcu.chanB ? typed
                                                              : -1;
  }
  dbuf.trigidx = Number_ChForTrigger();
  // A level start needs its trigger channel as much as the conditional modes do.
  if (dbuf.trigidx == -1 && rcu.runmode >= 1) {
    StopMeass();
    MessagePopup("Внимание!!! ", "Неправильно выбран канал запуска!");
    return 0;
  }
  // The front-end input starts only with its capture device open.
  if (rcu.source == 0 && LiveStart() == 0) return 0;
  TimerOn();
  dbuf.nframe = 0;
  ok = 0;
  marc_trig = 0;
  start = 1;
  return 1;
}

// Reads the records of one step of the recording into the frame. The end of the recording or
// an unreadable file ends the run.
void DataOfFile() {
  const int n = cus.frameLen;
  const int nrec = fs.nrec;
  if (nrec < 1 || nrec > 9 || fs.nread < 1 || static_cast<int>(wave.size()) < 2 * n) {
    StopMeass();
    return;
  }
  if (IsSoundFileName(file_name)) {
    DataOfSoundFile();
    return;
  }
  // A pipe put in the recording's place would hold the program in fopen.
  std::FILE* f = OpenPlainFile(file_name);
  if (f == nullptr) {
    StopMeass();
    MessagePopup("Внимание !", "Файл записи не читается !");
    return;
  }
  // One read per step: the records are decoded from memory, only the two columns the channels use.
  static std::vector<unsigned char> bytes;
  const std::size_t recordBytes = 4u * static_cast<std::size_t>(nrec);
  const auto records = static_cast<std::size_t>(fs.nread);
  bytes.resize(records * recordBytes);
  const bool complete = std::fseek(f, fs.pos, SEEK_SET) == 0 &&
                        std::fread(bytes.data(), recordBytes, records, f) == records;
  const int colA = rcu.colA >= 0 && rcu.colA < nrec ? rcu.colA : 0;
  const int colB = rcu.colB >= 0 && rcu.colB < nrec ? rcu.colB : 0;
  const auto value = [&](int i, int k) {
    const unsigned char* b = bytes.data() + static_cast<std::size_t>(i) * recordBytes + 4u * k;
    const uint32_t u = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return static_cast<int32_t>(u);
  };
  if (complete) {
    const int kept = std::min({fs.nread, dbuf.nframe, n});
    for (int i = 0; i < kept; ++i) {
      wave[i] = rcu.onA ? value(i, colA) : 0;
      wave[n + i] = rcu.onB ? value(i, colB) : 0;
    }
    for (int k = 0; k < nrec; ++k) arry[k] = value(fs.nread - 1, k);  // the last record read
  }
  if (complete) fs.pos = std::ftell(f);
  std::fclose(f);
  if (complete) return;
  StopMeass();
  // Running out of a whole recording is the run's normal end; a file that has become shorter
  // than its header says since it was chosen is not, and the operator must know the run is cut.
  std::error_code ec;
  const auto size = std::filesystem::file_size(file_name, ec);
  if (ec || size / 4 < static_cast<unsigned long long>(fs.nrecs) * static_cast<unsigned>(nrec)) {
    MessagePopup("Внимание !", "Файл записи оборвался: измерение остановлено !");
  }
}

int SimulationData() {
  BufferArrySim();
  if (gen_start == 1) RecordGeneratorStep();
  for (int i = 0; i < dbuf.blk; ++i) circbuff[input + i] = half[i];
  count += 1;
  input += dbuf.blk;
  if (input >= circlen) input = 0;
  if (Collection() == 0) return 0;
  if (rcu.adaptpass == 2) {
    AutoAdaptation();
    ok = 0;
    return 0;
  }
  if (PreparationData() == 1) ok = 1;
  return ok;
}

int PreparationData() {
  if (FilterArry() == 0) return 0;
  DifIntegrTime();
  if (rcu.measType != 2) WeightCtrl();
  MesurementType();
  rcu.avgCount += 1;
  sp.dataReady = 1;
  // A counted run that the averaging step has ended takes no further frame from this step.
  while (start == 1 && sr.fill >= sr.need && sr.settle == 0) {
    if (DataFormer() == 0) break;
    DifIntegrTime();
    if (rcu.measType != 2) WeightCtrl();
    MesurementType();
    rcu.avgCount += 1;
  }
  SetCtrlVal(mainpanel, MAIN_AverCountDisplay, rcu.avgCount - 1);
  return 1;
}

VELTRA_CALLBACK(SetData) {
  (void)panel, (void)control, (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_TIMER_TICK) return 0;
  if (start != 1) return 0;
  if (rcu.source == 2) {
    const double until = Timer() + g_tickBudget;
    bool processed = false;
    do {
      DataOfFile();
      if (start != 1) break;
      if (PreparationData() != 0) processed = true;
    } while (start == 1 && Timer() < until);
    if (start == 1 && processed) RedrawWindows(1);
  } else if (rcu.source == 1) {
    SimulationData();
    if (start == 1 && ok == 1) {
      RedrawWindows(1);
      ok = 0;
    }
  } else if (rcu.source == 0) {
    LiveData();
  }
  return 0;
}

void RecoverSettingsFiles() { RecoverFileSet(kSettingsJournal, kSettingsFiles, 4); }

VELTRA_CALLBACK(Quit) {
  (void)panel, (void)control, (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  TimerOff();
  LiveStop();
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
    std::snprintf(text, sizeof text, "Настройки не сохранены: файл \"%s\" не записывается !", kSettingsFiles[i]);
    MessagePopup("Внимание !!!", text);
  }
  QuitUserInterface(0);
  return 0;
}

VELTRA_CALLBACK(Exit) {
  (void)panel, (void)control, (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  HidePanel(trigpanel);
  return 0;
}
