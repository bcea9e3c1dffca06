// The recorder: writes the running source's inputs as a recording in the playback format (a raw
// file of little-endian 32-bit counts, one record of every recorded input per sample, and the
// Windows-1251 ".inf" header beside it).
//
// Threads: RecorderStart, RecorderPush, RecorderPoll and RecorderStop are called from the user
// interface thread only. The data are written by one writer thread of the recorder behind a
// bounded queue; it also rewrites the header (temporary file + rename) at most once a second
// with what has reached the data file, and once more at the stop. A crash therefore leaves a
// recording whose header is at most about a second behind its data, and a write error or a full
// disk leaves a shorter recording whose header states exactly the records written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "analyzer/calibration.h"
#include "analyzer/file_ctrl_rec.h"

// What a recording holds besides its data: the header's fields.
struct RecordingSetup {
  double srate;               // Hz
  int runmode;                // collect-run mode 0…8 (its text is the header's first line)
  int flen;                   // frame length of the run
  int nrec;                   // columns (recorded inputs), 1…kRecordValues
  int input[kRecordValues];   // input number of each column
  double sen[kRecordValues];  // mV per unit
  double upc[kRecordValues];  // units per count
  double lo[kRecordValues];   // 0 dB reference, units
  char dim[kRecordValues][kDimTextLen];  // unit, UTF-8
};

// Where the data bytes go. The default writes to the data file; tests put in one that fails.
// write: bytes written (fewer, or -1 with errno set, on an error); sync: 0 when the bytes
// written so far are on the disk.
struct RecorderSink {
  long (*write)(void* ctx, int fd, const void* data, std::size_t n);
  int (*sync)(void* ctx, int fd);
  void* ctx;
};

struct RecorderStatus {
  bool active;        // a recording is open (it may have failed and wait for its stop)
  long long records;  // records on disk (whole records only)
  long long bytes;    // bytes on disk, a partly written record included
  double seconds;     // records / rate
  int error;          // errno of the failure that stopped the writer, 0 when none
  bool overrun;       // the queue was full: the source outran the disk
  bool limit;         // the recording reached the most values its header can state
};

// The header text (UTF-8, lines ending in '\n') for `records` records of `setup`.
std::string RecordingHeaderText(const RecordingSetup& setup, long long records);

// Opens `dataPath` (created or truncated; only a plain file) and its header (the name with its
// extension replaced by, or extended with, ".inf") and starts the writer. 0 on success;
// otherwise the errno of the failure (EISDIR when the name is taken by no plain file).
int RecorderStart(const char* dataPath, const RecordingSetup& setup,
                  const RecorderSink* sink = nullptr);
// Queues `frames` records of setup.nrec counts each. False when the recording can take no more:
// the writer failed, or the queue is full (the step is dropped, and the recording ends there).
bool RecorderPush(const int32_t* records, int frames);
RecorderStatus RecorderPoll();
// Writes what is queued (unless the writer failed), rewrites the header with the records on
// disk, closes the files and ends the writer. Returns the final status; nothing when idle.
RecorderStatus RecorderStop();
// The queue holds at most this many bytes (about eight seconds of eight inputs at 65536 Hz).
constexpr std::size_t kRecorderQueueBytes = std::size_t{16} << 20;
