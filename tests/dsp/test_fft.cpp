// FFT engine against a direct long-double DFT, plus round trips, layouts and error paths.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "dsp/dsp.h"
#include "dsp/fft_internal.h"

namespace {

using Vec = std::vector<double>;
using LComplex = std::complex<long double>;

Vec Random(int n, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  Vec v(n);
  for (double& x : v) x = dist(gen);
  return v;
}

// The direct DFT in long double, bin by bin: exp(sign*j*2*pi*i*k/n) with the angle index i*k
// reduced exactly modulo n into a table of the n roots.
class DirectDft {
 public:
  explicit DirectDft(int n) : n_(n), cos_(n), sin_(n) {
    const long double twoPi = 6.283185307179586476925286766559L;
    for (int q = 0; q < n; ++q) {
      cos_[q] = std::cos(twoPi * q / n);
      sin_[q] = std::sin(twoPi * q / n);
    }
  }
  LComplex Bin(const Vec& re, const Vec& im, int k, int sign) const {
    long double sr = 0, si = 0;
    long long q = 0;
    for (int i = 0; i < n_; ++i, q += k) {
      if (q >= n_) q %= n_;
      const long double c = cos_[q], s = sign * sin_[q];
      sr += re[i] * c - im[i] * s;
      si += re[i] * s + im[i] * c;
    }
    return {sr, si};
  }

 private:
  int n_;
  std::vector<long double> cos_, sin_;
};

LComplex DftBin(const Vec& re, const Vec& im, int k, int sign) {
  return DirectDft(static_cast<int>(re.size())).Bin(re, im, k, sign);
}

// The bins checked: all of them for short sequences, a spread of them for long ones.
std::vector<int> Bins(int n) {
  std::vector<int> bins;
  if (n <= 1024) {
    for (int k = 0; k < n; ++k) bins.push_back(k);
    return bins;
  }
  for (int k : {0, 1, 2, 3, n / 2 - 1, n / 2, n / 2 + 1, n - 2, n - 1}) bins.push_back(k);
  for (int k = 7; k < n; k += n / 97 + 1) bins.push_back(k);
  return bins;
}

// Largest error over the checked bins relative to the largest reference magnitude.
double RelativeError(const Vec& inRe, const Vec& inIm, const Vec& outRe, const Vec& outIm, int sign,
                     long double scale = 1) {
  const int n = static_cast<int>(inRe.size());
  const DirectDft dft(n);
  long double worst = 0, peak = 0;
  for (int k : Bins(n)) {
    const LComplex ref = dft.Bin(inRe, inIm, k, sign) * scale;
    worst = std::max(worst, std::abs(ref - LComplex(outRe[k], outIm[k])));
    peak = std::max(peak, std::abs(ref));
  }
  return static_cast<double>(worst / peak);
}

// Lengths of the three methods, with every radix kernel and the general odd kernel.
const int kPowersOfTwo[] = {2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 16384, 32768};
// Longest and most varied first: the first sixteen mixed lengths a process meets get cached plans.
const int kMixed[] = {
    7 * 11 * 1024, 997, 1000, 1994, 2991, 1155, 385, 231, 13 * 13 * 4, 13, 11, 7, 96,
    100,           30,  10,   40,   20,   15,   12,  9,   6,           5,  3};
const int kBluestein[] = {1009, 2053, 2 * 1009, 100003};

std::vector<int> AllLengths() {
  std::vector<int> all;
  for (int n : kPowersOfTwo) all.push_back(n);
  for (int n : kMixed) all.push_back(n);
  for (int n : kBluestein) all.push_back(n);
  return all;
}

// Rounding of a well-conditioned transform grows like log n; any wrong twiddle, kernel or
// permutation shows as an error of order one.
constexpr double kTolerance = 1e-12;

}  // namespace

