// Abstract serial port as the device link sees it. Twelve operations in a fixed
// slot order; the object counts its references and destroys itself at zero.
//
// Threads: every operation is called from one caller thread. An implementation may
// run its own reader thread; GetChar, PeekChar and Purge are safe against it.
#pragma once

#include <cstdint>

namespace dkv {

// A byte taken from the receive queue carries this marker so that a received NUL
// is told apart from an empty queue (0).
constexpr std::int32_t kByteMarker = INT32_MIN;

// EscapeFunction codes (the values of the Windows communications API).
enum EscapeCode : int {
  kSetXoff = 1,
  kSetXon = 2,
  kSetRts = 3,
  kClrRts = 4,
  kSetDtr = 5,
  kClrDtr = 6,
  kSetBreak = 8,
  kClrBreak = 9,
};

// GetModemStatus bits.
constexpr int kModemCts = 0x10;
constexpr int kModemDsr = 0x20;
constexpr int kModemRing = 0x40;
constexpr int kModemRlsd = 0x80;

// Handshake flags given to Open.
constexpr int kHandshakeDtrDsr = 1;
constexpr int kHandshakeRtsCts = 2;
constexpr int kHandshakeXonXoff = 4;

// GetParam selectors.
enum ParamSelector : int {
  kParamBaud = 1,
  kParamStopBits = 2,
  kParamParity = 3,
  kParamHandshake = 4,
  kParamDataBits = 5,
  kParamPortName = 6,    // const char* to the port's name
  kParamRunning = 7,     // 1 open and usable, 0 closed
  kParamLastError = 8,   // code 0..5, reset by the query
  kParamErrorText = 9,   // const char* text of the code, reset by the query
  kParamDiscarded = 10,  // received bytes dropped unread (queue full, Purge), reset by the query
};

// Last error codes.
enum LineError : int {
  kErrNone = 0,
  kErrWrite = 1,
  kErrRead = 2,
  kErrParity = 3,
  kErrFraming = 4,
  kErrOverrun = 5,
};

class SerialPortBase {
 public:
  virtual int AddRef() = 0;
  virtual int Release() = 0;
  // Port number n is COMn. Returns 1 opened, 0 already open, -1 failed.
  virtual int Open(int port, int baud, int dataBits, int stopBits, int parity, int flags) = 0;
  virtual void Close() = 0;
  // Returns the bytes written, 0 on failure or time-out.
  virtual int Write(const unsigned char* buffer, int length, unsigned timeoutMs) = 0;
  // Returns the bytes taken from the receive queue within the time-out.
  virtual int Read(unsigned char* buffer, int length, unsigned timeoutMs) = 0;
  // 0 when the queue is empty, else kByteMarker | byte.
  virtual std::int32_t GetChar() = 0;
  // Byte i of the queue (0 = oldest) as GetChar gives it, 0 when fewer are queued.
  virtual std::int32_t PeekChar(int index) = 0;
  // Discards what the driver and the receive queue hold.
  virtual void Purge() = 0;
  // Nonzero on success.
  virtual int EscapeFunction(int code) = 0;
  // kModem* bits; 0 when not open; -1 when the query fails.
  virtual int GetModemStatus() = 0;
  virtual std::intptr_t GetParam(int selector) = 0;

 protected:
  ~SerialPortBase() = default;  // only Release destroys
};

// Creates the platform's serial port with one reference; null when out of memory.
SerialPortBase* CreateSerialPort();

}  // namespace dkv
