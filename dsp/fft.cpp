// FFT engine: dispatch, mixed-radix stages, split-radix real transform, chirp-z path and the
// work-area pool. See dsp/fft.h for the interface and dsp/fft_internal.h for the pieces.
#include "dsp/fft.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "dsp/fft_internal.h"
#include "dsp/fft_kernels.h"

namespace dspfft {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kPi = 3.141592653589793;
constexpr double kSqrtHalf = 0.7071067811865476;

// ---- scratch allocation --------------------------------------------------------------------

std::atomic<int> allocBudget{-1};  // test hook: allocations left before failing; < 0 unlimited

using Scratch = std::unique_ptr<double[]>;

}  // namespace

double* AllocDoubles(std::size_t count) {
  int budget = allocBudget.load();
  while (budget >= 0) {
    if (budget == 0) return nullptr;
    if (allocBudget.compare_exchange_weak(budget, budget - 1)) break;
  }
  return new (std::nothrow) double[count];
}

namespace {

Scratch AllocScratch(std::size_t count) { return Scratch(AllocDoubles(count)); }

// Each thread keeps two reusable scratch blocks: allocating a transform's scratch afresh on
// every call maps and faults in new pages each time once the blocks are past the allocator's
// mapping threshold.
constexpr std::size_t kMaxReusedScratch = std::size_t{1} << 18;  // doubles per block (2 MB)
struct ThreadBlock {
  Scratch data;
  std::size_t capacity = 0;
  bool busy = false;
};
thread_local std::array<ThreadBlock, 2> threadBlocks;

// The imaginary part starts this many doubles past the end of the real part, so that the two
// arrays do not fall on the same cache sets at power-of-two lengths.
constexpr std::size_t kSkew = 24;

// Two arrays of n doubles (re, im) for the duration of one transform: one of the calling
// thread's blocks when one is free, else a fresh allocation. Falsy when there is no memory.
class ScratchPair {
 public:
  explicit ScratchPair(std::size_t n) {
    const std::size_t count = 2 * n + kSkew;
    if (count <= kMaxReusedScratch && allocBudget.load() < 0) {
      for (ThreadBlock& b : threadBlocks) {
        if (b.busy) continue;
        if (b.capacity < count) {
          b.data.reset(new (std::nothrow) double[count]);
          b.capacity = b.data ? count : 0;
        }
        if (b.data) {
          b.busy = true;
          block_ = &b;
          base_ = b.data.get();
        }
        break;
      }
    }
    if (base_ == nullptr) {
      owned_ = AllocScratch(count);
      base_ = owned_.get();
    }
    if (base_ != nullptr) {
      re = base_;
      im = base_ + n + kSkew;
    }
  }
  ~ScratchPair() {
    if (block_ != nullptr) block_->busy = false;
  }
  ScratchPair(const ScratchPair&) = delete;
  ScratchPair& operator=(const ScratchPair&) = delete;
  explicit operator bool() const { return base_ != nullptr; }

  double *re = nullptr, *im = nullptr;

