// IIR design and cascade filtering, checked against independent answers:
// magnitude masks evaluated from the stored sections on the unit circle,
// textbook edge values, the frequency-mapping identities of high-pass,
// band-pass and band-stop, and a direct-form recomputation of the output.
#include "dsp/dsp.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <complex>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;

using Filter = std::unique_ptr<IIRFilterRecord, decltype(&FreeIIRFilterPtr)>;

Filter Make(int type, int order) {
  return Filter(AllocIIRFilterPtr(type, order), &FreeIIRFilterPtr);
}

int Stages(const IIRFilterRecord& f) { return (f.filterOrder + 1) / 2; }
int Q(const IIRFilterRecord& f) { return f.aCount / Stages(f); }

// |H| of the cascade at frequency f (Hz), from the stored coefficients.
double Magnitude(const IIRFilterRecord& filter, double fs, double f) {
  const std::complex<double> zi = std::polar(1.0, -2.0 * kPi * f / fs);
  const int q = Q(filter);
  std::complex<double> h = 1.0;
  for (int s = 0; s < Stages(filter); ++s) {
    std::complex<double> num = 0.0;
    std::complex<double> den = 1.0;
    std::complex<double> zk = 1.0;
    for (int k = 0; k <= q; ++k) {
      num += filter.bCoefs[s * (q + 1) + k] * zk;
      if (k > 0) den += filter.aCoefs[s * q + k - 1] * zk;
      zk *= zi;
    }
    h *= num / den;
  }
  return std::abs(h);
}

double Db(const IIRFilterRecord& filter, double fs, double f) {
  return 20.0 * std::log10(Magnitude(filter, fs, f));
}

// Extremes of the gain in dB over [f0, f1].
struct Range {
  double min = 1e300;
  double max = -1e300;
};

Range GainRange(const IIRFilterRecord& filter, double fs, double f0, double f1, int points = 2000) {
  Range r;
  for (int i = 0; i <= points; ++i) {
    const double g = Db(filter, fs, f0 + (f1 - f0) * i / points);
    r.min = std::min(r.min, g);
    r.max = std::max(r.max, g);
  }
  return r;
}

// Elliptic stop edge from the degree equation K(k')/K(k) = K(k1')/(N K(k1)),
// solved for the selectivity k by bisection with the standard library's K.
double EllipticStopEdge(double fs, double fl, int order, double rp, double rs) {
  const double k1 = std::sqrt((std::pow(10.0, 0.1 * rp) - 1.0) / (std::pow(10.0, 0.1 * rs) - 1.0));
  const double target =
      std::comp_ellint_1(std::sqrt(1.0 - k1 * k1)) / (order * std::comp_ellint_1(k1));
  double lo = 1e-12;
  double hi = 1.0 - 1e-15;
  for (int i = 0; i < 200; ++i) {
    const double k = 0.5 * (lo + hi);
    const double ratio = std::comp_ellint_1(std::sqrt(1.0 - k * k)) / std::comp_ellint_1(k);
    (ratio > target ? lo : hi) = k;
  }
  return fs / kPi * std::atan(std::tan(kPi * fl / fs) / lo);
}

constexpr double kFs = 1000.0;

}  // namespace

TEST(IIRRecord, AllocationAndLayout) {
  EXPECT_EQ(AllocIIRFilterPtr(4, 2), nullptr);
  EXPECT_EQ(AllocIIRFilterPtr(0, 0), nullptr);
  EXPECT_EQ(AllocIIRFilterPtr(-1, 3), nullptr);
  EXPECT_EQ(AllocIIRFilterPtr(2, INT_MAX), nullptr);  // counts would not fit an int
  FreeIIRFilterPtr(nullptr);

  struct Case {
    int type, order, a, b;
  };
  for (const Case c :
       {Case{0, 14, 14, 21}, Case{1, 5, 6, 9}, Case{2, 5, 12, 15}, Case{3, 1, 4, 5}}) {
    Filter f = Make(c.type, c.order);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->filterType, c.type);
    EXPECT_EQ(f->filterOrder, c.order);
    EXPECT_EQ(f->resetPending, 0);
    EXPECT_EQ(f->aCount, c.a);
    EXPECT_EQ(f->bCount, c.b);
    EXPECT_EQ(f->stateCount, c.a);
    // One block: the arrays follow the record.
    EXPECT_EQ(f->aCoefs, reinterpret_cast<double*>(f.get() + 1));
    EXPECT_EQ(f->bCoefs, f->aCoefs + f->aCount);
    EXPECT_EQ(f->stateValues, f->bCoefs + f->bCount);
    for (int i = 0; i < f->stateCount; ++i) EXPECT_EQ(f->stateValues[i], 0.0);
    ASSERT_EQ(ResetIIRFilter(f.get()), 0);
    EXPECT_EQ(f->resetPending, 1);
  }
  EXPECT_EQ(ResetIIRFilter(nullptr), ErrFilterRecordMismatch);
}

