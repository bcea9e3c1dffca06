// Correlation, coherence, cross functions, frequency responses and time displays, computed from
// real averaged frames and checked against independent answers: direct time-domain sums,
// known gains and delays, hand-computed ranges.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "analyzer/calibration.h"
#include "analyzer/cultivate1.h"
#include "analyzer/iirfilter.h"
#include "analyzer/initstruct.h"
#include "analyzer/view1.h"

namespace {

constexpr int N = 512;

class Cross : public ::testing::Test {
 protected:
  void SetUp() override {
    cus.frameLen = N;
    cus.halfLen = N / 2;
    cus.lines = static_cast<int>(N / 2.56) + 1;
    cus.srate = 512.0;
    sp.fmax = cus.srate / 2.56;
    sp.df = sp.fmax / (cus.lines - 1);
    sp.dt = 1.0 / cus.srate;
    for (int i = 0; i < cus.lines; ++i) x_band[i] = i * sp.df;
    for (int i = 0; i < 2 * N; ++i) time_ch[i] = i * sp.dt;
    for (int m = 0; m <= N; ++m) x_time[m] = (m - N / 2) * sp.dt;
    dbuf.nframe = N;
    hs.mvpc = 20000.0 / 16777215.0;
    rcu.chanA = 1;
    rcu.chanB = 2;
    cch.upc[1] = 0.5;
    cch.reldb[1] = 3.0;
    cch.upc[2] = 4.0;
    cch.reldb[2] = -2.0;
    for (ViewState& w : vs) w.function = 0;
    std::memset(Gxx, 0, sizeof Gxx);
    std::memset(Gyy, 0, sizeof Gyy);
    std::memset(Rxy, 0, sizeof Rxy);
    std::memset(Ixy, 0, sizeof Ixy);
    cus.window = 0;
    WeightFunction(&cus);
    v_ = ViewState{};
    v_.yData = y_.data();
    v_.xData = x_.data();
    v_.workRe = re_.data();
    v_.workIm = im_.data();
    v_.aspect = 1.0;
  }

  // Averages `frames` frames: a(f, i) on A, b(f, i) on B, as a counted run does.
  template <class FA, class FB>
  static void Average(int frames, FA a, FB b) {
    for (int f = 0; f < frames; ++f) {
      for (int i = 0; i < N; ++i) {
        Rx[i] = a(f, i);
        Ry[i] = b(f, i);
      }
      Averaging(f + 1.0);
    }
  }

  // Reproducible noise of unit-ish spread.
  std::vector<double> Noise(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<double> x(n);
    for (double& s : x) s = 1000.0 * (static_cast<double>(gen()) / 4294967295.0 - 0.5);
    return x;
  }

  void Show(ComputeFn fn, int format, int yUnit = kYLinear, int xUnit = kXLines) {
    v_.format = format;
    v_.yUnit = yUnit;
    v_.xUnit = xUnit;
    fn(&v_);
  }

  void ExpectAllFinite() {
    for (int i = 0; i < v_.count; ++i) {
      ASSERT_TRUE(std::isfinite(v_.yData[i])) << i;
      ASSERT_TRUE(std::isfinite(v_.xData[i])) << i;
    }
    EXPECT_TRUE(std::isfinite(v_.yMin) && std::isfinite(v_.yMax));
    EXPECT_TRUE(std::isfinite(v_.xMin) && std::isfinite(v_.xMax));
  }

  static int ArgMax(const double* y, int n) {
    int k = 0;
    for (int i = 1; i < n; ++i)
      if (y[i] > y[k]) k = i;
    return k;
  }

