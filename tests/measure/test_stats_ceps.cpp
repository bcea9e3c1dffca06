// Power cepstrum and liftered spectrum, checked against direct DFT sums of the two-sided dB
// spectrum.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

#include "analyzer/cultivate1.h"
#include "analyzer/initstruct.h"
#include "analyzer/view1.h"

namespace {

constexpr int N = 512;
constexpr int kDelay = 40;  // echo delay in samples
constexpr double kEcho = 0.6;

using Cx = std::complex<double>;

class Cepstrum : public ::testing::Test {
 protected:
  int lines = 0;
  double dt = 0.0;

  void SetUp() override {
    cus.frameLen = N;
    cus.halfLen = N / 2;
    cus.lines = lines = static_cast<int>(N / 2.56) + 1;
    cus.srate = 1000.0;
    dt = 1.0 / cus.srate;
    sp.dt = dt;
    sp.df = cus.srate / N;
    for (int i = 0; i < N; ++i) time_ch[i] = i * dt;
    for (int j = 0; j < lines; ++j) x_band[j] = j * sp.df;
    for (int w = 0; w < kWindows; ++w) {
      vs[w].workRe = rt + w * kResultHalf;
      vs[w].workIm = it + w * kResultHalf;
      vs[w].yData = resY + w * kResultHalf;
      vs[w].xData = resX + w * kResultHalf;
      vs[w].function = 0;
      vs[w].yUnit = kYPower;
      vs[w].xUnit = kXLines;
      vs[w].integration = 0;
    }
    std::memset(Gxx, 0, sizeof Gxx);
    Heard(true, true);
  }

  // A source (flat at 0 dB, or sloping) heard with or without its echo kDelay samples later:
  // |1 + a·e^(−jωd)|² ripples along the lines with period N/d.
  void Heard(bool sloping, bool echo) {
    for (int j = 0; j < lines; ++j) {
      const double source = sloping ? 1e6 / (1.0 + (j / 60.0) * (j / 60.0)) : 1.0;
      const double th = 2.0 * M_PI * j * kDelay / N;
      Gxx[2 * j] = source * (echo ? 1.0 + kEcho * kEcho + 2.0 * kEcho * std::cos(th) : 1.0);
    }
  }

  // The dB spectrum on the N-point grid, two-sided and even: the analysed lines, the last one
  // held up to the Nyquist line, mirrored.
  std::vector<double> TwoSidedDb() const {
    std::vector<double> l(N);
    for (int j = 0; j <= N / 2; ++j) l[j] = 10.0 * std::log10(Gxx[2 * (j < lines ? j : lines - 1)]);
    for (int j = N / 2 + 1; j < N; ++j) l[j] = l[N - j];
    return l;
  }

  // The cepstrum sample m straight from its definition: (1/N)·Σ L[j]·e^(+2πi·jm/N).
  Cx DirectCepstrum(int m) const {
    const std::vector<double> l = TwoSidedDb();
    Cx s = 0.0;
    for (int j = 0; j < N; ++j) s += l[j] * std::polar(1.0, 2.0 * M_PI * j * m / N);
    return s / static_cast<double>(N);
  }

  // The liftered spectrum at line j, in power: 10^(L'/10) with L' = Σ c[i]·e^(−2πi·ij/N) over
  // the quefrencies i whose lag min(i, N − i) lies in p … last.
  std::vector<double> DirectLiftered(int p, int last) const {
    std::vector<double> c(N);
    for (int i = 0; i < N; ++i) c[i] = DirectCepstrum(i).real();
    std::vector<double> out(lines);
    for (int j = 0; j < lines; ++j) {
      Cx s = 0.0;
      for (int i = 0; i < N; ++i) {
        const int lag = i <= N / 2 ? i : N - i;
        if (lag >= p && lag <= last) s += c[i] * std::polar(1.0, -2.0 * M_PI * i * j / N);
      }
      out[j] = std::pow(10.0, 0.1 * s.real());
    }
    return out;
  }

