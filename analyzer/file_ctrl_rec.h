// Recordings for playback and the assignment of inputs to channels A and B.
//
// A recording is a raw data file of little-endian 32-bit converter counts, `nrec` values per
// record, and a Windows-1251 text header beside it with the extension "inf". The header is
// checked completely before anything of it is taken: a refused header leaves no recording.
#pragma once

#include <cstddef>

#include "analyzer/calibration.h"
#include "analyzer/model.h"

constexpr int kHeaderLines = 94;               // lines read at most
constexpr int kHeaderLineLen = 78;             // 76 characters, line end and terminator
constexpr int kRecordValues = 9;               // values per record at most (the size of arry)
constexpr long long kMaxRecordRate = 1000000;  // Hz
constexpr double kMinRecordRate = 1.0;         // Hz

// The header as read and checked; numbers and units of column k in slot k.
struct RecordingHeader {
  char text[kHeaderLines][kHeaderLineLen];  // lines as read (Windows-1251), line ends removed
  int lines;
  int runmode;      // 0…8, or 9 when the mode line names no known mode
  long long total;  // 32-bit values in the data file
  double srate;     // Hz
  int nrec;         // values per record, 1…kRecordValues
  int nrecs;        // total / nrec
  int flen;         // frame length used when recording
  double extra;     // second value of line 3 (kept only)
  int input[kRecordValues];
  double sen[kRecordValues], upc[kRecordValues], lo[kRecordValues];
  char dim[kRecordValues][kDimTextLen];  // UTF-8
};

// 1 for the inputs present in the loaded recording; column of each within a record.
extern int OnOffCh[kInputs];
extern int records[kInputs];
// Which channel the next input button assigns: 0 or 2 channel A, 1 channel B.
extern int ctrl_select;

// Index 0…8 of the first collect-run mode text the (UTF-8) line begins with, or 9.
int GetStartMode(const char* line);
// Splits and checks `len` header bytes. Returns nullptr when the header is usable, otherwise a
// short Russian reason. Lines that could be read stay in h->text / h->lines either way.
const char* ParseRecordingHeader(const char* bytes, std::size_t len, RecordingHeader* h);
// Sets and applies the number of linear averages the loaded recording can supply for the
// present frame length, overlap and delay; nothing without a recording.
void SetParamAver();
// Reads the header of file_name and applies it: 1 when taken, 0 when refused (message given,
// no recording left loaded).
int LoadRecording();
// The recording playback reads: `path`, or the data beside it when `path` names its header.
void SetRecordingName(const char* path);
// The next input button assigns channel A again.
void ResetInputAssignment();
// Whether an input button has given channel k (0 A, 1 B) its input.
bool InputAssigned(int k);
// Assigns recorded input n to channel A, then to channel B, alternately (the input buttons).
// 0 when n is no input of the loaded recording.
int AssignInput(int n);
// The recording's calibration of input n, whatever choosing its unit derived meanwhile: the
// recorder's scale is the one its counts were taken with.
void TakeRecordedCalibration(int n);
// "name:mode" of the loaded recording, for the window title.
extern char recording_title[];
// Takes a checked header as the loaded recording (why == nullptr), or refuses it with the
// reason `why`. 1 when taken.
int ApplyRecordingHeader(const RecordingHeader& h, const char* why);
