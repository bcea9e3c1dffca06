// Data windows. Each routine multiplies a block of n doubles, in place, by a window that is
// periodic with period n: with theta(i) = 2*pi*i/n, sample i is multiplied by w(i), w(i) = w(n-i).
// Sample 0 is multiplied by a stored value (not recomputed), for even n the middle sample n/2 of
// the two-sided windows is left as it is (its window value is 1).
//
// Status: 0, or ErrCountNotPositive when n <= 0 (GenCosWin also when m < 1); x is then unchanged.
#pragma once

#include "dsp/status.h"

// Figures of merit reported by ScaledWindow, in this order.
struct WindowConstants {
  double enbw;          // equivalent noise bandwidth, in bins
  double coherentGain;  // mean value of the window
};

int HanWin(double x[], int n);        // Hanning: sin^2(pi*i/n)
int HamWin(double x[], int n);        // Hamming: 0.54 - 0.46 cos(theta)
int BkmanWin(double x[], int n);      // Blackman: 0.42 - 0.5 cos(theta) + 0.08 cos(2 theta)
int ExBkmanWin(double x[], int n);    // exact Blackman
int BlkHarrisWin(double x[], int n);  // three-term Blackman-Harris

// Generalised cosine window: w(i) = sum_{k=0}^{m-1} (-1)^k a[k] cos(k theta), a: m coefficients.
int GenCosWin(double x[], int n, const double a[], int m);
// Flat top: GenCosWin with five stored coefficients.
int FlatTopWin(double x[], int n);

// Window type codes of ScaledWindow; any other code (negative ones included) applies none.
enum WindowType : int {
  kWindowNone = 0,
  kWindowHanning = 1,
  kWindowHamming = 2,
  kWindowBlackmanHarris3 = 3,
  kWindowExactBlackman = 4,
  kWindowBlackman = 5,
  kWindowFlatTop = 6,
  kWindowBlackmanHarris4 = 7,
  kWindowBlackmanHarris7 = 8,
};

// Applies the window of `type` to x (n doubles), stores its constants into *out and rescales the
// block by 1/coherentGain so that the window has unit coherent gain.
// 0 (n = 0 applies nothing but still fills *out), or ErrCountNegative for n < 0 (nothing written).
int ScaledWindow(double x[], int n, int type, WindowConstants* out);

// Half-width of the main lobe of the window of `type`, in bins: the first zero of its spectrum
// lies this many bins from the centre (m bins for an m-term cosine window). Rectangular, and
// every unknown code: 1.
int MainLobeHalfWidth(int type);
