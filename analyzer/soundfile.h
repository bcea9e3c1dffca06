// Sound files as recordings (through libsndfile): playback of WAV, FLAC, W64 and RF64 beside
// the header format, and export of a loaded recording to WAV (32-bit PCM) or FLAC (24-bit).
//
// A file's channels are the inputs 0, 1, … of the recording, its rate the recording's rate. Its
// full scale is the converter's (2^23 counts) unless the operator gives a full-scale voltage.
// A file this program exported carries the recording's header (inputs, calibration, mode) in
// its comment and plays back with exactly the counts it was exported from.
#pragma once

#include <cstdint>

#include "analyzer/file_ctrl_rec.h"

// Full-scale voltage of sound files without our header, volts; 0 = the converter's full scale.
extern double soundFullScale;

// True for the names played through libsndfile: *.wav, *.flac, *.w64, *.rf64 (any case).
bool IsSoundFileName(const char* path);
// A sound file's properties as a recording header (lines, rate, columns, records, inputs and
// calibration). nullptr when usable, otherwise a short Russian reason.
const char* ReadSoundFileHeader(const char* path, RecordingHeader* h);
// Reads `count` records from record `first` of a sound file of `nrec` channels into `out`
// (count · nrec counts). Returns the records read (fewer at the end or on an error).
long ReadSoundRecords(const char* path, long long first, long count, int nrec, int32_t* out);
// Playback's step for a sound file (DataOfFile's counterpart): fs.nread records into the frame.
void DataOfSoundFile();
// Writes the loaded recording (file_name: header format or sound file) to `dst`, WAV or FLAC by
// its extension, through a temporary file renamed into place. nullptr on success, otherwise a
// Russian reason. `*clipped` gets the number of counts beyond the 24-bit range (saturated).
const char* ExportRecording(const char* dst, long long* clipped);
