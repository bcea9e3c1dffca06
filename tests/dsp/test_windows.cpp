// Windows against their closed-form definitions, the stored sample-0 values, the symmetric fill
// and the constants ScaledWindow reports.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "dsp/dsp.h"

namespace {

using Vec = std::vector<double>;
constexpr long double kTwoPi = 6.283185307179586476925286766559L;

// sum_k (-1)^k a[k] cos(k theta), theta = 2 pi i / n, in long double.
double CosineSum(const std::vector<long double>& a, int i, int n) {
  long double w = 0;
  for (std::size_t k = 0; k < a.size(); ++k)
    w += (k % 2 == 0 ? 1 : -1) * a[k] * std::cos(kTwoPi * k * i / n);
  return static_cast<double>(w);
}

struct WindowCase {
  const char* name;
  std::function<int(double*, int)> apply;
  std::vector<long double> a;  // textbook coefficients of the cosine sum
  double sample0;              // the stored value applied to sample 0
};

const double kFlatTop[] = {0.215578948, 0.41663158, 0.277263158, 0.083578947, 0.006947368};

std::vector<WindowCase> Cases() {
  return {
      {"Hanning", HanWin, {0.5L, 0.5L}, 0.0},
      {"Hamming", HamWin, {0.54L, 0.46L}, 0.08},
      {"Blackman", BkmanWin, {0.42L, 0.5L, 0.08L}, -0x1p-56},
      {"exact Blackman",
       ExBkmanWin,
       {7938.0L / 18608, 9240.0L / 18608, 1430.0L / 18608},
       0.006878761822871851},
      {"Blackman-Harris 3", BlkHarrisWin, {0.42323L, 0.49755L, 0.07922L}, 0.004900000000000002},
  };
}

Vec Ones(int n) { return Vec(n, 1.0); }

}  // namespace

TEST(Windows, ValuesMatchDefinitions) {
  for (const auto& c : Cases()) {
    for (int n : {8, 9, 64, 1023, 1024}) {
      Vec x = Ones(n);
      ASSERT_EQ(c.apply(x.data(), n), 0) << c.name;
      EXPECT_EQ(x[0], c.sample0) << c.name << " n = " << n;
      for (int i = 1; i < n; ++i) {
        if (n % 2 == 0 && i == n / 2) continue;  // left as it is (window value 1)
        EXPECT_NEAR(x[i], CosineSum(c.a, i, n), 1e-12) << c.name << " n=" << n << " i=" << i;
        EXPECT_EQ(x[i], x[n - i]) << c.name << " n=" << n << " i=" << i;
      }
    }
  }
}

TEST(Windows, EvenMiddleUntouchedOddFullyWeighted) {
  for (const auto& c : Cases()) {
    Vec x(10, 3.0);
    c.apply(x.data(), 10);
    EXPECT_EQ(x[5], 3.0) << c.name;
    Vec y(9, 3.0);
    c.apply(y.data(), 9);
    for (int i = 1; i < 9; ++i) EXPECT_NEAR(y[i], 3.0 * CosineSum(c.a, i, 9), 1e-13) << c.name;
  }
}

TEST(Windows, HanningShortBlocks) {
  double one[1] = {5.0};
  EXPECT_EQ(HanWin(one, 1), 0);
  EXPECT_EQ(one[0], 0.0);
  double two[2] = {5.0, 7.0};
  EXPECT_EQ(HanWin(two, 2), 0);
  EXPECT_EQ(two[0], 0.0);
  EXPECT_EQ(two[1], 7.0);
}

TEST(Windows, GeneralCosineAndFlatTop) {
  Vec x = Ones(8);
  ASSERT_EQ(FlatTopWin(x.data(), 8), 0);
  EXPECT_NEAR(x[0], -0.000421053, 1e-15);
  EXPECT_NEAR(x[4], 1.000000001, 1e-15);
  const std::vector<long double> a(std::begin(kFlatTop), std::end(kFlatTop));
  for (int n : {8, 15, 512}) {
    Vec y = Ones(n);
    ASSERT_EQ(GenCosWin(y.data(), n, kFlatTop, 5), 0);
    for (int i = 0; i < n; ++i) EXPECT_NEAR(y[i], CosineSum(a, i, n), 1e-12) << n << " " << i;
  }
  // One coefficient: a constant window.
  const double only[1] = {0.25};
  Vec z = Ones(6);
  ASSERT_EQ(GenCosWin(z.data(), 6, only, 1), 0);
  for (double v : z) EXPECT_EQ(v, 0.25);
}

