// Shared helpers of the front-end tests: a raw pseudo-terminal peer, a simulated
// unit bound to a COM number, bounded waits, and counts of threads and descriptors.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "tools/dkv5128_sim.h"

namespace fetest {

// Waits for `done` at most a generous bound; the bound only keeps a broken build
// from hanging, it is no assertion on speed.
template <typename Done>
bool WaitFor(Done done, std::chrono::milliseconds bound = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + bound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline int CountEntries(const char* dir) {
  DIR* d = ::opendir(dir);
  if (d == nullptr) return -1;
  int n = 0;
  while (::readdir(d) != nullptr) ++n;
  ::closedir(d);
  return n;
}
inline int OpenDescriptors() { return CountEntries("/proc/self/fd"); }
inline int Threads() { return CountEntries("/proc/self/task"); }

// Points COM`port` at `path` for this process.
inline void MapPort(int port, const char* path) {
  const std::string name = "DKV5120_COM" + std::to_string(port);
  ::setenv(name.c_str(), path, 1);
}

// A bare pseudo-terminal: the test plays the device on the master side.
struct PtyPeer {
  int master = -1;
  int slave = -1;  // held so the line never hangs up between host opens
  std::string path;

  bool Open() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return false;
    path = ::ptsname(master);
    slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    struct termios t;
    if (slave < 0 || ::tcgetattr(slave, &t) != 0) return false;
    ::cfmakeraw(&t);
    return ::tcsetattr(slave, TCSANOW, &t) == 0;
  }
  void CloseMaster() {
    if (master >= 0) ::close(master);
    master = -1;
  }
  ~PtyPeer() {
    CloseMaster();
    if (slave >= 0) ::close(slave);
  }
  bool Send(const std::string& bytes) const {
    return ::write(master, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }
  // Reads what the host wrote until `count` bytes came or the bound passed.
  std::string Receive(std::size_t count, int boundMs = 5000) const {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
      struct pollfd in = {master, POLLIN, 0};
      if (::poll(&in, 1, 10) <= 0) continue;
      char buffer[256];
      const ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
};

// A simulated unit served on its own pseudo-terminal, mapped to COM`port`.
struct SimUnitOnPort {
  dkvsim::SimPty sim;
  bool Start(const dkvsim::Options& options = dkvsim::Options{}, int port = 1) {
    if (!dkvsim::SimStart(sim, options, nullptr)) return false;
    MapPort(port, sim.path);
    return true;
  }
  ~SimUnitOnPort() { dkvsim::SimStop(sim); }
};

}  // namespace fetest
