// Recordings for playback (header, inputs, averages they can supply) and the assignment of
// inputs to channels A and B: the recorded inputs' buttons in playback, the arrow keys on the
// channel switches otherwise.
#include "analyzer/file_ctrl_rec.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <strings.h>

#include "analyzer/fileio.h"
#include "analyzer/menager.h"
#include "analyzer/model.h"
#include "analyzer/notify.h"
#include "analyzer/save.h"
#include "analyzer/setters.h"
#include "analyzer/soundfile.h"
#include "analyzer/sources.h"

int OnOffCh[kInputs];
int records[kInputs];
int ctrl_select = 0;
char recording_title[kPathLen + 3 * kHeaderLineLen];

namespace {

constexpr const char* kRefused = " Указанный файл не годен для обработки !";
constexpr int kMaxLineChars = kHeaderLineLen - 2;
constexpr int kUnitChars = kDimDiskLen - 1;
constexpr int kMaxRecordFrame = 1 << 24;
// Every line the reader may take fits in this many bytes; a header needing more has a line
// that is too long, and reading stops there.
constexpr std::size_t kHeaderReadLimit = kHeaderLines * (kHeaderLineLen + 1) + 1;

// Windows-1251 to UTF-8; false when a byte has no character or the text does not fit.
bool FromCp1251(const char* in, std::size_t len, char* out, std::size_t outSize) {
  return RecodeText("UTF-8", "CP1251", in, len, out, outSize);
}

// A whole-number field: optional spaces, optional sign, digits. False when there are no digits
// or the value does not fit.
bool ReadInteger(const char* p, long long* value) {
  while (*p == ' ' || *p == '\t') ++p;
  const char* digits = (*p == '-' || *p == '+') ? p + 1 : p;
  if (!std::isdigit(static_cast<unsigned char>(*digits))) return false;
  errno = 0;
  char* end = nullptr;
  *value = std::strtoll(p, &end, 10);
  return errno == 0 && end != p;
}

// A decimal number with a point whatever the desktop's language (the recorder writes points).
bool ReadReal(const char* p, double* value) {
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '+') ++p;
  const char* end = p + std::strlen(p);
  const auto r = std::from_chars(p, end, *value, std::chars_format::general);
  return r.ec == std::errc() && r.ptr != p && std::isfinite(*value);
}

bool StartsNumber(const char* p) {
  return std::isdigit(static_cast<unsigned char>(p[0])) ||
         (p[0] == '.' && std::isdigit(static_cast<unsigned char>(p[1])));
}

// From the start of a field: to the first space, then on to where the next number begins. A
// sign is passed over (sensitivities are magnitudes); a leading point belongs to the number.
const char* NextNumber(const char* field) {
  const char* p = std::strchr(field, ' ');
  if (p == nullptr) return nullptr;
  while (*p != '\0' && !StartsNumber(p)) ++p;
  return *p != '\0' ? p : nullptr;
}

bool Positive(double v) { return std::isfinite(v) && v > 0.0; }

// Far beyond any real sensor, yet small enough that counts scaled by it, squared and summed
// over a frame stay finite.
constexpr double kCalibrLimit = 1e30;
bool Plausible(double v) { return v >= 1.0 / kCalibrLimit && v <= kCalibrLimit; }

// One column line: " n sen upc lo unit", parsed from its second character.
const char* ParseColumn(const char* line, int k, RecordingHeader* h) {
  const char* p = line + 1;
  while (*p == ' ' || *p == '\t') ++p;
  long long n = -1;
  if (!std::isdigit(static_cast<unsigned char>(*p)) || !ReadInteger(p, &n)) {
    return "в строке канала нет номера входа";
  }
  if (n < 0 || n >= kInputs) return "номер входа вне 0…7";
  h->input[k] = static_cast<int>(n);
  double* fields[] = {&h->sen[k], &h->upc[k], &h->lo[k]};
  const char* field = p;
  for (double* f : fields) {
    field = NextNumber(field);
    if (field == nullptr || !ReadReal(field, f)) return "в строке канала не хватает чисел";
    if (!Positive(*f)) return "калибровка входа не положительна";
    if (!Plausible(*f)) return "калибровка входа вне разумных пределов";
  }
  const char* unit = std::strchr(field, ' ');
  std::size_t len = 0;
  if (unit != nullptr) {
    while (*unit == ' ') ++unit;
    len = std::strlen(unit);
    while (len > 0 && (unit[len - 1] == ' ' || unit[len - 1] == '\t')) --len;
  }
  if (len > static_cast<std::size_t>(kUnitChars)) return "обозначение единиц длиннее 6 знаков";
  h->dim[k][0] = '\0';
  if (len > 0 && !FromCp1251(unit, len, h->dim[k], kDimTextLen)) {
    return "обозначение единиц не читается";
  }
  return nullptr;
}