  // Relative distance of two spectra over the lines.
  double Distance(const std::vector<double>& a, const std::vector<double>& b) const {
    double d = 0.0, s = 0.0;
    for (int j = 0; j < lines; ++j) {
      d += std::abs(a[j] - b[j]);
      s += std::abs(b[j]);
    }
    return d / s;
  }
  std::vector<double> Result(const ViewState& v) const {
    return std::vector<double>(v.yData, v.yData + lines);
  }
};

TEST_F(Cepstrum, EchoPeaksAtItsDelayAndEveryFormatMatchesTheDefinition) {
  ViewState& v = vs[0];
  v.function = 17;
  v.format = 2;
  Heard(false, true);
  CepstrumA(&v);
  ASSERT_EQ(v.count, N / 2);
  EXPECT_EQ(v.yMin, 0.0);
  int peak = 1;
  for (int i = 1; i < N / 2; ++i)
    if (v.yData[i] > v.yData[peak]) peak = i;
  EXPECT_EQ(peak, kDelay);
  EXPECT_DOUBLE_EQ(v.xData[kDelay], kDelay * dt);

  Heard(true, true);
  CepstrumA(&v);
  for (int m : {0, 1, kDelay, 2 * kDelay, N / 2 - 1}) {
    EXPECT_NEAR(v.yData[m], std::abs(DirectCepstrum(m)), 1e-9) << m;
  }

  // The spectrum is even, so the cepstrum is real: the imaginary part is 0.
  for (int format : {0, 1}) {
    v.format = format;
    CepstrumA(&v);
    for (int m : {0, 3, kDelay, N / 2 - 1}) {
      const Cx c = DirectCepstrum(m);
      EXPECT_NEAR(c.imag(), 0.0, 1e-9);
      EXPECT_NEAR(v.yData[m], format == 0 ? c.real() : 0.0, 1e-9) << format << " " << m;
    }
  }

  v.format = 3;  // no phase display for a cepstrum: the last result stays
  v.yData[5] = 1234.5;
  CepstrumA(&v);
  EXPECT_EQ(v.yData[5], 1234.5);
}

TEST_F(Cepstrum, ZeroPowerLinesKeepTheCepstrumFinite) {
  Gxx[2 * 7] = 0.0;
  vs[0].format = 2;
  CepstrumA(&vs[0]);
  for (int i = 0; i < N / 2; ++i) ASSERT_TRUE(std::isfinite(vs[0].yData[i])) << i;
  std::memset(Gxx, 0, sizeof Gxx);  // nothing measured at all
  CepstrumA(&vs[0]);
  for (int i = 0; i < N / 2; ++i) ASSERT_TRUE(std::isfinite(vs[0].yData[i])) << i;
}

TEST_F(Cepstrum, LifterBelowTheEchoKeepsTheEnvelope) {
  // Window 1 shows the liftered spectrum, window 2 the cepstrum zoomed to [0, d/2].
  vs[0].function = 19;
  vs[1].function = 17;
  vs[1].viewXFrom = 0.0;
  vs[1].viewXTo = (kDelay / 2 + 0.5) * dt;
  LiftSpecA(&vs[0]);
  EXPECT_EQ(vs[0].format, 2);
  ASSERT_EQ(vs[0].count, lines);
  const std::vector<double> gated = DirectLiftered(0, kDelay / 2);  // both ends included
  for (int j = 0; j < lines; ++j) ASSERT_NEAR(vs[0].yData[j], gated[j], 1e-7 * gated[j]) << j;
  EXPECT_DOUBLE_EQ(vs[0].xData[9], x_band[9]);
  const std::vector<double> withEcho = Result(vs[0]);

  // Without the matching cepstrum in the other window the lifter is open: the spectrum itself,
  // echo and all.
  vs[1].function = 0;
  LiftSpecA(&vs[0]);
  const std::vector<double> full = DirectLiftered(0, N / 2);
  for (int j = 0; j < lines; ++j) {
    ASSERT_NEAR(vs[0].yData[j], full[j], 1e-9 * full[j]) << j;
    ASSERT_NEAR(vs[0].yData[j], Gxx[2 * j], 1e-9 * Gxx[2 * j]) << j;
  }
  const std::vector<double> fullWithEcho = Result(vs[0]);

  // The same source without the echo: the gated result hardly changes, the full one does.
  Heard(true, false);
  LiftSpecA(&vs[0]);
  const std::vector<double> fullSource = Result(vs[0]);
  vs[1].function = 17;
  LiftSpecA(&vs[0]);
  const std::vector<double> gatedSource = Result(vs[0]);
  EXPECT_LT(Distance(withEcho, gatedSource), 0.1 * Distance(fullWithEcho, fullSource));
}

TEST_F(Cepstrum, LifterBoundsFollowEitherWindowAndStayWithinTheData) {
  // The cepstrum unzoomed in window 1, the liftered spectrum of B in window 2.
  std::memcpy(Gyy, Gxx, sizeof Gyy);
  vs[0].function = 18;
  vs[1].function = 20;
  vs[0].viewXFrom = 0.0;
  vs[0].viewXTo = time_ch[N / 2 - 1];
  LiftSpecB(&vs[1]);
  // The whole cepstrum shown is the open lifter: the spectrum comes back unchanged.
  std::vector<double> want;
  for (int j = 0; j < lines; ++j) want.push_back(Gyy[2 * j]);
  for (int j = 0; j < lines; ++j) ASSERT_NEAR(vs[1].yData[j], want[j], 1e-9 * want[j]) << j;

  // A zoom [3Δt, 30.4Δt] keeps lags 3 … 30.
  vs[0].viewXFrom = 3 * dt;
  vs[0].viewXTo = 30.4 * dt;
  LiftSpecB(&vs[1]);
  const std::vector<double> zoomed = DirectLiftered(3, 30);
  for (int j = 0; j < lines; ++j) ASSERT_NEAR(vs[1].yData[j], zoomed[j], 1e-7 * zoomed[j]) << j;

  // A range reaching beyond the data on both sides is the whole lower half.
  vs[0].viewXFrom = -5.0;
  vs[0].viewXTo = 1e300;
  LiftSpecB(&vs[1]);
  for (int j = 0; j < lines; ++j) ASSERT_NEAR(vs[1].yData[j], want[j], 1e-9 * want[j]) << j;

  // An undefined range falls back to the same.
  vs[0].viewXFrom = std::nan("");
  vs[0].viewXTo = std::nan("");
  LiftSpecB(&vs[1]);
  for (int j = 0; j < lines; ++j) ASSERT_NEAR(vs[1].yData[j], want[j], 1e-9 * want[j]) << j;
}

}  // namespace
