// Self-sorting complex transform of a power of two, and the step that turns a half-length
// complex transform into the spectrum of a real sequence. See dsp/fft_internal.h.
//
// The passes are Stockham's decimation in frequency: pass i reads sub-transforms of length
// n_i = n / s_i interleaved with stride s_i and writes them, R_i times shorter, with stride
// s_i * R_i, so no digit reversal is needed and every pass reads and writes whole vectors:
//   y[q + s (R p + k)] = W_{n_i}^{p k} * sum_j x[q + s (p + j m)] W_R^{j k},  m = n_i / R.
// The first pass (s = 1) runs four neighbouring p at a time and transposes the results into
// place; every later pass has s >= 4 and runs four neighbouring q at a time with the twiddle of
// p shared. The last pass (m = 1) reads and writes the same addresses and may run in place.
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>

#include "dsp/fft_internal.h"
#include "dsp/fft_kernels.h"

namespace dspfft {
namespace {

constexpr double kTwoPi = 6.283185307179586;

constexpr int kMinLog2 = 4;       // 16 points: one pass of 4 four-point vectors, then one more
constexpr int kMaxPlanLog2 = 20;  // longer transforms build their tables per call
constexpr int kMaxPasses = 12;

struct StockhamPlan {
  int passes = 0;
  int radix[kMaxPasses] = {};
  int span[kMaxPasses] = {};   // s of the pass
  int count[kMaxPasses] = {};  // m of the pass: n_i / R
  // Twiddles W_{n_i}^{p k}, k = 1 ... R-1, of every pass but the last (m = 1). First pass:
  // per quad of p, for each k four real parts then four imaginary parts. Later passes: per p,
  // (re, im) for each k.
  const double* tw[kMaxPasses] = {};
  std::unique_ptr<double[]> store;
};

// Radices of 2^log2n, first pass first. Up to 2^10 (data well inside the first-level cache) as many
// eights as fit, then fours; beyond that fours, with one eight first when log2n is odd. Measured:
// at larger sizes a radix-8 butterfly of four-lane vectors, which does not fit the sixteen
// vector registers, costs more than the extra pass over the data. Either way the first radix is
// at least 4, so every later pass has a span of at least 4.
int Radices(int log2n, int radix[]) {
  int count = 0;
  if (log2n <= 10) {
    int fours = log2n % 3 == 0 ? 0 : log2n % 3 == 2 ? 1 : 2;
    for (int eights = (log2n - 2 * fours) / 3; eights > 0; --eights) radix[count++] = 8;
    while (fours-- > 0) radix[count++] = 4;
    return count;
  }
  if (log2n % 2 == 1) radix[count++] = 8;
  for (int bits = log2n % 2 == 1 ? 3 : 0; bits < log2n; bits += 2) radix[count++] = 4;
  return count;
}

StockhamPlan* BuildPlan(int log2n) {
  std::unique_ptr<StockhamPlan> plan(new (std::nothrow) StockhamPlan);
  if (!plan) return nullptr;
  const int n = 1 << log2n;
  plan->passes = Radices(log2n, plan->radix);
  std::size_t total = 0;
  for (int i = 0, s = 1; i < plan->passes; ++i) {
    plan->span[i] = s;
    plan->count[i] = n / s / plan->radix[i];
    if (plan->count[i] > 1)
      total += 2 * static_cast<std::size_t>(plan->radix[i] - 1) * plan->count[i];
    s *= plan->radix[i];
  }
  plan->store.reset(AllocDoubles(total + 1));
  if (!plan->store) return nullptr;
  double* next = plan->store.get();
  for (int i = 0; i < plan->passes; ++i) {
    const int r = plan->radix[i], m = plan->count[i];
    if (m == 1) continue;
    plan->tw[i] = next;
    const double omega = kTwoPi / (static_cast<double>(m) * r);
    for (int p = 0; p < m; ++p) {
      for (int k = 1; k < r; ++k) {
        const double a = omega * (static_cast<double>(p) * k);  // p k < n_i
        const double c = std::cos(a), s = -std::sin(a);
        if (i == 0) {
          double* t = next + (p / 4) * 8 * (r - 1) + 8 * (k - 1) + p % 4;
          t[0] = c;
          t[4] = s;
        } else {
          double* t = next + 2 * (static_cast<std::ptrdiff_t>(p) * (r - 1) + (k - 1));
          t[0] = c;
          t[1] = s;
        }
      }
    }
    next += 2 * static_cast<std::size_t>(r - 1) * m;
  }
  return plan.release();
}

std::mutex planLock;
std::array<std::atomic<StockhamPlan*>, kMaxPlanLog2 + 1> plans{};

void FreePlans() {
  for (auto& slot : plans) delete slot.exchange(nullptr);
}

const StockhamPlan* GetPlan(int log2n, std::unique_ptr<StockhamPlan>& own) {
  if (log2n > kMaxPlanLog2) {
    own.reset(BuildPlan(log2n));
    return own.get();
  }
  StockhamPlan* plan = plans[log2n].load(std::memory_order_acquire);
  if (plan != nullptr) return plan;
  std::lock_guard<std::mutex> guard(planLock);
  plan = plans[log2n].load(std::memory_order_relaxed);
  if (plan == nullptr) {
    static const bool registered = (std::atexit(FreePlans), true);
    (void)registered;
    plan = BuildPlan(log2n);
    plans[log2n].store(plan, std::memory_order_release);
  }
  return plan;
}

template <int R>
__attribute__((always_inline)) inline void Kernel(V4 re[], V4 im[]) {
  if constexpr (R == 4)
    Kernel4(re, im);
  else
    Kernel8(re, im);
}

__attribute__((always_inline)) inline void Splat(V4& v, double d) { v = V4{d, d, d, d}; }

// Rows of the 4 x 4 matrix whose columns are a, b, c, d.
__attribute__((always_inline)) inline void Transpose4(V4& a, V4& b, V4& c, V4& d) {
#if defined(__clang__)
  const V4 t0 = __builtin_shufflevector(a, b, 0, 4, 2, 6);
  const V4 t1 = __builtin_shufflevector(a, b, 1, 5, 3, 7);
  const V4 t2 = __builtin_shufflevector(c, d, 0, 4, 2, 6);
  const V4 t3 = __builtin_shufflevector(c, d, 1, 5, 3, 7);
  a = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
  b = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
  c = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
  d = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
#else
  const V4 t0 = __builtin_shuffle(a, b, V4i{0, 4, 2, 6});
  const V4 t1 = __builtin_shuffle(a, b, V4i{1, 5, 3, 7});
  const V4 t2 = __builtin_shuffle(c, d, V4i{0, 4, 2, 6});
  const V4 t3 = __builtin_shuffle(c, d, V4i{1, 5, 3, 7});
  a = __builtin_shuffle(t0, t2, V4i{0, 1, 4, 5});
  b = __builtin_shuffle(t1, t3, V4i{0, 1, 4, 5});
  c = __builtin_shuffle(t0, t2, V4i{2, 3, 6, 7});
  d = __builtin_shuffle(t1, t3, V4i{2, 3, 6, 7});
#endif
}

// z[k] *= (wr, wi), complex.
__attribute__((always_inline)) inline void Rotate(V4& zr, V4& zi, const V4& wr, const V4& wi) {
  const V4 r = zr * wr - zi * wi;
  zi = zr * wi + zi * wr;
  zr = r;
}

// Four complex values stored as interleaved (re, im) pairs at p, split into two vectors.
__attribute__((always_inline)) inline void LoadPairs(V4& re, V4& im, const double* p) {
  V4 a, b;
  LoadV(a, p);
  LoadV(b, p + 4);
#if defined(__clang__)
  re = __builtin_shufflevector(a, b, 0, 2, 4, 6);
  im = __builtin_shufflevector(a, b, 1, 3, 5, 7);
#else
  re = __builtin_shuffle(a, b, V4i{0, 2, 4, 6});
  im = __builtin_shuffle(a, b, V4i{1, 3, 5, 7});
#endif
}

// The first pass (s = 1), four neighbouring p at a time. Pairs: the input is one array of
// interleaved (re, im) values at xr (the pairs of a real sequence), xi unused.
template <int R, bool Pairs>
__attribute__((always_inline)) inline void FirstPass(const double* xr, const double* xi, double* yr,
                                                     double* yi, int m, const double* tw) {
  for (int p = 0; p < m; p += 4, tw += 8 * (R - 1)) {
    V4 zr[R], zi[R];
    for (int j = 0; j < R; ++j) {
      if constexpr (Pairs) {
        LoadPairs(zr[j], zi[j], xr + 2 * (p + j * m));
      } else {
        LoadV(zr[j], xr + p + j * m);
        LoadV(zi[j], xi + p + j * m);
      }
    }
    Kernel<R>(zr, zi);
    for (int k = 1; k < R; ++k) {
      V4 wr, wi;
      LoadV(wr, tw + 8 * (k - 1));
      LoadV(wi, tw + 8 * (k - 1) + 4);
      Rotate(zr[k], zi[k], wr, wi);
    }
    // Lane l of z[k] belongs at y[R (p + l) + k].
    for (int k0 = 0; k0 < R; k0 += 4) {
      Transpose4(zr[k0], zr[k0 + 1], zr[k0 + 2], zr[k0 + 3]);
      Transpose4(zi[k0], zi[k0 + 1], zi[k0 + 2], zi[k0 + 3]);
      for (int l = 0; l < 4; ++l) {
        StoreV(yr + R * (p + l) + k0, zr[k0 + l]);
        StoreV(yi + R * (p + l) + k0, zi[k0 + l]);
      }
    }
  }
}

// A later pass (s >= 4), four neighbouring q at a time; tw == nullptr for the last pass.
template <int R>
__attribute__((always_inline)) inline void LaterPass(const double* xr, const double* xi, double* yr,
                                                     double* yi, int s, int m, const double* tw) {
  const std::ptrdiff_t sm = static_cast<std::ptrdiff_t>(s) * m;
  for (int p = 0; p < m; ++p) {
    V4 wr[R], wi[R];
    const bool rotate = tw != nullptr && p > 0;
    if (rotate) {
      const double* t = tw + 2 * static_cast<std::ptrdiff_t>(p) * (R - 1);
      for (int k = 1; k < R; ++k) {
        Splat(wr[k], t[2 * (k - 1)]);
        Splat(wi[k], t[2 * (k - 1) + 1]);
      }
    }
    const double* ar = xr + static_cast<std::ptrdiff_t>(s) * p;
    const double* ai = xi + static_cast<std::ptrdiff_t>(s) * p;
    double* br = yr + static_cast<std::ptrdiff_t>(s) * R * p;
    double* bi = yi + static_cast<std::ptrdiff_t>(s) * R * p;
    for (int q = 0; q < s; q += 4) {
      V4 zr[R], zi[R];
      for (int j = 0; j < R; ++j) {
        LoadV(zr[j], ar + q + j * sm);
        LoadV(zi[j], ai + q + j * sm);
      }
      Kernel<R>(zr, zi);
      if (rotate)
        for (int k = 1; k < R; ++k) Rotate(zr[k], zi[k], wr[k], wi[k]);
      for (int k = 0; k < R; ++k) {
        StoreV(br + q + k * s, zr[k]);
        StoreV(bi + q + k * s, zi[k]);
      }
    }
  }
}

// The x86-64-v4 clone has 32 vector registers, enough for a radix-8 butterfly with its
// twiddles: measured 10-15 % faster than the AVX2 clone at 1024 and 2048 points.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void RunPasses(
    const StockhamPlan& plan, const double* inRe, const double* inIm, double* outRe, double* outIm,
    double* wRe, double* wIm, bool pairs) {
  // The passes before the last alternate between the output and the work arrays, starting
  // with whichever of them the input is not; the last pass writes the output, in place when
  // its input is already there.
  const double *sr = inRe, *si = inIm;
  bool toWork = inRe != wRe;
  for (int i = 0; i < plan.passes; ++i) {
    const bool last = i == plan.passes - 1;
    double* dr = last || !toWork ? outRe : wRe;
    double* di = last || !toWork ? outIm : wIm;
    toWork = !toWork;
    const int r = plan.radix[i], s = plan.span[i], m = plan.count[i];
    if (i == 0) {
      if (pairs) {
        if (r == 8)
          FirstPass<8, true>(sr, si, dr, di, m, plan.tw[i]);
        else
          FirstPass<4, true>(sr, si, dr, di, m, plan.tw[i]);
      } else {
        if (r == 8)
          FirstPass<8, false>(sr, si, dr, di, m, plan.tw[i]);
        else
          FirstPass<4, false>(sr, si, dr, di, m, plan.tw[i]);
      }
    } else {
      if (r == 8)
        LaterPass<8>(sr, si, dr, di, s, m, plan.tw[i]);
      else
        LaterPass<4>(sr, si, dr, di, s, m, plan.tw[i]);
    }
    sr = dr;
    si = di;
  }
}

// ---- real transform from a half-length complex one ----------------------------------------

// W_n^k = (cos, -sin)(2 pi k / n) for k = 0 ... n/4, as a row of cosines then a row of sines,
// kept for a few n.
struct HalfTable {
  int n = 0;
  std::unique_ptr<double[]> cs;  // QuarterRow(n) cosines, then as many sines
};
constexpr int kHalfSlots = 16;
std::mutex halfLock;
std::array<HalfTable*, kHalfSlots> halfTables{};

void FreeHalfTables() {
  std::lock_guard<std::mutex> guard(halfLock);
  for (auto& slot : halfTables) {
    delete slot;
    slot = nullptr;
  }
}

// Entries k = 0 ... n/4 (k = n/4 is the last pair's when n/2 is odd), rounded up to whole
// vectors.
int QuarterRow(int n) { return (n / 4 + 1 + 3) / 4 * 4; }

HalfTable* BuildHalfTable(int n) {
  std::unique_ptr<HalfTable> t(new (std::nothrow) HalfTable);
  if (!t) return nullptr;
  const int row = QuarterRow(n);
  t->n = n;
  t->cs.reset(AllocDoubles(2 * static_cast<std::size_t>(row) + 1));
  if (!t->cs) return nullptr;
  for (int k = 0; k < row; ++k) {
    const double a = kTwoPi * k / n;
    t->cs[k] = std::cos(a);
    t->cs[row + k] = std::sin(a);
  }
  return t.release();
}

// The table of n, or nullptr; `own` keeps one that could not be cached.
const HalfTable* GetHalfTable(int n, std::unique_ptr<HalfTable>& own) {
  {
    std::lock_guard<std::mutex> guard(halfLock);
    for (HalfTable* t : halfTables)
      if (t != nullptr && t->n == n) return t;
  }
  own.reset(BuildHalfTable(n));
  if (!own) return nullptr;
  std::lock_guard<std::mutex> guard(halfLock);
  static const bool registered = (std::atexit(FreeHalfTables), true);
  (void)registered;
  for (HalfTable* t : halfTables)
    if (t != nullptr && t->n == n) return t;
  for (auto& slot : halfTables) {
    if (slot == nullptr) {
      slot = own.release();
      return slot;
    }
  }
  return own.get();
}

// One pair of bins k and j = h - k (T = double, or V4 of four k with the j reversed):
// Z = (a, b) at k, (c, d) at j; E = (Z_k + conj Z_j)/2, O = -i (Z_k - conj Z_j)/2,
// T = W^k O; X[k] = E + T, X[j] = conj(E - T).
template <typename T>
__attribute__((always_inline)) inline void SplitPair(const T& a, const T& b, const T& c, const T& d,
                                                     const T& wc, const T& ws, T& xkr, T& xki,
                                                     T& xjr, T& xji) {
  const T er = 0.5 * (a + c), ei = 0.5 * (b - d);
  const T orr = 0.5 * (b + d), oi = 0.5 * (c - a);
  // W^k = (wc, -ws).
  const T tr = orr * wc + oi * ws, ti = oi * wc - orr * ws;
  xkr = er + tr;
  xki = ei + ti;
  xjr = er - tr;
  xji = ti - ei;
}

// Bins k and j = n/2 - k of the spectrum, and with `full` their mirrored conjugates above n/2.
__attribute__((always_inline)) inline void StorePair(double x[], double y[], int n, int k, int j,
                                                     double xkr, double xki, double xjr, double xji,
                                                     bool full) {
  x[k] = xkr;
  y[k] = xki;
  x[j] = xjr;
  y[j] = xji;
  if (full) {
    x[n - k] = xkr;
    y[n - k] = -xki;
    x[n - j] = xjr;
    y[n - j] = -xji;
  }
}

__attribute__((target_clones("avx2", "default"))) void SplitSpectrum(double x[], double y[], int n,
                                                                     const double* cs, int row,
                                                                     bool full) {
  const int h = n / 2, q = h / 2;
  const double* ws = cs + row;
  {
    const double a = x[0], b = x[h];
    x[0] = a + b;
    y[0] = 0.0;
    x[h] = a - b;
    y[h] = 0.0;
  }
  if (h % 2 == 0) {  // k = n/4 pairs with itself: X = conj Z
    const double a = x[q], b = x[h + q];
    x[q] = a;
    y[q] = -b;
    if (full) {
      x[n - q] = a;
      y[n - q] = b;
    }
  }
  int k = 1;
  const int pairs = (h + 1) / 2;  // k = 1 ... pairs - 1, j = h - k > k
  for (; k + 3 < pairs; k += 4) {
    const int j = h - k - 3;  // lowest of the four mirrored bins
    V4 a, b, c, d, wc, wsv;
    LoadV(a, x + k);
    LoadV(b, x + h + k);
    LoadV(c, x + j);
    LoadV(d, x + h + j);
    Reverse4(c);
    Reverse4(d);
    LoadV(wc, cs + k);
    LoadV(wsv, ws + k);
    V4 xkr, xki, xjr, xji;
    SplitPair(a, b, c, d, wc, wsv, xkr, xki, xjr, xji);
    StoreV(x + k, xkr);
    StoreV(y + k, xki);
    Reverse4(xjr);
    Reverse4(xji);
    StoreV(x + j, xjr);
    StoreV(y + j, xji);
    if (full) {  // X[n - k] = conj X[k] at h + j ... ; X[n - j] = conj X[j] at h + k ...
      V4 mkr = xkr, mki = -xki;
      Reverse4(mkr);
      Reverse4(mki);
      StoreV(x + n - k - 3, mkr);
      StoreV(y + n - k - 3, mki);
      Reverse4(xjr);
      Reverse4(xji);
      StoreV(x + h + k, xjr);
      StoreV(y + h + k, -xji);
    }
  }
  for (; k < pairs; ++k) {
    const int j = h - k;
    const double a = x[k], b = x[h + k], c = x[j], d = x[h + j];
    double xkr, xki, xjr, xji;
    SplitPair(a, b, c, d, cs[k], ws[k], xkr, xki, xjr, xji);
    StorePair(x, y, n, k, j, xkr, xki, xjr, xji, full);
  }
}

// The plan for n (a power of two from 2^kMinLog2), then its passes; false when there is none.
bool RunPlanned(const double inRe[], const double inIm[], double outRe[], double outIm[],
                double wRe[], double wIm[], int n, bool pairs) {
  const int log2n = Log2(n);
  if (log2n < kMinLog2 || (1 << log2n) != n) return false;
  std::unique_ptr<StockhamPlan> own;
  const StockhamPlan* plan = GetPlan(log2n, own);
  if (plan == nullptr) return false;
  RunPasses(*plan, inRe, inIm, outRe, outIm, wRe, wIm, pairs);
  return true;
}

}  // namespace

