// The recorder's and the sound-file controls of the main panel.
#include "analyzer/recorder_panel.h"

#include <strings.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "analyzer/initstruct.h"
#include "analyzer/menager_panel.h"
#include "analyzer/panels.h"
#include "analyzer/recorder.h"
#include "analyzer/save.h"
#include "analyzer/soundfile.h"
#include "analyzer/sources.h"
#include "ui/userint.h"

namespace {

struct Armed {
  bool on = false;
  bool started = false;
  std::string path;
  RecordingSetup setup{};
  int column[kRecordValues] = {};  // block column of each recorded column
  std::vector<int32_t> records;    // one step, recorded columns only
};
Armed g;

const char* WriteFailure(int error) {
  switch (error) {
    case ENOSPC: return "диск заполнен";
    case EDQUOT: return "исчерпана квота диска";
    case EIO: return "ошибка ввода-вывода";
    case EFBIG: return "файл стал слишком большим";
    default: return "ошибка записи на диск";
  }
}

void ShowBox(const char* text) { SetCtrlVal(mainpanel, MAIN_RecordFileBox, text); }

void ShowProgress(const RecorderStatus& s) {
  char text[kPathLen + 64];
  std::snprintf(text, sizeof text, "%s: %.1f с, %.1f МБ", g.path.c_str(), s.seconds,
                s.bytes / 1048576.0);
  ShowBox(text);
}

bool EndsWith(const char* path, const char* ext) {
  const size_t n = std::strlen(path), e = std::strlen(ext);
  return n >= e && strcasecmp(path + n - e, ext) == 0;
}

bool ConfirmReplace(const char* path) {
  return GetFileInfo(path, nullptr) != 1 ||
         ConfirmPopup("Внимание !!!", "Файл уже существует. Заменить его?") == VAL_YES;
}

void Disarm(const char* message) {
  StopRecording();
  if (message != nullptr) MessagePopup("Внимание !", message);
}

// Starts the recording at the first step: its rate, inputs and their calibration now.
bool Begin(int nchan, const int* inputs) {
  RecordingSetup& s = g.setup;
  s = RecordingSetup{};
  s.srate = cus.srate;
  s.runmode = rcu.runmode;
  s.flen = cus.frameLen;
  for (int c = 0; c < nchan && s.nrec < kRecordValues; ++c) {
    const int n = inputs[c];
    if (n < 0 || n >= kInputs) continue;
    bool seen = false;
    for (int k = 0; k < s.nrec; ++k) seen = seen || s.input[k] == n;
    if (seen) continue;
    const int k = s.nrec++;
    s.input[k] = n;
    g.column[k] = c;
    s.sen[k] = cch.sen[n];
    s.upc[k] = cch.upc[n];
    s.lo[k] = cch.lo[n];
    std::snprintf(s.dim[k], sizeof s.dim[k], "%s", cch.dim[n]);
  }
  const int e = s.nrec > 0 ? RecorderStart(g.path.c_str(), s) : EINVAL;
  if (e != 0) {
    std::string text = "Запись не начата: файл \"" + g.path + "\" не создаётся";
    text += e == ENOSPC   ? " (диск заполнен)."
            : e == EISDIR ? " (под этим именем не обычный файл)."
                          : ".";
    Disarm(text.c_str());
    return false;
  }
  g.started = true;
  return true;
}

bool SameSource(int nchan, const int* inputs) {
  if (cus.srate != g.setup.srate) return false;
  for (int k = 0; k < g.setup.nrec; ++k) {
    if (g.column[k] >= nchan || inputs[g.column[k]] != g.setup.input[k]) return false;
  }
  return true;
}

}  // namespace

void RecordStep(const int* block, int frames, int nchan, const int* inputs, int shift) {
  if (!g.on || block == nullptr || frames <= 0 || nchan <= 0) return;
  if (!g.started && !Begin(nchan, inputs)) return;
  if (!SameSource(nchan, inputs)) {
    Disarm("Запись остановлена: изменились частота опроса или входы.");
    return;
  }
  const int nrec = g.setup.nrec;
  g.records.resize(static_cast<size_t>(frames) * nrec);
  for (int i = 0; i < frames; ++i) {
    for (int k = 0; k < nrec; ++k) {
      g.records[i * nrec + k] = block[i * nchan + g.column[k]] >> shift;
    }
  }
  if (!RecorderPush(g.records.data(), frames)) {
    StopRecording();
    return;
  }
  ShowProgress(RecorderPoll());
}

void RecordGeneratorStep() {
  if (!g.on || static_cast<int>(half.size()) < 2 * dbuf.nm) return;
  // A channel switched off carries no input: no column of zeros is labelled as one.
  const int inputs[2] = {rcu.onA ? rcu.chanA : -1, rcu.onB ? rcu.chanB : -1};
  RecordStep(half.data(), dbuf.nm, 2, inputs, 7);
}

