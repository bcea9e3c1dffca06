// IIR design: every family is an analog prototype whose sections are mapped to
// the digital domain by the bilinear transform with the cut-off prewarped,
// Omega = tan(pi f / fs). Low-pass sections (and the Butterworth high-pass,
// band-pass and band-stop ones) come from closed forms; the other families'
// high-pass, band-pass and band-stop sections are obtained by substituting
// s -> Omega/s or s -> (s^2 + P)/(W s) into the normalised prototype section.
#include "dsp/iir.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double kPi = 3.141592653589793;

// Sections are counted in long long so that no order overflows the arithmetic.
long long StageCount(int order) { return (static_cast<long long>(order) + 1) / 2; }
int SectionOrder(int type) { return type >= IIR_BANDPASS ? 4 : 2; }

// ---------------------------------------------------------------------------
// Elliptic functions by the arithmetic-geometric mean (descending Landen).

constexpr int kMaxSteps = 25;
constexpr double kTolerance = 1e-10;

// Complete elliptic integral of the first kind K(k), given the complementary
// modulus x = sqrt(1 - k^2).
double cei(double x) {
  double a = 1.0;
  double b = x;
  for (int i = 0; i < kMaxSteps && std::fabs(a - b) > kTolerance * a; ++i) {
    const double an = 0.5 * (a + b);
    b = std::sqrt(a * b);
    a = an;
  }
  return kPi / (2.0 * a);
}

struct Jacobi {
  double sn;
  double cn;
  double dn;
};

// sn, cn, dn of u for the modulus whose complement is x: run the AGM down,
// then recover the amplitude by the backward recurrence
// phi[j-1] = (phi[j] + asin(c[j]/a[j] sin phi[j])) / 2.
Jacobi elp(double u, double x) {
  if (u == 0.0) return {0.0, 1.0, 1.0};
  double a[kMaxSteps + 1];
  double c[kMaxSteps + 1];
  a[0] = 1.0;
  c[0] = std::sqrt(std::fabs((1.0 - x) * (1.0 + x)));
  double b = x;
  int n = 0;
  while (n < kMaxSteps && std::fabs(c[n]) > kTolerance * a[n]) {
    a[n + 1] = 0.5 * (a[n] + b);
    c[n + 1] = 0.5 * (a[n] - b);
    b = std::sqrt(a[n] * b);
    ++n;
  }
  double phi = std::ldexp(a[n] * u, n);
  double prev = phi;
  for (int j = n; j >= 1; --j) {
    prev = phi;
    phi = 0.5 * (phi + std::asin(c[j] / a[j] * std::sin(phi)));
  }
  const double sn = std::sin(phi);
  const double cn = std::cos(phi);
  // dn = cos(phi0) / cos(phi1 - phi0) keeps its accuracy for moduli near 1.
  const double dn = n == 0 ? 1.0 : cn / std::cos(prev - phi);
  return {sn, cn, dn};
}

// Inverse of sc(u) = tan(am u) for the modulus whose complement is m, i.e. the
// incomplete integral F(atan x). Each Landen step roughly doubles the
// amplitude; the half-turns it passes are counted so that the branch of the
// arctangent is right.
double arcsc(double x, double m) {
  constexpr double kScTolerance = 1.2e-7;
  double a = 1.0;
  double b = m;
  double phi = std::atan(x);
  int n = 0;
  while (n < kMaxSteps && std::fabs(a - b) > kScTolerance * a) {
    const double t = std::atan(b / a * std::tan(phi));
    const double halfTurns = std::nearbyint((phi - t) / kPi);
    phi = phi + t + halfTurns * kPi;
    const double an = 0.5 * (a + b);
    b = std::sqrt(a * b);
    a = an;
    ++n;
  }
  return phi / std::ldexp(a, n);
}

// Modulus from the nome q = exp(-pi x) (ratio K'/K = x) by the theta series.
double fk(double x) {
  const double q = std::exp(-kPi * x);
  double num = 1.0;  // sum q^(j(j+1)), j >= 0
  double den = 1.0;  // 1 + 2 sum q^(j^2), j >= 1
  for (int j = 1; j <= kMaxSteps; ++j) {
    const double tn = std::pow(q, j * (j + 1.0));
    const double td = std::pow(q, static_cast<double>(j) * j);
    num += tn;
    den += 2.0 * td;
    if (td < kTolerance) break;
  }
  const double k = 4.0 * std::sqrt(q) * num * num / (den * den);
  return k < 1.0 ? k : 1.0;
}