 private:
  ThreadBlock* block_ = nullptr;
  double* base_ = nullptr;
  Scratch owned_;
};

// ---- plans of the real transform, cached per size ------------------------------------------

// What the split-radix real transform of one size n = 2^L needs besides the data: the
// bit-reversal permutation as an index table, and for every pass N2 = 16 ... n the four twiddle
// rows cos a, sin a, cos 3a, sin 3a (a = 2*pi*j/N2, j = 0 ... N2/8 - 1), each row contiguous so
// that neighbouring j can be loaded together. Direct cos/sin per entry is more accurate than the
// running recurrence and is paid once per size.
struct RealPlan {
  int* rev = nullptr;    // n indices: rev[i] is i with its log2 n bits reversed
  double* tw = nullptr;  // sum over the passes of N2/2 doubles (< n)
  // For n >= 256, one entry per row of 16 values: which butterflies of the passes N2 = 2, 4,
  // 8 and 16 start in that row (all of them stay inside one row). Bits 0-7: length-2 at
  // 2m; bits 8-11: N2 = 4 at 4m; bits 12-13: N2 = 8 at 8m; bit 14: N2 = 16.
  std::uint16_t* rowMask = nullptr;
  ~RealPlan() {
    delete[] rev;
    delete[] tw;
    delete[] rowMask;
  }
};

// Whether a butterfly block of pass N2 starts at index p: the block starts d, d + g, d + 2g, ...
// for d = 0, g = 2*N2, then d <- 2g - N2, g <- 4g while d < n (N2 = 2 gives the length-2 pass).
bool IsBlockStart(int p, int n2, int n) {
  for (std::int64_t d = 0, g = 2 * n2; d < n; d = 2 * g - n2, g *= 4) {
    if (p < d) return false;
    if ((p - d) % g == 0) return true;
  }
  return false;
}

constexpr int kLeafLog2 = 8;  // sizes from 2^8 on take the first passes row by row

// Offset of pass N2's rows in RealPlan::tw: the passes 16, 32, ..., N2/2 before it hold
// N2'/2 doubles each.
inline int PassOffset(int n2) { return (n2 - 16) / 2; }

RealPlan* BuildRealPlan(int n, int log2n) {
  auto* plan = new (std::nothrow) RealPlan;
  if (plan == nullptr) return nullptr;
  std::unique_ptr<RealPlan> owner(plan);
  plan->rev = new (std::nothrow) int[n];
  plan->tw = AllocDoubles(n > 16 ? static_cast<std::size_t>(n) : 16);
  if (plan->rev == nullptr || plan->tw == nullptr) return nullptr;
  if (log2n >= kLeafLog2) {
    plan->rowMask = new (std::nothrow) std::uint16_t[n / 16];
    if (plan->rowMask == nullptr) return nullptr;
    for (int row = 0; row < n / 16; ++row) {
      const int p = 16 * row;
      unsigned mask = 0;
      for (int m = 0; m < 8; ++m) mask |= unsigned{IsBlockStart(p + 2 * m, 2, n)} << m;
      for (int m = 0; m < 4; ++m) mask |= unsigned{IsBlockStart(p + 4 * m, 4, n)} << (8 + m);
      for (int m = 0; m < 2; ++m) mask |= unsigned{IsBlockStart(p + 8 * m, 8, n)} << (12 + m);
      mask |= unsigned{IsBlockStart(p, 16, n)} << 14;
      plan->rowMask[row] = static_cast<std::uint16_t>(mask);
    }
  }
  plan->rev[0] = 0;
  for (int i = 1; i < n; ++i)  // reverse(i) from reverse(i / 2), one bit shifted in on top
    plan->rev[i] = (plan->rev[i >> 1] >> 1) | ((i & 1) << (log2n - 1));
  for (int lg = 4; lg <= log2n; ++lg) {
    const int n2 = 1 << lg, n8 = n2 / 8;
    double* row = plan->tw + PassOffset(n2);
    for (int j = 0; j < n8; ++j) {
      const double a = kTwoPi * j / n2;
      row[j] = std::cos(a);
      row[n8 + j] = std::sin(a);
      row[2 * n8 + j] = std::cos(3.0 * a);
      row[3 * n8 + j] = std::sin(3.0 * a);
    }
  }
  return owner.release();
}

constexpr int kMaxCachedLog2 = 20;  // larger sizes build a plan per call
std::mutex planLock;
std::array<std::atomic<RealPlan*>, kMaxCachedLog2 + 1> realPlans{};

void FreeRealPlans() {
  for (auto& slot : realPlans) delete slot.exchange(nullptr);
}

// The cached plan of 2^log2n, or nullptr when that size is not cached or memory ran out.
const RealPlan* CachedRealPlan(int n, int log2n) {
  if (log2n < 1 || log2n > kMaxCachedLog2) return nullptr;
  RealPlan* plan = realPlans[log2n].load(std::memory_order_acquire);
  if (plan != nullptr) return plan;
  std::lock_guard<std::mutex> guard(planLock);
  plan = realPlans[log2n].load(std::memory_order_relaxed);
  if (plan == nullptr) {
    static const bool registered = (std::atexit(FreeRealPlans), true);
    (void)registered;
    plan = BuildRealPlan(n, log2n);
    realPlans[log2n].store(plan, std::memory_order_release);
  }
  return plan;
}

// The general L-shaped butterfly of the split-radix real transform on the eight values of one
// index j (T = double) or of neighbouring indices (T = V2, V4).
template <typename T>
__attribute__((always_inline)) inline void LButterfly(T& x1, T& x2, T& x3, T& x4, T& x5, T& x6,
                                                      T& x7, T& x8, const T& cc1, const T& ss1,
                                                      const T& cc3, const T& ss3) {
  const T t1 = x3 * cc1 + x7 * ss1;
  const T t2 = x7 * cc1 - x3 * ss1;
  const T u3 = x4 * cc3 + x8 * ss3;
  const T u4 = x8 * cc3 - x4 * ss3;
  const T t5 = t1 + u3, t6 = t2 + u4;
  const T t3 = t1 - u3, t4 = t2 - u4;
  const T n8 = x6 + t6, n3 = t6 - x6;
  const T n4 = x2 - t3, n7 = -x2 - t3;
  const T n1 = x1 + t5, n6 = x1 - t5;
  const T n2 = x5 + t4, n5 = x5 - t4;
  x1 = n1;
  x2 = n2;
  x3 = n3;
  x4 = n4;
  x5 = n5;
  x6 = n6;
  x7 = n7;
  x8 = n8;
}

// ---- work-area pool --------------------------------------------------------------------------

constexpr int kCacheSlots = 4;
std::mutex cacheLock;
std::array<double*, kCacheSlots> cacheSlots{};
bool cacheCreated = false;

void CreateCacheLocked() {
  if (cacheCreated) return;
  static const bool registered = (std::atexit(DestroyFFTBufferCache), true);
  (void)registered;
  for (auto& slot : cacheSlots) {
    if (slot != nullptr) continue;
    slot = AllocDoubles(kWorkAreaDoubles);
    if (slot == nullptr) break;
  }
  cacheCreated = true;
}

// ---- helpers ---------------------------------------------------------------------------------

bool IsPowerOfTwo(int n) { return (n & (n - 1)) == 0; }

int LargestFactor(int factorCount, const int factors[]) {
  int largest = 0;
  for (int i = 1; i <= factorCount; ++i)
    if (factors[i] > largest) largest = factors[i];
  return largest;
}

// Complex product (ar + j ai)(br + j bi) into (r, i).
inline void CMul(double ar, double ai, double br, double bi, double& r, double& i) {
  r = ar * br - ai * bi;
  i = ar * bi + ai * br;
}

// The per-size tables of the chirp-z path: the chirp w (n values) and the transformed
// convolution kernel (M values). A few sizes are kept for the rest of the run; they never change
// once published.
struct ChirpTables {
  int n = 0;
  Scratch wr, wi, vr, vi;
};
constexpr int kChirpSlots = 8;
constexpr int kMaxCachedChirpLog2 = 20;  // longer convolutions build their tables per call
std::mutex chirpLock;
std::array<ChirpTables*, kChirpSlots> chirpCache{};

void FreeChirpTables() {
  std::lock_guard<std::mutex> guard(chirpLock);
  for (auto& slot : chirpCache) {
    delete slot;
    slot = nullptr;
  }
}

const ChirpTables* FindChirpTables(int n) {
  std::lock_guard<std::mutex> guard(chirpLock);
  for (const ChirpTables* t : chirpCache)
    if (t != nullptr && t->n == n) return t;
  return nullptr;
}

// Publishes freshly built tables; returns false (the caller keeps them) when the pool is full
// or another caller published the same size first.
bool PublishChirpTables(ChirpTables* tables) {
  std::lock_guard<std::mutex> guard(chirpLock);
  static const bool registered = (std::atexit(FreeChirpTables), true);
  (void)registered;
  for (const ChirpTables* t : chirpCache)
    if (t != nullptr && t->n == tables->n) return false;
  for (auto& slot : chirpCache) {
    if (slot == nullptr) {
      slot = tables;
      return true;
    }
  }
  return false;
}

// Chirp-z transform of (re, im) in place; with realInput the imaginary input is taken as zero
// (im is then output only). 0 or ErrNoMemory; on ErrNoMemory re and im are unchanged.
int ChirpTransform(double re[], double im[], int n, bool realInput) {
  const int m = Log2(n) + 2;
  if (m > 30) return ErrNoMemory;  // the convolution length would not fit an int
  const int M = 1 << m;
  ScratchPair x(M);
  if (!x) return ErrNoMemory;
  for (int i = 0; i < n; ++i) {
    x.re[i] = re[i];
    x.im[i] = realInput ? 0.0 : im[i];
  }
  const ChirpTables* tables = FindChirpTables(n);
  std::unique_ptr<ChirpTables> own;
  if (tables != nullptr) {
    CxMultiply(x.re, x.im, tables->wr.get(), tables->wi.get(), n);
    std::fill(x.re + n, x.re + M, 0.0);
    std::fill(x.im + n, x.im + M, 0.0);
  } else {
    own.reset(new (std::nothrow) ChirpTables);
    if (!own) return ErrNoMemory;
    own->n = n;
    own->wr = AllocScratch(n);
    own->wi = AllocScratch(n);
    own->vr = AllocScratch(M);
    own->vi = AllocScratch(M);
    if (!own->wr || !own->wi || !own->vr || !own->vi) return ErrNoMemory;
    Chirp_Z(x.re, x.im, own->wr.get(), own->wi.get(), own->vr.get(), own->vi.get(), n, M);
    if (CxFFT(own->vr.get(), own->vi.get(), M, m) != 0) return ErrNoMemory;
    tables = own.get();
  }
  if (CxFFT(x.re, x.im, M, m) != 0) return ErrNoMemory;
  CxMultiply(x.re, x.im, tables->vr.get(), tables->vi.get(), M);
  if (CxInvFFT(x.re, x.im, M, m) != 0) return ErrNoMemory;
  CxMultiply(x.re, x.im, tables->wr.get(), tables->wi.get(), n);
  for (int i = 0; i < n; ++i) {
    re[i] = x.re[i];
    im[i] = x.im[i];
  }
  if (own && m <= kMaxCachedChirpLog2 && PublishChirpTables(own.get())) own.release();
  return 0;
}

// ---- plans of the complex power-of-two transform, cached per size ----------------------------

// The stages of one length n: the factor list and stage tables, the digit reversal as an index
// table, and for every stage after the first its twiddles exp(-j*2*pi*s*b/(span*radix)),
// computed directly. Twiddles are grouped by quads of s: for s = 4q + lane the stage's block q
// holds, for b = 1 ... radix-1, four real parts then four imaginary parts (TwiddleAt), so the
// four neighbouring s of one vector load from a single running pointer.
struct CxPlan {
  int factorCount = 0;
  int factors[kTableSize] = {};
  int span[kTableSize] = {};
  int rest[kTableSize + 1] = {};
  int twOffset[kTableSize] = {};  // start of stage i's twiddles in tw
  int* perm = nullptr;            // n indices: y[i] = x[perm[i]]
  double* tw = nullptr;
  ~CxPlan() {
    delete[] perm;
    delete[] tw;
  }
};

// Where the twiddles of index s start in a stage's block: the real part of rotation b sits at
// [8 (b - 1)], its imaginary part at [8 (b - 1) + 4].
template <typename D>
inline D* TwiddleAt(D* rows, int radix, int s) {
  return rows + static_cast<std::ptrdiff_t>(s / 4) * 8 * (radix - 1) + s % 4;
}

CxPlan* BuildCxPlan(int n) {
  auto* plan = new (std::nothrow) CxPlan;
  if (plan == nullptr) return nullptr;
  std::unique_ptr<CxPlan> owner(plan);
  plan->factorCount = -1;
  int len = n;
  transTableSetup(plan->span, plan->factors, plan->rest, &plan->factorCount, &len);
  std::size_t twCount = 0;
  for (int i = 2; i <= plan->factorCount; ++i) {
    plan->twOffset[i] = static_cast<int>(twCount);
    twCount += 8 * static_cast<std::size_t>(plan->factors[i] - 1) * ((plan->span[i] + 3) / 4);
  }
  plan->perm = new (std::nothrow) int[n];
  plan->tw = AllocDoubles(twCount + 1);
  if (plan->perm == nullptr || plan->tw == nullptr) return nullptr;
  // The digit reversal of permute(), recorded as indices.
  int digit[kTableSize] = {};
  std::int64_t k = 0;  // passes n on a carry before it is brought back
  for (int i = 0; i < n - 1; ++i) {
    plan->perm[i] = static_cast<int>(k);
    int j = 1;
    k += plan->rest[1];
    ++digit[1];
    while (j <= plan->factorCount && digit[j] >= plan->factors[j]) {
      digit[j] = 0;
      k = k - plan->rest[j - 1] + plan->rest[j + 1];
      ++j;
      ++digit[j];
    }
  }
  plan->perm[n - 1] = n - 1;
  for (int i = 2; i <= plan->factorCount; ++i) {
    const int span = plan->span[i], radix = plan->factors[i];
    double* rows = plan->tw + plan->twOffset[i];
    const double omega = kTwoPi / (static_cast<double>(span) * radix);
    for (int b = 1; b < radix; ++b) {
      for (int sIdx = 0; sIdx < span; ++sIdx) {
        // s*b < span*radix: the angle stays below 2*pi.
        const double a = omega * (static_cast<double>(sIdx) * b);
        double* t = TwiddleAt(rows, radix, sIdx) + 8 * (b - 1);
        t[0] = std::cos(a);
        t[4] = -std::sin(a);
      }
    }
  }
  return owner.release();
}

std::mutex cxPlanLock;
std::array<std::atomic<CxPlan*>, kMaxCachedLog2 + 1> cxPlans{};

void FreeCxPlans() {
  for (auto& slot : cxPlans) delete slot.exchange(nullptr);
}

// The plan of 2^log2n: cached, or built for this call into `own`; nullptr without memory.
const CxPlan* GetCxPlan(int n, int log2n, std::unique_ptr<CxPlan>& own) {
  if (log2n > kMaxCachedLog2) {
    own.reset(BuildCxPlan(n));
    return own.get();
  }
  CxPlan* plan = cxPlans[log2n].load(std::memory_order_acquire);
  if (plan != nullptr) return plan;
  std::lock_guard<std::mutex> guard(cxPlanLock);
  plan = cxPlans[log2n].load(std::memory_order_relaxed);
  if (plan == nullptr) {
    static const bool registered = (std::atexit(FreeCxPlans), true);
    (void)registered;
    plan = BuildCxPlan(n);
    cxPlans[log2n].store(plan, std::memory_order_release);
  }
  return plan;
}

// The general odd kernel of fft_odd with the radix known at compile time (7, 11, 13), on doubles
// or vectors; root holds the radix's roots of unity (initTrig).
template <int P, typename T>
__attribute__((always_inline)) inline void KernelOdd(T re[], T im[], const double rootRe[],
                                                     const double rootIm[]) {
  constexpr int h = (P + 1) / 2;
  T sumRe[h], sumIm[h], difRe[h], difIm[h];
  for (int j = 1; j < h; ++j) {
    sumRe[j] = re[j] + re[P - j];
    sumIm[j] = im[j] - im[P - j];
    difRe[j] = re[j] - re[P - j];
    difIm[j] = im[j] + im[P - j];
  }
  T outRe[P], outIm[P];
  for (int j = 1; j < h; ++j) {
    T upRe = re[0], upIm = im[0], dnRe = re[0], dnIm = im[0];
    for (int i = 1; i < h; ++i) {
      const int k = (i * j) % P;
      const T a = rootRe[k] * sumRe[i], b = rootIm[k] * sumIm[i];
      const T c = rootRe[k] * difIm[i], d = rootIm[k] * difRe[i];
      dnRe += a + b;
      dnIm += c - d;
      upRe += a - b;
      upIm += c + d;
    }
    outRe[j] = upRe;
    outIm[j] = upIm;
    outRe[P - j] = dnRe;
    outIm[P - j] = dnIm;
  }
  for (int j = 1; j < h; ++j) {
    re[0] += sumRe[j];
    im[0] += difIm[j];
  }
  for (int j = 1; j < P; ++j) {
    re[j] = outRe[j];
    im[j] = outIm[j];
  }
}

// The kernel of radix R (2, 3, 4, 5, 7, 8, 10, 11 or 13; the odd primes use the roots).
template <int R, typename T>
__attribute__((always_inline)) inline void KernelR(T re[], T im[], const double rootRe[],
                                                   const double rootIm[]) {
  if constexpr (R == 2)
    Kernel2(re, im);
  else if constexpr (R == 3)
    Kernel3(re, im);
  else if constexpr (R == 4)
    Kernel4(re, im);
  else if constexpr (R == 5)
    Kernel5(re, im);
  else if constexpr (R == 8)
    Kernel8(re, im);
  else if constexpr (R == 10)
    Kernel10(re, im);
  else
    KernelOdd<R>(re, im, rootRe, rootIm);
}

// The radix-R butterflies of index s (T = double) or of s ... s+3 (T = V4) of one group whose
// values sit span apart; rows holds the stage's twiddles (nullptr for the first stage).
template <int R, typename T>
__attribute__((always_inline)) inline void CxButterfly(const double* sr, const double* si,
                                                       double* dr, double* di, int span,
                                                       const double* rows, const double* roots,
                                                       int s) {
  T zr[R], zi[R];
  for (int b = 0; b < R; ++b) {
    LoadV(zr[b], sr + s + b * span);
    LoadV(zi[b], si + s + b * span);
  }
  if (rows != nullptr) {
    const double* t = TwiddleAt(rows, R, s);
    for (int b = 1; b < R; ++b) {
      T wr, wi;
      LoadV(wr, t + 8 * (b - 1));
      LoadV(wi, t + 8 * (b - 1) + 4);
      const T r = zr[b] * wr - zi[b] * wi;
      zi[b] = zr[b] * wi + zi[b] * wr;
      zr[b] = r;
    }
  }
  KernelR<R>(zr, zi, roots, roots + R);
  for (int b = 0; b < R; ++b) {
    StoreV(dr + s + b * span, zr[b]);
    StoreV(di + s + b * span, zi[b]);
  }
}

// One stage of a radix with its own kernel from (sr, si) into (dr, di) (which may be the same
// arrays), four neighbouring s at a time where the span allows. roots: the radix's roots of
// unity, real parts then imaginary parts (odd primes only).
template <int R>
__attribute__((always_inline)) inline void CxStage(const double* sr, const double* si, double* dr,
                                                   double* di, int span, int groups,
                                                   const double* rows, const double* roots) {
  const int stride = span * R;
  for (int g = 0, base = 0; g < groups; ++g, base += stride) {
    int s = 0;
    for (; s + 4 <= span; s += 4)
      CxButterfly<R, V4>(sr + base, si + base, dr + base, di + base, span, rows, roots, s);
    for (; s < span; ++s)
      CxButterfly<R, double>(sr + base, si + base, dr + base, di + base, span, rows, roots, s);
  }
}

// Radices with a kernel of their own; any other goes through OddStage and a work area.
bool HasOwnKernel(int radix) {
  switch (radix) {
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
    case 8:
    case 10:
    case 11:
    case 13: return true;
    default: return false;
  }
}

// The roots of unity of a radix for KernelOdd: 13 real parts, then 13 imaginary parts.
struct Roots {
  double v[26] = {};
  explicit Roots(int radix) {
    if (radix == 7 || radix == 11 || radix == 13) initTrig(radix, v, v + radix);
  }
};

// A stage of any other (odd) radix: gather, twiddle and the general odd kernel, one index at a
// time, with the roots and scratch of a work area.
void OddStage(const double* sr, const double* si, double* dr, double* di, int span, int radix,
              int groups, const double* rows, const WorkArea& w) {
  initTrig(radix, w.rootRe, w.rootIm);
  const int stride = span * radix;
  for (int g = 0, base = 0; g < groups; ++g, base += stride) {
    for (int s = 0; s < span; ++s) {
      for (int b = 0; b < radix; ++b) {
        w.blkRe[b] = sr[base + s + b * span];
        w.blkIm[b] = si[base + s + b * span];
      }
      if (rows != nullptr) {
        const double* t = TwiddleAt(rows, radix, s);
        for (int b = 1; b < radix; ++b) {
          const double wr = t[8 * (b - 1)], wi = t[8 * (b - 1) + 4];
          CMul(w.blkRe[b], w.blkIm[b], wr, wi, w.blkRe[b], w.blkIm[b]);
        }
      }
      fft_odd(radix, w.blkRe, w.blkIm, w);
      for (int b = 0; b < radix; ++b) {
        dr[base + s + b * span] = w.blkRe[b];
        di[base + s + b * span] = w.blkIm[b];
      }
    }
  }
}

// Every stage of a plan on the permuted data (yRe, yIm); the last stage writes into (re, im)
// (which may be yRe, yIm themselves). work is needed only by plans with a radix that has no
// kernel of its own.
// firstStage 2 skips the first stage, already done by PermuteWithFirstStage.
__attribute__((target_clones("arch=x86-64-v4", "avx2", "default"))) void CxStages(
    const CxPlan& plan, double* yRe, double* yIm, double* re, double* im, const WorkArea* work,
    int firstStage) {
  const int count = plan.factorCount;
  for (int i = firstStage; i <= count; ++i) {
    const int radix = plan.factors[i], span = plan.span[i], groups = plan.rest[i];
    const double* rows = i == 1 ? nullptr : plan.tw + plan.twOffset[i];
    double *dr = i == count ? re : yRe, *di = i == count ? im : yIm;
    const Roots roots(radix);
    const double* rt = roots.v;
    switch (radix) {
      case 2: CxStage<2>(yRe, yIm, dr, di, span, groups, rows, rt); break;
      case 3: CxStage<3>(yRe, yIm, dr, di, span, groups, rows, rt); break;
      case 4: CxStage<4>(yRe, yIm, dr, di, span, groups, rows, rt); break;
      case 5: CxStage<5>(yRe, yIm, dr, di, span, groups, rows, rt); break;
      case 7: CxStage<7>(yRe, yIm, dr, di, span, groups, rows, rt); break;
      case 8: CxStage<8>(yRe, yIm, dr, di, span, groups, rows, rt); break;
      case 10: CxStage<10>(yRe, yIm, dr, di, span, groups, rows, rt); break;
      case 11: CxStage<11>(yRe, yIm, dr, di, span, groups, rows, rt); break;
      case 13: CxStage<13>(yRe, yIm, dr, di, span, groups, rows, rt); break;
      default: OddStage(yRe, yIm, dr, di, span, radix, groups, rows, *work); break;
    }
  }
}

template <int R>
void GatherFirst(const int perm[], const double re[], const double im[], double yRe[], double yIm[],
                 int n) {
  const Roots roots(R);
  for (int base = 0; base < n; base += R) {
    double zr[R], zi[R];
    for (int b = 0; b < R; ++b) {
      zr[b] = re[perm[base + b]];
      zi[b] = im[perm[base + b]];
    }
    KernelR<R>(zr, zi, roots.v, roots.v + R);
    for (int b = 0; b < R; ++b) {
      yRe[base + b] = zr[b];
      yIm[base + b] = zi[b];
    }
  }
}

// The digit-reversal copy (re, im) -> (yRe, yIm) of a plan, with the first stage (span 1, no
// twiddles) done on each group as it is gathered when the plan has more than one stage and a
// fixed first radix. Returns the stage CxStages continues with (2, or 1).
int PermuteWithFirstStage(const CxPlan& plan, const double re[], const double im[], double yRe[],
                          double yIm[], int n) {
  const int* perm = plan.perm;
  if (plan.factorCount > 1) {
    switch (plan.factors[1]) {
      case 2: GatherFirst<2>(perm, re, im, yRe, yIm, n); return 2;
      case 3: GatherFirst<3>(perm, re, im, yRe, yIm, n); return 2;
      case 4: GatherFirst<4>(perm, re, im, yRe, yIm, n); return 2;
      case 5: GatherFirst<5>(perm, re, im, yRe, yIm, n); return 2;
      case 7: GatherFirst<7>(perm, re, im, yRe, yIm, n); return 2;
      case 8: GatherFirst<8>(perm, re, im, yRe, yIm, n); return 2;
      case 10: GatherFirst<10>(perm, re, im, yRe, yIm, n); return 2;
      case 11: GatherFirst<11>(perm, re, im, yRe, yIm, n); return 2;
      case 13: GatherFirst<13>(perm, re, im, yRe, yIm, n); return 2;
      default: break;
    }
  }
  for (int i = 0; i < n; ++i) {
    yRe[i] = re[perm[i]];
    yIm[i] = im[perm[i]];
  }
  return 1;
}

// Whether a plan has a stage that needs a work area.
bool NeedsWorkArea(const CxPlan& plan) {
  for (int i = 1; i <= plan.factorCount; ++i)
    if (!HasOwnKernel(plan.factors[i])) return true;
  return false;
}

// Plans of lengths other than powers of two, kept for a few sizes up to kMaxCachedMixed.
constexpr int kMixedSlots = 16;  // a plan holds about 20 bytes per point
constexpr int kMaxCachedMixed = 1 << 17;
std::mutex mixedLock;
std::array<std::pair<int, CxPlan*>, kMixedSlots> mixedPlans{};

void FreeMixedPlans() {
  std::lock_guard<std::mutex> guard(mixedLock);
  for (auto& slot : mixedPlans) {
    delete slot.second;
    slot = {0, nullptr};
  }
}

// The cached plan of n, built on first use; nullptr when n is too long, the slots are taken by
// other sizes, or memory ran out (the caller then uses the plain mixed-radix path).
const CxPlan* MixedPlan(int n) {
  if (n > kMaxCachedMixed) return nullptr;
  std::lock_guard<std::mutex> guard(mixedLock);
  for (const auto& slot : mixedPlans)
    if (slot.first == n) return slot.second;
  for (auto& slot : mixedPlans) {
    if (slot.second == nullptr) {
      static const bool registered = (std::atexit(FreeMixedPlans), true);
      (void)registered;
      CxPlan* plan = BuildCxPlan(n);
      if (plan != nullptr) slot = {n, plan};
      return plan;
    }
  }
  return nullptr;
}

}  // namespace

