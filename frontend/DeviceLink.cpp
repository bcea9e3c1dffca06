#include "frontend/DeviceLink.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "frontend/Timing.h"

namespace {

constexpr auto kQueuePollStep = std::chrono::milliseconds(5);
constexpr unsigned kWriteTimeoutMs = 1000;
// What the port's receive queue holds at most: one drain empties it, however long the
// device chattered before the command.
constexpr int kDrainLimit = 65536;
// Bytes a reply wait takes from the queue before its window may cut it short. A
// 4800-baud line brings about 100 in a 200-ms window, so a caller that was slow to
// look still reads a reply that came in time; only a line that never falls quiet
// is stopped at the deadline.
constexpr int kPatientBytes = 1024;

char ToUpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Next byte of the queue as GetChar gives it, 0 once the time-out has passed.
std::int32_t WaitChar(dkv::SerialPortBase* port, const dkv::Stopwatch& clock, unsigned timeoutMs) {
  for (;;) {
    const std::int32_t c = port->GetChar();
    if (c != 0) return c;
    if (clock.Exceeded(timeoutMs)) return 0;
    std::this_thread::sleep_for(kQueuePollStep);
  }
}

}  // namespace

int DeviceLink::Connect(int portIndex, dkv::PortFactory make) {
  Disconnect();
  port = make();
  if (port == nullptr) return -1;
  // Indexes past COM99 go to port 0, which no device answers (and never overflow).
  const int number = portIndex >= 0 && portIndex < 99 ? portIndex + 1 : 0;
  if (port->Open(number, dkv::kLinkBaud, 8, 0, 0, 0) < 1) return 0;
  port->Purge();
  port->EscapeFunction(dkv::kSetDtr);
  port->EscapeFunction(dkv::kSetRts);
  return 1;
}

void DeviceLink::Disconnect() {
  if (port == nullptr) return;
  port->Close();
  port->Release();
  port = nullptr;
}

int DeviceLink::SetAddress(int a) {
  address = a < 0 ? 0 : (a > 99 ? 99 : a);
  return address;
}

bool DeviceLink::Usable() const {
  return port != nullptr && port->GetParam(dkv::kParamRunning) != 0;
}

int DeviceLink::SendCommand(const char* word, int value, unsigned timeoutMs) {
  if (!Usable() || word == nullptr) return 0;
  // Whatever came before the command cannot be its echo.
  int drained = 0;
  while (drained < kDrainLimit && port->GetChar() != 0) ++drained;
  discarded += drained + static_cast<long long>(port->GetParam(dkv::kParamDiscarded));

  char frame[dkv::kFrameBufferSize];
  const int length = value >= 0
                         ? std::snprintf(frame, sizeof frame, "$%02d%s%d;", address, word, value)
                         : std::snprintf(frame, sizeof frame, "$%02d%s;", address, word);
  // A word too long for the frame buffer would go out cut short: send nothing.
  if (length <= 0 || length >= dkv::kFrameBufferSize) return 0;
  for (int i = 0; i < length; ++i) frame[i] = ToUpperAscii(frame[i]);

  if (port->Write(reinterpret_cast<const unsigned char*>(frame), length, kWriteTimeoutMs) != length)
    return 0;
  const int expectedLength = length - 1;  // the echo is compared without the ';'
  if (timeoutMs == 0) return 1;

  int result = -1;
  const dkv::Stopwatch clock;
  std::int32_t c;
  for (int skipped = 0;; ++skipped) {
    c = WaitChar(port, clock, timeoutMs);
    if (c == 0) return result;
    if ((c & 0xFF) != ';' && (c & 0xFF) >= 0x20) break;
    if (skipped >= kPatientBytes && clock.Exceeded(timeoutMs)) return result;
  }

  char echo[dkv::kFrameBufferSize];
  int stored = 0;
  for (;;) {
    const int byte = c & 0xFF;
    if (byte == ';' || byte < 0x20) break;
    // No echo of a well-formed frame fills the buffer; stop collecting if one does.
    if (stored == dkv::kFrameBufferSize - 1) break;
    echo[stored++] = static_cast<char>(byte);
    if (byte == '$') result = 1;
    c = WaitChar(port, clock, timeoutMs);
    if (c == 0) return result;
  }
  if (result == 1 && stored == expectedLength &&
      std::memcmp(echo, frame, static_cast<std::size_t>(stored)) == 0) {
    result = 2;
  }
  return result;
}

int DeviceLink::ReadReply(char* buffer, int capacity, unsigned timeoutMs) {
  if (!Usable() || buffer == nullptr || capacity <= 0) return 0;
  buffer[0] = '\0';
  if (timeoutMs == 0) return -1;

  const dkv::Stopwatch clock;
  std::int32_t c;
  for (int skipped = 0;; ++skipped) {
    c = WaitChar(port, clock, timeoutMs);
    if (c == 0) return -1;
    if ((c & 0xFF) == '#') break;
    if (skipped >= kPatientBytes && clock.Exceeded(timeoutMs)) return -1;
  }

  int stored = 0;
  for (;;) {
    c = WaitChar(port, clock, timeoutMs);
    if (c == 0) return stored;
    const char byte = static_cast<char>(c & 0xFF);
    if (byte == ';' || byte == '\n' || byte == '\r') return 1;
    if (stored == capacity - 1) return -1;
    buffer[stored++] = ToUpperAscii(byte);
    buffer[stored] = '\0';
    if (stored >= kPatientBytes && clock.Exceeded(timeoutMs)) return stored;
  }
}
