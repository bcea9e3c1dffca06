// CSV and picture export of a result window.
#include "analyzer/export.h"

#include <strings.h>

#include <charconv>
#include <cstring>

#include "analyzer/calibration.h"
#include "analyzer/cultivate1.h"
#include "analyzer/fileio.h"
#include "analyzer/model.h"
#include "analyzer/notify.h"
#include "analyzer/view1.h"

namespace {

// Shortest text that reads back as the same double; a point in every locale.
std::string Num(double v) {
  char buf[64];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

bool EndsWith(const char* path, const char* ext) {
  const size_t n = std::strlen(path), e = std::strlen(ext);
  return n > e && strcasecmp(path + n - e, ext) == 0;
}

// Column names carry the unit of what the column holds (the result arrays as they stand:
// counts, or dB when the window shows dB; the header's scales turn counts into units).
const char* XColumn(int xUnit) {
  switch (xUnit) {
    case kXLines:
    case kXOctave:
    case kXThird: return "f_Hz";
    case kXTime: return "t_s";
    case kXAmplitude: return "x_counts";
    case kXPhase: return "x_deg";
    default: return "x_rel";
  }
}

const char* YColumn(int yUnit) {
  static const char* const names[] = {
      "value_rel", "value_counts", "value_counts2", "value_counts2_per_Hz",
      "value_dB",  "value_deg",    "value_pdf"};
  return names[Clamp(yUnit, 0, 6)];
}

}  // namespace

int ExportKindOf(const char* path) {
  if (EndsWith(path, ".csv")) return kExportCsv;
  if (EndsWith(path, ".png")) return kExportPng;
  if (EndsWith(path, ".svg")) return kExportSvg;
  return kExportText;
}

std::string CsvText(int w) {
  const ViewState& v = vs[w];
  const int inputNo = Clamp(ChannelInput(w), 0, kInputs - 1);
  const int fn = Clamp(v.function, 0, kFunctions);
  const bool hasFormat = v.format >= 0 && v.format < kFormats;
  int n = Clamp(v.count, 0, kResultHalf);
  const bool bands = v.xUnit == kXOctave || v.xUnit == kXThird;
  if (bands && n > 0) n -= 1;

  std::string t = "# veltra result, window " + std::to_string(w + 1) + "\n";
  t += std::string("# function: ") + cf[fn].name + "\n";
  t += std::string("# format: ") + (hasFormat ? exten[v.format] : "-") + "\n";
  t += std::string("# x_unit: ") + Xunit[Clamp(v.xUnit, 0, 6)] + "\n";
  t += std::string("# y_unit: ") + Yunit[Clamp(v.yUnit, 0, 6)] + "\n";
  t += "# x_scale: " + Num(v.xScale) + "\n";
  t += "# y_scale: " + Num(v.yScale) + "\n";
  t += "# averages: " + std::to_string(rcu.avgTarget) + "\n";
  t += std::string("# window: ") + itemweight[Clamp(cus.window, 0, 9)] + "\n";
  t += "# rate_Hz: " + Num(cus.srate / (cus.thin > 0 ? cus.thin : 1)) + "\n";
  t += "# N: " + std::to_string(cus.frameLen) + "\n";
  t += "# calibration: input " + std::to_string(inputNo) + "; sen_mV_per_unit " +
       Num(cch.sen[inputNo]) + "; units_per_count " + Num(cch.upc[inputNo]) + "; ref_0dB " +
       Num(cch.lo[inputNo]) + "; unit " + cch.dim[inputNo] + "\n";
  if (bands && v.count > 0) t += "# band_total: " + Num(v.yData[n]) + "\n";
  t += std::string(XColumn(v.xUnit)) + "," + YColumn(v.yUnit) + "\n";
  for (int j = 0; j < n; ++j) t += Num(v.xData[j]) + "," + Num(v.yData[j]) + "\n";
  return t;
}

int SaveResultCsv(int w, const char* path) {
  if (w < 0 || w >= 2) return 0;
  const std::string text = CsvText(w);
  const int r = WriteFileAtomic(path, text.data(), text.size());
  if (r != 0) {
    NotifyMessage("File .csv", r == 1 ? "CAN'T OPEN FILE !!!" : "Ошибка записи файла !!!");
    return 0;
  }
  return 1;
}