TEST(IIRDesign, HandComputedSections) {
  // First order at fs/4: Omega = 1, so a1 = 0 and b0 = b1 = 1/2.
  Filter f = Make(0, 1);
  ASSERT_EQ(Bw_CascadeCoef(kFs, kFs / 4, 0.0, f.get()), 0);
  EXPECT_NEAR(f->aCoefs[0], 0.0, 1e-15);
  EXPECT_EQ(f->aCoefs[1], 0.0);
  EXPECT_NEAR(f->bCoefs[0], 0.5, 1e-15);
  EXPECT_NEAR(f->bCoefs[1], 0.5, 1e-15);
  EXPECT_EQ(f->bCoefs[2], 0.0);

  // Second order at fs/4: 1/(s^2 + sqrt2 s + 1) gives b = (1, 2, 1)/(2 + sqrt2), a2 = (2 -
  // sqrt2)/(2 + sqrt2).
  Filter g = Make(0, 2);
  ASSERT_EQ(Bw_CascadeCoef(kFs, kFs / 4, 0.0, g.get()), 0);
  const double m = 2.0 + std::sqrt(2.0);
  EXPECT_NEAR(g->aCoefs[0], 0.0, 1e-15);
  EXPECT_NEAR(g->aCoefs[1], (2.0 - std::sqrt(2.0)) / m, 1e-15);
  EXPECT_NEAR(g->bCoefs[0], 1.0 / m, 1e-15);
  EXPECT_NEAR(g->bCoefs[1], 2.0 / m, 1e-15);

  // Odd orders put the lower-order factor first, its trailing slots zero.
  Filter lp = Make(0, 5);
  ASSERT_EQ(Elp_CascadeCoef(kFs, 100.0, 0.0, 0.5, 60.0, lp.get()), 0);
  EXPECT_EQ(lp->aCoefs[1], 0.0);
  EXPECT_EQ(lp->bCoefs[2], 0.0);
  for (int s = 1; s < 3; ++s) EXPECT_NE(lp->aCoefs[2 * s + 1], 0.0);
  Filter bp = Make(2, 5);
  ASSERT_EQ(Ch_CascadeCoef(kFs, 100.0, 200.0, 0.5, bp.get()), 0);
  EXPECT_EQ(bp->aCoefs[2], 0.0);
  EXPECT_EQ(bp->aCoefs[3], 0.0);
  EXPECT_EQ(bp->bCoefs[3], 0.0);
  EXPECT_EQ(bp->bCoefs[4], 0.0);
}

