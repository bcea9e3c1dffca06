// Measured noise through the real windowing and averaging: the power spectral density of white
// noise for every data window, and what the cepstrum and the liftered spectrum make of a gain
// and of an echo.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

#include "analyzer/calibration.h"
#include "analyzer/cultivate1.h"
#include "analyzer/iirfilter.h"
#include "analyzer/initstruct.h"
#include "analyzer/view1.h"
#include "model_geometry.h"

namespace {

constexpr int N = 4096;
constexpr double kRate = 2048.0;   // Hz
constexpr double kSigma = 1000.0;  // counts
constexpr int kAverages = 64;

double Db(double x) { return 10.0 * std::log10(x); }

class NoisePhysics : public ::testing::Test {
 protected:
  int lines = 0;

  void SetUp() override {
    veltra_test::PlainModel(N, kRate);
    lines = cus.lines;
  }

  // Averages kAverages frames of white Gaussian noise (σ counts, times gain) on channel A,
  // heard with an echo of relative level `echo` after `delay` samples, through data window
  // `window` as a measurement does.
  void Measure(int window, double gain = 1.0, double echo = 0.0, int delay = 0) {
    cus.window = window;
    WeightFunction(&cus);
    std::mt19937 rng(12345);
    std::normal_distribution<double> noise(0.0, kSigma);
    std::vector<double> s(static_cast<size_t>(N) * kAverages + delay);
    for (double& x : s) x = gain * noise(rng);
    for (int k = 1; k <= kAverages; ++k) {
      for (int i = 0; i < N; ++i) {
        const size_t t = static_cast<size_t>(k - 1) * N + i + delay;
        Rx[i] = s[t] + echo * s[t - delay];
        Ry[i] = s[t];
      }
      WeightCtrl();
      Averaging(k);
    }
  }

  // Mean of the window's line values above the lowest lines (where removing the mean notches
  // the spectrum) over the expected density 2σ²/fs.
  double DensityRatio(const ViewState& v) const {
    double sum = 0.0;
    int n = 0;
    for (int j = 16; j < lines; ++j, ++n) sum += v.yData[j];
    return sum / n / (2.0 * kSigma * kSigma / kRate);
  }

  int CepstrumPeak() {
    ViewState& v = vs[1];
    v.function = 17;
    v.format = 2;
    CepstrumA(&v);
    int peak = 1;
    for (int m = 1; m < N / 2; ++m)
      if (v.yData[m] > v.yData[peak]) peak = m;
    return peak;
  }
};

TEST_F(NoisePhysics, WhiteNoiseDensityIsTwoSigmaSquaredOverTheRateForEveryWindow) {
  ViewState& v = vs[0];
  v.yUnit = kYDensity;
  for (int window = 0; window <= 9; ++window) {
    Measure(window);
    SpectrumA(&v);
    const double ratio = DensityRatio(v);
    std::printf("window %d: enbw %.4f lines, density / (2 sigma^2 / fs) = %.4f (%+.3f dB)\n",
                window, WC.enbw, ratio, Db(ratio));
    EXPECT_LT(std::fabs(Db(ratio)), 0.2) << "window " << window;
    // The density summed over the band is the total power, whatever the window.
    EXPECT_NEAR(sp.powerA / (kSigma * kSigma), 1.0, 0.05) << "window " << window;
  }
}

TEST_F(NoisePhysics, GainMovesOnlyQuefrencyZero) {
  ViewState& v = vs[1];
  v.format = 0;
  Measure(1, 1.0, 0.5, 40);
  CepstrumA(&v);
  const std::vector<double> before(v.yData, v.yData + N / 2);
  Measure(1, 8.0, 0.5, 40);
  CepstrumA(&v);
  EXPECT_NEAR(v.yData[0] - before[0], Db(64.0), 1e-9);
  double worst = 0.0;
  for (int m = 1; m < N / 2; ++m) worst = std::fmax(worst, std::fabs(v.yData[m] - before[m]));
  EXPECT_LT(worst, 1e-9);
}

TEST_F(NoisePhysics, AnEchoAfterQSamplesIsTheCepstrumsPeak) {
  for (int delay : {40, 333}) {
    Measure(1, 1.0, 0.5, delay);
    EXPECT_EQ(CepstrumPeak(), delay);
  }
  // |1 + a·e^(−jωq)|² in dB ripples with 2a·10/ln 10 · cos ωq: half of it at quefrency q, over
  // the part of the band that is analysed (above it the spectrum is held level).
  Measure(1, 1.0, 0.5, 40);
  CepstrumPeak();
  const double analysed = static_cast<double>(lines) / (N / 2);
  EXPECT_NEAR(vs[1].yData[40], 0.5 * 10.0 / std::log(10.0) * analysed, 0.05);
  Measure(1);
  const int peak = CepstrumPeak();
  EXPECT_LT(vs[1].yData[peak], 0.5) << "no echo, no peak";
}

TEST_F(NoisePhysics, OpenLifterGivesTheSpectrumAndAShortOneItsEnvelope) {
  constexpr int kDelay = 40;
  Measure(1, 1.0, 0.5, kDelay);
  ViewState& lift = vs[0];
  ViewState& ceps = vs[1];
  lift.function = 19;
  ceps.function = 17;
  ceps.viewXFrom = 0.0;
  ceps.viewXTo = time_ch[N / 2 - 1];  // the cepstrum as shown, unzoomed
  LiftSpecA(&lift);
  ASSERT_EQ(lift.count, lines);
  for (int j = 0; j < lines; ++j) ASSERT_NEAR(Db(lift.yData[j]), Db(Gxx[2 * j]), 1e-9) << j;

  // Lifter below the echo: the ripple of the echo (±4 dB) is gone, the level stays.
  ceps.viewXTo = (kDelay / 2) * sp.dt;
  LiftSpecA(&lift);
  double meanRaw = 0.0, meanLift = 0.0, varRaw = 0.0, varLift = 0.0;
  const int from = 300, to = lines - 300;
  for (int j = from; j < to; ++j) {
    meanRaw += Db(Gxx[2 * j]) / (to - from);
    meanLift += Db(lift.yData[j]) / (to - from);
  }
  for (int j = from; j < to; ++j) {
    varRaw += std::pow(Db(Gxx[2 * j]) - meanRaw, 2) / (to - from);
    varLift += std::pow(Db(lift.yData[j]) - meanLift, 2) / (to - from);
  }
  EXPECT_GT(std::sqrt(varRaw), 2.5);
  EXPECT_LT(std::sqrt(varLift), 0.3);
  EXPECT_NEAR(meanLift, meanRaw, 0.1);
}

}  // namespace