  std::vector<double> y_ = std::vector<double>(16384, 0.0);
  std::vector<double> x_ = std::vector<double>(16384, 0.0);
  std::vector<double> re_ = std::vector<double>(16384, 0.0);
  std::vector<double> im_ = std::vector<double>(16384, 0.0);
  ViewState v_{};
};

TEST_F(Cross, IdenticalChannelsAreFullyCoherent) {
  const std::vector<double> s = Noise(8 * N, 1);
  Average(
      8, [&](int f, int i) { return s[f * N + i]; }, [&](int f, int i) { return s[f * N + i]; });

  Show(Coherence, -1);
  EXPECT_EQ(v_.count, cus.lines);
  EXPECT_DOUBLE_EQ(v_.yMin, 0.0);
  EXPECT_DOUBLE_EQ(v_.yMax, 1.04);
  for (int j = 0; j < cus.lines; ++j) ASSERT_NEAR(v_.yData[j], 1.0, 1e-9) << j;
  EXPECT_DOUBLE_EQ(v_.xData[7], x_band[7]);

  Show(Signal_Noise, -1, kYDb);
  for (int j = 1; j < cus.lines; ++j) ASSERT_NEAR(v_.yData[j], 100.0, 0.1) << j;

  Show(CoherPower, -1, kYPower);
  for (int j = 0; j < cus.lines; ++j) ASSERT_NEAR(v_.yData[j], Gyy[2 * j], 1e-9 * Gyy[2 * j]) << j;
  EXPECT_DOUBLE_EQ(v_.yScale, 16.0);
  EXPECT_DOUBLE_EQ(v_.dbOffset, -2.0);

  Show(NonCohPower, -1, kYPower);
  for (int j = 0; j < cus.lines; ++j) ASSERT_NEAR(v_.yData[j], 0.0, 1e-9 * Gyy[2 * j]) << j;
  Show(NonCohPower, -1, kYDb);
  ExpectAllFinite();
}

TEST_F(Cross, IndependentNoiseHasLowCoherenceAndSilenceStaysFinite) {
  const int frames = 64;
  const std::vector<double> a = Noise(frames * N, 2), b = Noise(frames * N, 3);
  Average(
      frames, [&](int f, int i) { return a[f * N + i]; },
      [&](int f, int i) { return b[f * N + i]; });
  Show(Coherence, -1);
  double mean = 0.0;
  for (int j = 1; j < cus.lines; ++j) mean += v_.yData[j];
  mean /= cus.lines - 1;
  EXPECT_LT(mean, 0.05);  // about 1/frames for independent signals
  EXPECT_GT(mean, 0.0);

  // Channel B silent: every function built on the spectra shows finite values.
  Average(
      1, [&](int, int i) { return a[i]; }, [](int, int) { return 0.0; });
  Show(Coherence, -1);
  ExpectAllFinite();
  EXPECT_DOUBLE_EQ(v_.yData[5], 0.0);
  for (ComputeFn fn : {Signal_Noise, CoherPower, NonCohPower}) {
    Show(fn, -1, kYDb);
    ExpectAllFinite();
  }
  for (ComputeFn fn : {CrossSpectrums, CrossCorrelat, AutoCorrelationB, FreqRespH1, FreqResp1_H1,
                       FreqRespH2, FreqResp1_H2}) {
    for (int f = 0; f < 6; ++f) {
      SCOPED_TRACE(f);
      Show(fn, f, f == 3 ? kYPhase : (f == 2 ? kYDb : kYLinear));
      ExpectAllFinite();
    }
  }
}

TEST_F(Cross, AutoCorrelationMatchesTheDirectUnbiasedSum) {
  // Two tones on lines: no leakage, so the spectral route is exact.
  std::vector<double> x(N);
  for (int i = 0; i < N; ++i)
    x[i] =
        300.0 * std::sin(2.0 * M_PI * 9 * i / N + 0.4) + 120.0 * std::cos(2.0 * M_PI * 31 * i / N);
  Average(
      1, [&](int, int i) { return x[i]; }, [](int, int) { return 0.0; });
  double r0 = 0.0;
  for (double s : x) r0 += s * s;

  Show(AutoCorrelationA, 0, kYLinear, kXTime);
  EXPECT_EQ(v_.count, N);
  EXPECT_DOUBLE_EQ(v_.xData[N / 2], 0.0);
  EXPECT_NEAR(v_.yData[N / 2], 1.0, 1e-9);
  double mx = -1e300, mn = 1e300;
  for (int m = 0; m < N / 2; ++m) {
    double r = 0.0;
    for (int i = 0; i + m < N; ++i) r += x[i] * x[i + m];
    ASSERT_NEAR(v_.yData[N / 2 + m], r * N / (N - m) / r0, 1e-9) << m;
  }
  for (int i = 0; i < N; ++i) {
    mx = std::fmax(mx, v_.yData[i]);
    mn = std::fmin(mn, v_.yData[i]);
  }
  EXPECT_NEAR(v_.yMax, 1.004 * mx, 1e-12);
  EXPECT_NEAR(v_.yMin, 1.004 * mn, 1e-12);

  // A silent channel has no correlation coefficient: zeros, not NaN.
  Show(AutoCorrelationB, 0, kYLinear, kXTime);
  ExpectAllFinite();
}

TEST_F(Cross, DelayedCopyPeaksAtTheDelayOnTheNegativeSide) {
  const int d = 17, frames = 8;
  const std::vector<double> s = Noise(frames * N + d, 4);
  // B is A delayed by d samples.
  Average(
      frames, [&](int f, int i) { return s[f * N + i + d]; },
      [&](int f, int i) { return s[f * N + i]; });
  Show(CrossCorrelat, 0, kYLinear, kXTime);
  EXPECT_EQ(ArgMax(v_.yData, v_.count), N / 2 - d);
  EXPECT_NEAR(v_.xData[N / 2 - d], -d * sp.dt, 1e-12);
  EXPECT_GT(v_.yData[N / 2 - d], 0.9);
}

TEST_F(Cross, CrossSpectrumNyquistIsStretchedByTheAspect) {
  const std::vector<double> s = Noise(N, 5);
  Average(
      1, [&](int, int i) { return s[i]; }, [&](int, int i) { return 0.5 * s[(i + 3) % N]; });
  v_.aspect = 2.0;
  Show(CrossSpectrums, 4, kYLinear, kXReal);
  double mx = -1e300, mn = 1e300;
  for (int j = 0; j < cus.lines; ++j) {
    ASSERT_DOUBLE_EQ(v_.xData[j], Rxy[2 * j]);
    ASSERT_DOUBLE_EQ(v_.yData[j], Ixy[2 * j]);
    mx = std::fmax(mx, Rxy[2 * j]);
    mn = std::fmin(mn, Rxy[2 * j]);
  }
  EXPECT_DOUBLE_EQ(v_.xMax, 2.0 * mx);
  EXPECT_DOUBLE_EQ(v_.xMin, 2.0 * mn);
  EXPECT_EQ(v_.plotStyle, kPlotPoints);
  EXPECT_DOUBLE_EQ(v_.xScale, 2.0);  // 0.5 · 4
}

TEST_F(Cross, ResponsesOfAPureGain) {
  const std::vector<double> s = Noise(4 * N, 6);
  Average(
      4, [&](int f, int i) { return s[f * N + i]; },
      [&](int f, int i) { return 2.0 * s[f * N + i]; });
  struct Case {
    ComputeFn fn;
    double gain;
  };
  for (const Case& c : {Case{FreqRespH1, 2.0}, Case{FreqRespH2, 2.0}, Case{FreqResp1_H1, 0.5},
                        Case{FreqResp1_H2, 0.5}}) {
    Show(c.fn, 0);
    for (int j = 0; j < cus.lines; ++j) ASSERT_NEAR(v_.yData[j], c.gain, 1e-9) << j;
    Show(c.fn, 1);
    for (int j = 0; j < cus.lines; ++j) ASSERT_NEAR(v_.yData[j], 0.0, 1e-9) << j;
    Show(c.fn, 3, kYPhase);
    for (int j = 0; j < cus.lines; ++j) ASSERT_NEAR(v_.yData[j], 0.0, 1e-6) << j;
    EXPECT_DOUBLE_EQ(v_.yMax, 180.0);
    Show(c.fn, 4, kYLinear, kXReal);
    EXPECT_NEAR(v_.xData[10], c.gain, 1e-9);
    EXPECT_NEAR(v_.yData[10], 0.0, 1e-9);
    EXPECT_NEAR(v_.xMax, c.gain, 1e-9);  // no stretching by the aspect
  }
  Show(FreqRespH1, 2, kYDb);
  EXPECT_NEAR(v_.yData[20], 20.0 * std::log10(2.0), 1e-9);
  EXPECT_DOUBLE_EQ(v_.yScale, 1.0);

  // B = 3·sin lags A = cos by a quarter period on line j: H = −3j there, 1/H = j/3.
  const int j = 25;
  Average(
      1, [&](int, int i) { return 100.0 * std::cos(2.0 * M_PI * j * i / N); },
      [&](int, int i) { return 300.0 * std::sin(2.0 * M_PI * j * i / N); });
  for (const Case& c : {Case{FreqRespH1, -3.0}, Case{FreqRespH2, -3.0}, Case{FreqResp1_H1, 1.0 / 3},
                        Case{FreqResp1_H2, 1.0 / 3}}) {
    Show(c.fn, 1);
    EXPECT_NEAR(v_.yData[j], c.gain, 1e-9);
    Show(c.fn, 0);
    EXPECT_NEAR(v_.yData[j], 0.0, 1e-9);
    Show(c.fn, 3, kYPhase);
    EXPECT_NEAR(v_.yData[j], c.gain < 0 ? -90.0 : 90.0, 1e-6);
  }
}

TEST_F(Cross, AnalyticSignalOfASine) {
  const double A = 2500.0;
  const int j = 37;
  std::vector<double> x(N);
  for (int i = 0; i < N; ++i) x[i] = A * std::sin(2.0 * M_PI * j * i / N + 0.3);
  Average(
      1, [&](int, int i) { return x[i]; }, [](int, int) { return 0.0; });

  Show(Time_A, 0, kYRms, kXTime);
  EXPECT_EQ(v_.count, N);
  for (int i = 0; i < N; ++i) ASSERT_NEAR(v_.yData[i], x[i], 1e-6 * A) << i;  // the frame back
  EXPECT_DOUBLE_EQ(v_.yScale, 0.5);
  // Peak 2500 counts = 2.98 mV: the range is ±10 mV in counts.
  EXPECT_NEAR(v_.yMax * hs.mvpc, 10.0, 1e-9);
  EXPECT_DOUBLE_EQ(v_.yMin, -v_.yMax);

  Show(Time_A, 2, kYRms, kXTime);  // the envelope: the amplitude away from the frame's edges
  for (int i = N / 4; i < 3 * N / 4; ++i) ASSERT_NEAR(v_.yData[i], A, 0.02 * A) << i;
  EXPECT_DOUBLE_EQ(v_.yMin, 0.0);

  Show(Time_A, 1, kYRms, kXTime);  // the Hilbert transform of sin is −cos
  for (int i = N / 4; i < 3 * N / 4; ++i)
    ASSERT_NEAR(v_.yData[i], -A * std::cos(2.0 * M_PI * j * i / N + 0.3), 0.02 * A) << i;

  // Nichols in dB: the envelope against the channel's reference (3 dB offset of input 1),
  // whatever offset the window held before.
  v_.dbOffset = -80.0;
  Show(Time_A, 5, kYDb, kXPhase);
  EXPECT_DOUBLE_EQ(v_.dbOffset, 3.0);
  EXPECT_NEAR(v_.yData[N / 2], 20.0 * std::log10(A) + 3.0, 0.2);
}

TEST_F(Cross, TimeRangesAndBAgainstA) {
  // GetMax: 0.35 mV → 1 mV, exactly 1 mV → 10 mV, a non-finite peak still gives a finite limit.
  v_.yMax = 0.35 / hs.mvpc;
  v_.yMin = -0.1 / hs.mvpc;
  EXPECT_NEAR(GetMax(&v_) * hs.mvpc, 1.0, 1e-12);
  v_.yMax = 0.0;
  v_.yMin = -1.0 / hs.mvpc;
  EXPECT_NEAR(GetMax(&v_) * hs.mvpc, 10.0, 1e-12);
  v_.yMax = HUGE_VAL;
  EXPECT_TRUE(std::isfinite(GetMax(&v_)));

  for (int i = 0; i < N; ++i) {
    ca[i] = 2.0 * std::sin(2.0 * M_PI * i / 64.0);
    cb[i] = 700.0 * std::cos(2.0 * M_PI * i / 64.0);
  }
  v_.aspect = 1.5;
  Show(TimeA_vs_B, -1, kYRms, kXAmplitude);
  EXPECT_EQ(v_.count, N);
  EXPECT_DOUBLE_EQ(v_.xData[5], ca[5]);
  EXPECT_DOUBLE_EQ(v_.yData[5], cb[5]);
  EXPECT_NEAR(v_.xMax, 3.0, 1e-12);
  EXPECT_NEAR(v_.xMin, -3.0, 1e-12);
  EXPECT_DOUBLE_EQ(v_.xScale, 0.5);
  EXPECT_DOUBLE_EQ(v_.yScale, 4.0);
  // A frame of A that never goes positive still gets an upright, symmetric X range.
  for (int i = 0; i < N; ++i) ca[i] = -1.0 - (i % 3);
  Show(TimeA_vs_B, -1, kYRms, kXAmplitude);
  EXPECT_NEAR(v_.xMax, 4.5, 1e-12);
  EXPECT_NEAR(v_.xMin, -4.5, 1e-12);

  Show(TimeB, -1, kYRms, kXTime);
  EXPECT_EQ(v_.count, N);
  EXPECT_DOUBLE_EQ(v_.yData[9], cb[9]);
  EXPECT_DOUBLE_EQ(v_.xMax, time_ch[N - 1]);
  EXPECT_NEAR(v_.yMax * hs.mvpc, 1.0, 1e-12);  // 700 counts = 0.83 mV
  EXPECT_DOUBLE_EQ(v_.yMin, -v_.yMax);
}

}  // namespace