TEST(IIRDesign, ArgumentChecksInOrder) {
  Filter lp = Make(0, 4);
  Filter bp = Make(2, 4);
  EXPECT_EQ(Elp_CascadeCoef(kFs, 100, 0, 3.0, 3.0, lp.get()), ErrRippleNotBelowAtten);
  EXPECT_EQ(Elp_CascadeCoef(kFs, 100, 0, 0.0, 3.0, lp.get()), ErrRippleNotPositive);
  EXPECT_EQ(Elp_CascadeCoef(kFs, 100, 0, 1.0, -1.0, lp.get()), ErrAttenNotPositive);
  // Attenuation is checked before the Nyquist limit, ripple after it.
  EXPECT_EQ(InvCh_CascadeCoef(kFs, 100, 600, 0.0, bp.get()), ErrAttenNotPositive);
  EXPECT_EQ(Ch_CascadeCoef(kFs, 100, 600, 0.0, bp.get()), ErrCutoffAboveNyquist);
  EXPECT_EQ(Bw_CascadeCoef(kFs, 550, 600, bp.get()), ErrCutoffAboveNyquist);
  EXPECT_EQ(Bw_CascadeCoef(kFs, 200, 200, bp.get()), ErrBadCutoff);
  // A low-pass cut-off at fs/2 meets fl >= fh first.
  EXPECT_EQ(Bw_CascadeCoef(kFs, kFs / 2, 0, lp.get()), ErrBadCutoff);
  EXPECT_EQ(Ch_CascadeCoef(kFs, kFs / 2, 0, 1.0, lp.get()), ErrBadCutoff);
  EXPECT_EQ(InvCh_CascadeCoef(kFs, kFs / 2, 0, 40.0, lp.get()), ErrBadCutoff);
  EXPECT_EQ(Elp_CascadeCoef(kFs, kFs / 2, 0, 1.0, 40.0, lp.get()), ErrBadCutoff);
  EXPECT_EQ(Ch_CascadeCoef(kFs, 0.0, 0, 0.0, lp.get()), ErrBadCutoff);
  EXPECT_EQ(Bw_CascadeCoef(0.0, 100, 0, lp.get()), ErrBadCutoff);
  EXPECT_EQ(Bw_CascadeCoef(kFs, std::nan(""), 0, lp.get()), ErrBadCutoff);
  EXPECT_EQ(Bw_CascadeCoef(kFs, 100, 0, nullptr), ErrFilterRecordMismatch);

  // The order decides first; the record's capacity last.
  lp->filterOrder = 0;
  EXPECT_EQ(Ch_CascadeCoef(-1.0, -1.0, 0, 0.0, lp.get()), ErrOrderNotPositive);
  lp->filterOrder = 4;
  lp->filterType = 2;
  EXPECT_EQ(Ch_CascadeCoef(kFs, 100, 200, 0.0, lp.get()), ErrRippleNotPositive);
  EXPECT_EQ(Ch_CascadeCoef(kFs, 100, 200, 1.0, lp.get()), ErrFilterRecordMismatch);
  lp->filterType = 0;

  // Errors, including designs that overflow, leave the record as it was.
  ASSERT_EQ(Elp_CascadeCoef(kFs, 100, 0, 0.5, 60.0, lp.get()), 0);
  const std::vector<double> before(lp->aCoefs, lp->aCoefs + lp->aCount + lp->bCount);
  EXPECT_EQ(Elp_CascadeCoef(kFs, 100, 0, 0.5, 5000.0, lp.get()), ErrAttenNotPositive);
  EXPECT_EQ(Ch_CascadeCoef(kFs, 100, 0, 1e-300, lp.get()), ErrRippleNotPositive);
  EXPECT_EQ(Bw_CascadeCoef(kFs, 600, 0, lp.get()), ErrBadCutoff);
  EXPECT_EQ(std::vector<double>(lp->aCoefs, lp->aCoefs + lp->aCount + lp->bCount), before);

  // Designs whose poles would reach the unit circle are refused: a band edge at
  // fs/2, a cut-off below the arithmetic's reach, an elliptic transition band
  // narrower than double precision.
  EXPECT_EQ(Bw_CascadeCoef(kFs, 200, 500, bp.get()), ErrBadCutoff);
  EXPECT_EQ(Ch_CascadeCoef(kFs, 1e-30, 0, 1.0, lp.get()), ErrBadCutoff);
  Filter steep = Make(0, 16);
  EXPECT_EQ(Elp_CascadeCoef(kFs, 100, 0, 1.0, 1.5, steep.get()), ErrRippleNotBelowAtten);
  EXPECT_EQ(Elp_CascadeCoef(kFs, 100, 0, 1.0, 40.0, steep.get()), 0);
}

