// Averaged amplitude histograms, their density and distribution functions, and statistics runs,
// checked against the distributions the test signals have by construction.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "analyzer/cultivate1.h"
#include "analyzer/initstruct.h"
#include "analyzer/view1.h"
#include "fixture.h"

namespace {

constexpr int N = 4096;

class Histograms : public ::testing::Test {
 protected:
  uint32_t seed = 12345;

  void SetUp() override {
    dbuf.nframe = N;
    pa.bins = 40;
    pa.sigmas = 4;
    rcu.chanA = rcu.chanB = 0;
    for (int w = 0; w < kWindows; ++w) {
      vs[w].yData = resY + w * kResultHalf;
      vs[w].xData = resX + w * kResultHalf;
    }
    for (double* a : {Gxx, Gyy, Rxy, Ixy}) std::memset(a, 0, sizeof Gxx);
  }
  double Uniform(double lo, double hi) {  // a fixed LCG: the same frames on every run
    seed = seed * 1664525u + 1013904223u;
    return lo + (hi - lo) * ((seed >> 8) / 16777216.0);
  }
  // Frames k = 1 … frames through the averaging step, as a counted run does.
  template <class F>
  void Run(int frames, F fill) {
    for (int k = 1; k <= frames; ++k) {
      for (int i = 0; i < N; ++i) {
        ca[i] = fill(k, i);
        cb[i] = -ca[i];
      }
      rcu.avgCount = k;
      AverProbHistogramm(k);
    }
  }
  static double Sum(const double* g) {
    double s = 0.0;
    for (int i = 0; i < pa.bins; ++i) s += g[i];
    return s;
  }
};

TEST_F(Histograms, UniformNoiseIsFlatAndSumsToOne) {
  const double A = 1000.0;
  Run(8, [&](int, int) { return Uniform(-A, A); });
  const double w = (pa.hiA - pa.loA) / pa.bins;
  EXPECT_DOUBLE_EQ(pa.binWidthA, w);
  EXPECT_NEAR(pa.hiA, 4.0 * A / std::sqrt(3.0), 0.02 * A);  // mean + 4σ of U(−A, A)
  EXPECT_NEAR(Sum(Gxx), 1.0, 1e-12);
  EXPECT_NEAR(Sum(Gyy), 1.0, 1e-12);
  int inside = 0;
  for (int i = 0; i < pa.bins; ++i) {
    const double lo = pa.loA + i * w, hi = lo + w;
    EXPECT_NEAR(Rxy[i], lo + w / 2, 1e-9 * A);
    if (lo > -A && hi < A) {
      ++inside;
      EXPECT_NEAR(Gxx[i], w / (2 * A), 0.1 * w / (2 * A)) << i;
    } else if (hi < -A || lo > A) {
      EXPECT_EQ(Gxx[i], 0.0) << i;
    }
  }
  EXPECT_GE(inside, 10);
  // Zero-mean: the range is ±4 RMS; averaged mean and mean square from the bins.
  EXPECT_NEAR(pa.loNormA, -4.0, 0.05);
  EXPECT_NEAR(pa.hiNormB, 4.0, 0.05);
  EXPECT_NEAR(sp.meanA, 0.0, 0.01 * A);
  EXPECT_NEAR(sp.powerA, A * A / 3.0, 0.02 * A * A);

  ViewState& v = vs[0];
  ProbDensityA(&v);
  ASSERT_EQ(v.count, pa.bins);
  EXPECT_EQ(v.plotStyle, kPlotBars);
  EXPECT_DOUBLE_EQ(v.normLo, pa.loNormA);
  EXPECT_DOUBLE_EQ(v.xMin, Rxy[0]);
  EXPECT_DOUBLE_EQ(v.xMax, Rxy[pa.bins - 1]);

  v.yUnit = kYLinear;
  ProbDistribB(&v);
  EXPECT_EQ(v.yData[0], Gyy[0]);
  for (int i = 1; i < v.count; ++i) ASSERT_GE(v.yData[i], v.yData[i - 1]) << i;
  EXPECT_GE(v.yMin, 0.0);
  EXPECT_NEAR(v.yData[v.count - 1], 1.0, 1e-12);
  EXPECT_NEAR(v.yMax, 1.0, 1e-12);

  // The dB option shows 10·log10 of the probabilities; empty outer bins stay finite.
  v.yUnit = kYDb;
  v.dbRange = 0;
  v.dbOffset = 55.0;
  ProbDistribB(&v);
  EXPECT_NEAR(v.yData[v.count - 1], 0.0, 1e-9);
  double below = 0.0;
  for (int i = 0; i < pa.bins / 2; ++i) below += Gyy[i];
  EXPECT_NEAR(v.yData[pa.bins / 2 - 1], 10.0 * std::log10(below), 1e-9);
  for (int i = 0; i < v.count; ++i) ASSERT_TRUE(std::isfinite(v.yData[i])) << i;
  EXPECT_TRUE(std::isfinite(v.yMin) && std::isfinite(v.yMax));
  v.yUnit = kYLinear;
}

TEST_F(Histograms, SineHasTheArcsineShapeWithPeaksAtItsAmplitude) {
  const double A = 2000.0;
  pa.bins = 64;
  Run(1, [&](int, int i) { return A * std::sin(2.0 * M_PI * 37.31 * i / N + 0.3); });
  const double w = pa.binWidthA;
  // Share of a bin from the arcsine distribution F(x) = 1/2 + asin(x/A)/π.
  auto F = [&](double x) { return x <= -A ? 0.0 : x >= A ? 1.0 : 0.5 + std::asin(x / A) / M_PI; };
  int peakLo = 0, peakHi = pa.bins - 1;
  for (int i = 0; i < pa.bins; ++i) {
    const double lo = pa.loA + i * w;
    EXPECT_NEAR(Gxx[i], F(lo + w) - F(lo), 0.006) << i;
    if (i < pa.bins / 2 && Gxx[i] > Gxx[peakLo]) peakLo = i;
    if (i >= pa.bins / 2 && Gxx[i] > Gxx[peakHi]) peakHi = i;
  }
  // The peaks lie in the bins at ±A or in their inner neighbours (the outer ones are only
  // partly inside the sine's range).
  EXPECT_LE(std::abs(Rxy[peakLo] + A), 1.5 * w) << peakLo;
  EXPECT_LE(std::abs(Rxy[peakHi] - A), 1.5 * w) << peakHi;
  EXPECT_NEAR(Sum(Gxx), 1.0, 1e-12);
}

TEST_F(Histograms, DamagedConstantAndBoundarySamples) {
  // NaN and infinite samples of a later frame are simply not counted.
  Run(2, [&](int k, int i) {
    if (k == 1 || i % 4 > 1) return Uniform(-1.0, 1.0);
    return i % 4 == 0 ? std::nan("") : std::numeric_limits<double>::infinity();
  });
  EXPECT_NEAR(Sum(Gxx), (1.0 + 0.5) / 2, 1e-12);

  // A first frame with a NaN leaves the range undefined: nothing is counted for the run.
  Run(2, [&](int k, int i) { return k == 1 && i == 7 ? std::nan("") : Uniform(-1.0, 1.0); });
  EXPECT_EQ(Sum(Gxx), 0.0);
  EXPECT_TRUE(std::isfinite(sp.powerA) && std::isfinite(pa.loNormA) && std::isfinite(sp.meanA));

  // A constant first frame gives an empty range: nothing counted, nothing undefined shown.
  Run(3, [&](int k, int i) { return k == 1 ? 25.0 : 25.0 + (i % 3); });
  EXPECT_EQ(pa.loA, pa.hiA);
  EXPECT_EQ(Sum(Gxx), 0.0);
  EXPECT_EQ(sp.powerA, 0.0);
  EXPECT_EQ(pa.loNormA, 0.0);
  ProbDensityA(&vs[0]);
  EXPECT_EQ(vs[0].yMax, 0.0);
  EXPECT_TRUE(std::isfinite(vs[0].normLo));

  // Samples equal to the top of the range land in the last bin.
  Run(1, [&](int, int) { return Uniform(-1.0, 1.0); });
  const double last = Gxx[pa.bins - 1];
  for (int i = 0; i < N; ++i) ca[i] = pa.hiA;
  rcu.avgCount = 2;
  AverProbHistogramm(2);
  EXPECT_NEAR(Gxx[pa.bins - 1], 0.5 * last + 0.5, 1e-12);
  EXPECT_NEAR(Sum(Gxx), 1.0, 1e-12);
}

// ---- statistics runs through the panels

class StatisticsRun : public veltra_test::VeltraTest {
 protected:
  void StatisticsSetUp(int averages) {
    PrepareSineRun(averages);
    Set("MeasTypeRing", "2");
    ASSERT_EQ(rcu.measType, 2);
  }
};

TEST_F(StatisticsRun, CountedRunStopsAtItsTargetEvenWhenExponential) {
  for (int target : {1, 4}) {
    if (target == 4) {  // exponential averaging chosen in the spectra type, then statistics
      Set("MeasTypeRing", "0");
      Press("LinearBox");
      ASSERT_EQ(rcu.expAver, 1);
    }
    StatisticsSetUp(target);
    Set("StartButton", "1");
    ASSERT_EQ(start, 1);
    for (int i = 0; i < 50 && start == 1; ++i) {
      Tick();
      ASSERT_LE(rcu.avgCount - 1, target);
    }
    EXPECT_EQ(start, 0) << target;
    EXPECT_EQ(TimerEnabled(), 0);
    EXPECT_EQ(IntOf("StartButton"), 0);
    EXPECT_EQ(IntOf("AverCountDisplay"), target);
    // The generator's sine: every frame counted within the range of the first.
    double sum = 0.0;
    for (int i = 0; i < pa.bins; ++i) sum += Gxx[i];
    EXPECT_NEAR(sum, 1.0, 1e-9) << target;
    Tick(2);
    EXPECT_EQ(IntOf("AverCountDisplay"), target);
  }
}

TEST_F(StatisticsRun, BinsControlSetsTheCountAndRestartsARun) {
  StatisticsSetUp(50);
  Set("BinsField", "16");
  EXPECT_EQ(pa.bins, 16);
  Set("StartButton", "1");
  Tick(5);
  ASSERT_GT(rcu.avgCount, 2);
  Set("BinsField", "100");
  EXPECT_EQ(pa.bins, 100);
  EXPECT_EQ(start, 1);
  EXPECT_EQ(rcu.avgCount, 1);
  Tick();
  vs[0].function = 21;
  ProbDensityA(&vs[0]);
  EXPECT_EQ(vs[0].count, 100);
}

TEST_F(StatisticsRun, CepstraAndHistogramsOfRealRunsDrawFiniteValues) {
  auto runToTheEnd = [&] {
    Set("StartButton", "1");
    for (int i = 0; i < 50 && start == 1; ++i) Tick();
    ASSERT_EQ(start, 0);
  };
  auto drawsFinite = [&](int f) {
    Set("FunctionRing1", std::to_string(f).c_str());
    ASSERT_EQ(vs[0].function, f);
    for (int format = 0; format < (cf[f].hasFormats ? 3 : 1); ++format) {
      SCOPED_TRACE(std::string(cf[f].name) + " format " + std::to_string(format));
      if (cf[f].hasFormats) Set("FormatRing1", std::to_string(format).c_str());
      ASSERT_EQ(ViewResult(0), 1);
      ASSERT_GT(vs[0].count, 0);
      for (int i = 0; i < vs[0].count; ++i)
        ASSERT_TRUE(std::isfinite(vs[0].yData[i]) && std::isfinite(vs[0].xData[i])) << i;
      EXPECT_TRUE(std::isfinite(vs[0].yMin) && std::isfinite(vs[0].yMax));
    }
  };
  PrepareSineRun(2);
  runToTheEnd();
  for (int f : {17, 18, 19, 20}) drawsFinite(f);
  // The liftered spectrum put the matching cepstrum into the other window.
  EXPECT_EQ(vs[1].function, 18);
  EXPECT_EQ(vs[0].count, cus.lines);

  StatisticsSetUp(3);
  runToTheEnd();
  for (int f : {21, 22, 23, 24}) drawsFinite(f);
  EXPECT_NEAR(vs[0].yData[vs[0].count - 1], 1.0, 1e-9);  // distribution of B ends at 1
}

}  // namespace