// Splits the bytes into lines: at most kHeaderLines, reading stops at the first empty line.
const char* SplitLines(const char* bytes, std::size_t len, RecordingHeader* h) {
  h->lines = 0;
  std::size_t pos = 0;
  while (pos < len && h->lines < kHeaderLines) {
    const void* nl = std::memchr(bytes + pos, '\n', len - pos);
    const std::size_t end =
        nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - bytes) : len;
    std::size_t n = end - pos;
    if (n > 0 && bytes[pos + n - 1] == '\r') --n;
    if (n == 0) break;
    if (n > static_cast<std::size_t>(kMaxLineChars)) return "строка заголовка длиннее 76 знаков";
    if (std::memchr(bytes + pos, '\0', n) != nullptr) return "заголовок не текстовый";
    std::memcpy(h->text[h->lines], bytes + pos, n);
    h->text[h->lines][n] = '\0';
    ++h->lines;
    pos = end + 1;
  }
  return nullptr;
}

// Playback only: no input is assigned to either channel.
void ChannelsOff() {
  rcu.onA = rcu.onB = 0;
  ctrl_select = 0;
  NotifySetting(kChangedChannels);
}

// No recording: nothing to assign, nothing to play.
void ForgetRecording() {
  for (int n = 0; n < kInputs; ++n) OnOffCh[n] = 0;
  fs.nrec = fs.nrecs = 0;
  ChannelsOff();
}

void Refuse(const char* reason) {
  ForgetRecording();
  std::string message = kRefused;
  if (reason != nullptr) message += std::string("\n") + reason;
  NotifyMessage("Внимание !", message.c_str());
}

// The recording's own rate is the base rate whatever the rate ring offers: it is not a
// decimated 1024 Hz stream, and the ring may not list it.
void TakeRecordingRate(double rate) {
  cus.rate = rate;
  DeriveModel();
}

}  // namespace

// Calibration of each input as the loaded recording gives it.
static double recSen[kInputs], recUpc[kInputs], recLo[kInputs];

void TakeRecordedCalibration(int n) {
  cch.sen[n] = recSen[n];
  cch.upc[n] = recUpc[n];
  cch.lo[n] = recLo[n];
  cch.lodb[n] = 20.0 * std::log10(recLo[n]);
  cch.upcdb[n] = 20.0 * std::log10(cch.upc[n]);
  cch.reldb[n] = cch.upcdb[n] - cch.lodb[n];
}

namespace {}  // namespace

int GetStartMode(const char* line) {
  for (int i = 0; i < kRunModes; ++i) {
    if (std::strncmp(line, textmode[i], static_cast<std::size_t>(ringmode[i])) == 0) return i;
  }
  return kRunModes;
}

const char* ParseRecordingHeader(const char* bytes, std::size_t len, RecordingHeader* h) {
  *h = RecordingHeader{};
  h->runmode = kRunModes;
  if (const char* why = SplitLines(bytes, len, h)) return why;
  if (h->lines < 1) return "заголовок пуст";
  char mode[kHeaderLineLen * 3];
  if (FromCp1251(h->text[0], std::strlen(h->text[0]), mode, sizeof mode)) {
    h->runmode = GetStartMode(mode);
  }
  if (h->lines < 4) return "в заголовке не хватает строк";

  const char* eq = std::strchr(h->text[1], '=');
  if (eq == nullptr || !ReadInteger(eq + 1, &h->total)) return "нет числа значений";
  if (h->total == 0) return "в записи нет данных";
  if (h->total < 0 || h->total > INT_MAX) return "неверное число значений";
  eq = std::strchr(eq + 1, '=');
  if (eq == nullptr || !ReadReal(eq + 1, &h->srate)) return "нет частоты опроса";
  // Below 1 Hz the sample interval would carry integrated frames beyond any finite value.
  if (!(h->srate >= kMinRecordRate) || h->srate > kMaxRecordRate) {
    return "неверная частота опроса";
  }
  eq = std::strchr(eq + 1, '=');
  long long nrec = 0;
  if (eq == nullptr || !ReadInteger(eq + 1, &nrec)) return "нет числа каналов";
  if (nrec < 1 || nrec > kRecordValues) return "неверное число каналов";
  h->nrec = static_cast<int>(nrec);
  h->nrecs = static_cast<int>(h->total / nrec);
  if (h->nrecs < 1) return "в записи нет ни одной полной записи";

  eq = std::strchr(h->text[2], '=');
  long long flen = 0;
  if (eq == nullptr || !ReadInteger(eq + 1, &flen)) return "нет длины кадра";
  if (flen < 0 || flen > kMaxRecordFrame) return "неверная длина кадра";
  h->flen = static_cast<int>(flen);
  eq = std::strchr(eq + 1, '=');
  if (eq == nullptr || !ReadReal(eq + 1, &h->extra)) h->extra = 0.0;

  if (h->lines < 4 + h->nrec) return "в заголовке не хватает строк каналов";
  for (int k = 0; k < h->nrec; ++k) {
    if (const char* why = ParseColumn(h->text[4 + k], k, h)) return why;
  }
  return nullptr;
}

void SetRecordingName(const char* path) {
  std::snprintf(file_name, sizeof file_name, "%s", path);
  // Choosing the header stands for its recording: the data are in the ".dat" beside it.
  const std::size_t len = std::strlen(file_name);
  if (len >= 4 && strcasecmp(file_name + len - 4, ".inf") == 0) {
    std::memcpy(file_name + len - 3, "dat", 3);
  }
}

