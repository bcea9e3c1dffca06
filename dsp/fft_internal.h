// Building blocks of the FFT engine, exposed for the engine's own tests. Application code
// calls only the routines of dsp/fft.h.
#pragma once

#include <cstddef>

namespace dspfft {

// Bound on a mixed-radix factor (largest usable factor 998, in practice the prime 997); lengths
// with a larger prime factor go through the chirp-z path.
inline constexpr int kMaxRadix = 999;
// Factor lists and stage tables: int arrays indexed from 1, entry 0 unused (0). Every n that fits
// in a 32-bit int has at most 19 factors; one spare entry keeps look-ahead reads in range.
inline constexpr int kMaxFactors = 20;
inline constexpr int kTableSize = kMaxFactors + 1;
// One mixed-radix work area: rotRe, rotIm, blkRe, blkIm, rootRe, rootIm (999 doubles each), then
// sumRe, sumIm, difRe, difIm (500 each).
inline constexpr int kHalfRadix = (kMaxRadix + 1) / 2;
inline constexpr int kWorkAreaDoubles = 6 * kMaxRadix + 4 * kHalfRadix;  // 7 994

// The work area carved into its named arrays.
struct WorkArea {
  double *rotRe, *rotIm;    // per-stage rotations, radix entries
  double *blkRe, *blkIm;    // gathered block, radix entries
  double *rootRe, *rootIm;  // roots of unity of the radix
  double *sumRe, *sumIm;    // half-length arrays of the odd kernel
  double *difRe, *difIm;
};
WorkArea CarveWorkArea(double* block);

// floor(log2 n) for n >= 1 (n = 1 gives 0); -1 for n <= 0.
int Log2(int n);

// Factor list of n: factors[1 ... *factorCount], factors[0] = 0. Radices 10, 8, 5, 4, 3, 2 are
// taken first (a trailing 2 merges with the nearest 8 into 4, 4), then odd primes; the list is
// stored in reverse order of discovery. n = 1 gives (1).
void factorize(int n, int* factorCount, int factors[]);

// Stage tables of the mixed-radix transform (kTableSize ints each): span[i] = product of the
// factors before stage i, rest[i] = n / (factors up to stage i), rest[0] = n. Factorizes first
// when *factorCount < 0. Returns 0.
int transTableSetup(int span[], int factors[], int rest[], int* factorCount, int* n);

// Mixed-radix digit-reversal copy x -> y (n values; x and y must not overlap).
void permute(int n, int factorCount, const int factors[], const int rest[], const double xRe[],
             const double xIm[], double yRe[], double yIm[]);
void Repermute(int n, int factorCount, const int factors[], const int rest[], const double x[],
               double y[]);

// root[i] = exp(-j*2*pi*i/radix), i = 0 ... radix-1, by complex recurrence from root[1].
void initTrig(int radix, double rootRe[], double rootIm[]);

// One mixed-radix stage on (yRe, yIm), n = span * radix * rest values.
void twiddleTransf(int span, int radix, int rest, const WorkArea& w, double yRe[], double yIm[]);

// Radix kernels: the forward DFT of the block (re, im) of the named length, in place.
void fft_4(double re[], double im[]);
void fft_5(double re[], double im[]);
void fft_8(double re[], double im[]);
void fft_10(double re[], double im[]);
void fft_odd(int radix, double re[], double im[], const WorkArea& w);

// Mixed-radix transform of (re, im) into (yRe, yIm), n values each; re, im are not changed.
// Pass factorCount = -1 to factorize here. Returns 0.
int mixfft(int n, const double re[], const double im[], double yRe[], double yIm[], double work[],
           int factorCount, int factors[]);
// Real-input mixed-radix transform in place: x real input (n doubles) -> (x, y) full spectrum.
int mixRefft(int n, double x[], double y[], double work[], int factorCount, int factors[]);

// Complex transform of a power of two n; log2n is accepted and not needed. 0 or ErrNoMemory.
int CxFFT(double re[], double im[], int n, int log2n);
// Inverse of CxFFT, including the 1/n factor.
int CxInvFFT(double re[], double im[], int n, int log2n);

// In-place split-radix real transform of a power of two n >= 2, half-complex output:
// x[k] = Re X[k] for k = 0 ... n/2, x[n-k] = Im X[k] for k = 1 ... n/2-1.
void RealFFT(double x[], int n, int log2n);
// RealFFT (x is overwritten), then the full spectrum as n interleaved (re, im) pairs in out
// (2n doubles).
void Real_FFTCx(double x[], double out[], int n, int log2n);

// Chirp-z preparation for a length-n transform by convolution of length M (power of two >= 2n):
// x (M doubles each part, input in the first n) is multiplied by the chirp w (n values) and padded
// with zeros; v (M values) receives the convolution kernel.
void Chirp_Z(double xr[], double xi[], double wr[], double wi[], double vr[], double vi[], int n,
             int M);
// a[i] <- a[i] * b[i], complex, i = 0 ... n-1.
void CxMultiply(double ar[], double ai[], const double br[], const double bi[], int n);

// Work-area pool: Acquire returns a block of kWorkAreaDoubles (nullptr when none can be had);
// Release gives it back (or frees it when the pool is full).
double* FFTBufferAcquire();
void FFTBufferRelease(double* block);
void CreateFFTBufferCache();
void DestroyFFTBufferCache();

// A scratch or table allocation of count doubles; nullptr when memory ran out or the test hook
// below says so.
double* AllocDoubles(std::size_t count);

// Self-sorting complex transform of a power of two n >= 16 from (inRe, inIm) into
// (outRe, outIm), with (wRe, wIm) as work arrays (n doubles each). The input may be the output
// or the work arrays; it is overwritten unless it is neither. False, with nothing written, when n
// is not such a power of two or there is no memory for its tables.
bool StockhamFFT(const double inRe[], const double inIm[], double outRe[], double outIm[],
                 double wRe[], double wIm[], int n);

// The same transform of the n complex values stored as interleaved (re, im) pairs in x
// (2n doubles), which the first pass reads; x may be the output arrays (outRe = x,
// outIm = x + n). The work arrays must not overlap x.
bool StockhamPairsFFT(const double x[], double outRe[], double outIm[], double wRe[], double wIm[],
                      int n);

// The spectrum of a real sequence of even length n from the complex transform Z of its n/2
// pairs z[i] = x[2i] + j x[2i+1], held as Z.re in x[0 ... n/2-1] and Z.im in x[n/2 ... n-1].
// On return x[k] = Re X[k], y[k] = Im X[k] for k = 0 ... n/2 (full: for every k < n). Without
// memory for its cached twiddles it computes them as it goes.
void RealFromHalf(double x[], double y[], int n, bool full);

// Test hook: make every scratch allocation after the next `count` ones fail (count < 0: never).
void SetAllocationFailureAfter(int count);

}  // namespace dspfft
