// Noise and tone generators, statistics and element-wise array routines.
//
// Arrays are caller-owned; every routine works element by element in index order, and an output
// array may be the same storage as an input array. Counts are element counts (n doubles).
// Status: 0, or ErrCountNotPositive when n <= 0, plus the codes named below.
#pragma once

#include "dsp/status.h"

// ---- pseudo-random generator ----------------------------------------------------------------
// One process-wide Wichmann-Hill generator (state 1234, 2345, 3456 at start) feeds both noise
// routines. WhiteNoise and GaussNoise hold its lock for the whole block, so concurrent callers
// draw disjoint stretches of the sequence. A seed > 0 restarts the sequence from that seed;
// seed 0 or a negative seed continues the common sequence.

// n uniform samples in (-amplitude, +amplitude] into x (n doubles).
// 0, ErrCountNotPositive, ErrLockUnavailable.
int WhiteNoise(int n, double amplitude, int seed, double x[]);
// n approximately normal samples (sum of twelve uniform draws), mean ~ 0, deviation ~ stdDev.
// 0, ErrCountNotPositive, ErrLockUnavailable.
int GaussNoise(int n, double stdDev, int seed, double x[]);
// Next value 0 ... 32767 of the generator. The caller holds the generator lock.
int randnum();
// Reseeds the generator when seed != 0; seed 0 leaves the state alone. The caller holds the lock.
void srandnum(int seed);
// Creates the generator lock on first use: 0, or -1 when it cannot be created.
int InitRandMutex();

// ---- tone --------------------------------------------------------------------------------------
// n samples amplitude*sin(phase) into x, frequency in cycles per sample, *phase in degrees.
// *phase is advanced and left in [0, 360), so the next call continues without a jump.
int SineWave(int n, double amplitude, double frequency, double* phase, double x[]);

// ---- statistics
// ---------------------------------------------------------------------------------- Mean and
// population standard deviation (divisor n) of x (n doubles).
int StdDev(const double x[], int n, double* mean, double* stdDev);

// Histogram of x (n doubles) over [base, top] in `intervals` equal intervals: hist (intervals
// ints) receives the counts, axis (intervals doubles) the interval centres. A sample equal to top
// counts in the last interval; samples outside [base, top] and NaN samples are not counted.
// 0, ErrBaseNotBelowTop (base >= top, or either is NaN; checked first), ErrCountNotPositive
// (n < 1 or intervals < 1).
int Histogram(const double x[], int n, double base, double top, int hist[], double axis[],
              int intervals);

// Largest and smallest element of x (n doubles) and their first positions.
int MaxMin1D(const double x[], int n, double* max, int* maxIndex, double* min, int* minIndex);

// ---- element-wise array routines -------------------------------------------------------------
int Set1D(double x[], int n, double value);                        // x[i] = value
int Clear1D(double x[], int n);                                    // x[i] = 0
int Copy1D(const double src[], int n, double dst[]);               // dst[i] = src[i]
int Sub1D(const double x[], const double y[], int n, double z[]);  // z[i] = x[i] - y[i]
int Mul1D(const double x[], const double y[], int n, double z[]);  // z[i] = x[i] * y[i]
// z[i] = x[i] / y[i] in index order; stops with ErrDivideByZero at the first y[i] = 0, with
// z[0 ... i-1] already written.
int Div1D(const double x[], const double y[], int n, double z[]);