TEST(IIRLowpass, ButterworthIsHalfPowerAtCutoff) {
  for (int order = 1; order <= 14; ++order) {
    Filter f = Make(0, order);
    ASSERT_EQ(Bw_CascadeCoef(kFs, 120.0, 0.0, f.get()), 0);
    EXPECT_NEAR(Magnitude(*f, kFs, 0.0), 1.0, 1e-12) << order;
    EXPECT_NEAR(Db(*f, kFs, 120.0), -10.0 * std::log10(2.0), 1e-9) << order;
    double prev = 2.0;
    for (double fr = 0.0; fr < kFs / 2; fr += 5.0) {  // monotonic fall
      const double m = Magnitude(*f, kFs, fr);
      EXPECT_LE(m, prev + 1e-12) << order << " at " << fr;
      prev = m;
    }
  }
}

TEST(IIRLowpass, ChebyshevRippleBand) {
  for (double ripple : {0.1, 1.0, 3.0}) {
    for (int order = 1; order <= 14; ++order) {
      Filter f = Make(0, order);
      ASSERT_EQ(Ch_CascadeCoef(kFs, 150.0, 0.0, ripple, f.get()), 0);
      const double dc = order % 2 ? 0.0 : -ripple;
      EXPECT_NEAR(Db(*f, kFs, 0.0), dc, 1e-9) << order;
      EXPECT_NEAR(Db(*f, kFs, 150.0), -ripple, 1e-9) << order;
      const Range pass = GainRange(*f, kFs, 0.0, 150.0);
      EXPECT_LE(pass.max, 1e-9) << order;
      EXPECT_GE(pass.min, -ripple - 1e-9) << order;
      EXPECT_LT(GainRange(*f, kFs, 151.0, 499.0).max, -ripple) << order;
    }
  }
}

TEST(IIRLowpass, InverseChebyshevStopBand) {
  for (double atten : {30.0, 80.0}) {
    for (int order = 1; order <= 14; ++order) {
      Filter f = Make(0, order);
      ASSERT_EQ(InvCh_CascadeCoef(kFs, 200.0, 0.0, atten, f.get()), 0);
      EXPECT_NEAR(Db(*f, kFs, 0.0), 0.0, 1e-9) << order;
      EXPECT_NEAR(Db(*f, kFs, 200.0), -atten, 1e-6) << order;
      EXPECT_LE(GainRange(*f, kFs, 0.0, 200.0).max, 1e-9) << order;
      EXPECT_LE(GainRange(*f, kFs, 200.0, 500.0).max, -atten + 1e-6) << order;
    }
  }
}

TEST(IIRLowpass, EllipticMeetsBothBands) {
  struct Mask {
    double rp, rs;
  };
  for (const Mask s : {Mask{0.1, 100.0}, Mask{1.0, 40.0}}) {
    for (int order = 1; order <= 14; ++order) {
      Filter f = Make(0, order);
      ASSERT_EQ(Elp_CascadeCoef(kFs, 150.0, 0.0, s.rp, s.rs, f.get()), 0);
      const double dc = order % 2 ? 0.0 : -s.rp;
      EXPECT_NEAR(Db(*f, kFs, 0.0), dc, 1e-6) << order;
      EXPECT_NEAR(Db(*f, kFs, 150.0), -s.rp, 1e-6) << order;
      const Range pass = GainRange(*f, kFs, 0.0, 150.0);
      EXPECT_LE(pass.max, 1e-6) << order;
      EXPECT_GE(pass.min, -s.rp - 1e-6) << order;
      const double edge = EllipticStopEdge(kFs, 150.0, order, s.rp, s.rs);
      const Range stop = GainRange(*f, kFs, edge, kFs / 2, 4000);
      EXPECT_LE(stop.max, -s.rs + 1e-4) << order;
      EXPECT_GE(stop.max, -s.rs - 0.01) << order;  // equiripple, not over-designed
    }
  }
}

