// Generators, statistics and array routines against hand-computed values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <thread>
#include <vector>

#include "dsp/dsp.h"

namespace {

using Vec = std::vector<double>;

// The first values of the Wichmann-Hill sequence from the initial state (1234, 2345, 3456),
// worked out by hand in exact rational arithmetic.
constexpr int kFirstValues[] = {21468, 31629, 9904, 27497, 18502, 27711};

}  // namespace

// The initial state is only seen by a fresh process: run the check in a re-executed child.
TEST(RandomGenerator, SequenceFromInitialState) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        double x[6];
        int bad = WhiteNoise(1, 1.0, -1, x) != 0;
        bad |= x[0] != (21468.0 - 16383.0) / 16384.0;
        for (int k = 1; k < 6; ++k) bad |= randnum() != kFirstValues[k];
        std::fprintf(stderr, "first sample %.17g\n", x[0]);
        std::exit(bad);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(RandomGenerator, SeedsRestartOrContinue) {
  Vec a(6), b(6), whole(12), first(6), rest(6), restNeg(6);
  ASSERT_EQ(WhiteNoise(6, 2.0, 5, a.data()), 0);
  ASSERT_EQ(WhiteNoise(6, 2.0, 5, b.data()), 0);
  EXPECT_EQ(a, b);

  ASSERT_EQ(WhiteNoise(12, 1.0, 77, whole.data()), 0);
  ASSERT_EQ(WhiteNoise(6, 1.0, 77, first.data()), 0);
  ASSERT_EQ(WhiteNoise(3, 1.0, 0, rest.data()), 0);       // 0 continues
  ASSERT_EQ(WhiteNoise(3, 1.0, -9, rest.data() + 3), 0);  // and so does a negative seed
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(first[i], whole[i]);
    EXPECT_EQ(rest[i], whole[6 + i]);
  }
}

TEST(RandomGenerator, SeedWithZeroLowBitsRunsOnFirstComponent) {
  // srandnum(16384) zeroes the second and third components: the values are then
  // trunc(32768 * a_k / 30269) with a_k = 171^k * 16384 mod 30269.
  srandnum(16384);
  const int expected[] = {18312, 18491, 16267, 29251, 21329};
  for (int v : expected) EXPECT_EQ(randnum(), v);
  srandnum(0);  // leaves the state alone
  long long a = 16384;
  for (int k = 0; k < 6; ++k) a = a * 171 % 30269;
  EXPECT_EQ(randnum(), static_cast<int>(a * 32768 / 30269));
}

TEST(RandomGenerator, ExtremeSeedsStayInRange) {
  for (int seed : {std::numeric_limits<int>::max(), std::numeric_limits<int>::min(), -1, 1}) {
    srandnum(seed);
    for (int i = 0; i < 1000; ++i) {
      const int v = randnum();
      ASSERT_GE(v, 0) << seed;
      ASSERT_LE(v, 32767) << seed;
    }
  }
}

TEST(Noise, WhiteRangeAndGaussMoments) {
  const int n = 120000;
  Vec x(n);
  ASSERT_EQ(WhiteNoise(n, 3.0, 11, x.data()), 0);
  for (double v : x) {
    ASSERT_GT(v, -3.0);
    ASSERT_LE(v, 3.0);
  }
  double mean = 0, sd = 0;
  ASSERT_EQ(StdDev(x.data(), n, &mean, &sd), 0);
  EXPECT_NEAR(mean, 0.0, 0.03);
  EXPECT_NEAR(sd, 3.0 / std::sqrt(3.0), 0.02);  // uniform on (-3, 3]

  ASSERT_EQ(GaussNoise(n, 2.0, 12, x.data()), 0);
  ASSERT_EQ(StdDev(x.data(), n, &mean, &sd), 0);
  EXPECT_NEAR(mean, 0.0, 0.03);
  EXPECT_NEAR(sd, 2.0, 0.03);
  int beyond2Sigma = 0;
  for (double v : x) beyond2Sigma += std::fabs(v) > 4.0;
  EXPECT_NEAR(beyond2Sigma / static_cast<double>(n), 0.0455, 0.005);
}

TEST(Noise, BadCountLeavesOutputUntouched) {
  double x[1] = {9.0};
  EXPECT_EQ(WhiteNoise(0, 1.0, 1, x), ErrCountNotPositive);
  EXPECT_EQ(GaussNoise(-1, 1.0, 1, x), ErrCountNotPositive);
  EXPECT_EQ(x[0], 9.0);
}