TEST(Windows, BadCountsLeaveDataUnchanged) {
  double x[2] = {1.5, 2.5};
  const double a[2] = {0.5, 0.5};
  for (int n : {0, -3}) {
    for (const auto& c : Cases()) EXPECT_EQ(c.apply(x, n), ErrCountNotPositive) << c.name;
    EXPECT_EQ(FlatTopWin(x, n), ErrCountNotPositive);
    EXPECT_EQ(GenCosWin(x, n, a, 2), ErrCountNotPositive);
  }
  EXPECT_EQ(GenCosWin(x, 2, a, 0), ErrCountNotPositive);
  EXPECT_EQ(x[0], 1.5);
  EXPECT_EQ(x[1], 2.5);
}

TEST(ScaledWindowTest, HanningScaledToUnitGain) {
  const int n = 16;
  Vec x = Ones(n);
  WindowConstants wc{};
  ASSERT_EQ(ScaledWindow(x.data(), n, 1, &wc), 0);
  EXPECT_EQ(wc.enbw, 1.5);
  EXPECT_EQ(wc.coherentGain, 0.5);
  EXPECT_EQ(x[0], 0.0);
  EXPECT_EQ(x[n / 2], 2.0);
  for (int i = 1; i < n; ++i) {
    const double s = std::sin(M_PI * i / n);
    EXPECT_NEAR(x[i], 2 * s * s, 1e-14) << i;
  }
}

TEST(ScaledWindowTest, ReportedConstantsDescribeTheAppliedWindow) {
  // Independent of the stored table: a periodic window's mean is its coherent gain, and
  // n * sum w^2 / (sum w)^2 its equivalent noise bandwidth.
  const int n = 4096;
  for (int type = 1; type <= 8; ++type) {
    Vec x = Ones(n);
    WindowConstants wc{};
    ASSERT_EQ(ScaledWindow(x.data(), n, type, &wc), 0);
    long double sum = 0, sumSq = 0;
    for (double v : x) {
      const long double w = v * wc.coherentGain;  // undo the rescaling
      sum += w;
      sumSq += w * w;
    }
    EXPECT_NEAR(static_cast<double>(sum / n), wc.coherentGain, 1e-9) << "type " << type;
    // The stored bandwidths are rounded figures (Hamming's 1.36 is 1.3628).
    EXPECT_NEAR(static_cast<double>(n * sumSq / (sum * sum)) / wc.enbw, 1.0, 3e-3)
        << "type " << type;
  }
}

TEST(ScaledWindowTest, StoredConstants) {
  const struct {
    int type;
    double enbw, gain;
  } table[] = {
      {1, 1.5, 0.5},          {2, 1.36, 0.54},
      {3, 1.708538, 0.42323}, {4, 1.693699, 0.42659071367},
      {5, 1.726757, 0.42},    {6, 3.770246, 0.215578948},
      {7, 2.004353, 0.35875}, {8, 2.631905, 0.27105140069342415},
  };
  for (const auto& row : table) {
    Vec x = Ones(4);
    WindowConstants wc{};
    ASSERT_EQ(ScaledWindow(x.data(), 4, row.type, &wc), 0);
    EXPECT_EQ(wc.enbw, row.enbw) << row.type;
    EXPECT_EQ(wc.coherentGain, row.gain) << row.type;
  }
}

TEST(ScaledWindowTest, RectangularUnknownAndEdgeCounts) {
  for (int type : {0, 9, -1, 1000}) {
    Vec x = {1.0, -2.0, 3.5};
    WindowConstants wc{7.0, 7.0};
    ASSERT_EQ(ScaledWindow(x.data(), 3, type, &wc), 0);
    EXPECT_EQ(x, (Vec{1.0, -2.0, 3.5})) << type;
    EXPECT_EQ(wc.enbw, 1.0);
    EXPECT_EQ(wc.coherentGain, 1.0);
  }
  WindowConstants wc{7.0, 7.0};
  double x[1] = {4.0};
  EXPECT_EQ(ScaledWindow(x, 0, 2, &wc), 0);
  EXPECT_EQ(wc.enbw, 1.36);
  EXPECT_EQ(wc.coherentGain, 0.54);
  EXPECT_EQ(x[0], 4.0);

  WindowConstants untouched{7.0, 7.0};
  EXPECT_EQ(ScaledWindow(x, -1, 2, &untouched), ErrCountNegative);
  EXPECT_EQ(untouched.enbw, 7.0);
  EXPECT_EQ(untouched.coherentGain, 7.0);
  EXPECT_EQ(x[0], 4.0);
}
