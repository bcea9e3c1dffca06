// Run control and the measurement cycle.
#include "analyzer/menager.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>

#include "analyzer/generation.h"
#include "analyzer/initstruct.h"
#include "analyzer/panels.h"
#include "analyzer/range_ch.h"
#include "analyzer/modules.h"
#include "dsp/signals.h"
#include "ui/userint.h"

namespace {

void TimerOff() { SetCtrlAttribute(mainpanel, MAIN_TimerTick, ATTR_ENABLED, 0); }

void TimerOn() {
  SetCtrlAttribute(mainpanel, MAIN_TimerTick, ATTR_INTERVAL, 0.05);
  SetCtrlAttribute(mainpanel, MAIN_TimerTick, ATTR_ENABLED, 1);
}

constexpr int kAutoRangeIdleTicks = 20;  // one second of 0.05 s ticks

bool ShowsWindow1() { return rcu.winsel == 0 || rcu.winsel == 2; }
bool ShowsWindow2() { return rcu.winsel == 1 || rcu.winsel == 2; }

}  // namespace

void RedrawWindows(int withCursor) {
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
    TimerOff();
    EndAutoRanging();
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
    rcu.carry = rcu.pretrig * cus.nchan;
  } else {
    rcu.carry = 0;
  }
  dbuf.nm = dbuf.mult * n;
  dbuf.blk = dbuf.nm * cus.nchan;

  AllocBuff();
  ZeroView();
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

  dbuf.trigidx = Number_ChForTrigger();
  // A level start needs its trigger channel as much as the conditional modes do.
  if (dbuf.trigidx == -1 && rcu.runmode >= 1) {
    StopMeass();
    MessagePopup("Внимание!!! ", "Неправильно выбран канал запуска!");
    return 0;
  }
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
  // A pipe put in the recording's place would hold the program in fopen.
  std::error_code ec;
  std::FILE* f = std::filesystem::is_regular_file(file_name, ec) ? std::fopen(file_name, "rb")
                                                                  : nullptr;
  if (f == nullptr) {
    StopMeass();
    MessagePopup("Внимание !", "Файл записи не читается !");
    return;
  }
  bool complete = std::fseek(f, fs.pos, SEEK_SET) == 0;
  unsigned char raw[9 * 4];
  const int colA = rcu.colA >= 0 && rcu.colA < nrec ? rcu.colA : 0;
  const int colB = rcu.colB >= 0 && rcu.colB < nrec ? rcu.colB : 0;
  for (int i = 0; complete && i < fs.nread; ++i) {
    if (std::fread(raw, 4, static_cast<size_t>(nrec), f) != static_cast<size_t>(nrec)) {
      complete = false;
      break;
    }
    for (int k = 0; k < nrec; ++k) {
      const uint32_t u = raw[4 * k] | (raw[4 * k + 1] << 8) | (raw[4 * k + 2] << 16) |
                         (static_cast<uint32_t>(raw[4 * k + 3]) << 24);
      arry[k] = static_cast<int32_t>(u);
    }
    if (i < dbuf.nframe && i < n) {
      wave[i] = rcu.onA ? arry[colA] : 0;
      wave[n + i] = rcu.onB ? arry[colB] : 0;
    }
  }
  if (complete) fs.pos = std::ftell(f);
  std::fclose(f);
  if (!complete) StopMeass();
}

int SimulationData() {
  BufferArrySim();
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
    DataOfFile();
    if (start != 1) return 0;
    if (PreparationData() == 0) return 0;
    if (start == 1) RedrawWindows(1);
  } else if (rcu.source == 1) {
    SimulationData();
    if (start == 1 && ok == 1) {
      RedrawWindows(1);
      ok = 0;
    }
  }
  // Auto-ranging measures the signal: a pass that gets no samples for a second (20 ticks) would
  // wait for ever, so it is stopped with a message. The generator and playback deliver samples
  // at every tick; the front-end input has no reader of its own here.
  static int idleTicks = 0;
  const bool delivered = rcu.source == 1 || rcu.source == 2;
  idleTicks = start == 1 && rcu.adaptpass == 2 && !delivered ? idleTicks + 1 : 0;
  if (idleTicks >= kAutoRangeIdleTicks) {
    idleTicks = 0;
    StopMeass();
    MessagePopup("Внимание !!!", "Автодиапазон: за секунду со входа не пришло данных. Подбор усилений остановлен.");
  }
  return 0;
}

VELTRA_CALLBACK(Quit) {
  (void)panel, (void)control, (void)callbackData, (void)eventData1, (void)eventData2;
  if (event != EVENT_COMMIT) return 0;
  TimerOff();
  DeleteGraphPlot(mainpanel, MAIN_Graph1, -1, VAL_IMMEDIATE_DRAW);
  DeleteGraphPlot(mainpanel, MAIN_Graph2, -1, VAL_IMMEDIATE_DRAW);
  SetCtrlVal(mainpanel, MAIN_CursorSyncToggle, 0);
  ShowChannelNumber(MAIN_ChannelSwitchA, rcu.chanA);
  ShowChannelNumber(MAIN_ChannelSwitchB, rcu.chanB);
  SetCtrlVal(mainpanel, MAIN_GeneratorSwitch, 0);
  SaveParamCalibr();
  SaveParamDKV5128();
  Close5128();
  for (auto [panel, file] : {std::pair{mainpanel, "veltrafile"}, std::pair{trigpanel, "triggfile"}}) {
    if (SavePanelState(panel, file, 0) < 0) {
      char text[128];
      std::snprintf(text, sizeof text, "Настройки не сохранены: файл \"%s\" не записывается !", file);
      MessagePopup("Внимание !!!", text);
    }
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