TEST(FftFactorize, ListsForKnownLengths) {
  const std::vector<std::pair<int, std::vector<int>>> cases = {
      {1, {1}},
      {16, {4, 4}},
      {96, {3, 4, 8}},
      {1000, {10, 10, 10}},
      {1024, {4, 4, 8, 8}},
      {7 * 11 * 1024, {11, 7, 4, 4, 8, 8}},
      {128, {4, 4, 8}},
      {2, {2}},
      {997, {997}},
      {1009, {1009}},
      {2 * 3 * 1009, {1009, 2, 3}},
      {1162261467, std::vector<int>(19, 3)},  // 3^19: the longest list of a 32-bit length
  };
  for (const auto& [n, expected] : cases) {
    int factors[dspfft::kTableSize];
    int count = -7;
    dspfft::factorize(n, &count, factors);
    ASSERT_EQ(count, static_cast<int>(expected.size())) << "n = " << n;
    EXPECT_EQ(factors[0], 0);
    for (int i = 0; i < count; ++i) EXPECT_EQ(factors[i + 1], expected[i]) << "n = " << n;
  }
}

TEST(FftFactorize, StageTablesAndLog2) {
  int span[dspfft::kTableSize], rest[dspfft::kTableSize], factors[dspfft::kTableSize];
  int count = -1, n = 96;
  EXPECT_EQ(dspfft::transTableSetup(span, factors, rest, &count, &n), 0);
  ASSERT_EQ(count, 3);  // (3, 4, 8)
  EXPECT_EQ(span[1], 1);
  EXPECT_EQ(span[2], 3);
  EXPECT_EQ(span[3], 12);
  EXPECT_EQ(rest[0], 96);
  EXPECT_EQ(rest[1], 32);
  EXPECT_EQ(rest[2], 8);
  EXPECT_EQ(rest[3], 1);

  EXPECT_EQ(dspfft::Log2(1), 0);
  EXPECT_EQ(dspfft::Log2(3), 1);
  EXPECT_EQ(dspfft::Log2(1024), 10);
  EXPECT_EQ(dspfft::Log2(1025), 10);
  EXPECT_EQ(dspfft::Log2(0), -1);
  EXPECT_EQ(dspfft::Log2(-8), -1);
}

TEST(FftFactorize, PermuteIsAPermutation) {
  for (int n : {12, 96, 1000, 7 * 11 * 64}) {
    int span[dspfft::kTableSize], rest[dspfft::kTableSize], factors[dspfft::kTableSize];
    int count = -1, len = n;
    dspfft::transTableSetup(span, factors, rest, &count, &len);
    Vec x(n), y(n, -1.0);
    for (int i = 0; i < n; ++i) x[i] = i;
    dspfft::Repermute(n, count, factors, rest, x.data(), y.data());
    std::vector<int> seen(n, 0);
    for (double v : y) {
      ASSERT_GE(v, 0.0);
      ++seen[static_cast<int>(v)];
    }
    for (int i = 0; i < n; ++i) EXPECT_EQ(seen[i], 1) << "n = " << n << " index " << i;
  }
}

TEST(FftTransform, ForwardMatchesDirectDft) {
  for (int n : AllLengths()) {
    const Vec re0 = Random(n, n), im0 = Random(n, n + 1);
    Vec re = re0, im = im0;
    ASSERT_EQ(FFT(re.data(), im.data(), n), 0) << "n = " << n;
    EXPECT_LT(RelativeError(re0, im0, re, im, -1), kTolerance) << "n = " << n;
  }
}

