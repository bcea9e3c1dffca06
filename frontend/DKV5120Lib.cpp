#include "frontend/DKV5120Lib.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <new>

#include "frontend/DeviceLink.h"

unsigned dkv::exportReplyWindowMs = 200;

namespace {

constexpr int kStatusBufferSize = 100;
constexpr int kStatusAttention = 8;

int SendTo(DeviceLink* link, int address, const char* word, int value) {
  if (link == nullptr) return 0;
  link->SetAddress(address);
  return link->SendCommand(word, value, dkv::exportReplyWindowMs);
}

// Leading decimal number of the reply, as atoi reads it but without overflow.
int StatusValue(const char* text) {
  errno = 0;
  const long v = std::strtol(text, nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

}  // namespace

extern "C" {

void DKV5120LibClose(DeviceLink* link) {
  if (link == nullptr) return;
  link->Disconnect();
  delete link;
}

DeviceLink* DKV5120LibCreate(int portIndex) {
  DeviceLink* link = new (std::nothrow) DeviceLink;
  if (link == nullptr) return nullptr;
  if (link->Connect(portIndex) != 1) {
    link->Disconnect();
    delete link;
    return nullptr;
  }
  return link;
}

int DKV5120LibInit(DeviceLink* link, int address, int remote) {
  if (link == nullptr) return 0;
  if (link->port != nullptr) link->port->Purge();
  link->SetAddress(address);
  if (remote == 0) {
    link->SendCommand("ECHO", 0, dkv::exportReplyWindowMs);
    link->SendCommand("KEY", 1, dkv::exportReplyWindowMs);
    return 1;
  }
  link->SendCommand("ECHO", 1, dkv::exportReplyWindowMs);
  link->SendCommand("KEY", 0, dkv::exportReplyWindowMs);
  if (link->SendCommand("STATE", -1, dkv::exportReplyWindowMs) <= 0) return -1;
  char reply[kStatusBufferSize];
  if (link->ReadReply(reply, kStatusBufferSize, dkv::exportReplyWindowMs) <= 0) return -1;
  return (StatusValue(reply) & kStatusAttention) != 0 ? 9 : 1;
}

int DKV5120LibSetGain(DeviceLink* link, int address, int gain100) {
  return SendTo(link, address, "GAIN", gain100);
}

int DKV5120LibSetHPF(DeviceLink* link, int address, int code) {
  return SendTo(link, address, "HPF", code);
}

int DKV5120LibSetLPF(DeviceLink* link, int address, int code) {
  return SendTo(link, address, "LPF", code);
}

}  // extern "C"
