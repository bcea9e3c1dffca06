// Y units, dB, integration, label precision, time-axis units, totals and the overload threshold.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "analyzer/calibration.h"
#include "analyzer/iirfilter.h"
#include "analyzer/initstruct.h"
#include "analyzer/view1.h"

namespace {

class Units : public ::testing::Test {
 protected:
  void SetUp() override {
    v_ = ViewState{};
    v_.yData = y_.data();
    v_.xData = x_.data();
    cus.lines = 401;
    sp.fmax = 400.0;
    sp.df = 1.0;
    for (int i = 0; i < cus.lines; ++i) x_band[i] = i * sp.df;
  }
  void Set(std::initializer_list<double> values) {
    int i = 0;
    for (double x : values) y_[i++] = x;
    v_.count = i;
  }
  std::vector<double> y_ = std::vector<double>(16384, 0.0);
  std::vector<double> x_ = std::vector<double>(16384, 0.0);
  ViewState v_{};
};

TEST_F(Units, RmsTakesRootsAndTheScaleFollows) {
  Set({4.0, 9.0, 0.0});
  v_.yScale = 0.25;  // channel scale 0.5, squared for powers
  v_.yUnit = kYRms;
  XYUnit(&v_, 10.0);
  EXPECT_DOUBLE_EQ(y_[0], 2.0);
  EXPECT_DOUBLE_EQ(y_[1], 3.0);
  EXPECT_DOUBLE_EQ(v_.yScale, 0.5);
  EXPECT_DOUBLE_EQ(y_[0] * v_.yScale, 1.0);  // the label of 4 counts² at scale 0.5
  EXPECT_DOUBLE_EQ(v_.yMax, 3.0);
  EXPECT_DOUBLE_EQ(v_.yMin, 0.0);
}

TEST_F(Units, PowerAndDensity) {
  Set({2.0, 8.0});
  v_.yUnit = kYPower;
  v_.yScale = 0.25;
  XYUnit(&v_, 10.0);
  EXPECT_DOUBLE_EQ(y_[1], 8.0);
  EXPECT_DOUBLE_EQ(v_.yMax, 8.0);
  EXPECT_DOUBLE_EQ(v_.yScale, 0.25);

  // A line holds the power of enbw·Δf hertz.
  sp.df = 0.5;
  WC.enbw = 2.0;
  Set({2.0, 8.0});
  v_.yUnit = kYDensity;
  XYUnit(&v_, 10.0);
  EXPECT_DOUBLE_EQ(y_[0], 2.0);
  EXPECT_DOUBLE_EQ(y_[1], 8.0);
  EXPECT_DOUBLE_EQ(v_.yScale, 0.25);
  WC.enbw = 1.0;
}

TEST_F(Units, DecibelsWithOffsetAndFloor) {
  Set({1.0, 0.0, 0.01});
  v_.yUnit = kYDb;
  v_.dbOffset = 6.0;
  v_.yScale = 0.25;
  XYUnit(&v_, 10.0);
  EXPECT_DOUBLE_EQ(v_.yScale, 1.0);
  EXPECT_NEAR(y_[0], 6.0, 1e-12);
  EXPECT_NEAR(y_[1], -200.0 + 6.0, 1e-9);  // a zero line sits 200 dB below the maximum
  EXPECT_NEAR(y_[2], -20.0 + 6.0, 1e-12);
  EXPECT_NEAR(v_.dbTop, 6.0, 1e-12);  // automatic top remembered
  EXPECT_NEAR(v_.yMin, -194.0, 1e-9);

  Set({0.5, 0.5});
  XYUnit(&v_, 20.0);  // amplitudes
  EXPECT_NEAR(y_[0], 20.0 * std::log10(0.5) + 6.0, 1e-12);
}

TEST_F(Units, SilentTraceInDecibelsStaysFinite) {
  Set({0.0, 0.0, 0.0, 0.0});
  v_.yUnit = kYDb;
  AxisY_dB(&v_, 10.0);
  for (int i = 0; i < 4; ++i) {
    EXPECT_TRUE(std::isfinite(y_[i]));
    EXPECT_NEAR(y_[i], -200.0, 1e-9);
  }
  EXPECT_TRUE(std::isfinite(v_.yMax));
  EXPECT_TRUE(std::isfinite(v_.dbTop));
}

TEST_F(Units, FixedDecibelRange) {
  Set({1e6, 1.0});
  v_.yUnit = kYDb;
  v_.dbRange = 80;
  v_.dbTop = 20.0;
  XYUnit(&v_, 10.0);
  EXPECT_DOUBLE_EQ(v_.yMax, 20.0);
  EXPECT_DOUBLE_EQ(v_.yMin, -60.0);
  EXPECT_DOUBLE_EQ(v_.dbTop, 20.0);
}

TEST_F(Units, MagnitudeFormatsLinearAxisStartsAtZero) {
  Set({3.0, 5.0});
  v_.yMin = 3.0;
  v_.yUnit = kYLinear;
  UnitWD_dB(&v_, 20.0);
  EXPECT_EQ(v_.yMin, 0.0);
  EXPECT_EQ(y_[0], 3.0);
}

TEST_F(Units, SingleAndDoubleIntegration) {
  for (int i = 0; i < cus.lines; ++i) y_[i] = 1.0 + i;
  v_.integration = 1;
  Integrations(&v_);
  EXPECT_DOUBLE_EQ(y_[0], 1.0);  // trunc(0.159 / 1) = 0: line 0 keeps itself
  for (int i : {1, 7, 400}) {
    const double w = 2.0 * M_PI * i;
    EXPECT_NEAR(y_[i], (1.0 + i) / (w * w), 1e-15 * (1.0 + i));
  }

  for (int i = 0; i < cus.lines; ++i) y_[i] = 1.0;
  v_.integration = 2;
  sp.df = 0.01;  // lines below 0.159 Hz, 0 … 15, take line 15's value
  Integrations(&v_);
  const double w15 = 2.0 * M_PI * 15 * 0.01;
  for (int i = 0; i <= 15; ++i) EXPECT_NEAR(y_[i], 1.0 / std::pow(w15, 4), 1e-9);
  const double w16 = 2.0 * M_PI * 16 * 0.01;
  EXPECT_NEAR(y_[16], 1.0 / std::pow(w16, 4), 1e-9);
}

TEST(LabelPrecision, DecimalsFromTheExponent) {
  EXPECT_EQ(CallRange(0.0123), 3);
  EXPECT_EQ(CallRange(250.0), 1);
  EXPECT_EQ(CallRange(1.0), 1);
  EXPECT_EQ(CallRange(0.5), 2);
  EXPECT_EQ(CallRange(1e-5), 6);
  EXPECT_EQ(CallRange(0.0), 1);
  EXPECT_EQ(CallRange(NAN), 1);
  EXPECT_EQ(CallRange(0.099999), 2);  // rounds to 1.0e-01
}

TEST(TimeAxis, UnitFollowsTheVisibleEnd) {
  double f;
  const char* u;
  TimeAxisUnit(0.0125, &f, &u);
  EXPECT_EQ(f, 1000.0);
  EXPECT_STREQ(u, "мс.");
  TimeAxisUnit(2.0, &f, &u);
  EXPECT_EQ(f, 1.0);
  EXPECT_STREQ(u, "с.");
  TimeAxisUnit(1.0, &f, &u);
  EXPECT_STREQ(u, "с.");
  TimeAxisUnit(0.0005, &f, &u);
  EXPECT_EQ(f, 1e6);
  EXPECT_STREQ(u, "мкс.");
  TimeAxisUnit(-0.0125, &f, &u);
  EXPECT_STREQ(u, "мс.");
  TimeAxisUnit(1e-7, &f, &u);
  EXPECT_EQ(f, 1.0);
  EXPECT_STREQ(u, "с.");
}

TEST(Overload, ThresholdOnTheTruncatedRms) {
  EXPECT_EQ(Overloaded(11898734.0), 0);
  EXPECT_EQ(Overloaded(11898734.9), 0);
  EXPECT_EQ(Overloaded(11898735.0), 1);
  EXPECT_EQ(Overloaded(0.0), 0);
}

TEST(Totals, TextInTheChannelsUnit) {
  rcu.chanA = 2;
  rcu.chanB = 5;
  cch.upc[2] = 0.5;
  cch.upc[5] = 2.0;
  std::strcpy(cch.dim[2], "Па");
  std::strcpy(cch.dim[5], "м/с");
  sp.powerA = 4.0;
  sp.powerB = 0.25;
  sp.meanB = -3.0;
  char text[128];
  rcu.measType = 0;
  TotText(0, text, sizeof text);
  EXPECT_EQ(std::string(text), "Sa = 1.000e+00, Па");
  TotText(1, text, sizeof text);
  EXPECT_EQ(std::string(text), "Sb = 1.000e+00, м/с");
  rcu.measType = 2;
  TotText(1, text, sizeof text);
  EXPECT_EQ(std::string(text), "Sb = 1.000e+00, ср.=-6.000e+00, м/с");
  rcu.measType = 0;
}

}  // namespace