TEST(IIRLowpass, AnalyzerAntiAliasFilters) {
  // fs 1024, order 14, 0.1 dB / 100 dB; decimation by 2, 4, 8 folds at 256, 128, 64 Hz.
  for (const double cut : {220.0, 110.0, 55.0}) {
    Filter f = Make(0, 14);
    ASSERT_EQ(Elp_CascadeCoef(1024.0, cut, 0.0, 0.1, 100.0, f.get()), 0);
    const double fold = cut * 256.0 / 220.0;
    const Range pass = GainRange(*f, 1024.0, 0.0, cut, 4000);
    const Range stop = GainRange(*f, 1024.0, fold, 512.0, 8000);
    EXPECT_LE(pass.max - pass.min, 0.1 + 1e-6) << cut;
    EXPECT_LE(stop.max, -100.0) << cut;
    RecordProperty("ripple_db_" + std::to_string(int(cut)), std::to_string(pass.max - pass.min));
    RecordProperty("rejection_db_" + std::to_string(int(cut)), std::to_string(-stop.max));
  }
}

TEST(IIROtherTypes, ButterworthEdges) {
  for (int order = 1; order <= 8; ++order) {
    Filter hp = Make(1, order);
    ASSERT_EQ(Bw_CascadeCoef(kFs, 100.0, 0.0, hp.get()), 0);
    EXPECT_NEAR(Db(*hp, kFs, 100.0), -3.0103, 1e-4) << order;
    EXPECT_NEAR(Magnitude(*hp, kFs, kFs / 2), 1.0, 1e-12) << order;
    EXPECT_NEAR(Magnitude(*hp, kFs, 0.0), 0.0, 1e-12) << order;

    // The band centre is the geometric mean of the prewarped edges.
    const double centre =
        kFs / kPi * std::atan(std::sqrt(std::tan(kPi * 100.0 / kFs) * std::tan(kPi * 300.0 / kFs)));
    Filter bp = Make(2, order);
    ASSERT_EQ(Bw_CascadeCoef(kFs, 100.0, 300.0, bp.get()), 0);
    Filter bs = Make(3, order);
    ASSERT_EQ(Bw_CascadeCoef(kFs, 100.0, 300.0, bs.get()), 0);
    for (double edge : {100.0, 300.0}) {
      EXPECT_NEAR(Db(*bp, kFs, edge), -3.0103, 1e-4) << order;
      EXPECT_NEAR(Db(*bs, kFs, edge), -3.0103, 1e-4) << order;
    }
    EXPECT_NEAR(Magnitude(*bp, kFs, centre), 1.0, 1e-9) << order;
    EXPECT_NEAR(Magnitude(*bs, kFs, centre), 0.0, 1e-9) << order;
    EXPECT_NEAR(Magnitude(*bs, kFs, 0.0), 1.0, 1e-12) << order;
    EXPECT_NEAR(Magnitude(*bs, kFs, kFs / 2), 1.0, 1e-12) << order;
  }
}

// A high-pass (band-pass, band-stop) design has, at prewarped Omega, the gain
// of the low-pass prototype with cut-off 1 (fs/4) at Omega_c/Omega
// (|Omega^2 - P|/(W Omega), W Omega/|P - Omega^2|).
TEST(IIROtherTypes, AllFamiliesFollowTheLowpassPrototype) {
  auto design = [](int family, IIRFilterRecord* f, double fl, double fh) {
    switch (family) {
      case 0: return Bw_CascadeCoef(kFs, fl, fh, f);
      case 1: return Ch_CascadeCoef(kFs, fl, fh, 0.5, f);
      case 2: return InvCh_CascadeCoef(kFs, fl, fh, 50.0, f);
      default: return Elp_CascadeCoef(kFs, fl, fh, 0.5, 50.0, f);
    }
  };
  const double ol = std::tan(kPi * 120.0 / kFs);
  const double oh = std::tan(kPi * 280.0 / kFs);
  for (int family = 0; family < 4; ++family) {
    for (int order = 1; order <= 7; ++order) {
      Filter proto = Make(0, order);
      ASSERT_EQ(design(family, proto.get(), kFs / 4, 0.0), 0);
      for (int type = 1; type <= 3; ++type) {
        Filter f = Make(type, order);
        ASSERT_EQ(design(family, f.get(), 120.0, 280.0), 0);
        for (double fr = 5.0; fr < kFs / 2; fr += 7.0) {
          const double o = std::tan(kPi * fr / kFs);
          const double mapped = type == 1   ? ol / o
                                : type == 2 ? std::fabs(o * o - ol * oh) / ((oh - ol) * o)
                                            : (oh - ol) * o / std::fabs(ol * oh - o * o);
          const double want = Magnitude(*proto, kFs, kFs / kPi * std::atan(mapped));
          EXPECT_NEAR(Magnitude(*f, kFs, fr), want, 1e-9 + 1e-7 * want)
              << "family " << family << " type " << type << " order " << order << " at " << fr;
        }
      }
    }
  }
}

