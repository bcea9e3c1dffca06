// The measurement's roles without panels: the panels' item texts, limits and defaults, and one
// setter per role.
#include "analyzer/roles.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include <strings.h>

#include "analyzer/calibration.h"
#include "analyzer/collection.h"
#include "analyzer/cultivate1.h"
#include "analyzer/file_ctrl_rec.h"
#include "analyzer/generation.h"
#include "analyzer/iirfilter.h"
#include "analyzer/menager.h"
#include "analyzer/model.h"
#include "analyzer/notify.h"
#include "analyzer/numtext.h"
#include "analyzer/setters.h"
#include "analyzer/sources.h"
#include "analyzer/view1.h"
#include "analyzer/view1_internal.h"

namespace {

// ---- item texts, in the order of the panels' rings

const char* const kMeasTexts[] = {"Спектры", "Синхронное накопление", "Статистика",
                                  "Спектры и отклики"};
const char* const kCollectTexts[] = {"Непрерывный", "По условию"};
const char* const kStartTexts[] = {"Свободный", "Внешний", "По уровню"};
// The ring texts a table of the core holds, gathered in ring order.
template <int N>
struct TableTexts {
  const char* text[N];
  template <typename Row>
  explicit TableTexts(const Row* rows) {
    for (int i = 0; i < N; ++i) text[i] = rows[i].text;
  }
};
const TableTexts<kSourceCount> kSourceTexts(kSources);
const TableTexts<kWindowTypes> kWindowTexts(kDataWindows);
const char* const kOverlapTexts[] = {"0", "25 %", "50 %", "75 %", "87.5 %"};
const char* const kDiffIntTexts[] = {"Дифф. двойное", "Дифф.", "Нет", "Интегр.", "Интегр. двойное"};
const char* const kWaveTexts[] = {"Синус", "Гауссов шум", "Равномерный шум", "Случайный телеграф",
                                  "Одиночный импульс"};
const TableTexts<kFunctions> kFunctionTexts(cf);
const char* const kFormatTexts[kFormats] = {"Действ. часть", "Мнимая часть", "Модуль",
                                            "Фаза",          "Найквист",     "Николс"};
const char* const kYUnitTexts[kUnitOptions] = {"Отн.", "СКЗ",   "Мощн.",  "Пл.мощн.",
                                               "дБ",   "Град.", "Пл.вер."};
const char* const kXUnitTexts[kUnitOptions] = {"Отн.",     "Ампл.",   "Гц",   "Октавы",
                                               "1/3 окт.", "Время,с", "Град."};
const char* const kDbRangeTexts[] = {"Авто", "20", "40", "60", "80", "100", "120", "160"};
const double kDbRangeValues[] = {0, 20, 40, 60, 80, 100, 120, 160};
const char* const kIntegrationTexts[] = {"Нет", "Однократное", "Двукратное"};
const char* const kCursorTexts[kCursorModes] = {"Отсчёт",     "Гармоники", "Бок. полосы",
                                                "Бок. сумма", "Резерв 1",  "Резерв 2"};
const char* const kLevelModeTexts[] = {"Старт по уровню",    "Ниже уровня",
                                       "Выше уровня",        "Регион",
                                       "Верхний гистерезис", "Нижний гистерезис"};

template <int N>
constexpr int Count(const char* const (&)[N]) {
  return N;
}

std::deque<std::string> g_fileAnswers;

// ---- values as the controls take them

bool Number(const char* text, double* v) { return ParseDecimal(text, v) && std::isfinite(*v); }

bool Whole(const char* text, long lo, long hi, int* out) {
  double v = 0.0;
  if (!Number(text, &v) || v != std::trunc(v) || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

bool Real(const char* text, double lo, double hi, double* out) {
  double v = 0.0;
  if (!Number(text, &v) || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool Switch(const char* text, int* on) { return Whole(text, 0, 1, on); }

bool SameValue(double a, double b) {
  return std::fabs(a - b) <= 1e-9 * std::max(1.0, std::max(std::fabs(a), std::fabs(b)));
}

// An offered item of a ring by its value or, failing that, its text; -1 when none.
template <typename Offered>
int Pick(const char* text, const char* const* labels, const double* values, int n,
         Offered offered) {
  double v = 0.0;
  const bool isNum = Number(text, &v);
  std::string t = text;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  while (!t.empty() && t.front() == ' ') t.erase(t.begin());
  for (int i = 0; isNum && i < n; ++i) {
    if (offered(i) && SameValue(values ? values[i] : i, v)) return i;
  }
  for (int i = 0; i < n; ++i) {
    if (offered(i) && t == labels[i]) return i;
  }
  return -1;
}

template <int N, typename Offered>
int PickItem(const char* text, const char* const (&labels)[N], Offered offered,
             const double* values = nullptr) {
  return Pick(text, labels, values, N, offered);
}

auto Any = [](int) { return true; };

std::string NumberText(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// What a ring shows read back: its number when the item's text is one, else the text.
std::string ItemText(const char* label, double value) {
  double shown = 0.0;
  return ParseDecimal(label, &shown) ? NumberText(value) : std::string(label);
}

int Meas() { return rcu.measType >= 0 && rcu.measType < 4 ? rcu.measType : 0; }
bool GeneratorControls() { return !Source().recorded; }
bool FormatsOffered(int w) {
  const int f = vs[w].function;
  return ValidFunction(f) && cf[f].hasFormats == 1;
}
bool SpectrumShown(int w) {
  return ValidFunction(vs[w].function) && cf[vs[w].function].integration;
}

// Results of window w follow a change of what it shows, when there are results.
int Reevaluate(int w, int taken) {
  if (taken && sp.dataReady == 1) EvaluateResult(w);
  return taken;
}

// ---- the roles

int SetMeasRole(const char* t) {
  const int i = PickItem(t, kMeasTexts, Any);
  return i >= 0 ? SetMeasType(i) : 0;
}

int SetSourceRole(const char* t) {
  const int i = PickItem(t, kSourceTexts.text, Any);
  if (i < 0 || SetSource(i) == 0) return 0;
  if (!Source().recorded) return 1;
  if (g_fileAnswers.empty()) {
    NotifyMessage("Открыть запись", "файл не задан (--file), выбор отменён");
    return 1;
  }
  SetRecordingName(g_fileAnswers.front().c_str());
  g_fileAnswers.pop_front();
  LoadRecording();
  return 1;
}

int SetAveragesRole(const char* t) {
  int n = 0;
  return Whole(t, 1, 1000000, &n) ? SetAverages(n) : 0;
}

int SetLinearRole(const char* t) {
  int on = 0;
  if (Meas() == 2 || !Switch(t, &on)) return 0;
  return SetExpAver(!on);
}

int SetExponentialRole(const char* t) {
  int on = 0;
  if (Meas() == 2 || !ExpAverOffered() || !Switch(t, &on)) return 0;
  return SetExpAver(on);
}

int SetCollectRole(const char* t) {
  const int i = PickItem(t, kCollectTexts, [](int k) { return ringcollect[Meas()][k] != 0; });
  return i >= 0 ? SetCollect(i) : 0;
}

int SetStartRole(const char* t) {
  const int c = rcu.collect == 1 ? 1 : 0;
  const int i = PickItem(t, kStartTexts, [c](int k) { return ringrun[Meas()][c][k] != 0; });
  return i >= 0 ? SetStartChoice(i) : 0;
}

int SetRateRole(const char* t) {
  double offered[kGeneratorRates];
  const int n = OfferedRates(offered);
  char labels[kGeneratorRates][32];
  const char* texts[kGeneratorRates];
  for (int i = 0; i < n; ++i) {
    RateLabel(offered[i], labels[i], sizeof labels[i]);
    texts[i] = labels[i];
  }
  const int i = Pick(t, texts, offered, n, Any);
  if (i < 0) return 0;
  // A rate the source cannot give leaves everything as it was; the ring offered it all the same.
  SetSampleRate(offered[i]);
  return 1;
}

int SetFftRole(const char* t) {
  static const char* const texts[kFrameLengths] = {"1024", "2048", "4096", "8192"};
  double values[kFrameLengths];
  for (int i = 0; i < kFrameLengths; ++i) values[i] = rankval[i];
  const int i = Pick(t, texts, values, kFrameLengths, Any);
  return i >= 0 ? SetFrameLength(rankval[i]) : 0;
}

int SetOverlapRole(const char* t) {
  if (rcu.collect == 1 || rcu.startmode != 0) return 0;
  const int i = PickItem(t, kOverlapTexts, Any, overval);
  return i >= 0 ? SetOverlap(overval[i]) : 0;
}

int SetWindowRole(const char* t) {
  const int i = PickItem(t, kWindowTexts.text, [](int k) { return WindowOffered(Meas(), k); });
  return i >= 0 ? SetWindowType(i) : 0;
}

int SetBinsRole(const char* t) {
  int n = 0;
  return Meas() == 2 && Whole(t, 4, 1024, &n) ? SetBins(n) : 0;
}

int SetDelayRole(const char* t) {
  int n = 0;
  return Whole(t, -kStreamLen, kStreamLen, &n) ? SetDelay(n) : 0;
}

template <int K>
int SetChannelRole(const char* t) {
  int on = 0;
  return Switch(t, &on) ? SetChannelOn(K, on) : 0;
}

template <int K>
int PressChannel() {
  return SetChannelOn(K, (ChannelOn(K)) ? 0 : 1);
}

template <int K>
int SetDiffIntRole(const char* t) {
  const int i = PickItem(t, kDiffIntTexts, Any);
  return i >= 0 ? SetDiffInt(K, i) : 0;
}

int SetWaveRole(const char* t) {
  const int i = PickItem(t, kWaveTexts, Any);
  return i >= 0 && GeneratorControls() ? SetWaveform(i) : 0;
}

// The generator's fields each waveform uses; the others are dimmed (the second frequency always).
bool AmplitudeUsed() { return GeneratorControls() && ws.form != 3; }

int SetAmplitudeRole(const char* t) {
  double mv = 0.0;
  return AmplitudeUsed() && Real(t, 0.0, kMaxAmplitudeMv, &mv) ? SetAmplitude(mv) : 0;
}

int SetFreq1Role(const char* t) {
  double hz = 0.0;
  return GeneratorControls() && ws.form == 0 && Real(t, 0.0, 32768.0, &hz) ? SetFrequency1(hz) : 0;
}

int SetFreq2Role(const char*) { return 0; }

int SetPulseRole(const char* t) {
  int n = 0;
  return GeneratorControls() && ws.form == 4 && Whole(t, 1, cus.frameLen, &n) ? SetPulseWidth(n)
                                                                              : 0;
}

int SetGeneratorRole(const char* t) {
  int on = 0;
  return GeneratorControls() && Switch(t, &on) ? SetGenerator(on) : 0;
}

int PressGenerator() { return GeneratorControls() ? SetGenerator(!gen_start) : 0; }

template <int W>
int SetFunctionRole(const char* t) {
  const int i = PickItem(t, kFunctionTexts.text, [](int k) { return FunctionOffered(Meas(), k); });
  const int taken = i >= 0 ? SetFunction(W, i) : 0;
  // A liftered spectrum put its cepstrum in the other window first.
  if (taken && (i == kFnLiftSpecA || i == kFnLiftSpecB)) Reevaluate(1 - W, 1);
  return Reevaluate(W, taken);
}

template <int W>
int SetFormatRole(const char* t) {
  if (!FormatsOffered(W)) return 0;
  const int fn = vs[W].function;
  const int i = PickItem(t, kFormatTexts, [fn](int k) { return cf[fn].yUnits[k] != nullptr; });
  return Reevaluate(W, i >= 0 ? SetWindowFormat(W, i) : 0);
}

template <int W>
int SetYUnitRole(const char* t) {
  const int* row = OfferedYUnits(W);
  const int i = PickItem(t, kYUnitTexts, [row](int k) { return row && row[k]; });
  return Reevaluate(W, i >= 0 ? SetYUnit(W, i) : 0);
}

template <int W>
int SetXUnitRole(const char* t) {
  const int* row = OfferedXUnits(W);
  const int i = PickItem(t, kXUnitTexts, [row](int k) { return row && row[k]; });
  return Reevaluate(W, i >= 0 ? SetXUnit(W, i) : 0);
}

template <int W>
int SetDbRangeRole(const char* t) {
  const int i = PickItem(t, kDbRangeTexts, Any, kDbRangeValues);
  return Reevaluate(W, i >= 0 ? SetDbRange(W, static_cast<int>(kDbRangeValues[i])) : 0);
}

template <int W>
int SetDbTopRole(const char* t) {
  double db = 0.0;
  return Reevaluate(W, Real(t, -300.0, 300.0, &db) ? SetDbTop(W, db) : 0);
}

template <int W>
int SetIntegrationRole(const char* t) {
  const int i = PickItem(t, kIntegrationTexts, Any);
  return Reevaluate(W, i >= 0 && SpectrumShown(W) ? SetIntegration(W, i) : 0);
}

// The window selection buttons: the windows shown take their functions afresh.
template <int S>
int PressWindowSel() {
  rcu.winsel = S;
  for (int w = 0; w < kWindows; ++w) Reevaluate(w, SetFunction(w, vs[w].function));
  return 1;
}

template <int N>
int PressInput() {
  return AssignInput(N);
}

int PressStart() {
  if (start == 1) {
    StopMeass();
    return 1;
  }
  SetZero();
  return 1;
}

// ---- read back

template <int N>
std::string ItemOf(const char* const (&labels)[N], int i, const double* values = nullptr) {
  if (i < 0 || i >= N) return "";
  return ItemText(labels[i], values ? values[i] : i);
}

std::string GetMeas() { return ItemOf(kMeasTexts, rcu.measType); }
std::string GetSource() { return ItemOf(kSourceTexts.text, rcu.source); }
std::string GetAverages() { return NumberText(rcu.avgTarget); }
std::string GetLinear() { return NumberText(1 - rcu.expAver); }
std::string GetExponential() { return NumberText(rcu.expAver); }
std::string GetCollect() { return ItemOf(kCollectTexts, rcu.collect); }
std::string GetStart() { return ItemOf(kStartTexts, rcu.startmode); }
std::string GetRate() {
  char label[32];
  RateLabel(cus.rate, label, sizeof label);
  return label;
}
std::string GetFft() { return NumberText(cus.frameLen); }
std::string GetOverlap() {
  for (int i = 0; i < kOverlaps; ++i)
    if (overval[i] == cus.overlap) return ItemOf(kOverlapTexts, i, overval);
  return "";
}
std::string GetWindow() { return ItemOf(kWindowTexts.text, cus.window); }
std::string GetBins() { return NumberText(pa.bins); }
std::string GetDelay() { return NumberText(sr.delay); }
std::string GetDelayText() {
  char text[64];
  DelayText(text, sizeof text);
  return text;
}
template <int K>
std::string GetChannel() {
  return NumberText(ChannelOn(K));
}
template <int K>
std::string GetDiffInt() {
  return ItemOf(kDiffIntTexts, ChannelDiffInt(K));
}
std::string GetWave() { return ItemOf(kWaveTexts, ws.form); }
std::string GetAmplitude() { return NumberText(ws.amp * ws.mvpc); }
std::string GetFreq1() { return NumberText(ws.f1); }
std::string GetFreq2() { return NumberText(ws.f2); }
std::string GetPulse() { return NumberText(ws.width); }
std::string GetGenerator() { return NumberText(gen_start); }
template <int W>
std::string GetFunction() {
  return ItemOf(kFunctionTexts.text, vs[W].function);
}
template <int W>
std::string GetFormat() {
  return ItemOf(kFormatTexts, vs[W].formatChoice);
}
template <int W>
std::string GetYUnit() {
  return ItemOf(kYUnitTexts, vs[W].yUnit);
}
template <int W>
std::string GetXUnit() {
  return ItemOf(kXUnitTexts, vs[W].xUnit);
}
template <int W>
std::string GetDbRange() {
  for (int i = 0; i < Count(kDbRangeTexts); ++i)
    if (kDbRangeValues[i] == vs[W].dbRange) return ItemOf(kDbRangeTexts, i, kDbRangeValues);
  return "";
}
template <int W>
std::string GetDbTop() {
  return NumberText(vs[W].dbTop);
}
template <int W>
std::string GetIntegration() {
  return ItemOf(kIntegrationTexts, vs[W].integration);
}
template <int W>
std::string GetTotal() {
  char text[256];
  TotText(W, text, sizeof text);
  return text;
}
std::string GetCount() { return NumberText(rcu.avgCount > 0 ? rcu.avgCount - 1 : 0); }
std::string GetFile() { return file_name; }

const MeasureRole kRoles[] = {
    {"MeasTypeRing", SetMeasRole, nullptr, GetMeas},
    {"SourceRing", SetSourceRole, nullptr, GetSource},
    {"AveragesField", SetAveragesRole, nullptr, GetAverages},
    {"LinearBox", SetLinearRole, nullptr, GetLinear},
    {"ExponentialBox", SetExponentialRole, nullptr, GetExponential},
    {"CollectRing", SetCollectRole, nullptr, GetCollect},
    {"StartRing", SetStartRole, nullptr, GetStart},
    {"SampleRateRing", SetRateRole, nullptr, GetRate},
    {"FftSizeRing", SetFftRole, nullptr, GetFft},
    {"OverlapRing", SetOverlapRole, nullptr, GetOverlap},
    {"WindowRing", SetWindowRole, nullptr, GetWindow},
    {"BinsField", SetBinsRole, nullptr, GetBins},
    {"DelayField", SetDelayRole, nullptr, GetDelay},
    {"DelayReadout", nullptr, nullptr, GetDelayText},
    {"ChannelSwitchA", SetChannelRole<0>, PressChannel<0>, GetChannel<0>},
    {"ChannelSwitchB", SetChannelRole<1>, PressChannel<1>, GetChannel<1>},
    {"DiffIntRingA", SetDiffIntRole<0>, nullptr, GetDiffInt<0>},
    {"DiffIntRingB", SetDiffIntRole<1>, nullptr, GetDiffInt<1>},
    {"WaveformRing", SetWaveRole, nullptr, GetWave},
    {"AmplitudeField", SetAmplitudeRole, nullptr, GetAmplitude},
    {"Freq1Field", SetFreq1Role, nullptr, GetFreq1},
    {"Freq2Field", SetFreq2Role, nullptr, GetFreq2},
    {"PulseWidthField", SetPulseRole, nullptr, GetPulse},
    {"GeneratorSwitch", SetGeneratorRole, PressGenerator, GetGenerator},
    {"FunctionRing1", SetFunctionRole<0>, nullptr, GetFunction<0>},
    {"FunctionRing2", SetFunctionRole<1>, nullptr, GetFunction<1>},
    {"FormatRing1", SetFormatRole<0>, nullptr, GetFormat<0>},
    {"FormatRing2", SetFormatRole<1>, nullptr, GetFormat<1>},
    {"YUnitRing1", SetYUnitRole<0>, nullptr, GetYUnit<0>},
    {"YUnitRing2", SetYUnitRole<1>, nullptr, GetYUnit<1>},
    {"XUnitRing1", SetXUnitRole<0>, nullptr, GetXUnit<0>},
    {"XUnitRing2", SetXUnitRole<1>, nullptr, GetXUnit<1>},
    {"DbRangeRing1", SetDbRangeRole<0>, nullptr, GetDbRange<0>},
    {"DbRangeRing2", SetDbRangeRole<1>, nullptr, GetDbRange<1>},
    {"DbTopField1", SetDbTopRole<0>, nullptr, GetDbTop<0>},
    {"DbTopField2", SetDbTopRole<1>, nullptr, GetDbTop<1>},
    {"IntegrationRing1", SetIntegrationRole<0>, nullptr, GetIntegration<0>},
    {"IntegrationRing2", SetIntegrationRole<1>, nullptr, GetIntegration<1>},
    {"WindowSel1", nullptr, PressWindowSel<0>, nullptr},
    {"WindowSel2", nullptr, PressWindowSel<1>, nullptr},
    {"WindowSelBoth", nullptr, PressWindowSel<2>, nullptr},
    {"InputButton0", nullptr, PressInput<0>, nullptr},
    {"InputButton1", nullptr, PressInput<1>, nullptr},
    {"InputButton2", nullptr, PressInput<2>, nullptr},
    {"InputButton3", nullptr, PressInput<3>, nullptr},
    {"InputButton4", nullptr, PressInput<4>, nullptr},
    {"InputButton5", nullptr, PressInput<5>, nullptr},
    {"InputButton6", nullptr, PressInput<6>, nullptr},
    {"InputButton7", nullptr, PressInput<7>, nullptr},
    {"StartButton", nullptr, PressStart, nullptr},
    {"AverCountDisplay", nullptr, nullptr, GetCount},
    {"TotalReadout1", nullptr, nullptr, GetTotal<0>},
    {"TotalReadout2", nullptr, nullptr, GetTotal<1>},
    {"FileNameBox", nullptr, nullptr, GetFile},
};

template <int Rows, int N>
void Fill(char (&table)[Rows][kItemText], const char* const (&texts)[N]) {
  static_assert(N <= Rows);
  for (int i = 0; i < N; ++i) std::snprintf(table[i], kItemText, "%s", texts[i]);
}

}  // namespace

const MeasureRole* FindMeasureRole(const char* role) {
  for (const MeasureRole& r : kRoles)
    if (std::strcmp(r.role, role) == 0) return &r;
  return nullptr;
}

void QueueFileAnswer(const char* path) { g_fileAnswers.emplace_back(path); }
void ClearFileAnswers() { g_fileAnswers.clear(); }

void FillItemTables() {
  Fill(itemcollect, kCollectTexts);
  Fill(itemweight, kWindowTexts.text);
  Fill(weightsetup, kWindowTexts.text);
  Fill(itemtrigger, kLevelModeTexts);
  Fill(itemfunc, kFunctionTexts.text);
  for (int p = 0; p < kFunctions; ++p) nfunc[p] = p;
  Fill(itemcursors, kCursorTexts);
  Fill(extenitem, kFormatTexts);
  Fill(runsetup, kStartTexts);
  Fill(Yunit, kYUnitTexts);
  Fill(Xunit, kXUnitTexts);
  static const char* const ranks[kFrameLengths] = {"1024", "2048", "4096", "8192"};
  Fill(rankitem, ranks);
  Fill(overitem, kOverlapTexts);
}

void EvaluateShownWindows() {
  if (rcu.winsel == 0 || rcu.winsel == 2) EvaluateResult(0);
  if (rcu.winsel == 1 || rcu.winsel == 2) EvaluateResult(1);
}

void InitModel() {
  FillItemTables();
  InitMeasurement();
  // The trigger panel's defaults: a rising start at 0.1 V on input 0.
  SetTriggerInput(0);
  SetLevel(0.1);
  SetLevel2(-0.1);
  SetSlope(0);
  SetPretrig(0);
  SetLevelChoice(0);
  // The main panel's: both windows, spectra A and B in dB over frequency.
  for (int w = 0; w < kWindows; ++w) RestoreWindowChoices(w, {w, 2, kYDb, kXLines, 0, 100.0});
  SetWindowSelection(2);
  SetGeometry(8192.0, 1024, 0.0);
  SetWindowType(1);  // Hanning
  for (int k = 0; k < 2; ++k) {
    SetChannelInput(k, k);
    SetChannelOn(k, 1);
    SetDiffInt(k, 2);
  }
  SetAverages(10);
  SetExpAver(0);
  SetDelay(0);
  SetBins(64);
  SetSource(1);
  SetMeasType(0);
  // The channels' coefficient fields start at a gain of 1: their inputs are in the
  // coefficient mode.
  for (int k = 0; k < 2; ++k) SetCoefficient(ChannelInput(k), 1.0);
  // The generator: a 1 V sine at 1 kHz, switched off.
  SetPulseWidth(64);
  SetWaveform(0);
  SetAmplitude(1000.0);
  SetFrequency1(1000.0);
  SetFrequency2(2000.0);
  SetGenerator(0);
}