void ResetInputAssignment() { ctrl_select = 0; }

bool InputAssigned(int k) { return ctrl_select > (k == 0 ? 0 : 1); }

int LoadRecording() {
  recording_title[0] = '\0';
  const std::size_t nameLen = std::strlen(file_name);
  static RecordingHeader h;
  // A sound file describes itself; it has no header beside it.
  if (IsSoundFileName(file_name)) {
    return ApplyRecordingHeader(h, ReadSoundFileHeader(file_name, &h));
  }
  // The header is the data file's name with its extension replaced by "inf" (as the recorder and
  // result files name it); an outside recorder's "name.xyz" + "name.xinf"-style pair, whose last
  // three letters were replaced, is still found.
  char described[kPathLen + 8];
  InfPathFor(file_name, described, sizeof described);
  std::string infPath = described;
  std::error_code ec;
  if (nameLen >= 3 && !std::filesystem::exists(infPath, ec)) {
    std::string lastThree = file_name;
    lastThree.replace(nameLen - 3, 3, "inf");
    if (std::filesystem::exists(lastThree, ec)) infPath = lastThree;
  }
  // Only a plain file: opening a pipe or a device could wait for ever or never end.
  std::FILE* f = OpenPlainFile(infPath.c_str());
  if (f == nullptr) {
    ForgetRecording();
    NotifyMessage("CAN'T OPEN FILE !!!", infPath.c_str());
    return 0;
  }
  static char bytes[kHeaderReadLimit];
  const std::size_t got = std::fread(bytes, 1, sizeof bytes, f);
  std::fclose(f);

  const char* why = ParseRecordingHeader(bytes, got, &h);
  if (why == nullptr) {
    std::error_code sizeEc;
    const auto size = std::filesystem::file_size(file_name, sizeEc);
    if (sizeEc) {
      why = "файл данных не открывается";
    } else if (size / 4 < static_cast<unsigned long long>(h.nrecs) * h.nrec) {
      why = "файл данных короче, чем указано в заголовке";
    }
  }
  return ApplyRecordingHeader(h, why);
}

int ApplyRecordingHeader(const RecordingHeader& h, const char* why) {
  if (h.lines > 0) {
    char mode[kHeaderLineLen * 3] = "";
    if (!FromCp1251(h.text[0], std::strlen(h.text[0]), mode, sizeof mode)) mode[0] = '\0';
    std::snprintf(recording_title, sizeof recording_title, "%s:%s", file_name, mode);
  }
  if (why != nullptr) {
    Refuse(why);
    return 0;
  }

  rcu.runmode = h.runmode;
  fs.srate = h.srate;
  fs.nrec = h.nrec;
  fs.nrecs = h.nrecs;
  fs.flen = h.flen;
  fs.extra = h.extra;
  fs.pos = 0;
  for (int n = 0; n < kInputs; ++n) OnOffCh[n] = 0;
  for (int k = 0; k < h.nrec; ++k) {
    const int n = h.input[k];
    OnOffCh[n] = 1;
    records[n] = k;
    recSen[n] = h.sen[k];
    recUpc[n] = h.upc[k];
    recLo[n] = h.lo[k];
    TakeRecordedCalibration(n);
    std::snprintf(cch.dim[n], sizeof cch.dim[n], "%s", h.dim[k]);
  }
  // The previous recording's columns mean nothing in this one.
  ChannelsOff();
  TakeRecordingRate(h.srate);
  SetParamAver();
  NotifySetting(kChangedRates | kChangedGeometry | kChangedDelay);
  return 1;
}

void SetParamAver() {
  // Without a recording there is nothing to count, and the operator's averages stay.
  if (fs.nrec < 1 || fs.nrecs < 1) return;
  const long long n = cus.frameLen > 0 ? cus.frameLen : 1;
  const long long t = cus.thin > 0 ? cus.thin : 1;
  const long long frame = n * t;
  long long step = t * (n - sr.ovsamp);
  if (step < 1) step = 1;
  const long long r = fs.nrecs - std::llabs(static_cast<long long>(sr.delay)) - frame;
  long long averages = r > frame ? (r - frame + step - 1) / step : 0;
  if (averages > 1000000) averages = 1000000;
  rcu.avgTarget = averages < 1 ? 1 : static_cast<int>(averages);
  rcu.expAver = 0;
  NotifySetting(kChangedAverages);
  RestartIfRunning();
}

int AssignInput(int n) {
  if (n < 0 || n >= kInputs || !Source().recorded || !OnOffCh[n]) return 0;
  if (ctrl_select != 1) {
    rcu.onB = 0;
    rcu.chanA = n;
    rcu.onA = 1;
    TakeRecordedCalibration(n);
    ctrl_select = 1;
    rcu.colA = records[n];
  } else {
    rcu.chanB = n;
    rcu.onB = 1;
    TakeRecordedCalibration(n);
    rcu.colB = records[n];
    ctrl_select = 2;
  }
  return 1;
}
