// Signal generator and simulator: sine, Gaussian and uniform noise, a random two-level signal
// and a single pulse, written as interleaved A/B counts. The sine is scaled by 128 because the
// collection path divides every sample by 128; the other waveforms are not (they arrive at 1/128
// of their set level).
#include "analyzer/generation.h"

#include <cstdint>
#include <cstdio>

#include "analyzer/model.h"
#include "analyzer/sources.h"
#include "dsp/signals.h"

namespace {

uint32_t g_randState = 1;

// Keeps a generated value inside the int range before it is truncated (NaN gives 0).
int ToCount(double v) {
  if (v != v) return 0;
  if (v > 2147483647.0) return 2147483647;
  if (v < -2147483647.0) return -2147483647;
  return static_cast<int>(v);
}

}  // namespace

int SimRand() {
  g_randState = g_randState * 1103515245u + 12345u;
  return static_cast<int>((g_randState >> 16) & 0x7FFF);
}

void SimSrand(unsigned seed) { g_randState = seed; }

void InitGenerator() { ws.mvpc = kMvPerCount; }

int BufferArrySim() {
  if (gen_start == 0) return 0;
  const int n = dbuf.nm;
  if (n <= 0 || n > kMaxFrame || static_cast<int>(half.size()) < 2 * n) return 0;
  const int amp = ws.amp;

  switch (ws.form) {
    case 0: {
      SineWave(n, static_cast<double>(amp), ws.f1 / cus.srate, &simphase, part);
      for (int i = 0; i < n; ++i) {
        const double u = SimRand() / 32767.0;
        // Adding amp first keeps the argument non-negative, so truncation is a floor and u
        // dithers the rounding.
        const int v = ToCount(part[i] + u + amp) - amp;
        half[2 * i] = half[2 * i + 1] = v * 128;
      }
      break;
    }
    case 1:
    case 2: {
      const int seed = ToCount(tim);
      if (ws.form == 1) {
        GaussNoise(n + 1, static_cast<double>(amp), seed, part);
      } else {
        WhiteNoise(n + 1, static_cast<double>(amp), seed, part);
      }
      tim = part[cus.nchan];
      for (int i = 0; i < n; ++i) half[2 * i] = half[2 * i + 1] = ToCount(part[i]);
      break;
    }
    case 3:
      for (int i = 0; i < n; ++i) {
        bu[i] = SimRand() > 16383 ? amp : -amp;
        half[2 * i] = half[2 * i + 1] = bu[i];
      }
      break;
    case 4: {
      // Re-seeded from the whole seconds of program time: every step of the same second puts
      // the pulse at the same place (or shows none).
      SimSrand(static_cast<unsigned>(RunClock()));
      pu = SimRand() / 32767.0;
      for (int i = 0; i < n; ++i) bu[i] = 0;
      if (pu < 0.5) {
        const int p = static_cast<int>(n * pu);
        if (ws.width < n - p) {  // p + width < n, without overflow for any width
          for (int i = p; i < p + ws.width; ++i) bu[i] = amp;
        }
      }
      for (int i = 0; i < n; ++i) half[2 * i] = half[2 * i + 1] = bu[i];
      break;
    }
    default: break;
  }
  return 0;
}
