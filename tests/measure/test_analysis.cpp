// Averaged spectra, data windows as applied and the auto power spectrum functions, checked
// against hand-computed answers (tones on a line, constants, direct DFT sums).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "analyzer/calibration.h"
#include "analyzer/cultivate1.h"
#include "analyzer/iirfilter.h"
#include "analyzer/initstruct.h"
#include "analyzer/view1.h"

namespace {

constexpr int N = 1024;

class Analysis : public ::testing::Test {
 protected:
  void SetUp() override {
    cus.frameLen = N;
    cus.halfLen = N / 2;
    cus.lines = static_cast<int>(N / 2.56) + 1;
    cus.srate = 1024.0;
    cus.thin = 1;
    sp.fmax = cus.srate / 2.56;
    sp.df = sp.fmax / (cus.lines - 1);
    sp.dt = 1.0 / cus.srate;
    for (int i = 0; i < cus.lines; ++i) x_band[i] = i * sp.df;
    for (int i = 0; i < N; ++i) time_ch[i] = i * sp.dt;
    dbuf.nframe = N;
    for (ViewState& v : vs) {
      v.function = 0;
      v.gate = 0;
    }
    Clear();
    cus.window = 0;
    WeightFunction(&cus);
  }
  static void Clear() {
    std::memset(Gxx, 0, sizeof Gxx);
    std::memset(Gyy, 0, sizeof Gyy);
    std::memset(Rxy, 0, sizeof Rxy);
    std::memset(Ixy, 0, sizeof Ixy);
    std::memset(cha, 0, sizeof cha);
    std::memset(chb, 0, sizeof chb);
  }
  // A frame on both channels: a(i) on A, b(i) on B.
  template <class FA, class FB>
  static void Frame(FA a, FB b) {
    for (int i = 0; i < N; ++i) {
      Rx[i] = a(i);
      Ry[i] = b(i);
    }
  }
  static double Sine(double amp, int line, int i, double phase = 0.0) {
    return amp * std::sin(2.0 * M_PI * line * i / N + phase);
  }
};

TEST_F(Analysis, ToneOnALineGivesHalfTheSquaredAmplitude) {
  const double A = 1000.0;
  const int j = 37;
  Frame([&](int i) { return Sine(A, j, i); }, [&](int i) { return Sine(2 * A, 100, i); });
  Averaging(1.0);
  for (int l = 0; l < N / 2; ++l) {
    const double expect = l == j ? A * A / 2 : 0.0;
    ASSERT_NEAR(Gxx[2 * l], expect, 1e-9 * A * A) << l;
  }
  EXPECT_NEAR(Gyy[200], 2.0 * A * A, 1e-9 * A * A);
  EXPECT_NEAR(sp.powerA, A * A / 2, 1e-9 * A * A);
  EXPECT_NEAR(sp.powerB, 2.0 * A * A, 1e-9 * A * A);
}

TEST_F(Analysis, ConstantLandsAtDcWithItsSquare) {
  const double v = -321.0;
  Frame([&](int) { return v; }, [&](int) { return 0.0; });
  Averaging(1.0);
  EXPECT_NEAR(Gxx[0], v * v, 1e-9 * v * v);
  for (int l = 1; l < N / 2; ++l) ASSERT_NEAR(Gxx[2 * l], 0.0, 1e-9 * v * v) << l;
  EXPECT_NEAR(sp.powerA, v * v, 1e-9 * v * v);
}

TEST_F(Analysis, CrossSpectrumIsConjXTimesY) {
  // B lags A by a quarter period: Gxy at the line is A²/2 · e^{-jπ/2}.
  const double A = 10.0;
  const int j = 20;
  Frame([&](int i) { return A * std::cos(2.0 * M_PI * j * i / N); },
        [&](int i) { return A * std::sin(2.0 * M_PI * j * i / N); });
  Averaging(1.0);
  EXPECT_NEAR(Rxy[2 * j], 0.0, 1e-9);
  EXPECT_NEAR(Ixy[2 * j], -A * A / 2, 1e-9);
}

TEST_F(Analysis, InterpolatedElementsMatchADirectDft) {
  // Odd elements of the 2N grid lie between lines: check one against a direct sum.
  std::vector<double> x(N);
  for (int i = 0; i < N; ++i) x[i] = Sine(50.0, 12, i, 0.3) + 7.0 * std::cos(0.01 * i * i);
  Frame([&](int i) { return x[i]; }, [&](int) { return 0.0; });
  Averaging(1.0);
  for (int e : {1, 25, 333}) {
    double re = 0.0, im = 0.0;
    for (int i = 0; i < N; ++i) {
      re += x[i] * std::cos(2.0 * M_PI * e * i / (2.0 * N));
      im -= x[i] * std::sin(2.0 * M_PI * e * i / (2.0 * N));
    }
    EXPECT_NEAR(Gxx[e], 2.0 * (re * re + im * im) / (double(N) * N), 1e-9) << e;
  }
}

TEST_F(Analysis, LinearAveragingIsThePlainMean) {
  Frame([&](int i) { return Sine(10.0, 5, i); }, [&](int) { return 0.0; });
  Averaging(1.0);
  Frame([&](int i) { return Sine(30.0, 5, i); }, [&](int) { return 0.0; });
  Averaging(2.0);
  EXPECT_NEAR(Gxx[10], (50.0 + 450.0) / 2, 1e-9);
}

TEST_F(Analysis, ExponentialWeightFourHoldsAQuarterAfterOneFrame) {
  Frame([&](int i) { return Sine(40.0, 9, i); }, [&](int i) { return Sine(20.0, 9, i, 1.0); });
  Averaging(4.0);
  EXPECT_NEAR(Gxx[18], 800.0 / 4, 1e-9);
  EXPECT_NEAR(Gyy[18], 200.0 / 4, 1e-9);
  EXPECT_NEAR(std::hypot(Rxy[18], Ixy[18]), 400.0 / 4, 1e-9);
}

TEST_F(Analysis, SynchronousAverageCancelsOppositeFrames) {
  Frame([&](int i) { return Sine(100.0, 3, i); }, [&](int i) { return Sine(100.0, 3, i); });
  EnhancedTimeAver(1.0);
  EXPECT_NEAR(Gxx[6], 5000.0, 1e-6);
  Frame([&](int i) { return -Sine(100.0, 3, i); }, [&](int i) { return Sine(100.0, 3, i); });
  EnhancedTimeAver(2.0);
  EXPECT_NEAR(Gxx[6], 0.0, 1e-6);  // the average of the two A frames is 0
  EXPECT_NEAR(Gyy[6], 5000.0, 1e-6);
  EXPECT_NEAR(cha[7], 0.0, 1e-9);
  EXPECT_NEAR(chb[7], Sine(100.0, 3, 7), 1e-9);
}

TEST_F(Analysis, LibraryWindowsRemoveTheMean) {
  for (int type = 1; type <= 8; ++type) {
    SCOPED_TRACE(type);
    cus.window = type;
    WeightFunction(&cus);
    Clear();
    Frame([&](int i) { return Sine(500.0, 40, i, 0.7); }, [&](int) { return 0.0; });
    WeightCtrl();
    Averaging(1.0);
    std::vector<double> plain(Gxx, Gxx + N);
    Clear();
    Frame([&](int i) { return Sine(500.0, 40, i, 0.7) + 12345.0; }, [&](int) { return -99.0; });
    WeightCtrl();
    Averaging(1.0);
    for (int e = 0; e < N; e += 2) ASSERT_NEAR(Gxx[e], plain[e], 1e-6 * 250000.0) << e;
    for (int e = 0; e < N; e += 2) ASSERT_NEAR(Gyy[e], 0.0, 1e-12) << e;
  }
}

TEST_F(Analysis, HanningToneReadsItsPowerAtTheLine) {
  // The coherent gain is divided out, so a tone on a line keeps A²/2 at its line; the total
  // power over the noise bandwidth is A²/2 as well.
  cus.window = 1;
  WeightFunction(&cus);
  EXPECT_DOUBLE_EQ(WC.enbw, 1.5);
  Frame([&](int i) { return Sine(8.0, 64, i); }, [&](int) { return 0.0; });
  WeightCtrl();
  Averaging(1.0);
  EXPECT_NEAR(Gxx[128], 32.0, 1e-9);
  EXPECT_NEAR(sp.powerA, 32.0, 1e-9);
}

TEST_F(Analysis, RectangularGateDefaultZeroesTheLastSample) {
  cus.window = 0;
  WeightFunction(&cus);
  RectWeight(0, ViewGate(0));
  for (int i = 0; i < N - 1; ++i) ASSERT_EQ(weightcoef[i], 1.0) << i;
  EXPECT_EQ(weightcoef[N - 1], 0.0);
}

TEST_F(Analysis, GatesFollowTheVisibleRangeOfAGatedTimeDisplay) {
  cus.window = 9;
  WeightFunction(&cus);
  vs[0].function = 14;
  vs[0].gate = 1;
  vs[0].viewXFrom = 100 * sp.dt;
  vs[0].viewXTo = 300 * sp.dt;
  ExpWeight(0, ViewGate(0));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(weightcoef[i], 0.0);
  EXPECT_DOUBLE_EQ(weightcoef[100], 1.0);
  EXPECT_NEAR(weightcoef[200], std::exp(-2.5), 1e-12);
  EXPECT_NEAR(weightcoef[299], std::exp(-5.0 * 199 / 200), 1e-12);
  for (int i = 300; i < N; ++i) ASSERT_EQ(weightcoef[i], 0.0) << i;

  // Only the channel whose analytic signal a window shows is weighted; the mean stays.
  Frame([&](int) { return 2.0; }, [&](int) { return 3.0; });
  WeightCtrl();
  EXPECT_EQ(Rx[50], 0.0);
  EXPECT_DOUBLE_EQ(Rx[100], 2.0);
  EXPECT_DOUBLE_EQ(Ry[50], 3.0);
}

TEST_F(Analysis, ExponentialGateEndsAtZero) {
  cus.window = 9;
  WeightFunction(&cus);
  vs[1].gate = 0;
  ExpWeight(1, ViewGate(1));
  EXPECT_DOUBLE_EQ(weightcoef[kMaxFrame], 1.0);
  EXPECT_EQ(weightcoef[kMaxFrame + N - 1], 0.0);
  EXPECT_NEAR(weightcoef[kMaxFrame + N / 2], std::exp(-5.0 * (N / 2) / (N - 1)), 1e-12);
}

TEST_F(Analysis, GateRangeBeyondTheFrameStaysInsideIt) {
  // A zoom kept from a run at a slower rate reaches far past this frame's time axis.
  for (int i = 0; i < 2 * kMaxFrame; ++i) weightcoef[i] = -1.0;
  vs[0].function = 15;
  vs[0].gate = 1;
  vs[0].viewXFrom = 0.0;
  vs[0].viewXTo = 1e6;
  RectWeight(0, ViewGate(0));
  ExpWeight(0, ViewGate(0));
  for (int i = N; i < 2 * kMaxFrame; ++i) ASSERT_EQ(weightcoef[i], -1.0) << i;
  vs[0].viewXFrom = 1e5;  // the whole frame before the gate
  RectWeight(0, ViewGate(0));
  for (int i = 0; i < N; ++i) ASSERT_EQ(weightcoef[i], 0.0);
  for (int i = N; i < 2 * kMaxFrame; ++i) ASSERT_EQ(weightcoef[i], -1.0) << i;
}

class SpectrumFunction : public Analysis {
 protected:
  void SetUp() override {
    Analysis::SetUp();
    rcu.chanA = 3;
    rcu.chanB = 4;
    cch.upc[3] = 0.5;
    cch.reldb[3] = 7.0;
    cch.upc[4] = 3.0;
    v_ = ViewState{};
    v_.yData = y_.data();
    v_.xData = x_.data();
    for (int l = 0; l < N / 2; ++l) {
      Gxx[2 * l] = 4.0 * (l + 1);
      Gxx[2 * l + 1] = -1.0;  // between lines: never shown
      Gyy[2 * l] = 1.0;
    }
    WC.enbw = 1.0;
  }
  std::vector<double> y_ = std::vector<double>(16384, 0.0);
  std::vector<double> x_ = std::vector<double>(16384, 0.0);
  ViewState v_{};
};

TEST_F(SpectrumFunction, LinesInPowerWithSquaredScale) {
  v_.yUnit = kYPower;
  v_.xUnit = kXLines;
  SpectrumA(&v_);
  EXPECT_EQ(v_.count, cus.lines);
  EXPECT_DOUBLE_EQ(v_.yData[10], 44.0);
  EXPECT_DOUBLE_EQ(v_.yScale, 0.25);
  EXPECT_DOUBLE_EQ(v_.xScale, 1.0);
  EXPECT_DOUBLE_EQ(v_.xData[10], 10.0 * sp.df);
  EXPECT_DOUBLE_EQ(v_.xMax, (cus.lines - 1) * sp.df);
  EXPECT_DOUBLE_EQ(v_.yMax, 4.0 * cus.lines);
  EXPECT_EQ(v_.plotStyle, kPlotLine);
}

TEST_F(SpectrumFunction, RmsDensityAndDecibels) {
  v_.xUnit = kXLines;
  v_.yUnit = kYRms;
  SpectrumA(&v_);
  EXPECT_DOUBLE_EQ(v_.yData[0], 2.0);
  EXPECT_DOUBLE_EQ(v_.yScale, 0.5);

  v_.yUnit = kYDensity;
  SpectrumB(&v_);
  EXPECT_DOUBLE_EQ(v_.yData[3], 1.0 / sp.df);
  EXPECT_DOUBLE_EQ(v_.yScale, 9.0);

  v_.yUnit = kYDb;
  SpectrumA(&v_);
  EXPECT_NEAR(v_.yData[0], 10.0 * std::log10(4.0) + 7.0, 1e-12);
  EXPECT_DOUBLE_EQ(v_.dbOffset, 7.0);
  EXPECT_DOUBLE_EQ(v_.yScale, 1.0);
}

TEST_F(SpectrumFunction, ThirdOctavesSumToTheTotal) {
  v_.xUnit = kXThird;
  v_.yUnit = kYPower;
  SpectrumB(&v_);  // flat: one count² per line
  const int nb = CallBandOkt_3(sp.fmax);
  EXPECT_EQ(v_.count, nb + 1);
  EXPECT_NEAR(v_.yData[nb], okt3_[nb] - okt3_[0], 1e-9);
}

// The table as the function and unit rings see it.
TEST(FunctionTable, NamesFormatsAndOfferedUnits) {
  const int withFormats[] = {2, 3, 8, 9, 10, 11, 12, 13, 14, 15, 17, 18};
  for (int f = 0; f < kFunctions; ++f) {
    SCOPED_TRACE(f);
    bool has = false;
    for (int g : withFormats) has = has || g == f;
    EXPECT_EQ(cf[f].hasFormats, has ? 1 : 0);
    int formats = 0;
    for (int k = 0; k < kFormats; ++k) formats += cf[f].yUnits[k] != nullptr;
    EXPECT_EQ(formats, !has ? 1 : (f == 17 || f == 18 ? 3 : 6));
    EXPECT_NE(cf[f].compute, nullptr);
  }
  EXPECT_STREQ(cf[0].name, "SpectrumA");
  EXPECT_EQ(cf[0].compute, &SpectrumA);
  EXPECT_STREQ(cf[26].name, "TimeB");
  EXPECT_EQ(cf[27].compute, nullptr);
  EXPECT_EQ(cf[27].yUnits[0], nullptr);
  // Spectra: Y 1-4, X 2-4, cursor modes 0 and 1.
  const int y[] = {0, 1, 1, 1, 1, 0, 0}, x[] = {0, 0, 1, 1, 1, 0, 0};
  for (int u = 0; u < kUnitOptions; ++u) {
    EXPECT_EQ(cf[1].yUnits[0][u], y[u]);
    EXPECT_EQ(cf[1].xUnits[0][u], x[u]);
  }
  EXPECT_EQ(cf[0].cursorModes[0][1], 1);
  EXPECT_EQ(cf[4].cursorModes[0][1], 0);
  // The phase of the cross spectrum: degrees against frequency only.
  for (int u = 0; u < kUnitOptions; ++u) {
    EXPECT_EQ(cf[8].yUnits[3][u], u == kYPhase ? 1 : 0);
    EXPECT_EQ(cf[8].xUnits[3][u], u == kXLines ? 1 : 0);
  }
}

TEST(FunctionTable, OfferedPerTypeAndChannel) {
  auto row = [](std::initializer_list<int> on) {
    std::vector<int> r(kFuncPositions, 0);
    for (int p : on) r[p] = 1;
    return r;
  };
  std::vector<int> t0 = row({});
  for (int p = 0; p <= 20; ++p) t0[p] = 1;
  const std::vector<int> rows[4] = {t0, row({0, 1, 2, 3, 9, 10, 12, 17, 18, 19, 20}),
                                    row({21, 22, 23, 24, 25, 26}),
                                    row({0, 1, 2, 3, 4, 5, 6, 7, 9, 10, 11, 12, 13, 14, 15, 16})};
  for (int t = 0; t < 4; ++t)
    for (int p = 0; p < kFuncPositions; ++p)
      EXPECT_EQ(FunctionOffered(t, p), rows[t][p] != 0) << t << " " << p;
  const std::vector<int> a = row({0, 2, 14, 17, 19, 21, 23, 25});
  const std::vector<int> b = row({1, 3, 15, 18, 20, 22, 24, 26});
  for (int p = 0; p < kFuncPositions; ++p) {
    EXPECT_EQ(cf[p].fA, a[p]) << p;
    EXPECT_EQ(cf[p].fB, b[p]) << p;
  }
}

}  // namespace