// ---------------------------------------------------------------------------
// Scratch coefficients of one design, committed to the record only when the
// whole design succeeded.

struct Sections {
  int q;
  double* a;
  double* b;
  double* A(long long s) const { return a + s * q; }
  double* B(long long s) const { return b + s * (q + 1); }
};

// Pole angles theta_k = pi/2 + (2k+1) pi/(2 order), k = 0, 1, ...: the first
// is the pole nearest the imaginary axis.
struct PoleAngles {
  double step;
  double theta;
  explicit PoleAngles(int order) : step(kPi / order), theta((kPi / order + kPi) / 2.0) {}
  double Next() {
    const double t = theta;
    theta += step;
    return t;
  }
};

// Normalised analog section (cut-off 1): num/den in ascending powers of s,
// order 1 or 2, den monic.
struct AnalogSection {
  int order;
  double num[3];
  double den[3];
};

// Polynomials of degree <= 4 in ascending powers.
struct Poly {
  double c[5] = {0, 0, 0, 0, 0};
  int deg = 0;
};

Poly Mul(const Poly& x, const Poly& y) {
  Poly r;
  r.deg = x.deg + y.deg;
  for (int i = 0; i <= x.deg; ++i)
    for (int j = 0; j <= y.deg; ++j) r.c[i + j] += x.c[i] * y.c[j];
  return r;
}

Poly Power(const Poly& x, int e) {
  Poly r;
  r.c[0] = 1.0;
  for (int i = 0; i < e; ++i) r = Mul(r, x);
  return r;
}

void AddScaled(Poly& acc, const Poly& x, double k) {
  for (int i = 0; i <= x.deg; ++i) acc.c[i] += k * x.c[i];
  if (x.deg > acc.deg) acc.deg = x.deg;
}

// Frequency mapping of a prototype onto the record's type.
struct Mapping {
  int type;
  double omega;  // low-pass, high-pass cut-off
  double p;      // band-pass, band-stop: centre squared
  double w;      // band-pass, band-stop: width
};

// Substitutes the mapping into one prototype polynomial, cleared of its
// denominator: each s^j becomes the numerator factor of the substitution.
Poly MapPolynomial(const double* c, int order, const Mapping& m) {
  Poly s;  // s
  s.c[1] = 1.0;
  s.deg = 1;
  Poly k;     // constant
  Poly quad;  // s^2 + P
  quad.c[0] = m.p;
  quad.c[2] = 1.0;
  quad.deg = 2;
  Poly ws;  // W s
  ws.c[1] = m.w;
  ws.deg = 1;

  Poly r;
  for (int j = 0; j <= order; ++j) {
    Poly term;
    switch (m.type) {
      case IIR_LOWPASS:  // s -> s/Omega
        k.c[0] = std::pow(m.omega, order - j);
        term = Mul(Power(s, j), k);
        break;
      case IIR_HIGHPASS:  // s -> Omega/s
        k.c[0] = std::pow(m.omega, j);
        term = Mul(Power(s, order - j), k);
        break;
      case IIR_BANDPASS:  // s -> (s^2 + P)/(W s)
        term = Mul(Power(quad, j), Power(ws, order - j));
        break;
      default:  // s -> W s/(s^2 + P)
        term = Mul(Power(ws, j), Power(quad, order - j));
        break;
    }
    AddScaled(r, term, c[j]);
  }
  return r;
}

// Bilinear transform s = (1 - z^-1)/(1 + z^-1) of num/den (degree m) into one
// section of order q: a1..aq, b0..bq, the unused trailing ones zero.
void BilinearSection(const Poly& num, const Poly& den, int m, int q, double* a, double* b) {
  Poly minus;  // 1 - z^-1
  minus.c[0] = 1.0;
  minus.c[1] = -1.0;
  minus.deg = 1;
  Poly plus;  // 1 + z^-1
  plus.c[0] = 1.0;
  plus.c[1] = 1.0;
  plus.deg = 1;
  Poly nz;
  Poly dz;
  for (int j = 0; j <= m; ++j) {
    const Poly basis = Mul(Power(minus, j), Power(plus, m - j));
    AddScaled(nz, basis, num.c[j]);
    AddScaled(dz, basis, den.c[j]);
  }
  const double norm = 1.0 / dz.c[0];
  for (int i = 0; i < q; ++i) a[i] = i + 1 <= m ? dz.c[i + 1] * norm : 0.0;
  for (int i = 0; i <= q; ++i) b[i] = i <= m ? nz.c[i] * norm : 0.0;
}

