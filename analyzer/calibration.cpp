// The calibration record and "Calibr.inf".
#include "analyzer/calibration.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "analyzer/fileio.h"
#include "analyzer/model.h"
#include "analyzer/notify.h"

CalibrRecord cch;

const char Dim[kUnitCount][kDimTextLen] = {"Вел.", "Па", "g", "м/с^2", "м/с", "м", "В"};
const double support_unit[kUnitCount] = {1.0, 2e-05, 1.0, 1e-06, 5e-08, 8e-12, 1e-05};

namespace {

constexpr const char* kCalibrFile = "Calibr.inf";
constexpr int kVoltUnit = 6;
constexpr int kDimOffset = 640;
constexpr int kModeOffset = 696;
// Larger files are not calibration records; reading stops here.
constexpr std::size_t kReadLimit = 4 * kCalibrFileSize;

double MvPerCount() { return hs.mvpc > 0.0 ? hs.mvpc : 20000.0 / (16777216.0 - 1.0); }

int ClampInput(int input) {
  return input < 0 ? 0 : (input >= kCalibrInputs ? kCalibrInputs - 1 : input);
}

void PutDoubles(unsigned char* out, const double* v) {
  for (int i = 0; i < kCalibrInputs; ++i) {
    std::uint64_t bits;
    std::memcpy(&bits, &v[i], sizeof bits);
    for (int b = 0; b < 8; ++b) out[i * 8 + b] = static_cast<unsigned char>(bits >> (8 * b));
  }
}

void GetDoubles(const unsigned char* in, double* v) {
  for (int i = 0; i < kCalibrInputs; ++i) {
    std::uint64_t bits = 0;
    for (int b = 0; b < 8; ++b) bits |= static_cast<std::uint64_t>(in[i * 8 + b]) << (8 * b);
    std::memcpy(&v[i], &bits, sizeof bits);
  }
}

bool Positive(double x) { return std::isfinite(x) && x > 0.0; }

// The bounds the recording header applies too: far beyond any real sensor, gain or reference,
// yet small enough that counts scaled by them, squared and summed over a frame stay finite.
constexpr double kCalibrLimit = 1e30;
bool Plausible(double x) { return x >= 1.0 / kCalibrLimit && x <= kCalibrLimit; }

}  // namespace

int UnitIndex(const char* text) {
  for (int i = 0; i < kUnitCount; ++i)
    if (std::strcmp(text, Dim[i]) == 0) return i;
  return -1;
}

namespace {

void DeriveInto(CalibrRecord& r, int i) {
  r.upc[i] = MvPerCount() / r.sen[i] / r.gain[i];
  r.upcdb[i] = 20.0 * std::log10(r.upc[i]);
  r.lodb[i] = 20.0 * std::log10(r.lo[i]);
  r.reldb[i] = r.upcdb[i] - r.lodb[i];
}

void DefaultsInto(CalibrRecord& r, int i) {
  r.gain[i] = 1.0;
  r.sen[i] = 1000.0;
  std::snprintf(r.dim[i], kDimTextLen, "%s", Dim[kVoltUnit]);
  r.lo[i] = support_unit[kVoltUnit];
  r.mode[i] = 1;
  if (!Positive(r.fsc[i])) r.fsc[i] = 8388607.0;
  DeriveInto(r, i);
}

}  // namespace

void CalibrDerive(int inputNo) { DeriveInto(cch, ClampInput(inputNo)); }

int SetSensitivity(int inputNo, double mvPerUnit) {
  if (!(mvPerUnit > 0.0) || !std::isfinite(mvPerUnit)) return 0;
  cch.sen[ClampInput(inputNo)] = mvPerUnit;
  return 1;
}

int SetZeroDbLevel(int inputNo, double lo) {
  if (!(lo > 0.0) || !std::isfinite(lo)) return 0;
  const int i = ClampInput(inputNo);
  cch.lo[i] = lo;
  cch.lodb[i] = 20.0 * std::log10(lo);
  return 1;
}

int SetUnitName(int inputNo, int unit) {
  if (unit < 0 || unit >= kUnitCount) return 0;
  std::snprintf(cch.dim[ClampInput(inputNo)], kDimTextLen, "%s", Dim[unit]);
  return 1;
}