// ---- small pieces ----------------------------------------------------------------------------

WorkArea CarveWorkArea(double* block) {
  WorkArea w{};
  double* p = block;
  for (double** dst : {&w.rotRe, &w.rotIm, &w.blkRe, &w.blkIm, &w.rootRe, &w.rootIm}) {
    *dst = p;
    p += kMaxRadix;
  }
  for (double** dst : {&w.sumRe, &w.sumIm, &w.difRe, &w.difIm}) {
    *dst = p;
    p += kHalfRadix;
  }
  return w;
}

int Log2(int n) {
  if (n <= 0) return -1;
  int r = 0;
  while (n > 1) {
    n >>= 1;
    ++r;
  }
  return r;
}

void factorize(int n, int* factorCount, int factors[]) {
  static constexpr int kRadices[] = {10, 8, 5, 4, 3, 2};
  int found[kMaxFactors];
  int count = 0;
  factors[0] = 0;
  if (n <= 1) {
    factors[1] = 1;
    *factorCount = 1;
    return;
  }
  for (int radix : kRadices) {
    while (n > 1 && n % radix == 0) {
      n /= radix;
      found[count++] = radix;
    }
  }
  // A lone trailing 2 is cheaper merged with an 8 into two radix-4 stages.
  if (count > 0 && found[count - 1] == 2) {
    for (int i = count - 2; i >= 0; --i) {
      if (found[i] == 8) {
        found[i] = 4;
        found[count - 1] = 4;
        break;
      }
    }
  }
  for (int k = 2; n > 1 && k < std::sqrt(static_cast<double>(n)) + 1; ++k) {
    while (n % k == 0) {
      n /= k;
      found[count++] = k;
    }
  }
  if (n > 1) found[count++] = n;
  for (int i = 0; i < count; ++i) factors[i + 1] = found[count - 1 - i];
  *factorCount = count;
}