void MapSection(const AnalogSection& proto, const Mapping& m, int q, double* a, double* b) {
  const Poly num = MapPolynomial(proto.num, proto.order, m);
  const Poly den = MapPolynomial(proto.den, proto.order, m);
  const int degree = m.type >= IIR_BANDPASS ? 2 * proto.order : proto.order;
  BilinearSection(num, den, degree, q, a, b);
}

AnalogSection FirstOrder(double pole) { return {1, {pole, 0.0, 0.0}, {pole, 1.0, 0.0}}; }

// ---------------------------------------------------------------------------
// Butterworth.

void ButterworthLowpass(int order, double om, const Sections& out) {
  const int odd = order % 2;
  if (odd) {
    double* a = out.A(0);
    double* b = out.B(0);
    a[0] = -(1.0 - om) / (1.0 + om);
    a[1] = 0.0;
    b[0] = b[1] = om / (1.0 + om);
    b[2] = 0.0;
  }
  PoleAngles angles(order);
  const double om2 = om * om;
  for (int k = 0; k < order / 2; ++k) {
    const double c = 2.0 * om * std::cos(angles.Next());
    const double m = om2 + 1.0 - c;
    double* a = out.A(odd + k);
    double* b = out.B(odd + k);
    a[0] = -(2.0 - 2.0 * om2) / m;
    a[1] = (om2 + 1.0 + c) / m;
    b[0] = b[2] = om2 / m;
    b[1] = 2.0 * om2 / m;
  }
}

void ButterworthHighpass(int order, double om, const Sections& out) {
  const int odd = order % 2;
  if (odd) {
    const double e = 1.0 / (om + 1.0);
    double* a = out.A(0);
    double* b = out.B(0);
    a[0] = -e * (1.0 - om);
    a[1] = 0.0;
    b[0] = e;
    b[1] = -e;
    b[2] = 0.0;
  }
  PoleAngles angles(order);
  const double om2 = om * om;
  for (int k = 0; k < order / 2; ++k) {
    const double c = 2.0 * om * std::cos(angles.Next());
    const double o = 1.0 / (om2 + 1.0 - c);
    double* a = out.A(odd + k);
    double* b = out.B(odd + k);
    a[0] = -o * (2.0 - 2.0 * om2);
    a[1] = o * (om2 + 1.0 + c);
    b[0] = b[2] = o;
    b[1] = -2.0 * o;
  }
}

void ButterworthBand(int order, bool pass, double p, double w, const Sections& out) {
  const int odd = order % 2;
  if (odd) {
    const double g = w + p + 1.0;
    double* a = out.A(0);
    double* b = out.B(0);
    a[0] = -2.0 * (1.0 - p) / g;
    a[1] = (p + 1.0 - w) / g;
    a[2] = a[3] = 0.0;
    if (pass) {
      b[0] = w / g;
      b[1] = 0.0;
      b[2] = -w / g;
    } else {
      b[0] = b[2] = (p + 1.0) / g;
      b[1] = -2.0 * (1.0 - p) / g;
    }
    b[3] = b[4] = 0.0;
  }
  PoleAngles angles(order);
  for (int k = 0; k < order / 2; ++k) {
    const double r = -2.0 * w * std::cos(angles.Next());
    const double t = 2.0 * p + w * w;
    const double u = p * r;
    const double v = p * p;
    const double d = r + 1.0 + t + u + v;
    const double bb = 2.0 * (r - u);
    double* a = out.A(odd + k);
    double* b = out.B(odd + k);
    a[0] = (-4.0 - bb + 4.0 * v) / d;
    a[1] = (6.0 - 2.0 * t + 6.0 * v) / d;
    a[2] = (4.0 * v + bb - 4.0) / d;
    a[3] = (v + t + 1.0 - r - u) / d;
    if (pass) {
      const double w2 = w * w;
      b[0] = b[4] = w2 / d;
      b[1] = b[3] = 0.0;
      b[2] = -2.0 * w2 / d;
    } else {
      b[0] = b[4] = (p + 1.0) * (p + 1.0) / d;
      b[1] = b[3] = -4.0 * (1.0 - p * p) / d;
      b[2] = (6.0 - 4.0 * p + 6.0 * p * p) / d;
    }
  }
}

