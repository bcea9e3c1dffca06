#include "tools/dkv5128_sim.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace dkvsim {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

unsigned NextRandom(unsigned& state) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

void Log(const SimUnit& unit, const char* format, int a, const char* word, int value) {
  if (unit.log == nullptr) return;
  std::fprintf(unit.log, format, a, word, value);
  std::fflush(unit.log);
}

// Acts on one complete frame "$AAWORD[value]" (no ';').
void Execute(SimUnit& unit, std::string& out) {
  const char* f = unit.frame;
  const int n = unit.frameLength;
  unit.frames.emplace_back(f, static_cast<std::size_t>(n));
  if (n < 4 || !IsDigit(f[1]) || !IsDigit(f[2])) return;
  const int address = (f[1] - '0') * 10 + (f[2] - '0');
  int i = 3;
  char word[kMaxFrame] = {};
  int w = 0;
  while (i < n && IsLetter(f[i])) word[w++] = static_cast<char>(f[i++] & ~0x20);
  bool hasValue = false;
  long value = 0;
  while (i < n && IsDigit(f[i]) && value < 100000000) {
    hasValue = true;
    value = value * 10 + (f[i++] - '0');
  }
  if (address < kFirstAddress || address > kLastAddress) return;  // nobody there
  Module& m = unit.modules[static_cast<std::size_t>(address)];
  if (m.silent) return;
  const int v = static_cast<int>(value);
  const bool known = i == n;
  bool state = false;
  if (!known) {
    Log(unit, "%02d: malformed command %s (%d)\n", address, word, v);
  } else if (std::strcmp(word, "ECHO") == 0 && hasValue) {
    m.echo = v != 0;
    Log(unit, "%02d: %s %d\n", address, "echo", v);
  } else if (std::strcmp(word, "KEY") == 0 && hasValue) {
    m.key = v;
    Log(unit, "%02d: %s %d\n", address, "keyboard", v);
  } else if (std::strcmp(word, "GAIN") == 0 && hasValue) {
    m.gain100 = v;
    if (unit.log != nullptr) {
      std::fprintf(unit.log, "%02d: gain %d.%02d\n", address, v / 100, v % 100);
      std::fflush(unit.log);
    }
  } else if (std::strcmp(word, "LPF") == 0 && hasValue) {
    m.lpfCode = v;
    Log(unit, "%02d: %s %d\n", address, "low-pass code", v);
  } else if (std::strcmp(word, "HPF") == 0 && hasValue) {
    m.hpfCode = v;
    Log(unit, "%02d: %s %d\n", address, "high-pass code", v);
  } else if (std::strcmp(word, "STATE") == 0 && !hasValue) {
    state = true;
    Log(unit, "%02d: %s -> %d\n", address, "status", m.status);
  } else {
    Log(unit, "%02d: unknown command %s %d\n", address, word, v);
  }

  for (int k = 0; k < unit.noiseBytes; ++k)
    out.push_back(static_cast<char>(NextRandom(unit.random) % 0x20));
  if (m.wrongEcho) {
    char wrong[16];
    std::snprintf(wrong, sizeof wrong, "$%02dERR;", address);
    out += wrong;
  } else if (m.echo) {
    out.append(f, static_cast<std::size_t>(n));
    out.push_back(';');
  }
  if (state) {
    char reply[24];
    std::snprintf(reply, sizeof reply, "#%d;", m.status);
    out += reply;
  }
}

void WritePaced(int fd, const std::string& bytes, bool wireSpeed) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t chunk = wireSpeed ? 1 : bytes.size() - done;
    const ssize_t n = ::write(fd, bytes.data() + done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        struct pollfd out = {fd, POLLOUT, 0};
        ::poll(&out, 1, 10);
        continue;
      }
      return;
    }
    done += static_cast<std::size_t>(n);
    if (wireSpeed)
      std::this_thread::sleep_for(std::chrono::microseconds(static_cast<int>(kCharMicroseconds)));
  }
}