int transTableSetup(int span[], int factors[], int rest[], int* factorCount, int* n) {
  if (*factorCount < 0) factorize(*n, factorCount, factors);
  rest[0] = *n;
  span[1] = 1;
  rest[1] = *n / factors[1];
  for (int i = 2; i <= *factorCount; ++i) {
    span[i] = span[i - 1] * factors[i - 1];
    rest[i] = rest[i - 1] / factors[i];
  }
  rest[*factorCount + 1] = 1;  // never read for valid input; keeps the carry chain in range
  return 0;
}

void permute(int n, int factorCount, const int factors[], const int rest[], const double xRe[],
             const double xIm[], double yRe[], double yIm[]) {
  int digit[kTableSize] = {};
  std::int64_t k = 0;  // passes n on a carry before it is brought back
  for (int i = 0; i < n - 1; ++i) {
    yRe[i] = xRe[k];
    yIm[i] = xIm[k];
    int j = 1;
    k += rest[1];
    ++digit[1];
    while (j <= factorCount && digit[j] >= factors[j]) {
      digit[j] = 0;
      k = k - rest[j - 1] + rest[j + 1];
      ++j;
      ++digit[j];
    }
  }
  yRe[n - 1] = xRe[n - 1];
  yIm[n - 1] = xIm[n - 1];
}

