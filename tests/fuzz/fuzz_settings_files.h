// Writes a fuzz input where a reader expects a settings file.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline const std::string& FuzzScratchFile(const char* name) {
  static const std::string dir = [] {
    char path[] = "/tmp/veltra-fuzz-XXXXXX";
    const char* d = mkdtemp(path);
    return std::string(d != nullptr ? d : "/tmp");
  }();
  static std::string path;
  path = dir + "/" + name;
  return path;
}

inline const char* WriteFuzzFile(const char* name, const std::uint8_t* data, std::size_t size) {
  const std::string& path = FuzzScratchFile(name);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
  return path.c_str();
}