TEST(Noise, ConcurrentCallersDrawDisjointStretches) {
  const int block = 5000;
  Vec reference(2 * block), seedOnly(1);
  ASSERT_EQ(WhiteNoise(1, 1.0, 4242, seedOnly.data()), 0);
  ASSERT_EQ(WhiteNoise(2 * block, 1.0, -1, reference.data()), 0);
  ASSERT_EQ(WhiteNoise(1, 1.0, 4242, seedOnly.data()), 0);
  Vec a(block), b(block);
  std::thread ta([&] { WhiteNoise(block, 1.0, -1, a.data()); });
  std::thread tb([&] { WhiteNoise(block, 1.0, -1, b.data()); });
  ta.join();
  tb.join();
  const Vec lo(reference.begin(), reference.begin() + block);
  const Vec hi(reference.begin() + block, reference.end());
  EXPECT_TRUE((a == lo && b == hi) || (a == hi && b == lo));
}

TEST(Sine, QuarterCycleAndContinuation) {
  Vec x(4);
  double phase = 0.0;
  ASSERT_EQ(SineWave(4, 1.0, 0.25, &phase, x.data()), 0);
  EXPECT_NEAR(x[0], 0.0, 1e-15);
  EXPECT_NEAR(x[1], 1.0, 1e-15);
  EXPECT_NEAR(x[2], 0.0, 1e-15);
  EXPECT_NEAR(x[3], -1.0, 1e-15);
  EXPECT_EQ(phase, 0.0);

  Vec whole(50), parts(50);
  double p1 = 30.0, p2 = 30.0;
  ASSERT_EQ(SineWave(50, 2.0, 0.013, &p1, whole.data()), 0);
  ASSERT_EQ(SineWave(17, 2.0, 0.013, &p2, parts.data()), 0);
  ASSERT_EQ(SineWave(33, 2.0, 0.013, &p2, parts.data() + 17), 0);
  for (int i = 0; i < 50; ++i) EXPECT_NEAR(parts[i], whole[i], 1e-12) << i;
  EXPECT_NEAR(p1, p2, 1e-9);
}

TEST(Sine, PhaseStaysInRange) {
  Vec x(7);
  for (double f : {-0.3, -1e-17, 0.1, 2.75}) {
    double phase = -725.0;
    ASSERT_EQ(SineWave(7, 1.0, f, &phase, x.data()), 0);
    EXPECT_GE(phase, 0.0) << f;
    EXPECT_LT(phase, 360.0) << f;
  }
  double phase = 10.0;
  EXPECT_EQ(SineWave(0, 1.0, 0.1, &phase, x.data()), ErrCountNotPositive);
  EXPECT_EQ(phase, 10.0);
}

TEST(Statistics, StdDevKnownAndConstant) {
  const double x[] = {2, 4, 4, 4, 5, 5, 7, 9};
  double mean = 0, sd = -1;
  ASSERT_EQ(StdDev(x, 8, &mean, &sd), 0);
  EXPECT_DOUBLE_EQ(mean, 5.0);
  EXPECT_DOUBLE_EQ(sd, 2.0);
  const Vec c(1001, 0.75);
  ASSERT_EQ(StdDev(c.data(), 1001, &mean, &sd), 0);
  EXPECT_EQ(sd, 0.0);
  // Where the one-pass sums do not cancel exactly the result is tiny, never NaN.
  const Vec d(1001, 0.1);
  ASSERT_EQ(StdDev(d.data(), 1001, &mean, &sd), 0);
  EXPECT_FALSE(std::isnan(sd));
  EXPECT_NEAR(sd, 0.0, 1e-7);
  EXPECT_EQ(StdDev(x, 0, &mean, &sd), ErrCountNotPositive);
}

TEST(Statistics, HistogramCountsAndAxis) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double x[] = {0.0, 0.1, 0.3, 0.5, 0.74, 1.0, 1.5, -0.1, nan, inf, -inf};
  int hist[4];
  double axis[4];
  ASSERT_EQ(Histogram(x, 11, 0.0, 1.0, hist, axis, 4), 0);
  const int counts[] = {2, 1, 2, 1};  // 1.0 in the last interval; the rest not counted
  const double centres[] = {0.125, 0.375, 0.625, 0.875};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(hist[i], counts[i]) << i;
    EXPECT_DOUBLE_EQ(axis[i], centres[i]) << i;
  }
}

