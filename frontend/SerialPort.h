// Serial port on POSIX termios. The device behind port number n is the path in the
// environment variable DKV5120_COM<n>, else /dev/ttyS<n-1>.
//
// Threads: one caller thread uses the operations; while open, a reader thread moves
// every received byte into the receive queue. The queue and the line-mark decoder
// are touched only under `lock_`; `running_`, `readerAlive_` and `lastError_` are
// atomics. Close wakes the reader through a pipe and joins it before it returns.
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "frontend/RxQueue.h"
#include "frontend/SerialPortBase.h"

namespace dkv {

// Undoes the marking that PARMRK puts into the input stream: 0xFF 0xFF is a data
// byte 0xFF, 0xFF 0x00 x reports a byte received with a parity or framing error
// (x = 0 also a break).
struct MarkedByteDecoder {
  enum Result { kNothing, kByte, kLineError };
  int state = 0;
  Result Feed(unsigned char in, unsigned char* out);
};

// Poll interval of the reader for a line setting, in ms.
int PollIntervalMs(int baud, int dataBits, int stopBits);

// Highest standard rate not above `baud` (75 for anything lower).
int StandardBaud(int baud);

// Device path for port number `port`, written into `path`; false when it does not fit.
bool PortDevicePath(int port, char* path, int capacity);

class SerialPort final : public SerialPortBase {
 public:
  static constexpr int kReadChunk = 1024;
  static constexpr int kMaxBaud = 115200;

  SerialPort() = default;
  // Builds the receive queue; false when out of memory.
  bool Init();

  int AddRef() override;
  int Release() override;
  int Open(int port, int baud, int dataBits, int stopBits, int parity, int flags) override;
  void Close() override;
  int Write(const unsigned char* buffer, int length, unsigned timeoutMs) override;
  int Read(unsigned char* buffer, int length, unsigned timeoutMs) override;
  std::int32_t GetChar() override;
  std::int32_t PeekChar(int index) override;
  void Purge() override;
  int EscapeFunction(int code) override;
  int GetModemStatus() override;
  std::intptr_t GetParam(int selector) override;

  bool ReaderAlive() const { return readerAlive_.load(); }

 private:
  enum class ErrorKind { kWrite, kRead, kLine };
  struct LineCounts {
    int parity = 0, frame = 0, overrun = 0;
  };

  ~SerialPort();
  // Line settings, applied by Open before the reader starts; 1 on success, -1 when
  // the device refuses them.
  int Configure(int baud, int dataBits, int stopBits, int parity, int flags);
  static void* ReaderMain(void* self);
  void ReaderLoop();
  int ReadAvailable();
  void WaitPollInterval();
  void OnCommError(ErrorKind kind, const LineCounts& seen);
  bool ReadLineCounts(LineCounts* counts) const;
  bool ResetQueue();

  std::atomic<int> refs_{0};
  int fd_ = -1;
  int wake_[2] = {-1, -1};  // the reader polls wake_[0]; Close writes wake_[1]
  pthread_t thread_{};
  bool threadStarted_ = false;
  std::mutex lock_;
  std::condition_variable arrived_;
  int pollIntervalMs_ = 10;
  int baud_ = 9600;
  int dataBits_ = 8;
  int stopBits_ = 0;
  int parity_ = 0;
  int handshake_ = kHandshakeRtsCts;
  unsigned char xoffChar_ = 0x13;
  unsigned char xonChar_ = 0x11;
  std::atomic<int> lastError_{kErrNone};
  std::atomic<long long> discarded_{0};
  std::atomic<int> running_{0};
  std::atomic<bool> readerAlive_{false};
  RxQueue queue_;
  MarkedByteDecoder decoder_;
  bool haveLineCounts_ = false;
  LineCounts lineCounts_;
  char portName_[10] = {};
  unsigned char readBuffer_[kReadChunk] = {};
};

}  // namespace dkv