// ---------------------------------------------------------------------------
// Chebyshev: poles on an ellipse, sh cos(theta) + j ch sin(theta).

struct ChebyshevShape {
  double sh;
  double ch;
};

ChebyshevShape ChebyshevEllipse(double eps, int order) {
  const double g = std::pow((std::sqrt(eps * eps + 1.0) + 1.0) / eps, 1.0 / order);
  return {(g - 1.0 / g) / 2.0, (g + 1.0 / g) / 2.0};
}

void ChebyshevLowpass(int order, double om, double ripple, const Sections& out) {
  const double e = std::pow(10.0, 0.1 * ripple);
  const double g = std::pow((std::sqrt(e) + 1.0) / std::sqrt(e - 1.0), 1.0 / order);
  const double sh = (g - 1.0 / g) / 2.0;
  const double ch = (g + 1.0 / g) / 2.0;
  const double h = sh * om;
  const int odd = order % 2;
  if (odd) {
    double* a = out.A(0);
    double* b = out.B(0);
    a[0] = -(1.0 - h) / (h + 1.0);
    a[1] = 0.0;
    b[0] = b[1] = h / (h + 1.0);
    b[2] = 0.0;
  }
  PoleAngles angles(order);
  const double sum = sh * sh + ch * ch;
  const double diff = sh * sh - ch * ch;
  for (int k = 0; k < order / 2; ++k) {
    const double theta = angles.Next();
    const double v = (om * om / 2.0) * (sum + diff * std::cos(2.0 * theta));
    const double u = 2.0 * h * std::cos(theta);
    const double w = v + 1.0 - u;
    double* a = out.A(odd + k);
    double* b = out.B(odd + k);
    a[0] = -(2.0 - 2.0 * v) / w;
    a[1] = (v + u + 1.0) / w;
    b[0] = b[2] = v / w;
    b[1] = 2.0 * v / w;
  }
  if (!odd) {
    // An even order starts at the bottom of the ripple band.
    const double root = std::sqrt(e);
    for (int i = 0; i < 3; ++i) out.B(0)[i] /= root;
  }
}

void ChebyshevOther(int order, double ripple, const Mapping& map, const Sections& out) {
  const double e = std::pow(10.0, 0.1 * ripple);
  const ChebyshevShape s = ChebyshevEllipse(std::sqrt(e - 1.0), order);
  const int odd = order % 2;
  if (odd) MapSection(FirstOrder(s.sh), map, out.q, out.A(0), out.B(0));
  PoleAngles angles(order);
  for (int k = 0; k < order / 2; ++k) {
    const double theta = angles.Next();
    const double re = s.sh * std::cos(theta);
    const double im = s.ch * std::sin(theta);
    const double mag2 = re * re + im * im;
    const double gain = (!odd && k == 0) ? mag2 / std::sqrt(e) : mag2;
    MapSection({2, {gain, 0.0, 0.0}, {mag2, -2.0 * re, 1.0}}, map, out.q, out.A(odd + k),
               out.B(odd + k));
  }
}

// ---------------------------------------------------------------------------
// Inverse Chebyshev: reciprocal Chebyshev poles, zeros on the imaginary axis at
// 1/sin(i pi / (2 order)).

