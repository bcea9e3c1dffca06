// Small file helpers shared by the modules that keep settings and results on disk.
#pragma once

#include <cstddef>

#include "safefile/safefile.h"

// Writes `size` bytes to `path` through a fresh temporary beside it renamed over the old one
// (WriteFileSafely), so a crash or a full disk never leaves half a file and a link or pipe under
// the name is never written through. 0 written; 1 the file cannot be created; 2 writing,
// closing or renaming failed (the old file is kept); 3 the name is no plain file (left alone).
inline int WriteFileAtomic(const char* path, const void* data, std::size_t size) {
  return WriteFileSafely(path, data, size);
}

// Reads at most `capacity` bytes of a plain file into `buf`; the count read goes to `*n`. False
// when the file is missing or is no plain file: a pipe or device under the name must never hold
// the program, and only a plain file is a settings file.
inline bool ReadSmallFile(const char* path, unsigned char* buf, std::size_t capacity,
                          std::size_t* n) {
  return ReadPlainFile(path, buf, capacity, n);
}

// A parameter file of `exactSize` bytes written by the Windows program in text mode has every
// 0x0A stored as 0x0D 0x0A: folds those pairs back in place unless `n` is already the exact
// size. Returns the new length.
std::size_t FromTextMode(unsigned char* buf, std::size_t n, std::size_t exactSize);

// Converts text between encodings (iconv names, e.g. "CP1251", "UTF-8") into `out`
// (`outSize` bytes, terminated). False when a character cannot be converted or does not fit.
bool RecodeText(const char* to, const char* from, const char* in, std::size_t inLen, char* out,
                std::size_t outSize);
