// What a front-end module (or line noise) sends back: the link reads echoes and "#" replies
// from any byte stream without overrunning its buffers, and reports only its documented
// results.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "frontend/DeviceLink.h"

namespace {

// A line that answers with the fuzzer's bytes, then falls silent.
class PlayedBytes final : public dkv::SerialPortBase {
 public:
  const std::uint8_t* data = nullptr;
  std::size_t size = 0, next = 0;
  int AddRef() override { return 1; }
  int Release() override { return 1; }
  int Open(int, int, int, int, int, int) override { return 1; }
  void Close() override {}
  int Write(const unsigned char*, int length, unsigned) override { return length; }
  int Read(unsigned char*, int, unsigned) override { return 0; }
  std::int32_t GetChar() override { return next < size ? (dkv::kByteMarker | data[next++]) : 0; }
  std::int32_t PeekChar(int i) override {
    const std::size_t at = next + static_cast<std::size_t>(i);
    return i >= 0 && at < size ? (dkv::kByteMarker | data[at]) : 0;
  }
  void Purge() override {}
  int EscapeFunction(int) override { return 1; }
  int GetModemStatus() override { return 0; }
  std::intptr_t GetParam(int selector) override { return selector == dkv::kParamRunning ? 1 : 0; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  PlayedBytes line;
  line.data = data;
  line.size = size;
  DeviceLink link;
  link.port = &line;
  link.SetAddress(size > 0 ? data[0] % 100 : 1);
  const int sent = link.SendCommand("GAIN", 100, 1);
  if (sent != 2 && sent != 1 && sent != -1 && sent != 0) std::abort();
  char reply[8];
  std::memset(reply, 'x', sizeof reply);
  const int r = link.ReadReply(reply, sizeof reply, 1);
  if (std::memchr(reply, '\0', sizeof reply) == nullptr) std::abort();
  if (r > static_cast<int>(sizeof reply)) std::abort();
  link.port = nullptr;  // the line is not the link's to release
  return 0;
}