void InverseChebyshevLowpass(int order, double om, double atten, const Sections& out) {
  const double d = 1.0 / std::sqrt(std::pow(10.0, 0.1 * atten) - 1.0);
  const ChebyshevShape s = ChebyshevEllipse(d, order);
  const int odd = order % 2;
  if (odd) {
    const double o = om / s.sh;
    double* a = out.A(0);
    double* b = out.B(0);
    a[0] = -(1.0 - o) / (o + 1.0);
    a[1] = 0.0;
    b[0] = b[1] = o / (o + 1.0);
    b[2] = 0.0;
  }
  PoleAngles angles(order);
  const double om2 = om * om;
  for (int k = 0, i = 2 - (order % 2 == 0); i <= order - 1; ++k, i += 2) {
    const double sz = std::sin(i * kPi / (2.0 * order));
    const double z = om2 / (sz * sz);
    const double theta = angles.Next();
    const double pc = s.sh * std::cos(theta);
    const double ps = s.ch * std::sin(theta);
    const double t = pc * pc + ps * ps;
    const double u = om2 / t;
    const double v = u / z;
    const double f = -2.0 * om * pc / t;
    const double w = u + f + 1.0;
    double* a = out.A(odd + k);
    double* b = out.B(odd + k);
    b[0] = b[2] = (z + 1.0) * v / w;
    b[1] = -2.0 * v * (1.0 - z) / w;
    a[0] = -2.0 * (1.0 - u) / w;
    a[1] = (u + 1.0 - f) / w;
  }
}

void InverseChebyshevOther(int order, double atten, const Mapping& map, const Sections& out) {
  const double d = 1.0 / std::sqrt(std::pow(10.0, 0.1 * atten) - 1.0);
  const ChebyshevShape s = ChebyshevEllipse(d, order);
  const int odd = order % 2;
  if (odd) MapSection(FirstOrder(1.0 / s.sh), map, out.q, out.A(0), out.B(0));
  PoleAngles angles(order);
  for (int k = 0, i = 2 - (order % 2 == 0); i <= order - 1; ++k, i += 2) {
    const double sz = std::sin(i * kPi / (2.0 * order));
    const double z = 1.0 / (sz * sz);
    const double theta = angles.Next();
    const double pc = s.sh * std::cos(theta);
    const double ps = s.ch * std::sin(theta);
    const double t = pc * pc + ps * ps;
    const double u = 1.0 / t;
    const double v = u / z;
    MapSection({2, {v * z, 0.0, v}, {u, -2.0 * pc / t, 1.0}}, map, out.q, out.A(odd + k),
               out.B(odd + k));
  }
}

// ---------------------------------------------------------------------------
// Elliptic.

struct EllipticParams {
  double eps;
  double k;   // selectivity: pass edge / stop edge
  double kc;  // its complement
  double K;   // K(k)
  Jacobi v0;  // sn, cn, dn of the pole offset for the complementary modulus
};

EllipticParams EllipticSetup(double ripple, double atten, int order) {
  EllipticParams e;
  e.eps = std::sqrt(std::pow(10.0, 0.1 * ripple) - 1.0);
  const double epsStop = std::sqrt(std::pow(10.0, 0.1 * atten) - 1.0);
  const double k1 = e.eps / epsStop;
  const double k1c = std::sqrt(1.0 - k1 * k1);
  const double K1 = cei(k1c);
  const double K1c = cei(k1);
  e.k = fk(K1c / (K1 * order));
  e.kc = std::sqrt(1.0 - e.k * e.k);
  e.K = cei(e.kc);
  const double u0 = arcsc(1.0 / e.eps, k1) * (e.K / order) / K1;
  e.v0 = elp(u0, e.k);
  return e;
}

// Pole (-sigma +- j omega) and zero (+- j zero) of the pair with index i.
struct EllipticPair {
  double sigma;
  double omega;
  double zero;
};

EllipticPair EllipticPairAt(const EllipticParams& e, int i, int order) {
  const Jacobi j = elp(i * e.K / order, e.kc);
  const double s0 = e.v0.sn;
  const double r = 1.0 - s0 * s0 * j.dn * j.dn;
  return {j.cn * j.dn * s0 * e.v0.cn / r, j.sn * e.v0.dn / r, 1.0 / (e.k * j.sn)};
}

double EllipticRealPole(const EllipticParams& e) {
  const double s0 = e.v0.sn;
  return s0 * e.v0.cn / (1.0 - s0 * s0);
}

