#include "analyzer/fileio.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <cstdio>
#include <string>

int WriteFileAtomic(const char* path, const void* data, std::size_t size) {
  const std::string tmp = std::string(path) + ".part";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (f == nullptr) return 1;
  bool ok = std::fwrite(data, 1, size, f) == size;
  ok = (std::fflush(f) == 0) && ok;
  ok = (std::fclose(f) == 0) && ok;
  if (!ok || std::rename(tmp.c_str(), path) != 0) {
    std::remove(tmp.c_str());
    return 2;
  }
  return 0;
}

bool ReadSmallFile(const char* path, unsigned char* buf, std::size_t capacity, std::size_t* n) {
  *n = 0;
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    close(fd);
    return false;
  }
  while (*n < capacity) {
    const ssize_t got = read(fd, buf + *n, capacity - *n);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    *n += static_cast<std::size_t>(got);
  }
  close(fd);
  return true;
}

std::size_t FromTextMode(unsigned char* buf, std::size_t n, std::size_t exactSize) {
  if (n == exactSize) return n;
  std::size_t w = 0;
  for (std::size_t r = 0; r < n; ++r) {
    if (buf[r] == 0x0D && r + 1 < n && buf[r + 1] == 0x0A) continue;
    buf[w++] = buf[r];
  }
  return w;
}

bool RecodeText(const char* to, const char* from, const char* in, std::size_t inLen, char* out,
                std::size_t outSize) {
  if (outSize == 0) return false;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  char* src = const_cast<char*>(in);
  char* dst = out;
  std::size_t left = inLen, room = outSize - 1;
  const std::size_t r = iconv(cd, &src, &left, &dst, &room);
  iconv_close(cd);
  if (r == static_cast<std::size_t>(-1) || left != 0) return false;
  *dst = '\0';
  return true;
}
