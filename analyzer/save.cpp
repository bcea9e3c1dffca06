// Result files and clipboard copy. Files are written beside their final name and renamed over
// it, so a full disk never leaves a half-written result behind; the description file is
// Windows-1251 text like the recorder's headers.
#include "analyzer/save.h"

#include <iconv.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include <strings.h>

#include "analyzer/calibration.h"
#include "analyzer/cultivate1.h"
#include "analyzer/export.h"
#include "analyzer/fileio.h"
#include "analyzer/model.h"
#include "analyzer/notify.h"
#include "analyzer/view1.h"
#include "analyzer/views.h"

namespace {

constexpr const char* kCantOpen = "CAN'T OPEN FILE !!!";
constexpr const char* kCantWrite = "Ошибка записи файла !!!";

// UTF-8 to Windows-1251; a character without a 1251 form becomes '?'.
std::string ToCp1251(const std::string& utf8) {
  iconv_t cd = iconv_open("CP1251", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) return utf8;
  std::string out;
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char buf[256];
  while (inLeft > 0) {
    char* o = buf;
    size_t oLeft = sizeof buf;
    const size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
    out.append(buf, sizeof buf - oLeft);
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // Skip one undecodable or unrepresentable UTF-8 sequence.
      out.push_back('?');
      ++in, --inLeft;
      while (inLeft > 0 && (static_cast<unsigned char>(*in) & 0xC0) == 0x80) ++in, --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}

void ReportWriteFailure(const char* title, const char* path, int result) {
  if (result == kFileNotPlain) {
    char text[kPathLen + 96];
    std::snprintf(text, sizeof text, "\"%s\" не обычный файл: запись отменена !", path);
    NotifyMessage(title, text);
    return;
  }
  NotifyMessage(title, result == kFileCannotCreate ? kCantOpen : kCantWrite);
}

void Append(std::string& s, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& s, const char* fmt, ...) {
  char buf[512];
  va_list ap;
  va_start(ap, fmt);
  const int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  if (n > 0)
    s.append(buf, static_cast<size_t>(n < static_cast<int>(sizeof buf) ? n : sizeof buf - 1));
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

// The description: function and format, point count and total, units, averages, calibration
// of the input that feeds the window's channel.
std::string InfText(int w) {
  const ViewState& v = vs[w];
  const int input = Clamp(ChannelInput(w), 0, kInputs - 1);
  const double k = cch.upc[input];
  const double s = cch.sen[input];
  const double r = cch.lo[input];
  const char* u = cch.dim[input];
  const int fn = Clamp(v.function, 0, kFunctions);
  std::string t = cf[fn].name;
  if (v.format >= 0 && v.format < kFormats) {
    t += ": ";
    t += exten[v.format];
  }
  t += "\n";
  const double power = ChannelPower(w);
  Append(t, "N=%d; Total=%1.3e,Dim=%s\n", v.count, std::sqrt(power) * k, u);
  Append(t, "Y: %s;\n", Yunit[Clamp(v.yUnit, 0, 6)]);
  Append(t, "X: %s.\n", Xunit[Clamp(v.xUnit, 0, 6)]);
  Append(t, "Average=%d; sen=%1.3e,mV/%s; Lo=%1.3e,%s.\n", rcu.avgTarget, s, u, r, u);
  return t;
}

std::string DatText(int w) {
  const ViewState& v = vs[w];
  int n = Clamp(v.count, 0, kResultHalf);
  const bool bands = v.xUnit == kXOctave || v.xUnit == kXThird;
  if (bands && n > 0) n -= 1;
  std::string t;
  t.reserve(static_cast<size_t>(n) * 28 + 32);
  // The held maxima are a third column only while peak hold shows them.
  const double* held = PeakHoldShown(w) == v.count ? peak[w].held : nullptr;
  for (int j = 0; j < n; ++j) {
    if (held)
      Append(t, "%1.5e %1.5e %1.5e \n", v.xData[j], v.yData[j], held[j]);
    else
      Append(t, "%1.5e %1.5e \n", v.xData[j], v.yData[j]);
  }
  if (bands && v.count > 0) {
    if (held)
      Append(t, "Ysum=%1.5e %1.5e \n", v.yData[n], held[n]);
    else
      Append(t, "Ysum=%1.5e \n", v.yData[n]);
  }
  return t;
}

}  // namespace

char result_name[kPathLen];

// Where the extension of the file name in path begins (its '.'), or npos without one. A dot
// in a folder's name or at the start of a hidden file's name begins none.
size_t ExtensionAt(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t name = slash == std::string::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of('.');
  return dot == std::string::npos || dot <= name ? std::string::npos : dot;
}

// A data file named "….inf" would be its own description file, or a recording's header: such
// a name is refused.
bool NamedLikeDescription(const char* path) {
  const std::string p = path;
  const size_t dot = ExtensionAt(p);
  return dot != std::string::npos && strcasecmp(p.c_str() + dot, ".inf") == 0;
}

void RefuseDescriptionName() {
  NotifyMessage("Внимание !!!", "Имя файла данных не может оканчиваться на \"inf\" !");
}

void SetResultName(const char* path) { std::snprintf(result_name, sizeof result_name, "%s", path); }

void InfPathFor(const char* dataPath, char* out, int outSize) {
  if (outSize <= 0) return;
  std::string p = dataPath;
  const size_t dot = ExtensionAt(p);
  if (dot != std::string::npos) p.resize(dot);
  p += ".inf";
  std::snprintf(out, static_cast<size_t>(outSize), "%s", p.c_str());
}

int SaveInfData(int w) {
  if (w < 0 || w >= kWindows) return 0;
  if (NamedLikeDescription(result_name)) {
    RefuseDescriptionName();
    return 0;
  }
  char infPath[kPathLen + 8];
  InfPathFor(result_name, infPath, sizeof infPath);
  // Both files are written beside their names first and go in place only when both were
  // written, the data first: a description never stands beside data it does not describe.
  const std::string dat = DatText(w);
  const std::string inf = ToCp1251(InfText(w));
  StagedFile datFile, infFile;
  int r = StageFile(infPath, inf.data(), inf.size(), &infFile);
  if (r != kFileWritten) {
    ReportWriteFailure("Файл описания", infPath, r);
    return 0;
  }
  r = StageFile(result_name, dat.data(), dat.size(), &datFile);
  if (r != kFileWritten) {
    DiscardStagedFile(&infFile);
    ReportWriteFailure("Файл данных", result_name, r);
    return 0;
  }
  r = CommitStagedFile(&datFile);
  if (r != kFileWritten) {
    DiscardStagedFile(&infFile);
    ReportWriteFailure("Файл данных", result_name, r);
    return 0;
  }
  r = CommitStagedFile(&infFile);
  if (r != kFileWritten) {
    ReportWriteFailure("Файл описания", infPath, r);
    return 0;
  }
  std::string done = "Окно " + std::to_string(w + 1) + " сохранено: данные — " + result_name +
                     ", описание — " + infPath;
  NotifyStatus(done.c_str());
  return 1;
}