void EllipticLowpass(int order, double om, double ripple, double atten, const Sections& out) {
  const EllipticParams e = EllipticSetup(ripple, atten, order);
  const int odd = order % 2;
  double gain = 1.0;
  if (odd) {
    const double l = EllipticRealPole(e) * om;
    double* a = out.A(0);
    double* b = out.B(0);
    a[0] = -(1.0 - l) / (l + 1.0);
    a[1] = 0.0;
    b[0] = b[1] = l / (l + 1.0);
    b[2] = 0.0;
  } else {
    gain = 1.0 / std::sqrt(e.eps * e.eps + 1.0);
  }
  const double om2 = om * om;
  for (int k = 0, i = 2 - (order % 2 == 0); i <= order - 1; ++k, i += 2) {
    const EllipticPair p = EllipticPairAt(e, i, order);
    const double l = om2 * p.zero * p.zero;
    const double aa = 2.0 * p.sigma * om;
    const double u = om2 * (p.sigma * p.sigma + p.omega * p.omega);
    const double bb = gain * u / l;
    const double den = u + aa + 1.0;
    double* a = out.A(odd + k);
    double* b = out.B(odd + k);
    b[0] = b[2] = (l + 1.0) * bb / den;
    b[1] = -2.0 * bb * (1.0 - l) / den;
    a[0] = -2.0 * (1.0 - u) / den;
    a[1] = (1.0 - aa + u) / den;
    gain = 1.0;
  }
}

void EllipticOther(int order, double ripple, double atten, const Mapping& map,
                   const Sections& out) {
  const EllipticParams e = EllipticSetup(ripple, atten, order);
  const int odd = order % 2;
  double gain = odd ? 1.0 : 1.0 / std::sqrt(e.eps * e.eps + 1.0);
  if (odd) MapSection(FirstOrder(EllipticRealPole(e)), map, out.q, out.A(0), out.B(0));
  for (int k = 0, i = 2 - (order % 2 == 0); i <= order - 1; ++k, i += 2) {
    const EllipticPair p = EllipticPairAt(e, i, order);
    const double z2 = p.zero * p.zero;
    const double mag2 = p.sigma * p.sigma + p.omega * p.omega;
    const double g = gain * mag2 / z2;
    MapSection({2, {g * z2, 0.0, g}, {mag2, 2.0 * p.sigma, 1.0}}, map, out.q, out.A(odd + k),
               out.B(odd + k));
    gain = 1.0;
  }
}

// ---------------------------------------------------------------------------
// Common frame of the four design routines.

enum class Family { Butterworth, Chebyshev, InverseChebyshev, Elliptic };

struct DesignArgs {
  double fs;
  double fl;
  double fh;
  double ripple;
  double atten;
};

// NaN and infinite values fail the checks they belong to.
bool Positive(double v) { return std::isfinite(v) && v > 0.0; }

int CheckArguments(Family family, DesignArgs& d, const IIRFilterRecord& f) {
  if (f.filterOrder < 1) return ErrOrderNotPositive;
  if (f.filterType == IIR_LOWPASS || f.filterType == IIR_HIGHPASS) d.fh = (d.fs / 2.0 + d.fl) / 2.0;
  if (!Positive(d.fl)) return ErrBadCutoff;
  if (!Positive(d.fh) || !(d.fl < d.fh) || !Positive(d.fs)) return ErrBadCutoff;
  if (family == Family::InverseChebyshev && !Positive(d.atten)) return ErrAttenNotPositive;
  if (d.fs / 2.0 < d.fh || d.fs / 2.0 < d.fl) return ErrCutoffAboveNyquist;
  if (family == Family::Chebyshev && !Positive(d.ripple)) return ErrRippleNotPositive;
  if (family == Family::Elliptic) {
    if (!Positive(d.ripple)) return ErrRippleNotPositive;
    if (!Positive(d.atten)) return ErrAttenNotPositive;
    if (!(d.ripple < d.atten)) return ErrRippleNotBelowAtten;
  }
  if (f.filterType < IIR_LOWPASS || f.filterType > IIR_BANDSTOP || !f.aCoefs || !f.bCoefs)
    return ErrFilterRecordMismatch;
  const long long stages = StageCount(f.filterOrder);
  const int q = SectionOrder(f.filterType);
  if (f.aCount < q * stages || f.bCount < (q + 1) * stages) return ErrFilterRecordMismatch;
  return 0;
}