int SetCoefficient(int inputNo, double gain) {
  if (!(gain > 0.0) || !std::isfinite(gain)) return 0;
  const int i = ClampInput(inputNo);
  cch.gain[i] = gain;
  hs.inmode[i] = cch.mode[i] = 1;
  SetThroug(i);
  return 1;
}

int SetInputGain(int inputNo, double gain) {
  if (!(gain > 0.0) || !std::isfinite(gain)) return 0;
  cch.gain[ClampInput(inputNo)] = gain;
  return 1;
}

int SetIcpInput(int inputNo) {
  const int i = ClampInput(inputNo);
  cch.gain[i] = 1.0;
  hs.inmode[i] = cch.mode[i] = 0;
  // An ICP sensor is AC-coupled by its own supply.
  hs.acdc[i] = kCoupledAC;
  return 1;
}

int SetFrontEndInput(int inputNo, double gain) {
  const int i = ClampInput(inputNo);
  hs.inmode[i] = cch.mode[i] = 3;
  return SetInputGain(i, gain);
}

int SetCoupling(int inputNo, int acdc) {
  const int i = ClampInput(inputNo);
  // An ICP sensor is always AC-coupled; nothing changes that.
  hs.acdc[i] = hs.inmode[i] == 0 ? kCoupledAC : acdc;
  return hs.acdc[i] == acdc ? 1 : 0;
}

void SetThroug(int i) {
  i = ClampInput(i);
  cch.upc[i] = hs.mvpc / cch.sen[i] / cch.gain[i];
  cch.upcdb[i] = 20.0 * std::log10(cch.upc[i]);
  cch.reldb[i] = cch.upcdb[i] - cch.lodb[i];
}

void ThrougCount(int k) { SetThroug(ChannelInput(k)); }

void CalibrDefaultsInput(int inputNo) {
  int i = ClampInput(inputNo);
  DefaultsInto(cch, i);
  hs.inmode[i] = 1;
}

double ChannelScale(int inputNo) { return cch.upc[ClampInput(inputNo)]; }
double ChannelDbOffset(int inputNo) { return cch.reldb[ClampInput(inputNo)]; }
const char* ChannelUnit(int inputNo) { return cch.dim[ClampInput(inputNo)]; }

int EncodeCalibr(const CalibrRecord& rec, unsigned char out[kCalibrFileSize]) {
  std::memset(out, 0, kCalibrFileSize);
  const double* blocks[] = {rec.sen,       rec.upc,       rec.gain, rec.upcdb, rec.fsc,
                            rec.reserved1, rec.reserved2, rec.lo,   rec.lodb,  rec.reldb};
  for (int b = 0; b < 10; ++b) PutDoubles(out + b * 64, blocks[b]);
  int good = 1;
  for (int i = 0; i < kCalibrInputs; ++i) {
    char text[kDimDiskLen + 1];
    if (!RecodeText("CP1251", "UTF-8", rec.dim[i], strnlen(rec.dim[i], kDimTextLen), text,
                    kDimDiskLen)) {
      RecodeText("CP1251", "UTF-8", Dim[kVoltUnit], std::strlen(Dim[kVoltUnit]), text, kDimDiskLen);
      good = 0;
    }
    std::memcpy(out + kDimOffset + i * kDimDiskLen, text, std::strlen(text));
  }
  for (int i = 0; i < kCalibrInputs; ++i) {
    auto v = static_cast<std::uint32_t>(rec.mode[i]);
    for (int b = 0; b < 4; ++b)
      out[kModeOffset + i * 4 + b] = static_cast<unsigned char>(v >> (8 * b));
  }
  return good;
}