TEST(Statistics, HistogramKeepsSamplesJustBelowTop) {
  // With 49 intervals of [0, 1] the bin of the largest double below 1 rounds to 49.
  const double x[] = {std::nextafter(1.0, 0.0), 1.0};
  std::vector<int> hist(49);
  std::vector<double> axis(49);
  ASSERT_EQ(Histogram(x, 2, 0.0, 1.0, hist.data(), axis.data(), 49), 0);
  EXPECT_EQ(hist[48], 2);
}

TEST(Statistics, HistogramErrors) {
  const double x[] = {0.5};
  int hist[2] = {7, 7};
  double axis[2] = {7, 7};
  EXPECT_EQ(Histogram(x, 0, 1.0, 1.0, hist, axis, 2), ErrBaseNotBelowTop);  // checked first
  EXPECT_EQ(Histogram(x, 1, 2.0, 1.0, hist, axis, 2), ErrBaseNotBelowTop);
  EXPECT_EQ(Histogram(x, 1, std::nan(""), 1.0, hist, axis, 2), ErrBaseNotBelowTop);
  EXPECT_EQ(Histogram(x, 0, 0.0, 1.0, hist, axis, 2), ErrCountNotPositive);
  EXPECT_EQ(Histogram(x, 1, 0.0, 1.0, hist, axis, 0), ErrCountNotPositive);
  EXPECT_EQ(hist[0], 7);
  EXPECT_EQ(axis[0], 7);
}

TEST(ArrayRoutines, MaxMinFirstPositions) {
  const double x[] = {3, 1, 3, 1};
  double mx = 0, mn = 0;
  int imx = -1, imn = -1;
  ASSERT_EQ(MaxMin1D(x, 4, &mx, &imx, &mn, &imn), 0);
  EXPECT_EQ(mx, 3);
  EXPECT_EQ(imx, 0);
  EXPECT_EQ(mn, 1);
  EXPECT_EQ(imn, 1);
  const double y[] = {2, 5, -4, 5, -4};
  ASSERT_EQ(MaxMin1D(y, 5, &mx, &imx, &mn, &imn), 0);
  EXPECT_EQ(imx, 1);
  EXPECT_EQ(imn, 2);
  EXPECT_EQ(MaxMin1D(y, 0, &mx, &imx, &mn, &imn), ErrCountNotPositive);
}

TEST(ArrayRoutines, ElementWiseInPlace) {
  Vec x = {1, 2, 3}, y = {4, 5, 6};
  ASSERT_EQ(Sub1D(x.data(), y.data(), 3, x.data()), 0);
  EXPECT_EQ(x, (Vec{-3, -3, -3}));
  ASSERT_EQ(Mul1D(x.data(), y.data(), 3, y.data()), 0);
  EXPECT_EQ(y, (Vec{-12, -15, -18}));
  ASSERT_EQ(Copy1D(y.data(), 2, x.data()), 0);
  EXPECT_EQ(x, (Vec{-12, -15, -3}));
  ASSERT_EQ(Set1D(x.data(), 3, 2.5), 0);
  EXPECT_EQ(x, (Vec{2.5, 2.5, 2.5}));
  ASSERT_EQ(Clear1D(x.data(), 2), 0);
  EXPECT_EQ(x, (Vec{0, 0, 2.5}));
  for (int n : {0, -1}) {
    EXPECT_EQ(Set1D(x.data(), n, 1), ErrCountNotPositive);
    EXPECT_EQ(Clear1D(x.data(), n), ErrCountNotPositive);
    EXPECT_EQ(Copy1D(y.data(), n, x.data()), ErrCountNotPositive);
    EXPECT_EQ(Sub1D(x.data(), y.data(), n, x.data()), ErrCountNotPositive);
    EXPECT_EQ(Mul1D(x.data(), y.data(), n, x.data()), ErrCountNotPositive);
    EXPECT_EQ(Div1D(x.data(), y.data(), n, x.data()), ErrCountNotPositive);
  }
  EXPECT_EQ(x, (Vec{0, 0, 2.5}));
}

TEST(ArrayRoutines, DivideStopsAtFirstZero) {
  const double x[] = {6, 6, 6}, y[] = {1, 0, 1};
  double z[3] = {-1, -1, -1};
  EXPECT_EQ(Div1D(x, y, 3, z), ErrDivideByZero);
  EXPECT_EQ(z[0], 6.0);
  EXPECT_EQ(z[1], -1.0);
  EXPECT_EQ(z[2], -1.0);
  const double w[] = {2, -3, 0.5};
  EXPECT_EQ(Div1D(x, w, 3, z), 0);
  EXPECT_EQ(z[1], -2.0);
  EXPECT_EQ(z[2], 12.0);
}
