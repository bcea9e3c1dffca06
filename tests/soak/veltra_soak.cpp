// A long offscreen session for leaks and slow-downs: thousands of measurement ticks through the
// real panels, cycling the measurement types and both windows' functions, with the toolkit's
// events delivered between ticks as the event loop would. Reports resident memory and the
// median time per tick at the start and at the end. Not a test: run it with scripts/soak.sh.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "analyzer/initstruct.h"
#include "analyzer/panels.h"
#include "ui/userint.h"

namespace {

struct Options {
  long ticks = 20000;
  int n = 8192;
  int every = 20;      // ticks between changes of type and functions
  long window = 2000;  // ticks in each of the start and end samples
};

long popups = 0;

int CountPopup(int kind, const char* title, const char* text, char*, int, void*) {
  ++popups;
  if (popups <= 5) std::fprintf(stderr, "soak: message \"%s\": %s\n", title, text);
  return kind == POPUP_CONFIRM ? VAL_YES : 0;
}

double ResidentMiB() {
  long pages = 0, resident = 0;
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return -1.0;
  const int got = std::fscanf(f, "%ld %ld", &pages, &resident);
  std::fclose(f);
  if (got != 2) return -1.0;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// As a person: false when the control refuses the value (a function the type does not offer).
bool Set(const char* role, const std::string& value) {
  int panel = 0, control = 0;
  if (FindCtrlByRole(role, &panel, &control) != 0) return false;
  return UserSetCtrlVal(panel, control, value.c_str()) >= 0;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

bool ParseOptions(int argc, char** argv, Options* o) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const long v = std::strtol(argv[i + 1], nullptr, 10);
    if (v <= 0) return false;
    if (std::strcmp(argv[i], "--ticks") == 0)
      o->ticks = v;
    else if (std::strcmp(argv[i], "--n") == 0)
      o->n = static_cast<int>(v);
    else if (std::strcmp(argv[i], "--every") == 0)
      o->every = static_cast<int>(v);
    else if (std::strcmp(argv[i], "--window") == 0)
      o->window = v;
    else
      return false;
  }
  if (argc % 2 == 0) return false;
  o->window = std::min(o->window, o->ticks / 2);
  return o->window > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!ParseOptions(argc, argv, &o)) {
    std::fprintf(stderr,
                 "usage: veltra_soak [--ticks 20000] [--n 8192] [--every 20] [--window 2000]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The session's state files go to a directory of its own.
  char dir[] = "/tmp/veltra-soak-XXXXXX";
  if (mkdtemp(dir) == nullptr || chdir(dir) != 0) return 1;
  static char name[] = "veltra_soak";
  static char* uiArgv[] = {name, nullptr};
  static int uiArgc = 1;
  InitUserInterface(&uiArgc, uiArgv);
  SetPopupHandler(CountPopup, nullptr);
  if (StartVeltra() < 0) return 1;

  bool ok = Set("FftSizeRing", std::to_string(o.n)) && Set("ExponentialBox", "1") &&
            Set("WaveformRing", "1") && Set("GeneratorSwitch", "1") && Set("StartButton", "1");
  if (!ok || start != 1) {
    std::fprintf(stderr, "soak: the run did not start\n");
    return 1;
  }
  std::vector<double> ms(static_cast<size_t>(o.ticks));
  const double rssStart = ResidentMiB();
  double rssWarm = rssStart;
  long refused = 0;
  using Clock = std::chrono::steady_clock;
  const auto begin = Clock::now();
  for (long t = 0; t < o.ticks; ++t) {
    if (t % o.every == 0) {
      // Type, then a function for each window; the waveform alternates noise and tone.
      const long s = t / o.every;
      refused += !Set("MeasTypeRing", std::to_string(s % 4));
      refused += !Set("FunctionRing1", std::to_string(s % 27));
      refused += !Set("FunctionRing2", std::to_string((7 * s + 3) % 27));
      refused += !Set("WaveformRing", std::to_string((s / 4) % 2 == 0 ? 1 : 0));
      if (start != 1) Set("StartButton", "1");
    }
    const auto t0 = Clock::now();
    UserFireEvent(mainpanel, MAIN_TimerTick, EVENT_TIMER_TICK, 0, 0);
    ProcessSystemEvents();
    ms[static_cast<size_t>(t)] =
        std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (t + 1 == o.window) rssWarm = ResidentMiB();
    // Memory along the way: a leak climbs steadily, a cache settles.
    if ((t + 1) % o.window == 0) {
      std::printf("  tick %6ld: RSS %7.1f MiB\n", t + 1, ResidentMiB());
      std::fflush(stdout);
    }
  }
  const double total = std::chrono::duration<double>(Clock::now() - begin).count();
  const double rssEnd = ResidentMiB();
  const std::vector<double> first(ms.begin(), ms.begin() + o.window);
  const std::vector<double> last(ms.end() - o.window, ms.end());
  const double m0 = Median(first), m1 = Median(last);

  std::printf("soak: %ld ticks at N = %d, type and functions changed every %d ticks\n", o.ticks,
              o.n, o.every);
  std::printf("  %-34s %10.1f MiB\n", "RSS at start", rssStart);
  std::printf("  %-34s %10.1f MiB\n", ("RSS after " + std::to_string(o.window) + " ticks").c_str(),
              rssWarm);
  std::printf("  %-34s %10.1f MiB  (%+.1f MiB since tick %ld)\n", "RSS at end", rssEnd,
              rssEnd - rssWarm, o.window);
  std::printf("  %-34s %10.3f ms\n", ("median tick, first " + std::to_string(o.window)).c_str(),
              m0);
  std::printf("  %-34s %10.3f ms\n", ("median tick, last " + std::to_string(o.window)).c_str(), m1);
  std::printf("  %-34s %10.3f\n", "end / start", m0 > 0 ? m1 / m0 : 0.0);
  std::printf("  %-34s %10.1f s\n", "wall time", total);
  std::printf("  %-34s %10ld\n", "settings refused (not offered)", refused);
  std::printf("  %-34s %10ld\n", "messages", popups);
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}
