// Run control and the measurement cycle: start checks and per-run set-up, the step of each source
// from its data to the averages, and stop.
#include "analyzer/menager.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "analyzer/collection.h"
#include "analyzer/cultivate1.h"
#include "analyzer/file_ctrl_rec.h"
#include "analyzer/generation.h"
#include "analyzer/iirfilter.h"
#include "analyzer/model.h"
#include "analyzer/notify.h"
#include "analyzer/setters.h"
#include "analyzer/soundfile.h"
#include "analyzer/sources.h"
#include "analyzer/views.h"
#include "dsp/signals.h"
#include "safefile/safefile.h"

namespace {

double g_tickBudget = 0.0;

}  // namespace

void SetTickBudget(double seconds) { g_tickBudget = seconds > 0.0 ? seconds : 0.0; }

void StopMeass() {
  start = 0;
  StopSources();
  NotifyRunStopped();
}

void StopAveraging() {
  StopMeass();
  NotifyResults(0);
}

void CollectRunMode() {
  if (rcu.collect == 0) {
    if (rcu.startmode == 0)
      rcu.runmode = 0;
    else if (rcu.startmode == 2)
      rcu.runmode = 1;
  } else if (rcu.collect == 1) {
    if (rcu.startmode == 1)
      rcu.runmode = 2;
    else if (rcu.startmode == 2)
      rcu.runmode = 3 + rcu.levelmode;
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

int TriggerInputOf(int inputNo) {
  return inputNo == rcu.chanA || inputNo == rcu.chanB ? inputNo : -1;
}

int SetZero() {
  if (rcu.onA == 0 && rcu.onB == 0) {
    StopMeass();
    NotifyMessage("!?!", "Каналы для измерения не выбраны !!!");
    return 0;
  }
  // Only the generator needs its switch; playback runs with the (dimmed) switch as it is.
  if (Source().generated && gen_start == 0) {
    StopMeass();
    NotifyMessage("!?!", "Генератор не включен !!!");
    return 0;
  }
  marc_g = 0;
  CollectRunMode();

  const int n = cus.frameLen;
  dbuf.mult = 1;
  dbuf.n = n;
  output = input = count = 0;
  if (rcu.runmode == 3) {
    rcu.pretrig = std::clamp(rcu.pretrig, 0, n / 2);
    NotifySetting(kChangedPretrig);
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
  NotifyCount(rcu.avgCount);
  IIRFilterParam();
  SetSetupDelay();

  if (!Source().recorded) {
    // The trigger input is matched against the channels as they are numbered now: renumbering
    // a channel after the input was chosen may have made it valid, or invalid.
    if (rcu.runmode >= 1) {
      rcu.trigchan = TriggerInputOf(rcu.triginput);
      NotifySetting(kChangedChannels);
    }
    dbuf.trigidx = Number_ChForTrigger();
    // A level start needs its trigger channel as much as the conditional modes do.
    if (dbuf.trigidx == -1 && rcu.runmode >= 1) {
      StopMeass();
      NotifyMessage("Внимание!!! ", "Неправильно выбран канал запуска!");
      return 0;
    }
  }
  if (Source().start() == 0) return 0;
  if (!Source().recorded) {
    dbuf.nframe = 0;
    ok = 0;
    marc_trig = 0;
  }
  start = 1;
  NotifyRunStarted();
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
    NotifyMessage("Внимание !", "Файл записи не читается !");
    return;
  }
  // One read per step: the records are decoded from memory, only the two columns the channels use.
  static std::vector<unsigned char> bytes;
  const std::size_t recordBytes = 4u * static_cast<std::size_t>(nrec);
  const auto recordCount = static_cast<std::size_t>(fs.nread);
  bytes.resize(recordCount * recordBytes);
  const bool complete = std::fseek(f, fs.pos, SEEK_SET) == 0 &&
                        std::fread(bytes.data(), recordBytes, recordCount, f) == recordCount;
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
    NotifyMessage("Внимание !", "Файл записи оборвался: измерение остановлено !");
  }
}

int SimulationData() {
  BufferArrySim();
  if (gen_start == 1 && static_cast<int>(half.size()) >= 2 * dbuf.nm) {
    // The recorder takes the counts the converter would give: the generator's 7 guard bits off.
    const int inputs[2] = {rcu.onA ? rcu.chanA : -1, rcu.onB ? rcu.chanB : -1};
    NotifyRawStep(half.data(), dbuf.nm, 2, inputs, 7);
  }
  for (int i = 0; i < dbuf.blk; ++i) circbuff[input + i] = half[i];
  count += 1;
  input += dbuf.blk;
  if (input >= circlen) input = 0;
  if (Collection() == 0) return 0;
  if (rcu.adaptpass == 2) {
    NotifyAutoRangeStep();
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
  if (MesurementType()) StopAveraging();
  rcu.avgCount += 1;
  sp.dataReady = 1;
  // A counted run that the averaging step has ended takes no further frame from this step.
  while (start == 1 && sr.fill >= sr.need && sr.settle == 0) {
    if (DataFormer() == 0) break;
    DifIntegrTime();
    if (rcu.measType != 2) WeightCtrl();
    if (MesurementType()) StopAveraging();
    rcu.avgCount += 1;
  }
  NotifyCount(rcu.avgCount - 1);
  return 1;
}

// ---------------------------------------------------------------------------------------------
// The steps of the generator and of playback

int StartGenerator() { return 1; }

int GeneratorStep() {
  SimulationData();
  if (start == 1 && ok == 1) {
    ok = 0;
    return 1;
  }
  return 0;
}

int StartPlayback() {
  fs.pos = 0;
  if (SetStartMode() == 0) {
    NotifyMessage("Внимание!!! ",
                  "Длительность кадра записи данных \nМЕНЬШЕ заданного для обработки размера БПФ!");
  }
  return 1;
}

int PlaybackStep() {
  const double until = RunClock() + g_tickBudget;
  bool processed = false;
  do {
    DataOfFile();
    if (start != 1) break;
    if (PreparationData() != 0) processed = true;
  } while (start == 1 && RunClock() < until);
  return start == 1 && processed ? 1 : 0;
}