void Serve(SimPty& sim) {
  unsigned char buffer[512];
  for (;;) {
    struct pollfd fds[2] = {{sim.master, POLLIN, 0}, {sim.wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
    const ssize_t got = ::read(sim.master, buffer, sizeof buffer);
    if (got <= 0) {
      if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;
      ::poll(fds + 1, 1, 10);  // no host side for the moment
      continue;
    }
    std::string answer;
    {
      std::lock_guard<std::mutex> hold(sim.mutex);
      for (ssize_t i = 0; i < got; ++i) SimFeed(sim.unit, buffer[i], answer);
    }
    if (sim.wireSpeed) {
      // The bytes needed this long to come down the line.
      std::this_thread::sleep_for(
          std::chrono::microseconds(static_cast<int>(kCharMicroseconds * got)));
    }
    if (!answer.empty()) WritePaced(sim.master, answer, sim.wireSpeed);
  }
}

void CloseFd(int* fd) {
  if (*fd >= 0) {
    ::close(*fd);
    *fd = -1;
  }
}

}  // namespace

void SimInit(SimUnit& unit, const Options& options, std::FILE* log) {
  unit.modules = options.modules;
  unit.noiseBytes = options.noiseBytes;
  unit.random = options.seed != 0 ? options.seed : 1;
  unit.frameLength = -1;
  unit.log = log;
  unit.frames.clear();
}

void SimFeed(SimUnit& unit, unsigned char byte, std::string& out) {
  if (byte == '$') {
    unit.frame[0] = '$';
    unit.frameLength = 1;
    return;
  }
  if (unit.frameLength < 0) return;  // between frames: line noise
  if (byte == ';') {
    Execute(unit, out);
    unit.frameLength = -1;
    return;
  }
  if (unit.frameLength == kMaxFrame - 1 || byte < 0x20) {
    unit.frameLength = -1;  // garbled: wait for the next '$'
    return;
  }
  unit.frame[unit.frameLength++] = static_cast<char>(byte);
}

bool SimStart(SimPty& sim, const Options& options, std::FILE* log) {
  SimInit(sim.unit, options, log);
  sim.wireSpeed = options.wireSpeed;
  sim.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (sim.master < 0) return false;
  const char* name = nullptr;
  if (::grantpt(sim.master) != 0 || ::unlockpt(sim.master) != 0 ||
      (name = ::ptsname(sim.master)) == nullptr ||
      std::snprintf(sim.path, sizeof sim.path, "%s", name) >= static_cast<int>(sizeof sim.path)) {
    const int saved = errno;
    CloseFd(&sim.master);
    errno = saved;
    return false;
  }
  sim.slave = ::open(sim.path, O_RDWR | O_NOCTTY | O_CLOEXEC);
  struct termios t;
  if (sim.slave < 0 || ::tcgetattr(sim.slave, &t) != 0 || ::pipe2(sim.wake, O_CLOEXEC) != 0) {
    const int saved = errno;
    CloseFd(&sim.slave);
    CloseFd(&sim.master);
    errno = saved;
    return false;
  }
  // Raw until the host sets the line itself: no echo of our answers back to us.
  ::cfmakeraw(&t);
  ::tcsetattr(sim.slave, TCSANOW, &t);
  ::fcntl(sim.master, F_SETFL, ::fcntl(sim.master, F_GETFL) | O_NONBLOCK);
  sim.thread = std::thread(Serve, std::ref(sim));
  return true;
}

void SimStop(SimPty& sim) {
  if (sim.thread.joinable()) {
    const char stop = 1;
    (void)!::write(sim.wake[1], &stop, 1);
    sim.thread.join();
  }
  CloseFd(&sim.wake[0]);
  CloseFd(&sim.wake[1]);
  CloseFd(&sim.slave);
  CloseFd(&sim.master);
}

bool SimInject(SimPty& sim, const void* bytes, std::size_t length) {
  const auto* p = static_cast<const unsigned char*>(bytes);
  std::size_t done = 0;
  while (done < length) {
    const ssize_t n = ::write(sim.master, p + done, length - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN) return false;
      struct pollfd out = {sim.master, POLLOUT, 0};
      ::poll(&out, 1, 10);
      continue;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::vector<std::string> SimFrames(SimPty& sim, bool clear) {
  std::lock_guard<std::mutex> hold(sim.mutex);
  std::vector<std::string> frames = sim.unit.frames;
  if (clear) sim.unit.frames.clear();
  return frames;
}

Module SimModule(SimPty& sim, int address) {
  std::lock_guard<std::mutex> hold(sim.mutex);
  if (address < kFirstAddress || address > kLastAddress) return Module{};
  return sim.unit.modules[static_cast<std::size_t>(address)];
}

}  // namespace dkvsim