void Repermute(int n, int factorCount, const int factors[], const int rest[], const double x[],
               double y[]) {
  int digit[kTableSize] = {};
  std::int64_t k = 0;  // passes n on a carry before it is brought back
  for (int i = 0; i < n - 1; ++i) {
    y[i] = x[k];
    int j = 1;
    k += rest[1];
    ++digit[1];
    while (j <= factorCount && digit[j] >= factors[j]) {
      digit[j] = 0;
      k = k - rest[j - 1] + rest[j + 1];
      ++j;
      ++digit[j];
    }
  }
  y[n - 1] = x[n - 1];
}

// Rotations come from complex recurrences (one cos/sin pair per stage); every kResync-th entry
// is taken afresh from cos/sin so that the rounding of the recurrence cannot build up over long
// runs (spans of several thousand, radices up to 997).
constexpr int kResync = 16;

void initTrig(int radix, double rootRe[], double rootIm[]) {
  const double w = kTwoPi / radix;
  rootRe[0] = 1.0;
  rootIm[0] = 0.0;
  if (radix < 2) return;
  rootRe[1] = std::cos(w);
  rootIm[1] = -std::sin(w);
  for (int i = 2; i < radix; ++i) {
    if (i % kResync == 0) {
      rootRe[i] = std::cos(w * i);
      rootIm[i] = -std::sin(w * i);
    } else {
      CMul(rootRe[1], rootIm[1], rootRe[i - 1], rootIm[i - 1], rootRe[i], rootIm[i]);
    }
  }
}

// ---- radix kernels ---------------------------------------------------------------------------

void fft_4(double re[], double im[]) { Kernel4(re, im); }

void fft_5(double re[], double im[]) { Kernel5(re, im); }

void fft_8(double re[], double im[]) { Kernel8(re, im); }

void fft_10(double re[], double im[]) { Kernel10(re, im); }

void fft_odd(int radix, double re[], double im[], const WorkArea& w) {
  const int p = radix, h = (p + 1) / 2;
  for (int j = 1; j < h; ++j) {
    w.sumRe[j] = re[j] + re[p - j];
    w.sumIm[j] = im[j] - im[p - j];
    w.difRe[j] = re[j] - re[p - j];
    w.difIm[j] = im[j] + im[p - j];
  }
  for (int j = 1; j < h; ++j) {
    double upRe = re[0], upIm = im[0], dnRe = re[0], dnIm = im[0];
    int k = j;
    for (int i = 1; i < h; ++i) {
      const double a = w.rootRe[k] * w.sumRe[i], b = w.rootIm[k] * w.sumIm[i];
      const double c = w.rootRe[k] * w.difIm[i], d = w.rootIm[k] * w.difRe[i];
      dnRe += a + b;
      dnIm += c - d;
      upRe += a - b;
      upIm += c + d;
      k += j;
      if (k >= p) k -= p;
    }
    re[j] = upRe;
    im[j] = upIm;
    re[p - j] = dnRe;
    im[p - j] = dnIm;
  }
  for (int j = 1; j < h; ++j) {
    re[0] += w.sumRe[j];
    im[0] += w.difIm[j];
  }
}

void twiddleTransf(int span, int radix, int rest, const WorkArea& w, double yRe[], double yIm[]) {
  initTrig(radix, w.rootRe, w.rootIm);
  const double omega = kTwoPi / (static_cast<double>(span) * radix);
  const double cw = std::cos(omega), sw = -std::sin(omega);
  double tRe = 1.0, tIm = 0.0;
  const int stride = span * radix;
  for (int s = 0; s < span; ++s) {
    if (span > 1) {
      if (s % kResync == 0) {
        tRe = std::cos(omega * s);
        tIm = -std::sin(omega * s);
      }
      w.rotRe[0] = 1.0;
      w.rotIm[0] = 0.0;
      w.rotRe[1] = tRe;
      w.rotIm[1] = tIm;
      for (int b = 2; b < radix; ++b) {
        if (b % kResync == 0) {
          const double a = omega * (static_cast<double>(s) * b);
          w.rotRe[b] = std::cos(a);
          w.rotIm[b] = -std::sin(a);
        } else {
          CMul(tRe, tIm, w.rotRe[b - 1], w.rotIm[b - 1], w.rotRe[b], w.rotIm[b]);
        }
      }
      double nRe, nIm;
      CMul(tRe, tIm, cw, sw, nRe, nIm);
      tRe = nRe;
      tIm = nIm;
    }
    const bool rotate = span > 1 && s > 0;
    for (int g = 0, base = s; g < rest; ++g, base += stride) {
      double *zr = w.blkRe, *zi = w.blkIm;
      zr[0] = yRe[base];
      zi[0] = yIm[base];
      for (int b = 1; b < radix; ++b) {
        const double r = yRe[base + b * span], i = yIm[base + b * span];
        if (rotate)
          CMul(r, i, w.rotRe[b], w.rotIm[b], zr[b], zi[b]);
        else {
          zr[b] = r;
          zi[b] = i;
        }
      }
      switch (radix) {
        case 2: Kernel2(zr, zi); break;
        case 3: Kernel3(zr, zi); break;
        case 4: fft_4(zr, zi); break;
        case 5: fft_5(zr, zi); break;
        case 8: fft_8(zr, zi); break;
        case 10: fft_10(zr, zi); break;
        default: fft_odd(radix, zr, zi, w); break;
      }
      for (int b = 0; b < radix; ++b) {
        yRe[base + b * span] = zr[b];
        yIm[base + b * span] = zi[b];
      }
    }
  }
}

int mixfft(int n, const double re[], const double im[], double yRe[], double yIm[], double work[],
           int factorCount, int factors[]) {
  int span[kTableSize], rest[kTableSize + 1];
  transTableSetup(span, factors, rest, &factorCount, &n);
  permute(n, factorCount, factors, rest, re, im, yRe, yIm);
  const WorkArea w = CarveWorkArea(work);
  for (int i = 1; i <= factorCount; ++i) twiddleTransf(span[i], factors[i], rest[i], w, yRe, yIm);
  return 0;
}

