// The object behind the library handle: one serial port, the current module
// address, and the ASCII command protocol of the front-end modules.
//
// Frames are "$" + two-digit address + command word + optional decimal argument + ";".
// A module with echo on answers with the same text; a status query is answered
// after the echo with "#" + number + ";" (or CR or LF).
#pragma once

#include "frontend/SerialPortBase.h"

namespace dkv {

constexpr int kFrameBufferSize = 32;  // frame and echo buffers
constexpr int kLinkBaud = 4800;

using PortFactory = SerialPortBase* (*)();

// Reply window of every command the exports send, 200 ms. Only the tests change it:
// where they expect an answer they widen it to a hang guard, so that a busy machine
// is never taken for a silent module.
extern unsigned exportReplyWindowMs;

}  // namespace dkv

struct DeviceLink {
  dkv::SerialPortBase* port = nullptr;  // one reference owned, null when not connected
  int address = 0;                      // 0..99
  // Received bytes dropped unread since the link was made: those waiting before a command
  // and those the port's full queue gave up.
  long long discarded = 0;

  // Opens COM(portIndex + 1) at 4800 8N1 without handshake, clears it and raises
  // DTR and RTS. 1 success; 0 the port did not open (the port object stays held);
  // -1 the port object could not be made.
  int Connect(int portIndex, dkv::PortFactory make = dkv::CreateSerialPort);
  void Disconnect();
  // Stores the address clamped to 0..99 and returns it.
  int SetAddress(int a);
  // Sends one command; a negative value sends the bare word. Results: 2 the module
  // echoed it exactly; 1 an answer with "$" that does not match, a time-out after a
  // "$", or sent without waiting (time-out 0); -1 no "$" within the time-out;
  // 0 not sent.
  int SendCommand(const char* word, int value, unsigned timeoutMs);
  // Reads one "#" reply into buffer (at most capacity - 1 characters, upper case,
  // always terminated). 1 a complete reply; -1 no "#" in time, time-out 0, or a reply
  // too long for the buffer; otherwise the characters stored when time ran out
  // after the "#"; 0 not usable (no port, closed port, no buffer).
  int ReadReply(char* buffer, int capacity, unsigned timeoutMs);

 private:
  bool Usable() const;
};