void Compute(Family family, const DesignArgs& d, int order, int type, const Sections& out) {
  const double omLow = std::tan(kPi * d.fl / d.fs);
  const double omHigh = std::tan(kPi * d.fh / d.fs);
  const Mapping map{type, omLow, omHigh * omLow, omHigh - omLow};
  switch (family) {
    case Family::Butterworth:
      if (type == IIR_LOWPASS)
        ButterworthLowpass(order, omLow, out);
      else if (type == IIR_HIGHPASS)
        ButterworthHighpass(order, omLow, out);
      else
        ButterworthBand(order, type == IIR_BANDPASS, map.p, map.w, out);
      break;
    case Family::Chebyshev:
      if (type == IIR_LOWPASS)
        ChebyshevLowpass(order, omLow, d.ripple, out);
      else
        ChebyshevOther(order, d.ripple, map, out);
      break;
    case Family::InverseChebyshev:
      if (type == IIR_LOWPASS)
        InverseChebyshevLowpass(order, omLow, d.atten, out);
      else
        InverseChebyshevOther(order, d.atten, map, out);
      break;
    case Family::Elliptic:
      if (type == IIR_LOWPASS)
        EllipticLowpass(order, omLow, d.ripple, d.atten, out);
      else
        EllipticOther(order, d.ripple, d.atten, map, out);
      break;
  }
}

// Poles of 1 + a1 z^-1 + ... + aq z^-q strictly inside the unit circle, by
// the Schur-Cohn step-down recursion (every reflection coefficient below 1).
bool Stable(const double* a, int q) {
  double c[4];
  for (int i = 0; i < q; ++i) c[i] = a[i];
  for (int m = q; m >= 1; --m) {
    const double k = c[m - 1];
    if (!(std::fabs(k) < 1.0)) return false;
    const double scale = 1.0 / (1.0 - k * k);
    double next[4];
    for (int i = 0; i < m - 1; ++i) next[i] = (c[i] - k * c[m - 2 - i]) * scale;
    for (int i = 0; i < m - 1; ++i) c[i] = next[i];
  }
  return true;
}

// A design the arithmetic cannot carry is refused rather than stored. Extreme
// ripple or attenuation values overflow it. A cut-off too close to DC, or a
// band edge at fs/2, puts poles on the unit circle. An elliptic filter whose
// transition band is narrower than the precision of its selectivity (high
// order with the ripple close to the attenuation) comes out unstable.
int UnusableStatus(Family family, bool finite, bool edgeAtNyquist) {
  if (!finite) {
    if (family == Family::Chebyshev) return ErrRippleNotPositive;
    if (family != Family::Butterworth) return ErrAttenNotPositive;
  }
  if (family == Family::Elliptic && finite && !edgeAtNyquist) return ErrRippleNotBelowAtten;
  return ErrBadCutoff;
}

int Design(Family family, DesignArgs d, IIRFilterPtr f) {
  if (!f) return ErrFilterRecordMismatch;
  if (const int status = CheckArguments(family, d, *f)) return status;

  const int q = SectionOrder(f->filterType);
  const long long stages = StageCount(f->filterOrder);
  const long long na = q * stages;
  const long long nb = (q + 1) * stages;
  auto* scratch = static_cast<double*>(std::calloc(static_cast<size_t>(na + nb), sizeof(double)));
  if (!scratch) return ErrNoMemory;
  const Sections out{q, scratch, scratch + na};
  Compute(family, d, f->filterOrder, f->filterType, out);

  bool finite = true;
  for (long long i = 0; i < na + nb; ++i) finite = finite && std::isfinite(scratch[i]);
  bool stable = finite;
  for (long long s = 0; s < stages && stable; ++s) stable = Stable(out.A(s), q);
  if (!stable) {
    std::free(scratch);
    const bool band = f->filterType == IIR_BANDPASS || f->filterType == IIR_BANDSTOP;
    return UnusableStatus(family, finite, band && d.fh >= d.fs / 2.0);
  }
  std::memcpy(f->aCoefs, out.a, static_cast<size_t>(na) * sizeof(double));
  std::memcpy(f->bCoefs, out.b, static_cast<size_t>(nb) * sizeof(double));
  std::free(scratch);
  return 0;
}

// ---------------------------------------------------------------------------
// Filtering, direct form II per section.

void FilterBiquads(const double* x, int n, long long stages, const double* ac, const double* bc,
                   double* st, double* y) {
  for (int i = 0; i < n; ++i) {
    double v = x[i];
    for (long long s = 0; s < stages; ++s) {
      const double* a = ac + 2 * s;
      const double* b = bc + 3 * s;
      double* z = st + 2 * s;
      const double w = v - a[0] * z[0] - a[1] * z[1];
      v = b[0] * w + b[1] * z[0] + b[2] * z[1];
      z[1] = z[0];
      z[0] = w;
    }
    y[i] = v;
  }
}