namespace {

// Every function of the table, in every format and with every Y and X option it offers, on
// silent, one-sided, identical, opposed, independent and constant channels: nothing non-finite
// may reach the graph, its axis ranges or the dB readouts.
TEST_F(Cross, EveryFormatAndUnitStaysFiniteOnDegenerateChannels) {
  const std::vector<double> a = Noise(4 * N, 7), b = Noise(4 * N, 8);
  struct Case {
    const char* name;
    double (*fa)(const std::vector<double>&, const std::vector<double>&, int, int);
    double (*fb)(const std::vector<double>&, const std::vector<double>&, int, int);
  };
  using V = const std::vector<double>&;
  const Case cases[] = {
      {"silent", [](V, V, int, int) { return 0.0; }, [](V, V, int, int) { return 0.0; }},
      {"A silent", [](V, V, int, int) { return 0.0; },
       [](V, V y, int f, int i) { return y[f * N + i]; }},
      {"B silent", [](V x, V, int f, int i) { return x[f * N + i]; },
       [](V, V, int, int) { return 0.0; }},
      {"identical", [](V x, V, int f, int i) { return x[f * N + i]; },
       [](V x, V, int f, int i) { return x[f * N + i]; }},
      {"opposed", [](V x, V, int f, int i) { return x[f * N + i]; },
       [](V x, V, int f, int i) { return -x[f * N + i]; }},
      {"independent", [](V x, V, int f, int i) { return x[f * N + i]; },
       [](V, V y, int f, int i) { return y[f * N + i]; }},
      {"constant", [](V, V, int, int) { return 300.0; }, [](V, V, int, int) { return -5.0; }},
  };
  for (const Case& c : cases) {
    for (int f = 0; f < 4; ++f) {
      for (int i = 0; i < N; ++i) {
        Rx[i] = ca[i] = c.fa(a, b, f, i);
        Ry[i] = cb[i] = c.fb(a, b, f, i);
      }
      Averaging(f + 1.0);
    }
    for (int fn = 2; fn <= 26; ++fn) {
      if (fn >= 21 && fn <= 24) continue;  // the histograms have their own statistics data
      for (int format = 0; format < kFormats; ++format) {
        const MeasFunction& m = cf[fn];
        if (m.yUnits[format] == nullptr) continue;
        for (int yu = 0; yu < kUnitOptions; ++yu) {
          if (!m.yUnits[format][yu]) continue;
          for (int xu = 0; xu < kUnitOptions; ++xu) {
            if (!m.xUnits[format][xu]) continue;
            SCOPED_TRACE(std::string(c.name) + " " + m.name + " format " + std::to_string(format) +
                         " y " + std::to_string(yu) + " x " + std::to_string(xu));
            v_.dbOffset = 1e300;  // a stale offset must not survive into a dB result
            Show(m.compute, m.hasFormats ? format : -1, yu, xu);
            ASSERT_GT(v_.count, 0);
            ExpectAllFinite();
            if (yu == kYDb) {
              EXPECT_TRUE(std::isfinite(v_.dbOffset));
              EXPECT_TRUE(std::isfinite(v_.dbTop));
              EXPECT_LT(std::fabs(v_.yMax), 1e4);
            }
            EXPECT_TRUE(std::isfinite(v_.xScale) && std::isfinite(v_.yScale));
            EXPECT_LE(v_.yMin, v_.yMax);
            EXPECT_LE(v_.xMin, v_.xMax);
          }
        }
      }
    }
  }
}

}  // namespace

