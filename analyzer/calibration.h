// Per-input calibration: sensitivity, unit, dB reference, path gain and the scale derived from
// them, for the eight inputs of the front end, and the file "Calibr.inf" that keeps them between
// runs.
#pragma once

#include <cstddef>

constexpr int kCalibrInputs = 8;
// Unit texts: 7 bytes Windows-1251 on disk (6 letters + NUL); UTF-8 in memory (a 6-letter
// Cyrillic unit is 12 bytes), so the in-memory field is wider than the stored one.
constexpr int kDimDiskLen = 7;
constexpr int kDimTextLen = 16;
constexpr int kCalibrFileSize = 728;
constexpr int kUnitCount = 7;

// The calibration record `cch`. Field order is the order of the 728-byte file; the file is
// written and read field by field (see EncodeCalibr / DecodeCalibr), never as this struct's bytes.
struct CalibrRecord {
  double sen[kCalibrInputs];             // sensor sensitivity, mV per unit
  double upc[kCalibrInputs];             // units per converter count
  double gain[kCalibrInputs];            // gain of the input path
  double upcdb[kCalibrInputs];           // 20·log10(upc)
  double fsc[kCalibrInputs];             // largest positive count
  double reserved1[kCalibrInputs];       // unused, kept as read
  double reserved2[kCalibrInputs];       // unused, kept as read
  double lo[kCalibrInputs];              // reference level of 0 dB, in units
  double lodb[kCalibrInputs];            // 20·log10(lo)
  double reldb[kCalibrInputs];           // upcdb − lodb: the dB offset of the input
  char dim[kCalibrInputs][kDimTextLen];  // unit name, UTF-8, one of Dim
  int mode[kCalibrInputs];               // input mode: 0 ICP, 1 coefficient, 3 front end
};

extern CalibrRecord cch;

// Unit table (UTF-8) and the reference level that goes with each unit.
extern const char Dim[kUnitCount][kDimTextLen];
extern const double support_unit[kUnitCount];

// "Calibr.inf" in the working directory. 1 on success; 0 when the file cannot be opened/written
// (GetParamCalibrOfFile then fills the defaults). Both keep the record's derived fields consistent.
int SaveParamCalibr();
int GetParamCalibrOfFile();
// The same on an explicit path (tests, tools).
int SaveParamCalibrTo(const char* path);
int GetParamCalibrFrom(const char* path);

// Defaults of one input when no valid calibration exists: gain 1, 1000 mV per volt, unit "В",
// 0 dB at 1e-05 V, mode 1. Also sets hs.inmode of the input to 1 and recomputes the derived fields.
void CalibrDefaultsInput(int input);
// upc = mvpc / sen / gain, upcdb, lodb, reldb of one input from its primary fields.
void CalibrDerive(int input);
// Units per count, its dB and the dB offset of input i from the converter scale, the sensor's
// sensitivity and the gain of the input path; ThrougCount for channel k's input.
void SetThroug(int i);
// One entry of input i's calibration (1 taken; 0 for a value that is no calibration): the
// sensor's sensitivity in mV per unit, the 0 dB reference level in units, the unit (one of Dim).
// The scale is derived by the caller (SetThroug or CalibrDerive), as the entry requires.
int SetSensitivity(int inputNo, double mvPerUnit);
int SetZeroDbLevel(int inputNo, double lo);
int SetUnitName(int inputNo, int unit);
// Input i in the coefficient mode with the gain of its path (its scale derived).
int SetCoefficient(int inputNo, double gain);
// The gain of input i's path alone (the scale derived by the caller).
int SetInputGain(int inputNo, double gain);
// Input i fed by an ICP sensor (gain 1, AC-coupled), or by a front-end module at `gain`.
int SetIcpInput(int inputNo);
int SetFrontEndInput(int inputNo, double gain);
// Coupling of input i as the AC/DC switch shows it (kCoupledAC for AC); an ICP input stays AC
// (0 then, when DC was asked for).
constexpr int kCoupledAC = 1;
int SetCoupling(int inputNo, int acdc);
void ThrougCount(int k);

// Index of a unit text in Dim (exact match), or -1.
int UnitIndex(const char* text);

// Scale and dB offset of an input for display (input clamped to 0 … 7).
double ChannelScale(int input);
double ChannelDbOffset(int input);
const char* ChannelUnit(int input);

// The on-disk image, exposed for tests. Encode returns 1, or 0 when a unit text cannot be
// represented in Windows-1251 within 6 bytes (its slot is then written as "В").
int EncodeCalibr(const CalibrRecord& rec, unsigned char out[kCalibrFileSize]);
// Decodes a full 728-byte image into rec, without any checking. Unit texts that cannot be
// converted come out empty (and then fail the check).
void DecodeCalibr(const unsigned char in[kCalibrFileSize], CalibrRecord* rec);
// Checks each input's entry after a load; an entry that fails gets its defaults. Returns the
// number of inputs that were reset.
int CheckCalibr(CalibrRecord* rec);

// ---- Editing the calibration of channels A and B on the main panel
