#include "analyzer/fileio.h"

#include <iconv.h>

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