TEST(FftTransform, PlainMixedRadixMatchesDirectDft) {
  // The stage-by-stage path that runs when no plan can be cached.
  for (int n : {6, 10, 12, 30, 96, 997, 1000, 2991, 7 * 11 * 64}) {
    const Vec re0 = Random(n, 7 * n), im0 = Random(n, 7 * n + 1);
    Vec re(n), im(n);
    std::vector<double> work(dspfft::kWorkAreaDoubles);
    int factors[dspfft::kTableSize];
    ASSERT_EQ(
        dspfft::mixfft(n, re0.data(), im0.data(), re.data(), im.data(), work.data(), -1, factors),
        0);
    EXPECT_LT(RelativeError(re0, im0, re, im, -1), kTolerance) << "n = " << n;
    Vec x = re0, y(n, 5.0);
    ASSERT_EQ(dspfft::mixRefft(n, x.data(), y.data(), work.data(), -1, factors), 0);
    const Vec zero(n, 0.0);
    EXPECT_LT(RelativeError(re0, zero, x, y, -1), kTolerance) << "n = " << n;
  }
}

TEST(FftTransform, InverseMatchesDirectDftAndRoundTrips) {
  for (int n : AllLengths()) {
    const Vec re0 = Random(n, 3 * n), im0 = Random(n, 3 * n + 1);
    Vec re = re0, im = im0;
    ASSERT_EQ(InvFFT(re.data(), im.data(), n), 0) << "n = " << n;
    EXPECT_LT(RelativeError(re0, im0, re, im, +1, 1.0L / n), kTolerance) << "n = " << n;

    ASSERT_EQ(FFT(re.data(), im.data(), n), 0);
    double worst = 0;
    for (int i = 0; i < n; ++i)
      worst = std::max({worst, std::fabs(re[i] - re0[i]), std::fabs(im[i] - im0[i])});
    EXPECT_LT(worst, kTolerance) << "n = " << n;
  }
}

TEST(FftTransform, RealTransformEqualsComplexOnRealInput) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int n : AllLengths()) {
    const Vec x0 = Random(n, 5 * n);
    Vec re = x0, im(n, 0.0);
    ASSERT_EQ(FFT(re.data(), im.data(), n), 0);
    Vec x = x0, y(n, nan);  // y must never be read
    ASSERT_EQ(ReFFT(x.data(), y.data(), n), 0) << "n = " << n;
    double worst = 0, peak = 0;
    for (int k = 0; k < n; ++k) {
      worst = std::max({worst, std::fabs(x[k] - re[k]), std::fabs(y[k] - im[k])});
      peak = std::max(peak, std::hypot(re[k], im[k]));
    }
    EXPECT_LT(worst / peak, kTolerance) << "n = " << n;
    // The two-sided spectrum of real data is conjugate-symmetric.
    EXPECT_NEAR(y[0], 0.0, kTolerance * peak);
    for (int k = 1; k < n; ++k) {
      EXPECT_NEAR(x[k], x[n - k], kTolerance * peak) << "n = " << n << " k = " << k;
      EXPECT_NEAR(y[k], -y[n - k], kTolerance * peak) << "n = " << n << " k = " << k;
    }
  }
}

TEST(FftTransform, HalfSpectrumMatchesDirectDftUpToNyquist) {
  // Every route of the real transform: packed pairs through the self-sorting passes (odd and
  // even pass counts, 2^17 beyond the first-level cache) and through mixed-radix stages, odd
  // lengths, chirp-z lengths.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (int n :
       {32, 64, 2048, 4096, 1 << 17, 1000, 2 * 997, 7 * 11 * 1024, 30, 34, 66, 15, 997, 2 * 1009}) {
    const Vec x0 = Random(n, 11 * n), zero(n, 0.0);
    Vec x = x0, y(n, nan);
    ASSERT_EQ(ReFFTHalf(x.data(), y.data(), n), 0) << "n = " << n;
    const DirectDft dft(n);
    long double worst = 0, peak = 0;
    for (int k : Bins(n)) {
      if (k > n / 2) continue;
      const LComplex ref = dft.Bin(x0, zero, k, -1);
      worst = std::max(worst, std::abs(ref - LComplex(x[k], y[k])));
      peak = std::max(peak, std::abs(ref));
    }
    EXPECT_LT(static_cast<double>(worst / peak), kTolerance) << "n = " << n;
    if (n % 2 == 0) {
      EXPECT_NEAR(y[n / 2], 0.0, kTolerance * static_cast<double>(peak)) << "n = " << n;
    }
  }
}

