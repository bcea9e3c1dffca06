// Every file the program writes and every settings file it reads goes through here, so that
// nothing standing under a file's name can redirect or hold the program: a link is never
// followed on writing, a pipe or device is never opened for writing nor waited on for reading.
//
// A write goes to a fresh, unpredictable temporary in the target's folder (created with
// O_CREAT|O_EXCL|O_NOFOLLOW), is flushed to the disk and renamed over the target. A target
// that exists and is not a plain file is refused and left alone.
//
// Temporaries are named "<name>.<pid>.<six letters>.part". A program killed while writing
// leaves them behind; RecoverFileSet removes those of a program that no longer runs.
//
// No Qt here: the measurement core and the toolkit share it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

enum SafeWriteResult {
  kFileWritten = 0,
  kFileCannotCreate = 1,  // no temporary could be made in the folder (missing, not writable)
  kFileWriteFailed = 2,   // writing, flushing or renaming failed; the old file is kept
  kFileNotPlain = 3,      // the name is taken by a link, pipe, device or folder: left alone
};

// Writes `size` bytes as the file `path` (see above). One of SafeWriteResult. While a file set
// is open (BeginFileSet) the file is only staged and goes in place with the set.
int WriteFileSafely(const char* path, const void* data, std::size_t size);

// Reads at most `capacity` bytes of `path` into `buf`, the count to `*n`. False when the file is
// missing or is no plain file (opened without blocking and checked before any read).
bool ReadPlainFile(const char* path, unsigned char* buf, std::size_t capacity, std::size_t* n);
// The same into a string; false too when the file is longer than `limit`.
bool ReadPlainFile(const char* path, std::string* out, std::size_t limit);

// Opens a plain file for reading as a stdio stream (binary), or null when it is missing or no
// plain file. The check is made on the opened file, so nothing can be swapped in after it.
std::FILE* OpenPlainFile(const char* path);

// A file written beside its target and not yet in place.
struct StagedFile {
  int dirFd = -1;
  std::string dir;       // folder of the target, as given
  std::string name;      // target's name in the folder
  std::string tempName;  // the temporary's name in the folder
};

// Creates the temporary of `path` and gives its descriptor (read-write) to `*fd`, for writers
// that need a file of their own to write (an encoder, say); the caller flushes and closes it,
// then commits or discards. kFileWritten when `staged` holds it; otherwise nothing is left.
int OpenStagedFile(const char* path, StagedFile* staged, int* fd);
// Writes the temporary of `path`. kFileWritten when `staged` holds it; otherwise nothing is left.
int StageFile(const char* path, const void* data, std::size_t size, StagedFile* staged);
// Renames the temporary over the target (refused when the target has become something other
// than a plain file meanwhile) and releases `staged`.
int CommitStagedFile(StagedFile* staged);
// Removes the temporary and releases `staged`.
void DiscardStagedFile(StagedFile* staged);

// Files that must only ever be seen together. Between BeginFileSet and EndFileSet every
// WriteFileSafely is staged; EndFileSet records the set in the journal `journalPath` (one
// atomic rename: the moment the set counts as saved), renames the files in place and removes
// the journal. Files outside the journal's folder go in place on their own.
void BeginFileSet(const char* journalPath);
// kFileWritten when all went in place; otherwise the first failure, its target in `*failed`.
int EndFileSet(std::string* failed);

// At start, before the set's files are read: completes a set whose journal is in place (a
// program killed after the journal went in), then removes the journal and the temporaries of
// `names` (in the journal's folder) and of the journal that no running program owns. Only
// names in `names` are ever renamed. Returns the number of files it put in place.
int RecoverFileSet(const char* journalPath, const char* const* names, int count);

// A private folder (mode 0700) for a library that insists on a path of its own, in the system's
// temporary folder, named "veltra-<pid>.<six letters>"; RecoverFileSet removes those of
// programs that no longer run. False when none could be made.
bool MakeScratchDir(std::string* dir);
// Removes the folder made by MakeScratchDir and the plain files in it.
void RemoveScratchDir(const std::string& dir);