int mixRefft(int n, double x[], double y[], double work[], int factorCount, int factors[]) {
  int span[kTableSize], rest[kTableSize + 1];
  transTableSetup(span, factors, rest, &factorCount, &n);
  Repermute(n, factorCount, factors, rest, x, y);
  for (int i = 0; i < n; ++i) {
    x[i] = y[i];
    y[i] = 0.0;
  }
  const WorkArea w = CarveWorkArea(work);
  for (int i = 1; i <= factorCount; ++i) twiddleTransf(span[i], factors[i], rest[i], w, x, y);
  return 0;
}

int CxFFT(double re[], double im[], int n, int /*log2n*/) {
  const int log2n = Log2(n);
  ScratchPair y(n);
  if (!y) return ErrNoMemory;
  if (StockhamFFT(re, im, re, im, y.re, y.im, n)) return 0;
  std::unique_ptr<CxPlan> own;
  if (const CxPlan* plan = n >= 2 ? GetCxPlan(n, log2n, own) : nullptr) {
    const int first = PermuteWithFirstStage(*plan, re, im, y.re, y.im, n);
    CxStages(*plan, y.re, y.im, re, im, nullptr, first);
    return 0;
  }
  // No memory for a plan: the general mixed-radix path.
  double* work = FFTBufferAcquire();
  if (work == nullptr) return ErrNoMemory;
  int factors[kTableSize];
  const int status = mixfft(n, re, im, y.re, y.im, work, -1, factors);
  FFTBufferRelease(work);
  for (int i = 0; i < n; ++i) {
    re[i] = y.re[i];
    im[i] = y.im[i];
  }
  return status;
}

int CxInvFFT(double re[], double im[], int n, int log2n) {
  const int status = CxFFT(im, re, n, log2n);
  if (status != 0) return status;
  const double s = 1.0 / n;
  for (int i = 0; i < n; ++i) {
    re[i] *= s;
    im[i] *= s;
  }
  return 0;
}

// ---- split-radix real transform ------------------------------------------------------------

namespace {

// The plan of a power of two n: cached, or built for this call into `own` (large sizes); nullptr
// when there is no memory for one.
const RealPlan* GetRealPlan(int n, int log2n, std::unique_ptr<RealPlan>& own) {
  const RealPlan* plan = CachedRealPlan(n, log2n);
  if (plan == nullptr && log2n > kMaxCachedLog2) {
    own.reset(BuildRealPlan(n, log2n));
    plan = own.get();
  }
  return plan;
}

// The split-radix passes on data already in bit-reversed order; half-complex result.
// firstN2 = 2 runs every pass; 32 skips the passes already done row by row (LeafRow).
__attribute__((target_clones("avx2", "default"))) void RealFFTPasses(double x[], int n,
                                                                     const RealPlan* plan,
                                                                     int firstN2) {
  // Block positions and steps are 64-bit: for n = 2^30 the stepping passes the int range.
  // Length-2 butterflies.
  if (firstN2 <= 2) {
    for (std::int64_t d = 0, g = 4; d < n; d = 2 * g - 2, g *= 4) {
      for (std::int64_t p = d; p < n; p += g) {
        const double t = x[p];
        x[p] = t + x[p + 1];
        x[p + 1] = t - x[p + 1];
      }
    }
  }
  // L-shaped butterflies, N2 = 4, 8, ..., n.
  const int log2n = Log2(n);
  for (int lg = Log2(std::max(firstN2, 4)); lg <= log2n; ++lg) {
    const int n2 = 1 << lg, n4 = n2 / 4, n8 = n2 / 8;
    for (std::int64_t d = 0, g = 2 * n2; d < n; d = 2 * g - n2, g *= 4) {
      for (std::int64_t i1 = d; i1 < n; i1 += g) {
        std::int64_t a1 = i1, a2 = a1 + n4, a3 = a2 + n4, a4 = a3 + n4;
        double t1 = x[a4] + x[a3];
        x[a4] -= x[a3];
        x[a3] = x[a1] - t1;
        x[a1] += t1;
        if (n4 == 1) continue;
        a1 += n8;
        a2 += n8;
        a3 += n8;
        a4 += n8;
        t1 = (x[a3] + x[a4]) * kSqrtHalf;
        const double t2 = (x[a3] - x[a4]) * kSqrtHalf;
        x[a4] = x[a2] - t1;
        x[a3] = -x[a2] - t1;
        x[a2] = x[a1] - t2;
        x[a1] += t2;
      }
    }
    if (n8 < 2) continue;
    if (plan == nullptr) {
      // No memory for a plan: twiddles computed per index j, applied across all blocks.
      // (j * e rather than a running sum: the sum drifts by j roundings on long passes.)
      const double e = kTwoPi / n2;
      for (int j = 1; j < n8; ++j) {
        const double a = e * j;
        const double cc1 = std::cos(a), ss1 = std::sin(a);
        const double cc3 = std::cos(3.0 * a), ss3 = std::sin(3.0 * a);
        for (std::int64_t d = 0, g = 2 * n2; d < n; d = 2 * g - n2, g *= 4) {
          for (std::int64_t i = d; i < n; i += g) {
            double *lo = x + i + j, *hi = x + i + n4 - j;
            LButterfly(lo[0], lo[n4], lo[2 * n4], lo[3 * n4], hi[0], hi[n4], hi[2 * n4], hi[3 * n4],
                       cc1, ss1, cc3, ss3);
          }
        }
      }
      continue;
    }
    // Block by block, all j inside one block (it stays in cache), two neighbouring j at a
    // time: the rising quarter x[i + j] pairs with the falling quarter x[i + n4 - j].
    const double *c1 = plan->tw + PassOffset(n2), *s1 = c1 + n8, *c3 = s1 + n8, *s3 = c3 + n8;
    for (std::int64_t d = 0, g = 2 * n2; d < n; d = 2 * g - n2, g *= 4) {
      for (std::int64_t i = d; i < n; i += g) {
        double* const base = x + i;
        int j = 1;
        for (; j + 3 < n8; j += 4) {
          double *lo = base + j, *hi = base + n4 - j - 3;
          V4 v[8], c[4];
          for (int q = 0; q < 4; ++q) {
            LoadV(v[q], lo + q * n4);
            LoadV(v[4 + q], hi + q * n4);
            Reverse4(v[4 + q]);
          }
          LoadV(c[0], c1 + j);
          LoadV(c[1], s1 + j);
          LoadV(c[2], c3 + j);
          LoadV(c[3], s3 + j);
          LButterfly(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], c[0], c[1], c[2], c[3]);
          for (int q = 0; q < 4; ++q) {
            StoreV(lo + q * n4, v[q]);
            Reverse4(v[4 + q]);
            StoreV(hi + q * n4, v[4 + q]);
          }
        }
        for (; j + 1 < n8; j += 2) {
          double *lo = base + j, *hi = base + n4 - j - 1;
          V2 x1 = Load2(lo), x2 = Load2(lo + n4), x3 = Load2(lo + 2 * n4), x4 = Load2(lo + 3 * n4);
          V2 x5 = Swap2(Load2(hi)), x6 = Swap2(Load2(hi + n4)), x7 = Swap2(Load2(hi + 2 * n4)),
             x8 = Swap2(Load2(hi + 3 * n4));
          const V2 cc1 = Load2(c1 + j), ss1 = Load2(s1 + j), cc3 = Load2(c3 + j),
                   ss3 = Load2(s3 + j);
          LButterfly(x1, x2, x3, x4, x5, x6, x7, x8, cc1, ss1, cc3, ss3);
          Store2(lo, x1);
          Store2(lo + n4, x2);
          Store2(lo + 2 * n4, x3);
          Store2(lo + 3 * n4, x4);
          Store2(hi, Swap2(x5));
          Store2(hi + n4, Swap2(x6));
          Store2(hi + 2 * n4, Swap2(x7));
          Store2(hi + 3 * n4, Swap2(x8));
        }
        for (; j < n8; ++j) {
          double *lo = base + j, *hi = base + n4 - j;
          LButterfly(lo[0], lo[n4], lo[2 * n4], lo[3 * n4], hi[0], hi[n4], hi[2 * n4], hi[3 * n4],
                     c1[j], s1[j], c3[j], s3[j]);
        }
      }
    }
  }
}

}  // namespace

