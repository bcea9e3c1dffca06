// Simulator of the DKV5128 front end: eight channel modules at bus addresses 1..8
// answering the ASCII command protocol, either fed byte by byte (SimUnit) or served
// on a pseudo-terminal by a thread of its own (SimPty).
//
// Protocol as the modules speak it: the host sends "$AAWORD[value];". A module with
// echo on answers with the same text and the ';' (the echo setting after the
// command counts, so "ECHO1" is echoed and "ECHO0" is not). "STATE" is answered
// after the echo with "#<status>;". GAIN, LPF and HPF are stored; KEY 0/1 switches
// the module's own keyboard.
#pragma once

#include <array>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace dkvsim {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 8;
constexpr int kMaxFrame = 64;
constexpr double kCharMicroseconds = 1e6 * 10 / 4800;  // 4800 baud, 10 bits a character

struct Module {
  bool echo = true;
  int key = 1;
  int gain100 = 100;
  int lpfCode = 6;
  int hpfCode = 0;
  int status = 0;
  bool silent = false;     // never answers
  bool wrongEcho = false;  // answers "$AAERR;" instead of the echo
};

struct Options {
  std::array<Module, kLastAddress + 1> modules{};  // index = address; 0 unused
  int noiseBytes = 0;      // random control bytes (0x00..0x1F) sent before every answer
  bool wireSpeed = false;  // pace traffic at 4800 baud
  unsigned seed = 1;
};

struct SimUnit {
  std::array<Module, kLastAddress + 1> modules{};
  int noiseBytes = 0;
  unsigned random = 1;
  char frame[kMaxFrame] = {};
  int frameLength = -1;  // -1: outside a frame
  std::FILE* log = nullptr;
  std::vector<std::string> frames;  // every complete frame received, without the ';'
};

void SimInit(SimUnit& unit, const Options& options, std::FILE* log);
// Takes one byte from the host; appends the unit's answer, if any, to `out`.
void SimFeed(SimUnit& unit, unsigned char byte, std::string& out);

// The unit on the master side of a pseudo-terminal. The slave stays open here too,
// so the host may open and close it any number of times.
struct SimPty {
  int master = -1;
  int slave = -1;
  int wake[2] = {-1, -1};
  char path[128] = {};
  bool wireSpeed = false;
  std::thread thread;
  std::mutex mutex;  // guards unit
  SimUnit unit;
};

// Opens the pseudo-terminal and starts serving. False (with errno) on failure.
bool SimStart(SimPty& sim, const Options& options, std::FILE* log);
void SimStop(SimPty& sim);
// Sends raw bytes to the host, as if the line had carried them.
bool SimInject(SimPty& sim, const void* bytes, std::size_t length);
// Frames received so far (without the ';'); `clear` forgets them.
std::vector<std::string> SimFrames(SimPty& sim, bool clear = false);
Module SimModule(SimPty& sim, int address);

}  // namespace dkvsim