TEST(FftTransform, RealHalfComplexLayout) {
  const int n = 32;
  const Vec x0 = Random(n, 11);
  Vec x = x0, out(2 * n);
  dspfft::Real_FFTCx(x.data(), out.data(), n, 5);
  const Vec zero(n, 0.0);
  for (int k = 0; k < n; ++k) {
    const LComplex ref = DftBin(x0, zero, k, -1);
    EXPECT_NEAR(out[2 * k], static_cast<double>(ref.real()), 1e-13) << k;
    EXPECT_NEAR(out[2 * k + 1], static_cast<double>(ref.imag()), 1e-13) << k;
    if (k >= 1 && k < n / 2) {
      EXPECT_EQ(x[n - k], out[2 * k + 1]);  // x[n-k] = Im X[k]
    }
    if (k <= n / 2) {
      EXPECT_EQ(x[k], out[2 * k]);  // x[k] = Re X[k]
    }
  }
}

TEST(FftTransform, ImpulseAndConstant) {
  for (int n : {8, 96, 1009}) {
    Vec re(n, 0.0), im(n, 0.0);
    re[0] = 1.0;
    ASSERT_EQ(FFT(re.data(), im.data(), n), 0);
    for (int k = 0; k < n; ++k) {
      EXPECT_NEAR(re[k], 1.0, 1e-13);
      EXPECT_NEAR(im[k], 0.0, 1e-13);
    }
    Vec x(n, 2.5), y(n, 7.0);
    ASSERT_EQ(ReFFT(x.data(), y.data(), n), 0);
    EXPECT_NEAR(x[0], 2.5 * n, 1e-10);
    for (int k = 1; k < n; ++k) {
      EXPECT_NEAR(x[k], 0.0, 1e-10) << "n = " << n;
      EXPECT_NEAR(y[k], 0.0, 1e-10) << "n = " << n;
    }
  }
}

TEST(FftTransform, LengthOneAndBadCounts) {
  double re[1] = {3.0}, im[1] = {-2.0};
  EXPECT_EQ(FFT(re, im, 1), 0);
  EXPECT_EQ(InvFFT(re, im, 1), 0);
  EXPECT_EQ(re[0], 3.0);
  EXPECT_EQ(im[0], -2.0);
  EXPECT_EQ(ReFFT(re, im, 1), 0);
  EXPECT_EQ(re[0], 3.0);
  EXPECT_EQ(im[0], 0.0);

  double a[2] = {1.0, 2.0}, b[2] = {3.0, 4.0};
  for (int n : {0, -1, -1024}) {
    EXPECT_EQ(FFT(a, b, n), ErrCountNotPositive);
    EXPECT_EQ(InvFFT(a, b, n), ErrCountNotPositive);
    EXPECT_EQ(ReFFT(a, b, n), ErrCountNotPositive);
    EXPECT_EQ(ToPolar1D(a, b, n, a, b), ErrCountNotPositive);
  }
  EXPECT_EQ(a[0], 1.0);
  EXPECT_EQ(a[1], 2.0);
  EXPECT_EQ(b[0], 3.0);
  EXPECT_EQ(b[1], 4.0);
}