namespace {

// The largest frame: 2N-point work arrays and 3201 lines used to their ends, nothing beyond.
TEST_F(Cross, LargestFrameStaysWithinItsArrays) {
  const int n = kMaxFrame;
  cus.frameLen = n;
  cus.halfLen = n / 2;
  cus.lines = static_cast<int>(n / 2.56) + 1;
  ASSERT_EQ(cus.lines, kMaxLines);
  sp.df = sp.fmax / (cus.lines - 1);
  for (int i = 0; i < cus.lines; ++i) x_band[i] = i * sp.df;
  for (int i = 0; i < 2 * n; ++i) time_ch[i] = i * sp.dt;
  for (int m = 0; m <= n; ++m) x_time[m] = (m - n / 2) * sp.dt;
  dbuf.nframe = n;
  WeightFunction(&cus);
  const std::vector<double> a = Noise(n, 11);
  for (int i = 0; i < n; ++i) {
    Rx[i] = ca[i] = a[i];
    Ry[i] = cb[i] = 0.5 * a[(i + 3) % n];
  }
  Averaging(1.0);
  for (int fn = 2; fn <= 26; ++fn) {
    if (fn >= 21 && fn <= 24) continue;
    const MeasFunction& m = cf[fn];
    for (int format = 0; format < kFormats; ++format) {
      if (m.yUnits[format] == nullptr) continue;
      int yu = 0, xu = 0;
      while (!m.yUnits[format][yu]) ++yu;
      while (!m.xUnits[format][xu]) ++xu;
      SCOPED_TRACE(std::string(m.name) + " format " + std::to_string(format));
      Show(m.compute, m.hasFormats ? format : -1, yu, xu);
      ASSERT_GT(v_.count, 0);
      ASSERT_LE(v_.count, n);
      ExpectAllFinite();
    }
  }
}

}  // namespace