void RealFFT(double x[], int n, int log2n) {
  if (n < 2) return;
  std::unique_ptr<RealPlan> own;
  const RealPlan* plan = GetRealPlan(n, log2n, own);
  if (plan != nullptr) {
    for (int i = 0; i < n; ++i) {
      const int j = plan->rev[i];
      if (i < j) std::swap(x[i], x[j]);
    }
  } else {
    for (int i = 0, j = 0; i < n - 1; ++i) {
      if (i < j) std::swap(x[i], x[j]);
      int k = n >> 1;
      while (k <= j) {
        j -= k;
        k >>= 1;
      }
      j += k;
    }
  }
  RealFFTPasses(x, n, plan, 2);
}

void Real_FFTCx(double x[], double out[], int n, int log2n) {
  RealFFT(x, n, log2n);
  const int half = n / 2;
  out[0] = x[0];
  out[1] = 0.0;
  for (int k = 1; k < half; ++k) {
    out[2 * k] = x[k];
    out[2 * k + 1] = x[n - k];
    out[2 * (n - k)] = x[k];
    out[2 * (n - k) + 1] = -x[n - k];
  }
  out[2 * half] = x[half];
  out[2 * half + 1] = 0.0;
}

// ---- chirp-z ---------------------------------------------------------------------------------

void Chirp_Z(double xr[], double xi[], double wr[], double wi[], double vr[], double vi[], int n,
             int M) {
  // The chirp angle pi*i^2/n is taken modulo 2*pi in exact integer arithmetic: forming it in
  // floating point loses digits as i^2 grows and spoils long transforms.
  const double a = kPi / n;
  const std::int64_t period = 2 * static_cast<std::int64_t>(n);
  for (int i = 0; i < n; ++i) {
    const double theta = a * static_cast<double>((static_cast<std::int64_t>(i) * i) % period);
    const double c = std::cos(theta), s = std::sin(theta);
    vr[i] = c;
    vi[i] = s;
    wr[i] = c;
    wi[i] = -s;
    double r, im;
    CMul(xr[i], xi[i], c, -s, r, im);
    xr[i] = r;
    xi[i] = im;
  }
  for (int i = n; i < M; ++i) {
    const std::int64_t m = M - i;
    const double theta = a * static_cast<double>((m * m) % period);
    vr[i] = std::cos(theta);
    vi[i] = std::sin(theta);
    xr[i] = 0.0;
    xi[i] = 0.0;
  }
}

void CxMultiply(double ar[], double ai[], const double br[], const double bi[], int n) {
  for (int i = 0; i < n; ++i) {
    const double r = ar[i] * br[i] - ai[i] * bi[i];
    ai[i] = ar[i] * bi[i] + ai[i] * br[i];
    ar[i] = r;
  }
}

// ---- work-area pool ----------------------------------------------------------------------------

void CreateFFTBufferCache() {
  std::lock_guard<std::mutex> guard(cacheLock);
  CreateCacheLocked();
}

void DestroyFFTBufferCache() {
  std::lock_guard<std::mutex> guard(cacheLock);
  for (auto& slot : cacheSlots) {
    delete[] slot;
    slot = nullptr;
  }
  cacheCreated = false;
}

double* FFTBufferAcquire() {
  {
    std::lock_guard<std::mutex> guard(cacheLock);
    CreateCacheLocked();
    for (auto& slot : cacheSlots) {
      if (slot != nullptr) {
        double* block = slot;
        slot = nullptr;
        return block;
      }
    }
  }
  return AllocDoubles(kWorkAreaDoubles);
}

void FFTBufferRelease(double* block) {
  if (block == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(cacheLock);
    for (auto& slot : cacheSlots) {
      if (slot == nullptr) {
        slot = block;
        return;
      }
    }
  }
  delete[] block;
}

void SetAllocationFailureAfter(int count) { allocBudget.store(count < 0 ? -1 : count); }

namespace {

// The first-pass butterfly of the L shape at offsets (a1, a2, a3, a4) of r: the j = 0 part of
// a pass (and its N8 part with the factor sqrt(1/2)).
inline void LFirst(double r[], int a1, int a3, int a4) {
  const double t1 = r[a4] + r[a3];
  r[a4] -= r[a3];
  r[a3] = r[a1] - t1;
  r[a1] += t1;
}
inline void LEighth(double r[], int a1, int a2, int a3, int a4) {
  const double t1 = (r[a3] + r[a4]) * kSqrtHalf;
  const double t2 = (r[a3] - r[a4]) * kSqrtHalf;
  r[a4] = r[a2] - t1;
  r[a3] = -r[a2] - t1;
  r[a2] = r[a1] - t2;
  r[a1] += t2;
}

// The passes N2 = 2, 4, 8 and 16 on one row of 16 values (bit-reversed data), as far as their
// blocks start in this row (mask: see RealPlan::rowMask). c16 holds the N2 = 16 twiddles of j = 1.
inline void LeafRow(double r[], unsigned mask, const double c16[4]) {
  for (int m = 0; m < 8; ++m) {
    if (mask & (1u << m)) {
      const double t = r[2 * m];
      r[2 * m] = t + r[2 * m + 1];
      r[2 * m + 1] = t - r[2 * m + 1];
    }
  }
  for (int m = 0; m < 4; ++m)
    if (mask & (1u << (8 + m))) LFirst(r, 4 * m, 4 * m + 2, 4 * m + 3);
  for (int m = 0; m < 2; ++m) {
    if (mask & (1u << (12 + m))) {
      const int i = 8 * m;
      LFirst(r, i, i + 4, i + 6);
      LEighth(r, i + 1, i + 3, i + 5, i + 7);
    }
  }
  if (mask & (1u << 14)) {
    LFirst(r, 0, 8, 12);
    LEighth(r, 2, 6, 10, 14);
    LButterfly(r[1], r[5], r[9], r[13], r[3], r[7], r[11], r[15], c16[0], c16[1], c16[2], c16[3]);
  }
}

// y[i] = x[rev[i]] for n = 2^log2n >= 256, tile by tile, each finished row of 16 values then
// taken through the first four passes while it is in cache. With i = (a, b, c) split into high,
// middle and low bits (a and c four bits each), rev(i) = (rev c, rev b, rev a), so for one b the
// 16 x 16 values read and written lie in 32 + 32 cache lines that are used up completely.
void GatherWithLeaves(const double x[], double y[], int log2n, const RealPlan& plan) {
  constexpr int kBits = 4, kTile = 1 << kBits;
  const int* rev = plan.rev;
  const int highShift = log2n - kBits;
  int lowRev[kTile], highRev[kTile];
  for (int k = 0; k < kTile; ++k) {
    lowRev[k] = rev[k];                // rev c, already in the high bits
    highRev[k] = rev[k << highShift];  // rev a, in the low bits
  }
  const double* t16 = plan.tw + PassOffset(16);  // rows of two: c1, s1, c3, s3
  const double c16[4] = {t16[1], t16[3], t16[5], t16[7]};
  const int middles = 1 << (log2n - 2 * kBits);
  for (int b = 0; b < middles; ++b) {
    const double* const src = x + rev[b << kBits];
    for (int a = 0; a < kTile; ++a) {
      const int start = (a << highShift) + (b << kBits);
      double* const dst = y + start;
      const double* const from = src + highRev[a];
      // Worked on in a local row: reading back just-stored values in wider loads would
      // stall on store forwarding.
      double row[kTile];
      for (int c = 0; c < kTile; ++c) row[c] = from[lowRev[c]];
      LeafRow(row, plan.rowMask[start >> kBits], c16);
      for (int c = 0; c < kTile; ++c) dst[c] = row[c];
    }
  }
}

// The half-complex spectrum in y spread over (x, y) as the two-sided spectrum:
// x[k] = x[n-k] = y[k], and y[k] = y[n-k] stored with its sign, y[n-k] negated.
__attribute__((target_clones("avx2", "default"))) void SpreadHalfComplex(double x[], double y[],
                                                                         int n) {
  const int half = n / 2;
  x[0] = y[0];
  x[half] = y[half];
  y[0] = 0.0;
  y[half] = 0.0;
  int k = 1;
  // Four k at a time against the four mirrored n-k, which run backwards.
  for (; k + 3 < half; k += 4) {
    V4 re, im;
    LoadV(re, y + k);
    LoadV(im, y + n - k - 3);
    Reverse4(im);
    V4 mirrored = re;
    Reverse4(mirrored);
    StoreV(x + k, re);
    StoreV(x + n - k - 3, mirrored);
    StoreV(y + k, im);
    V4 negated = -im;
    Reverse4(negated);
    StoreV(y + n - k - 3, negated);
  }
  for (; k < half; ++k) {
    const double re = y[k], im = y[n - k];
    x[k] = re;
    x[n - k] = re;
    y[k] = im;
    y[n - k] = -im;
  }
}

// ReFFT for a power of two. The caller's y, whose contents are never read, takes the
// bit-reversed copy of x (a gather with sequential stores, cheaper than swapping in place), the
// passes run there, and the half-complex result is spread over (x, y).
int RealPowerOfTwo(double x[], double y[], int n) {
  const int log2n = Log2(n);
  std::unique_ptr<RealPlan> own;
  const RealPlan* plan = GetRealPlan(n, log2n, own);
  if (plan == nullptr) {
    for (int i = 0; i < n; ++i) y[i] = x[i];
    RealFFT(y, n, log2n);
  } else {
    if (plan->rowMask != nullptr) {
      GatherWithLeaves(x, y, log2n, *plan);
      RealFFTPasses(y, n, plan, 32);
    } else {
      for (int i = 0; i < n; ++i) y[i] = x[plan->rev[i]];
      RealFFTPasses(y, n, plan, 2);
    }
  }
  SpreadHalfComplex(x, y, n);
  return 0;
}

}  // namespace

}  // namespace dspfft