TEST(FftTransform, NoMemoryLeavesDataUnchanged) {
  for (int n : {1024, 1000, 1009}) {
    const Vec re0 = Random(n, 17), im0 = Random(n, 18);
    Vec re = re0, im = im0;
    dspfft::SetAllocationFailureAfter(0);
    const int forward = FFT(re.data(), im.data(), n);
    Vec x = re0, y = im0;
    const int real = n == 1000 ? 0 : ReFFT(x.data(), y.data(), n);
    dspfft::SetAllocationFailureAfter(-1);
    EXPECT_EQ(forward, ErrNoMemory) << "n = " << n;
    EXPECT_EQ(re, re0);
    EXPECT_EQ(im, im0);
    if (n == 1009) {
      EXPECT_EQ(real, ErrNoMemory);
      EXPECT_EQ(x, re0);
      EXPECT_EQ(y, im0);
    }
  }
  // Later allocations fail (the chirp-z path needs at least three): everything is freed
  // (the leak checker watches), the failure is reported and the data are left as they were.
  const Vec re0 = Random(2053, 1), im0 = Random(2053, 2);
  for (int budget : {1, 2}) {
    Vec re = re0, im = im0;
    dspfft::SetAllocationFailureAfter(budget);
    EXPECT_EQ(FFT(re.data(), im.data(), 2053), ErrNoMemory) << budget;
    dspfft::SetAllocationFailureAfter(-1);
    EXPECT_EQ(re, re0);
    EXPECT_EQ(im, im0);
  }
}

TEST(FftTransform, RealTransformWithoutMemoryForItsTables) {
  // A size transformed here first: its tables cannot be built, the plain in-place method runs.
  const int n = 1 << 19;
  const Vec x0 = Random(n, 31);
  Vec re = x0, im(n, 0.0);
  ASSERT_EQ(FFT(re.data(), im.data(), n), 0);
  Vec x = x0, y(n, 1.0);
  dspfft::SetAllocationFailureAfter(0);
  const int status = ReFFT(x.data(), y.data(), n);
  dspfft::SetAllocationFailureAfter(-1);
  ASSERT_EQ(status, 0);
  double worst = 0, peak = 0;
  for (int k = 0; k < n; ++k) {
    worst = std::max({worst, std::fabs(x[k] - re[k]), std::fabs(y[k] - im[k])});
    peak = std::max(peak, std::hypot(re[k], im[k]));
  }
  EXPECT_LT(worst / peak, kTolerance);
}

TEST(FftTransform, ConcurrentCallersShareThePool) {
  const int n = 7 * 11 * 16;  // mixed radix: takes a work area per call
  const Vec re0 = Random(n, 21), im0 = Random(n, 22);
  Vec refRe = re0, refIm = im0;
  ASSERT_EQ(FFT(refRe.data(), refIm.data(), n), 0);
  std::vector<int> failures(8, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 0; r < 20; ++r) {
        Vec re = re0, im = im0;
        if (FFT(re.data(), im.data(), n) != 0 || re != refRe || im != refIm) ++failures[t];
      }
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 8; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

TEST(FftPolar, ValuesAndAliasing) {
  double mag = -1, phase = -1;
  EXPECT_EQ(ToPolar(0.0, 0.0, &mag, &phase), 0);
  EXPECT_EQ(mag, 0.0);
  EXPECT_EQ(phase, 0.0);
  ToPolar(0.0, -1.0, &mag, &phase);
  EXPECT_DOUBLE_EQ(mag, 1.0);
  EXPECT_DOUBLE_EQ(phase, -M_PI / 2);
  ToPolar(-1.0, 0.0, &mag, &phase);
  EXPECT_DOUBLE_EQ(mag, 1.0);
  EXPECT_DOUBLE_EQ(phase, M_PI);
  ToPolar(3.0, 4.0, &mag, &phase);
  EXPECT_DOUBLE_EQ(mag, 5.0);

  // Outputs written over the inputs, as the callers do.
  double re[3] = {3.0, 0.0, -2.0}, im[3] = {4.0, 0.0, 0.0};
  EXPECT_EQ(ToPolar1D(re, im, 3, re, im), 0);
  EXPECT_DOUBLE_EQ(re[0], 5.0);
  EXPECT_DOUBLE_EQ(im[0], std::atan2(4.0, 3.0));
  EXPECT_EQ(re[1], 0.0);
  EXPECT_EQ(im[1], 0.0);
  EXPECT_DOUBLE_EQ(re[2], 2.0);
  EXPECT_DOUBLE_EQ(im[2], M_PI);
}
