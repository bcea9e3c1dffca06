// Generators, statistics and array routines.
#include "dsp/signals.h"

#include <cmath>
#include <cstdint>
#include <mutex>

namespace {

// Wichmann-Hill state, guarded by randLock.
int seedA = 1234, seedB = 2345, seedC = 3456;

std::mutex& RandLock() {
  static std::mutex lock;  // created once, on first use
  return lock;
}

// (factor * seed) mod modulus in 64 bits, kept in 0 ... modulus-1 for any int seed.
int Advance(int seed, int factor, int modulus) {
  std::int64_t r = (static_cast<std::int64_t>(seed) * factor) % modulus;
  if (r < 0) r += modulus;
  return static_cast<int>(r);
}

}  // namespace

int randnum() {
  seedA = Advance(seedA, 171, 30269);
  seedB = Advance(seedB, 172, 30307);
  seedC = Advance(seedC, 170, 30323);
  // The stored double reciprocals of the moduli, summed in extended precision.
  constexpr long double rA = 3.3037100664045725e-05, rB = 3.2995677566238825e-05,
                        rC = 3.297826732183491e-05;
  const long double sum = seedA * rA + seedB * rB + seedC * rC;
  const double u = static_cast<double>(sum);
  const double f = u - std::trunc(u);
  return static_cast<int>(f * 32768.0);
}

void srandnum(int seed) {
  if (seed == 0) return;
  const auto s = static_cast<std::uint32_t>(seed);
  seedA = seed;
  seedB = static_cast<int>((s * 8191u) & 0x3FFFu);
  seedC = static_cast<int>(s & 0x3FFFu);
}

int InitRandMutex() {
  RandLock();
  return 0;
}

int WhiteNoise(int n, double amplitude, int seed, double x[]) {
  if (n <= 0) return ErrCountNotPositive;
  if (InitRandMutex() != 0) return ErrLockUnavailable;
  std::lock_guard<std::mutex> guard(RandLock());
  if (seed >= 0) srandnum(seed);
  const double s = amplitude * 0.00006103515625;  // 2^-14
  for (int i = 0; i < n; ++i) x[i] = (randnum() - 16383) * s;
  return 0;
}

int GaussNoise(int n, double stdDev, int seed, double x[]) {
  if (n <= 0) return ErrCountNotPositive;
  if (InitRandMutex() != 0) return ErrLockUnavailable;
  std::lock_guard<std::mutex> guard(RandLock());
  if (seed >= 0) srandnum(seed);
  // Twelve uniform draws sum to an almost normal value with deviation 32768 about 12*16383.
  const double s = stdDev * 0.000030517578125;  // 2^-15
  for (int i = 0; i < n; ++i) {
    int sum = 0;
    for (int k = 0; k < 12; ++k) sum += randnum();
    x[i] = (sum - 196596) * s;
  }
  return 0;
}

int SineWave(int n, double amplitude, double frequency, double* phase, double x[]) {
  if (n <= 0) return ErrCountNotPositive;
  const double d = 360.0 * frequency;
  double p = *phase;
  for (int i = 0; i < n; ++i) {
    x[i] = amplitude * std::sin(p * 0.017453292519943295);
    p += d;
  }
  p = std::fmod(p, 360.0);
  if (p < 0.0) p += 360.0;
  if (p >= 360.0) p = 0.0;  // a tiny negative remainder rounds up to 360 when shifted
  *phase = p;
  return 0;
}

int StdDev(const double x[], int n, double* mean, double* stdDev) {
  if (n <= 0) return ErrCountNotPositive;
  double sum = 0.0, sumSq = 0.0;
  for (int i = 0; i < n; ++i) {
    sum += x[i];
    sumSq += x[i] * x[i];
  }
  const double m = sum / n;
  *mean = m;
  *stdDev = std::sqrt(std::fabs(sumSq / n - m * m));
  return 0;
}

int Histogram(const double x[], int n, double base, double top, int hist[], double axis[],
              int intervals) {
  if (!(base < top)) return ErrBaseNotBelowTop;
  if (n < 1 || intervals < 1) return ErrCountNotPositive;
  const double w = (top - base) / intervals;
  double centre = base + w / 2;
  for (int i = 0; i < intervals; ++i) {
    axis[i] = centre;
    centre += w;
    hist[i] = 0;
  }
  const double scale = 1.0 / w;
  for (int i = 0; i < n; ++i) {
    // The bin is decided in floating point, so NaN and far-off samples never reach an int.
    const double bin = std::floor((x[i] - base) * scale);
    if (bin >= 0.0 && bin < intervals)
      ++hist[static_cast<int>(bin)];
    else if (bin >= intervals && x[i] <= top)  // top itself, or rounding just below it
      ++hist[intervals - 1];
  }
  return 0;
}

int MaxMin1D(const double x[], int n, double* max, int* maxIndex, double* min, int* minIndex) {
  if (n < 1) return ErrCountNotPositive;
  double hi = x[0], lo = x[0];
  int hiAt = 0, loAt = 0;
  for (int i = 0; i < n; ++i) {
    if (x[i] > hi) {
      hi = x[i];
      hiAt = i;
    } else if (x[i] < lo) {
      lo = x[i];
      loAt = i;
    }
  }
  *max = hi;
  *maxIndex = hiAt;
  *min = lo;
  *minIndex = loAt;
  return 0;
}

int Set1D(double x[], int n, double value) {
  if (n <= 0) return ErrCountNotPositive;
  for (int i = 0; i < n; ++i) x[i] = value;
  return 0;
}

int Clear1D(double x[], int n) { return Set1D(x, n, 0.0); }

int Copy1D(const double src[], int n, double dst[]) {
  if (n <= 0) return ErrCountNotPositive;
  for (int i = 0; i < n; ++i) dst[i] = src[i];
  return 0;
}

int Sub1D(const double x[], const double y[], int n, double z[]) {
  if (n <= 0) return ErrCountNotPositive;
  for (int i = 0; i < n; ++i) z[i] = x[i] - y[i];
  return 0;
}

int Mul1D(const double x[], const double y[], int n, double z[]) {
  if (n <= 0) return ErrCountNotPositive;
  for (int i = 0; i < n; ++i) z[i] = x[i] * y[i];
  return 0;
}

int Div1D(const double x[], const double y[], int n, double z[]) {
  if (n <= 0) return ErrCountNotPositive;
  for (int i = 0; i < n; ++i) {
    if (y[i] == 0.0) return ErrDivideByZero;
    z[i] = x[i] / y[i];
  }
  return 0;
}
