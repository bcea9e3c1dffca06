// dkv5128-sim: the DKV5128 front end on a pseudo-terminal. Prints the terminal's
// path and the environment line that points the analyzer at it, then logs every
// command the modules receive until interrupted.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/dkv5128_sim.h"

namespace {

void Usage(std::FILE* to) {
  std::fputs(
      "usage: dkv5128-sim [options]\n"
      "  --silent LIST       modules that never answer (LIST: addresses, e.g. 3,7)\n"
      "  --wrong-echo LIST   modules that answer $AAERR; instead of the echo\n"
      "  --echo-off LIST     modules whose echo starts off (ECHO1 turns it on)\n"
      "  --status N          status every module reports to STATE (default 0)\n"
      "  --status-at A=N     status of module A only (e.g. 5=8 sets bit 3 on module 5)\n"
      "  --noise N           N random control bytes before every answer\n"
      "  --wire-speed        pace the traffic at 4800 baud\n"
      "  --link PATH         also make PATH a symbolic link to the terminal\n"
      "  --seed N            seed of the noise bytes\n"
      "  --help              this text\n",
      to);
}

bool ParseInt(const char* text, int lo, int hi, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

// Applies `set` to every address of a comma-separated list.
template <typename Set>
bool ForEachAddress(const char* list, Set set) {
  char copy[256];
  if (std::snprintf(copy, sizeof copy, "%s", list) >= static_cast<int>(sizeof copy)) return false;
  char* save = nullptr;
  for (char* item = strtok_r(copy, ",", &save); item != nullptr;
       item = strtok_r(nullptr, ",", &save)) {
    int a;
    if (!ParseInt(item, dkvsim::kFirstAddress, dkvsim::kLastAddress, &a)) return false;
    set(a);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  dkvsim::Options options;
  const char* linkPath = nullptr;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    bool ok = true;
    auto& modules = options.modules;
    if (std::strcmp(arg, "--help") == 0) {
      Usage(stdout);
      return 0;
    } else if (std::strcmp(arg, "--wire-speed") == 0) {
      options.wireSpeed = true;
      continue;
    } else if (value == nullptr) {
      ok = false;
    } else if (std::strcmp(arg, "--silent") == 0) {
      ok = ForEachAddress(value, [&](int a) { modules[a].silent = true; });
    } else if (std::strcmp(arg, "--wrong-echo") == 0) {
      ok = ForEachAddress(value, [&](int a) { modules[a].wrongEcho = true; });
    } else if (std::strcmp(arg, "--echo-off") == 0) {
      ok = ForEachAddress(value, [&](int a) { modules[a].echo = false; });
    } else if (std::strcmp(arg, "--status") == 0) {
      int s;
      ok = ParseInt(value, 0, 99999, &s);
      if (ok) {
        for (auto& m : modules) m.status = s;
      }
    } else if (std::strcmp(arg, "--status-at") == 0) {
      int a, s;
      char addr[16];
      const char* eq = std::strchr(value, '=');
      ok = eq != nullptr && eq - value < static_cast<long>(sizeof addr);
      if (ok) {
        std::snprintf(addr, sizeof addr, "%.*s", static_cast<int>(eq - value), value);
        ok = ParseInt(addr, dkvsim::kFirstAddress, dkvsim::kLastAddress, &a) &&
             ParseInt(eq + 1, 0, 99999, &s);
      }
      if (ok) modules[a].status = s;
    } else if (std::strcmp(arg, "--noise") == 0) {
      ok = ParseInt(value, 0, 1000, &options.noiseBytes);
    } else if (std::strcmp(arg, "--seed") == 0) {
      int s;
      ok = ParseInt(value, 1, 2147483647, &s);
      if (ok) options.seed = static_cast<unsigned>(s);
    } else if (std::strcmp(arg, "--link") == 0) {
      linkPath = value;
    } else {
      ok = false;
    }
    if (!ok) {
      std::fprintf(stderr, "dkv5128-sim: bad option %s%s%s\n", arg, value ? " " : "",
                   value ? value : "");
      Usage(stderr);
      return 2;
    }
    ++i;
  }

  // Signals are taken by sigwait below, never by the serving thread.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  static dkvsim::SimPty sim;
  if (!dkvsim::SimStart(sim, options, stdout)) {
    std::perror("dkv5128-sim: cannot open a pseudo-terminal");
    return 1;
  }
  if (linkPath != nullptr) {
    // Only a symbolic link (one left by an earlier run) is replaced: a file the user
    // named by mistake is not ours to delete.
    struct stat old;
    if (::lstat(linkPath, &old) == 0 && S_ISLNK(old.st_mode)) ::unlink(linkPath);
    if (::symlink(sim.path, linkPath) != 0) {
      std::perror("dkv5128-sim: cannot make the link");
      dkvsim::SimStop(sim);
      return 1;
    }
  }
  std::printf("dkv5128-sim: modules 1..8 on %s\n", sim.path);
  std::printf("DKV5120_COM1=%s\n", linkPath != nullptr ? linkPath : sim.path);
  std::fflush(stdout);

  int signal = 0;
  sigwait(&stopSignals, &signal);
  dkvsim::SimStop(sim);
  if (linkPath != nullptr) {
    char target[sizeof sim.path] = {};
    const ssize_t n = ::readlink(linkPath, target, sizeof target - 1);
    if (n > 0 && std::strcmp(target, sim.path) == 0) ::unlink(linkPath);
  }
  std::printf("dkv5128-sim: stopped\n");
  return 0;
}
