// FFT engine: discrete Fourier transform of double sequences of any length n >= 1.
//
// Layout: complex data live in two caller-owned arrays of n doubles (real, imaginary; never
// interleaved), index 0 ... n-1. Every transform works in place on those arrays.
// Convention: forward X[k] = sum_{i=0}^{n-1} x[i] * exp(-j*2*pi*i*k/n), unscaled.
//             inverse x[i] = (1/n) * sum_k X[k] * exp(+j*2*pi*i*k/n).
// Output is in natural order: index k is frequency k; k > n/2 are the negative frequencies k-n.
//
// Method (chosen from n alone): powers of two from 16 on use self-sorting radix-8/4 passes
// (shorter ones radix-8/4/2 stages); other lengths whose prime factors are all below 999 use
// mixed-radix stages; any other length uses the chirp-z (Bluestein) convolution with power-of-two
// transforms of length 2^(floor(log2 n) + 2). ReFFT of an even length transforms its n/2
// (even, odd) sample pairs as one complex sequence of n/2 by the same methods and splits the
// result (half the work of a complex transform); odd and chirp-z lengths, and powers of two below
// 32, go through a complex or split-radix real transform of n.
//
// Thread safety: every routine is reentrant. Scratch storage is per call or taken from a small
// process-wide pool guarded by a process-local lock.
//
// Per-length tables (digit reversal, twiddles computed directly with cos/sin, chirp-z kernels)
// are built on the first transform of a length and kept for the run, about 20 bytes per point:
// powers of two up to 2^20, sixteen other lengths up to 2^17, eight chirp-z lengths, and the
// split step's twiddles (n/4 pairs) of sixteen real lengths. Other
// lengths are transformed without tables; no table is required for a result. Each calling
// thread also keeps two reusable scratch blocks of at most 2 MB for the complex transforms.
//
// Status: 0, ErrCountNotPositive (n <= 0, data untouched) or ErrNoMemory (scratch allocation
// failed; every array the call allocated is freed).
#pragma once

#include "dsp/status.h"

// Forward complex transform of (re, im), n doubles each, in place. Unscaled.
// When the mixed-radix path runs out of memory the caller's arrays are left unchanged.
int FFT(double re[], double im[], int n);

// Inverse complex transform of (re, im), n doubles each, in place, including the 1/n factor.
// The scaling is applied first: after ErrNoMemory the arrays hold the scaled, conjugated input.
int InvFFT(double re[], double im[], int n);

// Forward transform of the real sequence x (n doubles). On return x[k] = Re X[k] and
// y[k] = Im X[k] for every k = 0 ... n-1: the full two-sided spectrum, X[n-k] = conj X[k].
// The previous contents of y (n doubles) are never read. Unscaled, natural order.
int ReFFT(double x[], double y[], int n);

// ReFFT for callers that read only the non-negative frequencies: on return x[k] = Re X[k] and
// y[k] = Im X[k] for k = 0 ... n/2; the other elements of x and y are left as work space with
// no defined contents. Same status codes; cheaper than ReFFT by the mirrored upper half.
int ReFFTHalf(double x[], double y[], int n);

// mag = sqrt(x^2 + y^2), phase = atan2(y, x) in radians (-pi ... pi); (0, 0) gives (0, 0).
// Always returns 0.
int ToPolar(double x, double y, double* mag, double* phase);

// ToPolar element by element over n values. mag[i] may be the same storage as re[i] or im[i],
// phase[i] likewise (callers pass mag = re or phase = im). 0, or ErrCountNotPositive for n <= 0.
int ToPolar1D(const double re[], const double im[], int n, double mag[], double phase[]);
