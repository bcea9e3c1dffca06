// FFT engine: dispatch, mixed-radix stages, split-radix real transform, chirp-z path and the
// work-area pool. See dsp/fft.h for the interface and dsp/fft_internal.h for the pieces.
#include "dsp/fft.h"

#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>

#include "dsp/fft_internal.h"
#include "dsp/signals.h"

namespace dspfft {
namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr double kPi = 3.141592653589793;
constexpr double kSqrtHalf = 0.7071067811865476;

// Radix kernel constants, stored rather than computed.
constexpr double k3a = -1.5;               // cos(2pi/3) - 1
constexpr double k3b = 0.86602540378444;   // sin(2pi/3)
constexpr double k5a = -1.25;              // (cos u + cos 2u)/2 - 1, u = 2pi/5
constexpr double k5b = 0.55901699437495;   // (cos u - cos 2u)/2
constexpr double k5c = -0.95105651629515;  // -sin u
constexpr double k5d = -1.5388417685876;   // -(sin u + sin 2u)
constexpr double k5e = 0.36327126400268;   // sin u - sin 2u
constexpr double k8 = 0.70710678118655;    // cos(pi/4)

// ---- scratch allocation --------------------------------------------------------------------

std::atomic<int> allocBudget{-1};  // test hook: allocations left before failing; < 0 unlimited

struct FreeDoubles {
    void operator()(double *p) const { delete[] p; }
};
using Scratch = std::unique_ptr<double[], FreeDoubles>;

double *AllocDoubles(std::size_t count) {
    int budget = allocBudget.load();
    while (budget >= 0) {
        if (budget == 0) return nullptr;
        if (allocBudget.compare_exchange_weak(budget, budget - 1)) break;
    }
    return new (std::nothrow) double[count];
}

Scratch AllocScratch(std::size_t count) { return Scratch(AllocDoubles(count)); }

// ---- twiddle tables of the real transform, cached per size ----------------------------------

// For size n = 2^L the table holds, for j = 0 ... n/8, the four values cos a, sin a, cos 3a,
// sin 3a with a = 2*pi*j/n; a pass of length N2 reads every (n/N2)-th entry. Direct cos/sin per
// entry is more accurate than the running recurrence and is paid once per size.
constexpr int kMaxCachedLog2 = 20;  // larger sizes build a table per call
std::mutex tableLock;
std::array<std::atomic<double *>, kMaxCachedLog2 + 1> realTables{};

void FreeRealTables() {
    for (auto &slot : realTables) delete[] slot.exchange(nullptr);
}

double *BuildRealTable(int n) {
    const int entries = n / 8 + 1;
    double *t = AllocDoubles(static_cast<std::size_t>(entries) * 4);
    if (t == nullptr) return nullptr;
    for (int j = 0; j < entries; ++j) {
        const double a = kTwoPi * j / n;
        t[4 * j] = std::cos(a);
        t[4 * j + 1] = std::sin(a);
        t[4 * j + 2] = std::cos(3.0 * a);
        t[4 * j + 3] = std::sin(3.0 * a);
    }
    return t;
}

// The cached table for 2^log2n, or nullptr when it is not cached (too large, or no memory).
const double *CachedRealTable(int log2n) {
    if (log2n < 3 || log2n > kMaxCachedLog2) return nullptr;
    double *t = realTables[log2n].load(std::memory_order_acquire);
    if (t != nullptr) return t;
    std::lock_guard<std::mutex> guard(tableLock);
    t = realTables[log2n].load(std::memory_order_relaxed);
    if (t == nullptr) {
        static const bool registered = (std::atexit(FreeRealTables), true);
        (void)registered;
        t = BuildRealTable(1 << log2n);
        realTables[log2n].store(t, std::memory_order_release);
    }
    return t;
}

// ---- work-area pool --------------------------------------------------------------------------

constexpr int kCacheSlots = 4;
std::mutex cacheLock;
std::array<double *, kCacheSlots> cacheSlots{};
bool cacheCreated = false;

void CreateCacheLocked() {
    if (cacheCreated) return;
    static const bool registered = (std::atexit(DestroyFFTBufferCache), true);
    (void)registered;
    for (auto &slot : cacheSlots) {
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
inline void CMul(double ar, double ai, double br, double bi, double &r, double &i) {
    r = ar * br - ai * bi;
    i = ar * bi + ai * br;
}

void fft_2(double re[], double im[]) {
    const double r = re[0] - re[1], i = im[0] - im[1];
    re[0] += re[1];
    im[0] += im[1];
    re[1] = r;
    im[1] = i;
}

void fft_3(double re[], double im[]) {
    const double t1r = re[1] + re[2], t1i = im[1] + im[2];
    re[0] += t1r;
    im[0] += t1i;
    const double m1r = k3a * t1r, m1i = k3a * t1i;
    const double m2r = k3b * (im[1] - im[2]), m2i = k3b * (re[2] - re[1]);
    const double s1r = re[0] + m1r, s1i = im[0] + m1i;
    re[1] = s1r + m2r;
    im[1] = s1i + m2i;
    re[2] = s1r - m2r;
    im[2] = s1i - m2i;
}

// Chirp-z transform of (re, im) in place; with realInput the imaginary input is taken as zero
// (im is then output only). 0 or ErrNoMemory; on ErrNoMemory re and im are unchanged.
int ChirpTransform(double re[], double im[], int n, bool realInput) {
    const int m = Log2(n) + 2;
    if (m > 30) return ErrNoMemory;  // the convolution length would not fit an int
    const int M = 1 << m;
    Scratch wr = AllocScratch(n), wi = AllocScratch(n);
    Scratch vr = AllocScratch(M), vi = AllocScratch(M);
    Scratch xr = AllocScratch(M), xi = AllocScratch(M);
    if (!wr || !wi || !vr || !vi || !xr || !xi) return ErrNoMemory;
    for (int i = 0; i < n; ++i) {
        xr[i] = re[i];
        xi[i] = realInput ? 0.0 : im[i];
    }
    Chirp_Z(xr.get(), xi.get(), wr.get(), wi.get(), vr.get(), vi.get(), n, M);
    if (CxFFT(xr.get(), xi.get(), M, m) != 0 || CxFFT(vr.get(), vi.get(), M, m) != 0)
        return ErrNoMemory;
    CxMultiply(xr.get(), xi.get(), vr.get(), vi.get(), M);
    if (CxInvFFT(xr.get(), xi.get(), M, m) != 0) return ErrNoMemory;
    CxMultiply(xr.get(), xi.get(), wr.get(), wi.get(), n);
    for (int i = 0; i < n; ++i) {
        re[i] = xr[i];
        im[i] = xi[i];
    }
    return 0;
}

}  // namespace

// ---- small pieces ----------------------------------------------------------------------------

WorkArea CarveWorkArea(double *block) {
    WorkArea w{};
    double *p = block;
    for (double **dst : {&w.rotRe, &w.rotIm, &w.blkRe, &w.blkIm, &w.rootRe, &w.rootIm}) {
        *dst = p;
        p += kMaxRadix;
    }
    for (double **dst : {&w.sumRe, &w.sumIm, &w.difRe, &w.difIm}) {
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

void factorize(int n, int *factorCount, int factors[]) {
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

int transTableSetup(int span[], int factors[], int rest[], int *factorCount, int *n) {
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
    int k = 0;
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
    int k = 0;
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

void initTrig(int radix, double rootRe[], double rootIm[]) {
    const double w = kTwoPi / radix;
    rootRe[0] = 1.0;
    rootIm[0] = 0.0;
    if (radix < 2) return;
    rootRe[1] = std::cos(w);
    rootIm[1] = -std::sin(w);
    for (int i = 2; i < radix; ++i)
        CMul(rootRe[1], rootIm[1], rootRe[i - 1], rootIm[i - 1], rootRe[i], rootIm[i]);
}

// ---- radix kernels ---------------------------------------------------------------------------

void fft_4(double re[], double im[]) {
    const double t1r = re[0] + re[2], t1i = im[0] + im[2];
    const double t2r = re[1] + re[3], t2i = im[1] + im[3];
    const double m2r = re[0] - re[2], m2i = im[0] - im[2];
    const double m3r = im[1] - im[3], m3i = re[3] - re[1];
    re[0] = t1r + t2r;
    im[0] = t1i + t2i;
    re[2] = t1r - t2r;
    im[2] = t1i - t2i;
    re[1] = m2r + m3r;
    im[1] = m2i + m3i;
    re[3] = m2r - m3r;
    im[3] = m2i - m3i;
}

void fft_5(double re[], double im[]) {
    const double t1r = re[1] + re[4], t1i = im[1] + im[4];
    const double t2r = re[2] + re[3], t2i = im[2] + im[3];
    const double t3r = re[1] - re[4], t3i = im[1] - im[4];
    const double t4r = re[3] - re[2], t4i = im[3] - im[2];
    const double t5r = t1r + t2r, t5i = t1i + t2i;
    re[0] += t5r;
    im[0] += t5i;
    const double m1r = k5a * t5r, m1i = k5a * t5i;
    const double m2r = k5b * (t1r - t2r), m2i = k5b * (t1i - t2i);
    const double m3r = -k5c * (t3i + t4i), m3i = k5c * (t3r + t4r);
    const double m4r = -k5d * t4i, m4i = k5d * t4r;
    const double m5r = -k5e * t3i, m5i = k5e * t3r;
    const double s1r = re[0] + m1r, s1i = im[0] + m1i;
    const double s2r = s1r + m2r, s2i = s1i + m2i;
    const double s4r = s1r - m2r, s4i = s1i - m2i;
    const double s3r = m3r - m4r, s3i = m3i - m4i;
    const double s5r = m3r + m5r, s5i = m3i + m5i;
    re[1] = s2r + s3r;
    im[1] = s2i + s3i;
    re[2] = s4r + s5r;
    im[2] = s4i + s5i;
    re[3] = s4r - s5r;
    im[3] = s4i - s5i;
    re[4] = s2r - s3r;
    im[4] = s2i - s3i;
}

// Two 4-point transforms (even and odd samples) joined by the eighth roots of unity.
void fft_8(double re[], double im[]) {
    double er[4] = {re[0], re[2], re[4], re[6]}, ei[4] = {im[0], im[2], im[4], im[6]};
    double orr[4] = {re[1], re[3], re[5], re[7]}, oi[4] = {im[1], im[3], im[5], im[7]};
    fft_4(er, ei);
    fft_4(orr, oi);
    // odd[k] *= exp(-j*pi*k/4): k = 1 -> k8 (1 - j), k = 2 -> -j, k = 3 -> -k8 (1 + j).
    const double o1r = k8 * (orr[1] + oi[1]), o1i = k8 * (oi[1] - orr[1]);
    const double o2r = oi[2], o2i = -orr[2];
    const double o3r = k8 * (oi[3] - orr[3]), o3i = -k8 * (orr[3] + oi[3]);
    re[0] = er[0] + orr[0];
    im[0] = ei[0] + oi[0];
    re[4] = er[0] - orr[0];
    im[4] = ei[0] - oi[0];
    re[1] = er[1] + o1r;
    im[1] = ei[1] + o1i;
    re[5] = er[1] - o1r;
    im[5] = ei[1] - o1i;
    re[2] = er[2] + o2r;
    im[2] = ei[2] + o2i;
    re[6] = er[2] - o2r;
    im[6] = ei[2] - o2i;
    re[3] = er[3] + o3r;
    im[3] = ei[3] + o3i;
    re[7] = er[3] - o3r;
    im[7] = ei[3] - o3i;
}

// Good-Thomas split 10 = 2 * 5: no twiddles between the two 5-point kernels.
void fft_10(double re[], double im[]) {
    double ar[5] = {re[0], re[2], re[4], re[6], re[8]}, ai[5] = {im[0], im[2], im[4], im[6], im[8]};
    double br[5] = {re[5], re[7], re[9], re[1], re[3]}, bi[5] = {im[5], im[7], im[9], im[1], im[3]};
    fft_5(ar, ai);
    fft_5(br, bi);
    static constexpr int kPlus[5] = {0, 6, 2, 8, 4};
    static constexpr int kMinus[5] = {5, 1, 7, 3, 9};
    for (int i = 0; i < 5; ++i) {
        re[kPlus[i]] = ar[i] + br[i];
        im[kPlus[i]] = ai[i] + bi[i];
        re[kMinus[i]] = ar[i] - br[i];
        im[kMinus[i]] = ai[i] - bi[i];
    }
}

void fft_odd(int radix, double re[], double im[], const WorkArea &w) {
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

void twiddleTransf(int span, int radix, int rest, const WorkArea &w, double yRe[], double yIm[]) {
    initTrig(radix, w.rootRe, w.rootIm);
    const double omega = kTwoPi / (static_cast<double>(span) * radix);
    const double cw = std::cos(omega), sw = -std::sin(omega);
    double tRe = 1.0, tIm = 0.0;
    const int stride = span * radix;
    for (int s = 0; s < span; ++s) {
        if (span > 1) {
            w.rotRe[0] = 1.0;
            w.rotIm[0] = 0.0;
            w.rotRe[1] = tRe;
            w.rotIm[1] = tIm;
            for (int b = 2; b < radix; ++b)
                CMul(tRe, tIm, w.rotRe[b - 1], w.rotIm[b - 1], w.rotRe[b], w.rotIm[b]);
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
                case 2: fft_2(zr, zi); break;
                case 3: fft_3(zr, zi); break;
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
    Scratch yRe = AllocScratch(n), yIm = AllocScratch(n);
    if (!yRe || !yIm) return ErrNoMemory;
    double *work = FFTBufferAcquire();
    if (work == nullptr) return ErrNoMemory;
    int factors[kTableSize];
    const int status = mixfft(n, re, im, yRe.get(), yIm.get(), work, -1, factors);
    FFTBufferRelease(work);
    for (int i = 0; i < n; ++i) {
        re[i] = yRe[i];
        im[i] = yIm[i];
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

void RealFFT(double x[], int n, int log2n) {
    if (n < 2) return;
    // Bit-reversal permutation.
    for (int i = 0, j = 0; i < n - 1; ++i) {
        if (i < j) std::swap(x[i], x[j]);
        int k = n >> 1;
        while (k <= j) {
            j -= k;
            k >>= 1;
        }
        j += k;
    }
    // Length-2 butterflies.
    for (int d = 0, g = 4; d < n; d = 2 * g - 2, g *= 4) {
        for (int p = d; p < n; p += g) {
            const double t = x[p];
            x[p] = t + x[p + 1];
            x[p + 1] = t - x[p + 1];
        }
    }
    const double *table = CachedRealTable(log2n);
    // L-shaped butterflies, N2 = 4, 8, ..., n.
    for (int n2 = 4; n2 <= n; n2 *= 2) {
        const int n4 = n2 / 4, n8 = n2 / 8;
        for (int d = 0, g = 2 * n2; d < n; d = 2 * g - n2, g *= 4) {
            for (int i1 = d; i1 < n; i1 += g) {
                int a1 = i1, a2 = a1 + n4, a3 = a2 + n4, a4 = a3 + n4;
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
        // Block by block, every j inside one block: each block of n2 values stays in cache.
        const int step = n / n2;  // table stride for this pass
        const double e = kTwoPi / n2;
        for (int d = 0, g = 2 * n2; d < n; d = 2 * g - n2, g *= 4) {
            for (int i = d; i < n; i += g) {
                double *const lo = x + i;  // lo[j] and the mirrored lo[n4 - j]
                for (int j = 1; j < n8; ++j) {
                    double cc1, ss1, cc3, ss3;
                    if (table != nullptr) {
                        const double *t = table + 4 * j * step;
                        cc1 = t[0];
                        ss1 = t[1];
                        cc3 = t[2];
                        ss3 = t[3];
                    } else {
                        const double a = e * j;
                        cc1 = std::cos(a);
                        ss1 = std::sin(a);
                        cc3 = std::cos(3.0 * a);
                        ss3 = std::sin(3.0 * a);
                    }
                    double *const x1 = lo + j, *const x2 = x1 + n4, *const x3 = x2 + n4,
                                 *const x4 = x3 + n4;
                    double *const x5 = lo + n4 - j, *const x6 = x5 + n4, *const x7 = x6 + n4,
                                 *const x8 = x7 + n4;
                    double t1 = *x3 * cc1 + *x7 * ss1;
                    double t2 = *x7 * cc1 - *x3 * ss1;
                    double t3 = *x4 * cc3 + *x8 * ss3;
                    double t4 = *x8 * cc3 - *x4 * ss3;
                    const double t5 = t1 + t3, t6 = t2 + t4;
                    t3 = t1 - t3;
                    t4 = t2 - t4;
                    t2 = *x6 + t6;
                    *x3 = t6 - *x6;
                    *x8 = t2;
                    t2 = *x2 - t3;
                    *x7 = -*x2 - t3;
                    *x4 = t2;
                    t1 = *x1 + t5;
                    *x6 = *x1 - t5;
                    *x1 = t1;
                    t1 = *x5 + t4;
                    *x5 -= t4;
                    *x2 = t1;
                }
            }
        }
    }
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
    for (auto &slot : cacheSlots) {
        delete[] slot;
        slot = nullptr;
    }
    cacheCreated = false;
}

double *FFTBufferAcquire() {
    {
        std::lock_guard<std::mutex> guard(cacheLock);
        CreateCacheLocked();
        for (auto &slot : cacheSlots) {
            if (slot != nullptr) {
                double *block = slot;
                slot = nullptr;
                return block;
            }
        }
    }
    return AllocDoubles(kWorkAreaDoubles);
}

void FFTBufferRelease(double *block) {
    if (block == nullptr) return;
    {
        std::lock_guard<std::mutex> guard(cacheLock);
        for (auto &slot : cacheSlots) {
            if (slot == nullptr) {
                slot = block;
                return;
            }
        }
    }
    delete[] block;
}

void SetAllocationFailureAfter(int count) { allocBudget.store(count < 0 ? -1 : count); }

}  // namespace dspfft

// ---- public interface ----------------------------------------------------------------------------

using namespace dspfft;

int FFT(double re[], double im[], int n) {
    if (n <= 0) return ErrCountNotPositive;
    if (n == 1) return 0;
    if (IsPowerOfTwo(n)) return CxFFT(re, im, n, Log2(n));
    int factors[kTableSize];
    int factorCount = 0;
    factorize(n, &factorCount, factors);
    if (LargestFactor(factorCount, factors) >= kMaxRadix) return ChirpTransform(re, im, n, false);
    Scratch yRe = AllocScratch(n), yIm = AllocScratch(n);
    if (!yRe || !yIm) return ErrNoMemory;
    double *work = FFTBufferAcquire();
    if (work == nullptr) return ErrNoMemory;
    const int status = mixfft(n, re, im, yRe.get(), yIm.get(), work, -1, factors);
    FFTBufferRelease(work);
    if (status != 0) return status;
    for (int i = 0; i < n; ++i) {
        re[i] = yRe[i];
        im[i] = yIm[i];
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

int ReFFT(double x[], double y[], int n) {
    if (n <= 0) return ErrCountNotPositive;
    if (n == 1) {
        y[0] = 0.0;
        return 0;
    }
    if (IsPowerOfTwo(n)) {
        // Half-complex result unpacked in place into the two-sided spectrum.
        RealFFT(x, n, Log2(n));
        const int half = n / 2;
        y[0] = 0.0;
        y[half] = 0.0;
        for (int k = 1; k < half; ++k) {
            const double imag = x[n - k];
            y[k] = imag;
            y[n - k] = -imag;
            x[n - k] = x[k];
        }
        return 0;
    }
    int factors[kTableSize];
    int factorCount = 0;
    factorize(n, &factorCount, factors);
    if (LargestFactor(factorCount, factors) >= kMaxRadix) return ChirpTransform(x, y, n, true);
    double *work = FFTBufferAcquire();
    if (work == nullptr) return ErrNoMemory;
    const int status = mixRefft(n, x, y, work, -1, factors);
    FFTBufferRelease(work);
    return status;
}

int ToPolar(double x, double y, double *mag, double *phase) {
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
