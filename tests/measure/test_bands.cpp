// Octave and third-octave band summation against an independent integral of the line powers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "analyzer/iirfilter.h"
#include "analyzer/initstruct.h"
#include "analyzer/view1.h"

namespace {

// Line j's power spread evenly over ((j-1)·df, j·df]; a band takes the overlapping share.
double BandIntegral(const std::vector<double>& Y, double df, double e1, double e2) {
  double s = 0.0;
  for (int j = 1; j < static_cast<int>(Y.size()); ++j) {
    const double lo = (j - 1) * df, hi = j * df;
    const double a = std::max(lo, e1), b = std::min(hi, e2);
    if (b > a) s += Y[j] * (b - a) / df;
  }
  return s;
}

class Bands : public ::testing::Test {
 protected:
  // Geometry of fmax Hz with `lines` lines, as the model derives it.
  void Geometry(double fmax, int lines) {
    sp.fmax = fmax;
    cus.lines = lines;
    sp.df = fmax / (lines - 1);
    for (int i = 0; i < lines; ++i) x_band[i] = i * sp.df;
    WC.enbw = 1.0;
    v_ = ViewState{};
    v_.yData = y_.data();
    v_.xData = x_.data();
  }
  std::vector<double> Fill(unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> d(0.0, 1.0);
    std::vector<double> Y(cus.lines);
    for (double& y : Y) y = d(gen);
    std::copy(Y.begin(), Y.end(), y_.begin());
    return Y;
  }
  void ExpectBands(const std::vector<double>& Y, const double* edges, int nb, double enbw) {
    ASSERT_EQ(v_.count, nb + 1);
    double sum = 0.0;
    for (int k = 0; k < nb; ++k) {
      SCOPED_TRACE(k);
      EXPECT_NEAR(v_.yData[k], BandIntegral(Y, sp.df, edges[k], edges[k + 1]) / enbw, 1e-9);
      sum += v_.yData[k];
    }
    EXPECT_NEAR(v_.yData[nb], sum, 1e-9);
  }

  std::vector<double> y_ = std::vector<double>(16384, 0.0);
  std::vector<double> x_ = std::vector<double>(16384, 0.0);
  ViewState v_{};
};

TEST(BandCentres, CountsCentresStrictlyBelow) {
  EXPECT_EQ(CallBandOkt(400.0), 5);
  EXPECT_EQ(CallBandOkt(500.0), 5);  // a centre equal to fmax is not shown
  EXPECT_EQ(CallBandOkt(500.01), 6);
  EXPECT_EQ(CallBandOkt_3(1000.0), 18);
  EXPECT_EQ(CallBandOkt(10.0), 0);
  EXPECT_EQ(CallBandOkt(1e6), 13);  // never beyond the table
  EXPECT_EQ(CallBandOkt_3(1e6), 36);
}

TEST_F(Bands, BandCountsCentresAndSumsPerTable) {
  // 5 octaves at 400 Hz, 18 third-octaves at 1000 Hz, and never past either table.
  struct Case {
    double fmax;
    int lines;
    bool third;
    int nb;
    double lastCentre;
  };
  const Case cases[] = {{400.0, 401, false, 5, 250.0},
                        {1000.0, 801, true, 18, 800.0},
                        {100000.0, 3201, false, 13, 64000.0},
                        {100000.0, 3201, true, 36, 50000.0}};
  unsigned seed = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fmax);
    SCOPED_TRACE(c.third);
    Geometry(c.fmax, c.lines);
    const std::vector<double> Y = Fill(seed++);
    v_.count = cus.lines;
    if (c.third)
      AxisX_Oktave_3(&v_);
    else
      AxisX_Oktave(&v_);
    ExpectBands(Y, c.third ? okt3_ : okt_, c.nb, 1.0);
    EXPECT_EQ(v_.xData[c.nb - 1], c.lastCentre);
    EXPECT_EQ(v_.plotStyle, kPlotBarsByIndex);
    EXPECT_EQ(v_.xMin, 0.0);
    EXPECT_EQ(v_.xMax, c.nb);
    EXPECT_EQ(v_.viewXTo, c.nb);
  }
}

TEST_F(Bands, StraddlingLineIsShared) {
  Geometry(400.0, 401);  // df = 1 Hz
  // Line 23 covers (22, 23]: the octave edge 22.6 gives 0.6 of it to band 0, 0.4 to band 1.
  y_[23] = 1.0;
  AxisX_Oktave(&v_);
  EXPECT_NEAR(v_.yData[0], 0.6, 1e-12);
  EXPECT_NEAR(v_.yData[1], 0.4, 1e-12);
  EXPECT_NEAR(v_.yData[5], 1.0, 1e-12);
}

TEST_F(Bands, BandNarrowerThanALineTakesItsShare) {
  Geometry(25600.0, 3201);  // df = 8 Hz: the low third-octaves are narrower than a line
  std::vector<double> Y(cus.lines, 0.0);
  Y[2] = 1.0;  // (8, 16]
  Y[3] = 2.0;  // (16, 24]
  std::copy(Y.begin(), Y.end(), y_.begin());
  AxisX_Oktave_3(&v_);
  EXPECT_NEAR(v_.yData[0], (16.0 - 14.25) / 8.0 * 1.0 + (18.0 - 16.0) / 8.0 * 2.0, 1e-12);
  EXPECT_NEAR(v_.yData[1], (22.7 - 18.0) / 8.0 * 2.0, 1e-12);
  ExpectBands(Y, okt3_, CallBandOkt_3(25600.0), 1.0);
}

TEST_F(Bands, RandomSpectraAtEveryRate) {
  // fmax of every sample rate with the four FFT sizes.
  const double rates[] = {65536, 32768, 16384, 8192, 4096, 2048, 1024, 512, 256, 128};
  const int sizes[] = {1024, 2048, 4096, 8192};
  unsigned seed = 10;
  for (double rate : rates) {
    for (int n : sizes) {
      SCOPED_TRACE(rate);
      SCOPED_TRACE(n);
      const double fmax = rate >= 1024 ? rate / 2.56 : 1024.0 / 2.56 / (1024.0 / rate);
      Geometry(fmax, static_cast<int>(n / 2.56) + 1);
      std::vector<double> Y = Fill(seed++);
      AxisX_Oktave(&v_);
      ExpectBands(Y, okt_, CallBandOkt(fmax), 1.0);
      std::copy(Y.begin(), Y.end(), y_.begin());
      WC.enbw = 1.5;
      AxisX_Oktave_3(&v_);
      ExpectBands(Y, okt3_, CallBandOkt_3(fmax), 1.5);
    }
  }
}

TEST_F(Bands, BandsBeyondTheLastLineAreCleared) {
  // Old band values must not survive into bands the lines do not reach.
  Geometry(400.0, 401);
  std::fill(y_.begin(), y_.end(), 7.0);
  AxisX_Oktave(&v_);  // every band filled once
  std::fill(y_.begin(), y_.end(), 7.0);
  std::vector<double> Y(cus.lines, 7.0);
  cus.lines = 60;  // lines run out inside band 2
  Y.resize(60);
  AxisX_Oktave(&v_);
  EXPECT_NEAR(v_.yData[3], 0.0, 1e-12);
  EXPECT_NEAR(v_.yData[4], 0.0, 1e-12);
  EXPECT_NEAR(v_.yData[2], BandIntegral(Y, sp.df, okt_[2], okt_[3]), 1e-9);
}

}  // namespace
