// Data windows and ScaledWindow.
#include "dsp/windows.h"

#include <cmath>

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kPi = 3.141592653589793;

// Multiplies x[0] by `first` and every pair x[k], x[n-k] (k = 1 ... K, K = n/2 - 1 for even n,
// (n-1)/2 for odd n) by value(phi_k), the angle phi_k advancing by `step` through addition.
// For even n the middle sample keeps its value (window value 1).
template <typename Value>
int TwoSided(double x[], int n, double first, double step, Value value) {
  if (n <= 0) return ErrCountNotPositive;
  x[0] *= first;
  const int last = (n % 2 == 0) ? n / 2 - 1 : (n - 1) / 2;
  double phi = 0.0;
  for (int k = 1; k <= last; ++k) {
    phi += step;
    const double w = value(phi);
    x[k] *= w;
    x[n - k] *= w;
  }
  return 0;
}

// Three-term cosine window c0 - c1*c + c*(c2*c), c = cos(phi).
struct ThreeTerm {
  double c0, c1, c2;
  double operator()(double phi) const {
    const double c = std::cos(phi);
    return c0 - c1 * c + c * (c2 * c);
  }
};

constexpr double kFlatTop[5] = {0.215578948, 0.41663158, 0.277263158, 0.083578947, 0.006947368};
constexpr double kBlackmanHarris4[4] = {0.35875, 0.48829, 0.14128, 0.01168};
constexpr double kBlackmanHarris7[7] = {
    0.27105140069342415,  0.43329793923448606,   0.21812299954311062,   0.0659254463880309,
    0.010811742098372268, 0.0007765848252250934, 1.3887217350903198e-05};

}  // namespace

int HanWin(double x[], int n) {
  return TwoSided(x, n, 0.0, kPi / n, [](double phi) {
    const double s = std::sin(phi);
    return s * s;
  });
}

int HamWin(double x[], int n) {
  return TwoSided(x, n, 0.08, kTwoPi / n, [](double phi) { return 0.54 - 0.46 * std::cos(phi); });
}

// Sample 0 is the value 0.34 - 0.5 + 0.16 takes in double arithmetic (-2^-56), not 0.
int BkmanWin(double x[], int n) {
  return TwoSided(x, n, -1.3877787807814457e-17, kTwoPi / n,
                  ThreeTerm{0.33999999999999997, 0.5, 0.16});
}

int ExBkmanWin(double x[], int n) {
  return TwoSided(x, n, 0.006878761822871851, kTwoPi / n,
                  ThreeTerm{0.3497420464316423, 0.4965606190885641, 0.15369733447979364});
}

int BlkHarrisWin(double x[], int n) {
  return TwoSided(x, n, 0.004900000000000002, kTwoPi / n, ThreeTerm{0.34401, 0.49755, 0.15844});
}

int GenCosWin(double x[], int n, const double a[], int m) {
  if (n <= 0 || m < 1) return ErrCountNotPositive;
  double first = 0.0, middle = 0.0;
  for (int k = 0; k < m; ++k) {
    first += (k % 2 == 0) ? a[k] : -a[k];
    middle += a[k];
  }
  x[0] *= first;
  const double step = kTwoPi / n;
  double theta = 0.0;
  for (int k = 1; k < (n + 1) / 2; ++k) {
    theta += step;
    double w = a[0], angle = 0.0;
    for (int j = 1; j < m; ++j) {
      angle += theta;
      const double term = a[j] * std::cos(angle);
      w += (j % 2 == 0) ? term : -term;
    }
    x[k] *= w;
    x[n - k] *= w;
  }
  if (n % 2 == 0) x[n / 2] *= middle;
  return 0;
}

int FlatTopWin(double x[], int n) { return GenCosWin(x, n, kFlatTop, 5); }

int ScaledWindow(double x[], int n, int type, WindowConstants* out) {
  if (n < 0) return ErrCountNegative;
  // The window routines' own status is not needed: n = 0 simply applies nothing.
  WindowConstants c{1.0, 1.0};
  switch (static_cast<unsigned>(type)) {
    case kWindowHanning:
      HanWin(x, n);
      c = {1.5, 0.5};
      break;
    case kWindowHamming:
      HamWin(x, n);
      c = {1.36, 0.54};
      break;
    case kWindowBlackmanHarris3:
      BlkHarrisWin(x, n);
      c = {1.708538, 0.42323};
      break;
    case kWindowExactBlackman:
      ExBkmanWin(x, n);
      c = {1.693699, 0.42659071367};
      break;
    case kWindowBlackman:
      BkmanWin(x, n);
      c = {1.726757, 0.42};
      break;
    case kWindowFlatTop:
      // The figures of the five-term window actually applied: its mean is a[0], its noise
      // bandwidth (a0^2 + sum a_k^2 / 2) / a0^2. (2.965606 and 0.28106388 belong to the
      // three-term flat top and would leave amplitudes 23 % low.)
      FlatTopWin(x, n);
      c = {3.770246, 0.215578948};
      break;
    case kWindowBlackmanHarris4:
      GenCosWin(x, n, kBlackmanHarris4, 4);
      c = {2.004353, 0.35875};
      break;
    case kWindowBlackmanHarris7:
      GenCosWin(x, n, kBlackmanHarris7, 7);
      c = {2.631905, 0.27105140069342415};
      break;
    default:  // rectangular, and every unknown code
      break;
  }
  *out = c;
  const double s = 1.0 / c.coherentGain;
  for (int i = 0; i < n; ++i) x[i] *= s;
  return 0;
}

int MainLobeHalfWidth(int type) {
  // An m-term cosine sum has its first zeros at ±m bins.
  switch (static_cast<unsigned>(type)) {
    case kWindowHanning:
    case kWindowHamming: return 2;
    case kWindowBlackmanHarris3:
    case kWindowExactBlackman:
    case kWindowBlackman: return 3;
    case kWindowFlatTop: return 5;
    case kWindowBlackmanHarris4: return 4;
    case kWindowBlackmanHarris7: return 7;
    default: return 1;
  }
}