namespace {

// Direct-form recomputation: multiply the sections into one transfer function
// and run its difference equation in long double.
std::vector<double> DirectForm(const IIRFilterRecord& f, const std::vector<double>& x) {
  const int q = Q(f);
  std::vector<long double> b{1.0L};
  std::vector<long double> a{1.0L};
  for (int s = 0; s < Stages(f); ++s) {
    std::vector<long double> nb(b.size() + q, 0.0L);
    std::vector<long double> na(a.size() + q, 0.0L);
    for (size_t i = 0; i < b.size(); ++i)
      for (int k = 0; k <= q; ++k) {
        nb[i + k] += b[i] * f.bCoefs[s * (q + 1) + k];
        na[i + k] += a[i] * (k == 0 ? 1.0 : f.aCoefs[s * q + k - 1]);
      }
    b.swap(nb);
    a.swap(na);
  }
  std::vector<double> y(x.size());
  for (size_t n = 0; n < x.size(); ++n) {
    long double acc = 0.0L;
    for (size_t k = 0; k < b.size() && k <= n; ++k)
      acc += b[k] * x[n - k] - (k > 0 ? a[k] * y[n - k] : 0.0L);
    y[n] = static_cast<double>(acc);
  }
  return y;
}

std::vector<double> FilterAll(IIRFilterRecord* f, std::vector<double> x) {
  std::vector<double> y(x.size(), -7.0);
  EXPECT_EQ(IIRCascadeFiltering(x.data(), static_cast<int>(x.size()), f, y.data()), 0);
  return y;
}

std::vector<double> Noise(int n) {
  std::mt19937 gen(12345);
  std::normal_distribution<double> dist(0.0, 1000.0);
  std::vector<double> x(n);
  for (double& v : x) v = dist(gen);
  return x;
}

}  // namespace

TEST(IIRFiltering, MatchesDirectFormOnImpulseAndStep) {
  std::vector<Filter> filters;
  filters.push_back(Make(0, 5));
  ASSERT_EQ(Bw_CascadeCoef(kFs, 100.0, 0.0, filters.back().get()), 0);
  filters.push_back(Make(0, 6));
  ASSERT_EQ(Ch_CascadeCoef(kFs, 150.0, 0.0, 0.5, filters.back().get()), 0);
  filters.push_back(Make(1, 4));
  ASSERT_EQ(Elp_CascadeCoef(kFs, 150.0, 0.0, 0.5, 60.0, filters.back().get()), 0);
  filters.push_back(Make(2, 3));  // four-coefficient sections
  ASSERT_EQ(InvCh_CascadeCoef(kFs, 100.0, 250.0, 40.0, filters.back().get()), 0);

  std::vector<double> impulse(300, 0.0);
  impulse[0] = 1.0;
  const std::vector<double> step(300, 1.0);
  for (Filter& f : filters) {
    for (const auto& x : {impulse, step}) {
      ResetIIRFilter(f.get());
      const std::vector<double> y = FilterAll(f.get(), x);
      const std::vector<double> want = DirectForm(*f, x);
      for (size_t i = 0; i < x.size(); ++i)
        ASSERT_NEAR(y[i], want[i], 1e-10) << "type " << f->filterType << " sample " << i;
    }
    // The step settles at the DC gain.
    EXPECT_NEAR(FilterAll(f.get(), std::vector<double>(3000, 1.0)).back(), Magnitude(*f, kFs, 0.0),
                1e-6);
  }
}