void DecodeCalibr(const unsigned char in[kCalibrFileSize], CalibrRecord* rec) {
  double* blocks[] = {rec->sen,       rec->upc,       rec->gain, rec->upcdb, rec->fsc,
                      rec->reserved1, rec->reserved2, rec->lo,   rec->lodb,  rec->reldb};
  for (int b = 0; b < 10; ++b) GetDoubles(in + b * 64, blocks[b]);
  for (int i = 0; i < kCalibrInputs; ++i) {
    const char* slot = reinterpret_cast<const char*>(in + kDimOffset + i * kDimDiskLen);
    std::size_t len = strnlen(slot, kDimDiskLen);
    // An unterminated slot is not a unit text.
    if (len == static_cast<std::size_t>(kDimDiskLen) ||
        !RecodeText("UTF-8", "CP1251", slot, len, rec->dim[i], kDimTextLen))
      rec->dim[i][0] = '\0';
  }
  for (int i = 0; i < kCalibrInputs; ++i) {
    std::uint32_t v = 0;
    for (int b = 0; b < 4; ++b)
      v |= static_cast<std::uint32_t>(in[kModeOffset + i * 4 + b]) << (8 * b);
    rec->mode[i] = static_cast<int>(v);
  }
}

int CheckCalibr(CalibrRecord* rec) {
  int reset = 0;
  for (int i = 0; i < kCalibrInputs; ++i) {
    // A unit other than the seven (a recording's) keeps its numbers: its text is shown as is.
    bool good = Plausible(rec->sen[i]) && Plausible(rec->lo[i]) && Plausible(rec->gain[i]) &&
                Plausible(MvPerCount() / rec->sen[i] / rec->gain[i]) && rec->dim[i][0] != '\0' &&
                (rec->mode[i] == 0 || rec->mode[i] == 1 || rec->mode[i] == 3);
    if (!Plausible(rec->fsc[i])) rec->fsc[i] = 8388607.0;
    if (!std::isfinite(rec->reserved1[i])) rec->reserved1[i] = 0.0;
    if (!std::isfinite(rec->reserved2[i])) rec->reserved2[i] = 0.0;
    if (good) {
      DeriveInto(*rec, i);
    } else {
      DefaultsInto(*rec, i);
      if (rec == &cch) hs.inmode[i] = 1;
      ++reset;
    }
  }
  return reset;
}

namespace {

// Names the inputs whose entries a load replaced by their defaults.
void ReportRefusedEntries(const char* path, const CalibrRecord& loaded) {
  std::string inputs;
  for (int i = 0; i < kCalibrInputs; ++i) {
    if (loaded.sen[i] == cch.sen[i] && loaded.gain[i] == cch.gain[i] && loaded.lo[i] == cch.lo[i] &&
        std::strcmp(loaded.dim[i], cch.dim[i]) == 0 && loaded.mode[i] == cch.mode[i])
      continue;
    if (!inputs.empty()) inputs += ", ";
    inputs += std::to_string(i);
  }
  if (inputs.empty()) return;
  const std::string text = "Калибровка входов " + inputs + " в файле \"" + path +
                           "\" недопустима: взяты значения по умолчанию.";
  NotifyMessage("Внимание !!!", text.c_str());
}

}  // namespace

int SaveParamCalibrTo(const char* path) {
  // The file gets what a load would accept: an entry edited out of bounds is saved as its
  // defaults, and no number that is not finite is ever written.
  CalibrRecord checked = cch;
  CheckCalibr(&checked);
  unsigned char image[kCalibrFileSize];
  EncodeCalibr(checked, image);
  return WriteFileAtomic(path, image, sizeof image) == 0 ? 1 : 0;
}

int GetParamCalibrFrom(const char* path) {
  static unsigned char buf[kReadLimit];
  std::size_t n = 0;
  if (!ReadSmallFile(path, buf, sizeof buf, &n)) {
    for (int i = 0; i < kCalibrInputs; ++i) CalibrDefaultsInput(i);
    return 0;
  }
  n = FromTextMode(buf, n, kCalibrFileSize);
  if (n > static_cast<std::size_t>(kCalibrFileSize)) n = kCalibrFileSize;
  // A short file leaves the rest of the record as it was.
  unsigned char image[kCalibrFileSize];
  EncodeCalibr(cch, image);
  std::memcpy(image, buf, n);
  DecodeCalibr(image, &cch);
  CalibrRecord loaded = cch;
  if (CheckCalibr(&cch) > 0) ReportRefusedEntries(path, loaded);
  return 1;
}

int SaveParamCalibr() { return SaveParamCalibrTo(kCalibrFile); }
int GetParamCalibrOfFile() { return GetParamCalibrFrom(kCalibrFile); }