bool StockhamFFT(const double inRe[], const double inIm[], double outRe[], double outIm[],
                 double wRe[], double wIm[], int n) {
  return RunPlanned(inRe, inIm, outRe, outIm, wRe, wIm, n, false);
}

bool StockhamPairsFFT(const double x[], double outRe[], double outIm[], double wRe[], double wIm[],
                      int n) {
  return RunPlanned(x, nullptr, outRe, outIm, wRe, wIm, n, true);
}

void RealFromHalf(double x[], double y[], int n, bool full) {
  std::unique_ptr<HalfTable> own;
  if (const HalfTable* t = GetHalfTable(n, own)) {
    SplitSpectrum(x, y, n, t->cs.get(), QuarterRow(n), full);
    return;
  }
  // No memory for the table: the same step with each twiddle computed where it is used.
  const int h = n / 2;
  for (int k = 0; k <= h / 2; ++k) {
    const int j = h - k;
    const double a = x[k], b = x[h + k], c = x[j % h], d = x[h + j % h];
    if (k == 0) {
      x[0] = a + b;
      y[0] = 0.0;
      x[h] = a - b;
      y[h] = 0.0;
      continue;
    }
    const double angle = kTwoPi * k / n;
    double xkr, xki, xjr, xji;
    SplitPair(a, b, c, d, std::cos(angle), std::sin(angle), xkr, xki, xjr, xji);
    StorePair(x, y, n, k, j, xkr, xki, xjr, xji, full);  // k = j = n/4: both give conj Z[k]
  }
}

}  // namespace dspfft