TEST(IIRFiltering, BlocksContinueOneSignal) {
  const std::vector<double> x = Noise(200);
  Filter whole = Make(0, 14);
  Filter parts = Make(0, 14);
  for (IIRFilterRecord* f : {whole.get(), parts.get()}) {
    ResetIIRFilter(f);
    ASSERT_EQ(Elp_CascadeCoef(1024.0, 220.0, 0.0, 0.1, 100.0, f), 0);
  }
  const std::vector<double> y = FilterAll(whole.get(), x);
  std::vector<double> y2(200);
  ASSERT_EQ(IIRCascadeFiltering(x.data(), 100, parts.get(), y2.data()), 0);
  ASSERT_EQ(IIRCascadeFiltering(x.data() + 100, 100, parts.get(), y2.data() + 100), 0);
  for (int i = 0; i < 200; ++i) ASSERT_DOUBLE_EQ(y2[i], y[i]) << i;

  // In place gives the same samples.
  Filter inplace = Make(0, 14);
  ASSERT_EQ(Elp_CascadeCoef(1024.0, 220.0, 0.0, 0.1, 100.0, inplace.get()), 0);
  std::vector<double> z = x;
  ASSERT_EQ(IIRCascadeFiltering(z.data(), 200, inplace.get(), z.data()), 0);
  EXPECT_EQ(z, y);
}

TEST(IIRFiltering, ResetAndRedesign) {
  const std::vector<double> x = Noise(150);
  Filter f = Make(0, 6);
  ASSERT_EQ(Ch_CascadeCoef(kFs, 100.0, 0.0, 1.0, f.get()), 0);
  const std::vector<double> first = FilterAll(f.get(), x);
  EXPECT_NE(FilterAll(f.get(), x), first);  // the state carried on

  ResetIIRFilter(f.get());
  EXPECT_EQ(FilterAll(f.get(), x), first);
  EXPECT_EQ(f->resetPending, 0);

  // A pending reset is carried out even by a call that is refused for its count.
  ResetIIRFilter(f.get());
  double y = -7.0;
  EXPECT_EQ(IIRCascadeFiltering(x.data(), 0, f.get(), &y), ErrCountNotPositive);
  EXPECT_EQ(y, -7.0);
  EXPECT_EQ(f->resetPending, 0);
  for (int i = 0; i < f->stateCount; ++i) EXPECT_EQ(f->stateValues[i], 0.0);

  // Designing again keeps the state: the signal goes on as if uninterrupted.
  Filter g = Make(0, 6);
  ASSERT_EQ(Ch_CascadeCoef(kFs, 100.0, 0.0, 1.0, g.get()), 0);
  const std::vector<double> a(x.begin(), x.begin() + 70);
  const std::vector<double> b(x.begin() + 70, x.end());
  FilterAll(g.get(), a);
  ASSERT_EQ(Ch_CascadeCoef(kFs, 100.0, 0.0, 1.0, g.get()), 0);
  const std::vector<double> rest = FilterAll(g.get(), b);
  EXPECT_EQ(rest, std::vector<double>(first.begin() + 70, first.end()));
}

TEST(IIRFiltering, InconsistentRecordIsRefused) {
  const std::vector<double> x = Noise(10);
  std::vector<double> y(10, -7.0);
  EXPECT_EQ(IIRCascadeFiltering(x.data(), 10, nullptr, y.data()), ErrFilterRecordMismatch);
  Filter f = Make(0, 4);
  ASSERT_EQ(Bw_CascadeCoef(kFs, 100.0, 0.0, f.get()), 0);
  f->stateCount = 3;
  EXPECT_EQ(IIRCascadeFiltering(x.data(), 10, f.get(), y.data()), ErrFilterRecordMismatch);
  EXPECT_EQ(y, std::vector<double>(10, -7.0));
  f->stateCount = 4;
  f->filterType = 2;  // the counts decide the section order, not the type
  EXPECT_EQ(IIRCascadeFiltering(x.data(), 10, f.get(), y.data()), 0);
  f->filterOrder = 6;
  EXPECT_EQ(IIRCascadeFiltering(x.data(), 10, f.get(), y.data()), ErrFilterRecordMismatch);
  f->filterOrder = 0;
  EXPECT_EQ(IIRCascadeFiltering(x.data(), 10, f.get(), y.data()), ErrFilterRecordMismatch);
  f->filterOrder = 4;
  EXPECT_EQ(IIRCascadeFiltering(x.data(), -1, f.get(), y.data()), ErrCountNotPositive);
}