// ---- public interface
// ----------------------------------------------------------------------------

using namespace dspfft;

int FFT(double re[], double im[], int n) {
  if (n <= 0) return ErrCountNotPositive;
  if (n == 1) return 0;
  if (IsPowerOfTwo(n)) return CxFFT(re, im, n, Log2(n));
  int factors[kTableSize];
  int factorCount = 0;
  factorize(n, &factorCount, factors);
  if (LargestFactor(factorCount, factors) >= kMaxRadix) return ChirpTransform(re, im, n, false);
  ScratchPair y(n);
  if (!y) return ErrNoMemory;
  const CxPlan* plan = MixedPlan(n);
  double* work = nullptr;
  if (plan == nullptr || NeedsWorkArea(*plan)) {
    work = FFTBufferAcquire();
    if (work == nullptr) return ErrNoMemory;
  }
  if (plan != nullptr) {
    const int first = PermuteWithFirstStage(*plan, re, im, y.re, y.im, n);
    const WorkArea area = work != nullptr ? CarveWorkArea(work) : WorkArea{};
    CxStages(*plan, y.re, y.im, re, im, &area, first);
    FFTBufferRelease(work);
    return 0;
  }
  const int status = mixfft(n, re, im, y.re, y.im, work, -1, factors);
  FFTBufferRelease(work);
  if (status != 0) return status;
  for (int i = 0; i < n; ++i) {
    re[i] = y.re[i];
    im[i] = y.im[i];
  }
  return 0;
}

int InvFFT(double re[], double im[], int n) {
  if (n <= 0) return ErrCountNotPositive;
  if (n == 1) return 0;
  const double s = 1.0 / n;
  for (int i = 0; i < n; ++i) {
    re[i] *= s;
    im[i] *= -s;
  }
  const int status = FFT(re, im, n);
  if (status != 0) return status;
  for (int i = 0; i < n; ++i) im[i] = -im[i];
  return 0;
}

namespace dspfft {
namespace {

// x[2i] -> y[i], x[2i+1] -> y[h+i]: the n/2 complex pairs of a real sequence, split.
__attribute__((target_clones("avx2", "default"))) void SplitPairs(const double x[], double y[],
                                                                  int h) {
  for (int i = 0; i < h; ++i) {
    y[i] = x[2 * i];
    y[h + i] = x[2 * i + 1];
  }
}

// ReFFT of an even n through the complex transform of its n/2 pairs (half the work of a complex
// transform of n): full spectrum in (x, y), or with full = false only the bins up to n/2.
// Returns 1 when this route does not apply (the caller takes another), else 0 or ErrNoMemory
// with x unchanged.
int RealByPairs(double x[], double y[], int n, bool full) {
  const int h = n / 2;
  if (IsPowerOfTwo(h)) {
    if (h < 16) return 1;
    if (!StockhamPairsFFT(x, x, x + h, y, y + h, h)) return 1;
    RealFromHalf(x, y, n, full);
    return 0;
  }
  int factors[kTableSize];
  int factorCount = 0;
  factorize(h, &factorCount, factors);
  if (LargestFactor(factorCount, factors) >= kMaxRadix) return 1;  // a chirp-z length
  const CxPlan* plan = MixedPlan(h);
  if (plan == nullptr) return 1;
  double* work = nullptr;
  if (NeedsWorkArea(*plan)) {
    work = FFTBufferAcquire();
    if (work == nullptr) return ErrNoMemory;
  }
  SplitPairs(x, y, h);
  const int first = PermuteWithFirstStage(*plan, y, y + h, x, x + h, h);
  const WorkArea area = work != nullptr ? CarveWorkArea(work) : WorkArea{};
  CxStages(*plan, x, x + h, x, x + h, &area, first);
  FFTBufferRelease(work);
  RealFromHalf(x, y, n, full);
  return 0;
}

int RealTransform(double x[], double y[], int n, bool full) {
  if (n <= 0) return ErrCountNotPositive;
  if (n == 1) {
    y[0] = 0.0;
    return 0;
  }
  if (n % 2 == 0) {
    const int status = RealByPairs(x, y, n, full);
    if (status <= 0) return status;
  }
  if (IsPowerOfTwo(n)) return RealPowerOfTwo(x, y, n);
  int factors[kTableSize];
  int factorCount = 0;
  factorize(n, &factorCount, factors);
  if (LargestFactor(factorCount, factors) >= kMaxRadix) return ChirpTransform(x, y, n, true);
  const CxPlan* plan = MixedPlan(n);
  double* work = nullptr;
  if (plan == nullptr || NeedsWorkArea(*plan)) {
    work = FFTBufferAcquire();
    if (work == nullptr) return ErrNoMemory;
  }
  if (plan != nullptr) {
    // y, whose contents are never read, holds the permuted copy; the stages then run in place.
    for (int i = 0; i < n; ++i) y[i] = x[plan->perm[i]];
    for (int i = 0; i < n; ++i) {
      x[i] = y[i];
      y[i] = 0.0;
    }
    const WorkArea area = work != nullptr ? CarveWorkArea(work) : WorkArea{};
    CxStages(*plan, x, y, x, y, &area, 1);
    FFTBufferRelease(work);
    return 0;
  }
  const int status = mixRefft(n, x, y, work, -1, factors);
  FFTBufferRelease(work);
  return status;
}

}  // namespace
}  // namespace dspfft

int ReFFT(double x[], double y[], int n) { return RealTransform(x, y, n, true); }

int ReFFTHalf(double x[], double y[], int n) { return RealTransform(x, y, n, false); }

int ToPolar(double x, double y, double* mag, double* phase) {
  if (x == 0.0 && y == 0.0) {
    *mag = 0.0;
    *phase = 0.0;
    return 0;
  }
  *mag = std::sqrt(x * x + y * y);
  *phase = std::atan2(y, x);
  return 0;
}

int ToPolar1D(const double re[], const double im[], int n, double mag[], double phase[]) {
  if (n <= 0) return ErrCountNotPositive;
  for (int i = 0; i < n; ++i) {
    const double r = re[i], m = im[i];  // read both before either output is written
    ToPolar(r, m, &mag[i], &phase[i]);
  }
  return 0;
}