void FilterGeneral(const double* x, int n, long long stages, int q, const double* ac,
                   const double* bc, double* st, double* y) {
  for (int i = 0; i < n; ++i) {
    double v = x[i];
    for (long long s = 0; s < stages; ++s) {
      const double* a = ac + q * s;
      const double* b = bc + (q + 1) * s;
      double* z = st + q * s;
      double w = v;
      for (int k = 0; k < q; ++k) w -= a[k] * z[k];
      double out = b[0] * w;
      for (int k = 0; k < q; ++k) out += b[k + 1] * z[k];
      for (int k = q - 1; k > 0; --k) z[k] = z[k - 1];
      z[0] = w;
      v = out;
    }
    y[i] = v;
  }
}

}  // namespace

IIRFilterPtr AllocIIRFilterPtr(int type, int order) {
  if (type < IIR_LOWPASS || type > IIR_BANDSTOP || order < 1) return nullptr;
  const int q = SectionOrder(type);
  const long long stages = StageCount(order);
  const long long na = q * stages;
  const long long nb = (q + 1) * stages;
  if (nb > 0x7fffffffLL) return nullptr;
  // The record and its arrays live in one block; calloc zeroes the state.
  const size_t bytes = sizeof(IIRFilterRecord) + static_cast<size_t>(2 * na + nb) * sizeof(double);
  void* block = std::calloc(1, bytes);
  if (!block) return nullptr;
  auto* f = static_cast<IIRFilterRecord*>(block);
  auto* arrays = reinterpret_cast<double*>(static_cast<char*>(block) + sizeof(IIRFilterRecord));
  f->filterType = type;
  f->filterOrder = order;
  f->resetPending = 0;
  f->aCount = static_cast<int>(na);
  f->aCoefs = arrays;
  f->bCount = static_cast<int>(nb);
  f->bCoefs = arrays + na;
  f->stateCount = static_cast<int>(na);
  f->stateValues = arrays + na + nb;
  return f;
}

void FreeIIRFilterPtr(IIRFilterPtr filter) { std::free(filter); }

int ResetIIRFilter(IIRFilterPtr filter) {
  if (!filter) return ErrFilterRecordMismatch;
  filter->resetPending = 1;
  return 0;
}

int Bw_CascadeCoef(double fs, double fl, double fh, IIRFilterPtr filter) {
  return Design(Family::Butterworth, {fs, fl, fh, 0.0, 0.0}, filter);
}

int Ch_CascadeCoef(double fs, double fl, double fh, double ripple, IIRFilterPtr filter) {
  return Design(Family::Chebyshev, {fs, fl, fh, ripple, 0.0}, filter);
}

int InvCh_CascadeCoef(double fs, double fl, double fh, double atten, IIRFilterPtr filter) {
  return Design(Family::InverseChebyshev, {fs, fl, fh, 0.0, atten}, filter);
}

int Elp_CascadeCoef(double fs, double fl, double fh, double ripple, double atten,
                    IIRFilterPtr filter) {
  return Design(Family::Elliptic, {fs, fl, fh, ripple, atten}, filter);
}

int IIRCascadeFiltering(const double x[], int n, IIRFilterPtr filter, double y[]) {
  if (!filter || filter->filterOrder < 1 || !filter->aCoefs || !filter->bCoefs ||
      !filter->stateValues)
    return ErrFilterRecordMismatch;
  const long long stages = StageCount(filter->filterOrder);
  const long long q = filter->aCount / stages;
  if ((q != 2 && q != 4) || stages * q != filter->aCount || filter->bCount != stages * (q + 1) ||
      filter->aCount != filter->stateCount)
    return ErrFilterRecordMismatch;

  if (filter->resetPending) {
    std::memset(filter->stateValues, 0, static_cast<size_t>(filter->stateCount) * sizeof(double));
    filter->resetPending = 0;
  }
  if (n <= 0 || !x || !y) return ErrCountNotPositive;

  if (q == 2)
    FilterBiquads(x, n, stages, filter->aCoefs, filter->bCoefs, filter->stateValues, y);
  else
    FilterGeneral(x, n, stages, 4, filter->aCoefs, filter->bCoefs, filter->stateValues, y);
  return 0;
}