void StopRecording() {
  if (!g.on) return;
  g.on = false;
  SetCtrlVal(mainpanel, MAIN_RecordButton, 0);
  if (!g.started) {
    ShowBox("");
    return;
  }
  g.started = false;
  const RecorderStatus s = RecorderStop();
  if (s.records == 0 && s.error == 0) {
    // Nothing was recorded: no empty recording is left under the chosen name.
    char inf[kPathLen + 8];
    InfPathFor(g.path.c_str(), inf, sizeof inf);
    std::remove(g.path.c_str());
    std::remove(inf);
    ShowBox("Запись пуста: файлы не оставлены");
    return;
  }
  ShowProgress(s);
  if (s.error != 0 || s.overrun || s.limit) {
    char text[kPathLen + 256];
    std::snprintf(text, sizeof text, "Запись остановлена: %s. В файле \"%s\" сохранено %.1f с.",
                  s.error != 0 ? WriteFailure(s.error)
                  : s.limit    ? "запись достигла наибольшей длины формата (2^31 значений)"
                               : "диск не успевает за потоком данных",
                  g.path.c_str(), s.seconds);
    MessagePopup("Внимание !", text);
  }
}

void EndRecordingAtGap() {
  if (!g.on || !g.started) return;
  Disarm("Запись остановлена: устройство потеряло отсчёты; записанное до потери сохранено.");
}

void InitRecorderControls() {
  SetCtrlVal(mainpanel, MAIN_RecordButton, 0);
  ShowBox("");
  Commit(SetFullScale, mainpanel, MAIN_FullScaleField);
}

VELTRA_COMMIT(RecordCtrl) {
  int on = 0;
  GetCtrlVal(panel, control, &on);
  if (on == 0) {
    StopRecording();
    return 0;
  }
  if (g.on) return 0;
  if (Source().recorded) {
    SetCtrlVal(panel, control, 0);
    MessagePopup("Внимание !", "Записать можно сигнал генератора или входа, не воспроизведение.");
    return 0;
  }
  char path[kPathLen] = "";
  const int chosen = FileSelectPopup(proj_dir, "*.dat", "*.dat", "Файл записи", VAL_SAVE_BUTTON, 0,
                                     0, 1, 1, path, sizeof path);
  if (chosen <= 0 || path[0] == '\0') {
    SetCtrlVal(panel, control, 0);
    return 0;
  }
  char inf[kPathLen + 8];
  InfPathFor(path, inf, sizeof inf);
  // The data under a name ending in "inf" would be their own header; a sound file is made by
  // exporting a recording.
  const char* refused = nullptr;
  if (EndsWith(path, "inf")) refused = "Имя файла записи не может оканчиваться на \"inf\" !";
  if (IsSoundFileName(path)) {
    refused = "Запись ведётся в формате .dat; WAV и FLAC — экспортом записи.";
  }
  if (refused != nullptr) {
    SetCtrlVal(panel, control, 0);
    MessagePopup("Внимание !", refused);
    return 0;
  }
  if (!ConfirmReplace(path) || !ConfirmReplace(inf)) {
    SetCtrlVal(panel, control, 0);
    return 0;
  }
  g = Armed{};
  g.on = true;
  g.path = path;
  std::string text = g.path + ": ждёт данных (ПУСК)";
  ShowBox(text.c_str());
  return 0;
}

VELTRA_COMMIT(ExportRecord) {
  if (!Source().recorded || fs.nrec < 1) {
    MessagePopup("Внимание !", "Сначала выберите запись (Источник: «Файл записи»).");
    return 0;
  }
  char path[kPathLen] = "";
  const int chosen =
      FileSelectPopup(proj_dir, "*.wav", "WAV (*.wav)|FLAC (*.flac)", "Экспорт записи",
                      VAL_SAVE_BUTTON, 0, 0, 1, 1, path, sizeof path);
  if (chosen <= 0 || path[0] == '\0') return 0;
  if (std::strcmp(path, file_name) == 0) {
    MessagePopup("Внимание !", "Запись нельзя экспортировать в её же файл.");
    return 0;
  }
  if (!ConfirmReplace(path)) return 0;
  long long clipped = 0;
  if (const char* why = ExportRecording(path, &clipped)) {
    MessagePopup("Внимание !", (std::string("Экспорт не выполнен: ") + why + ".").c_str());
    return 0;
  }
  if (clipped > 0) {
    const std::string text = "Экспорт выполнен, но " + std::to_string(clipped) +
                             " отсчётов вне шкалы 24-разрядного преобразователя ограничены.";
    MessagePopup("Внимание !", text.c_str());
  }
  return 0;
}

VELTRA_COMMIT(SetFullScale) {
  double v = 0.0;
  GetCtrlVal(panel, control, &v);
  soundFullScale = std::isfinite(v) && v > 0.0 ? v : 0.0;
  if (start == 1 && Source().recorded) SetZero();
  return 0;
}
