// IIR filter design (Butterworth, Chebyshev, inverse Chebyshev, elliptic) and
// cascade filtering with state kept from one block to the next.
//
// A filter is a cascade of sections. Low-pass and high-pass sections are of
// order q = 2, band-pass and band-stop sections of order q = 4; a filter of
// order N has (N + 1) / 2 sections. Section s owns
//   aCoefs[s*q .. s*q + q-1]            a1 .. aq of 1 + a1 z^-1 + ... + aq z^-q
//   bCoefs[s*(q+1) .. s*(q+1) + q]      b0 .. bq of the numerator
//   stateValues[s*q .. s*q + q-1]       its delay line (direct form II)
// For an odd order, section 0 holds the first-order factor (second-order for
// band-pass/band-stop) with its trailing coefficients zero.
//
// Frequencies are in Hz, ripple and attenuation in dB (positive numbers).
// Routines return 0 or one of the negative codes below. A record is used by one
// caller at a time; the library keeps no list of records.
#pragma once

#include "dsp/status.h"

inline constexpr int ErrCutoffAboveNyquist = -20020;  // a band edge lies above fs/2
inline constexpr int ErrOrderNotPositive = -20021;
inline constexpr int ErrBadCutoff = -20023;  // edge <= 0, fl >= fh or fs <= 0
inline constexpr int ErrRippleNotPositive = -20024;
inline constexpr int ErrAttenNotPositive = -20025;
inline constexpr int ErrRippleNotBelowAtten = -20028;
inline constexpr int ErrFilterRecordMismatch =
    -20066;  // counts disagree with type and order, or no record

// Filter types.
inline constexpr int IIR_LOWPASS = 0;
inline constexpr int IIR_HIGHPASS = 1;
inline constexpr int IIR_BANDPASS = 2;
inline constexpr int IIR_BANDSTOP = 3;

struct IIRFilterRecord {
  int filterType;    // IIR_LOWPASS .. IIR_BANDSTOP
  int filterOrder;   // order of the whole filter, >= 1
  int resetPending;  // 1: the state is cleared before the next block
  int aCount;        // q * sections
  double* aCoefs;
  int bCount;  // (q + 1) * sections
  double* bCoefs;
  int stateCount;  // = aCount
  double* stateValues;
};
typedef IIRFilterRecord* IIRFilterPtr;

// New record with its three arrays in the same block, all coefficients and the
// state zero, resetPending 0. nullptr when type is not 0..3, order < 1 or
// memory is short. Release with FreeIIRFilterPtr.
IIRFilterPtr AllocIIRFilterPtr(int type, int order);

// Releases the record and its arrays (one block). nullptr is accepted.
void FreeIIRFilterPtr(IIRFilterPtr filter);

// Marks the state to be cleared before the next filtered block.
// 0, or ErrFilterRecordMismatch for a null record.
int ResetIIRFilter(IIRFilterPtr filter);

// Designs the filter into the record, for the record's own type. For low-pass
// and high-pass fl is the cut-off and fh is ignored; for band-pass and
// band-stop fl < fh are the band edges. The cut-off is the -3 dB point
// (Butterworth), the edge of the ripple band (Chebyshev, elliptic) or the
// edge of the stop band (inverse Chebyshev). DC gain of an even-order Chebyshev
// or elliptic low-pass is the bottom of the ripple band, otherwise 1.
// Checks, first failing decides: order < 1 ErrOrderNotPositive; (low-pass,
// high-pass: fh := (fs/2 + fl)/2) fl <= 0, fh <= 0, fl >= fh or fs <= 0
// ErrBadCutoff; InvCh: atten <= 0 ErrAttenNotPositive; an edge above fs/2
// ErrCutoffAboveNyquist; Ch, Elp: ripple <= 0 ErrRippleNotPositive; Elp:
// atten <= 0 ErrAttenNotPositive, ripple >= atten ErrRippleNotBelowAtten;
// arrays too small for type and order ErrFilterRecordMismatch. A design that
// would overflow or put a pole on or outside the unit circle is refused too:
// ErrBadCutoff (edge at fs/2 or too near DC), ErrRippleNotPositive (Ch) or
// ErrAttenNotPositive (InvCh, Elp) for overflow, ErrRippleNotBelowAtten (Elp
// transition band too narrow for double precision). ErrNoMemory when scratch
// space is short. On error the record is left unchanged. Designing never
// touches the state.
int Bw_CascadeCoef(double fs, double fl, double fh, IIRFilterPtr filter);
int Ch_CascadeCoef(double fs, double fl, double fh, double ripple, IIRFilterPtr filter);
int InvCh_CascadeCoef(double fs, double fl, double fh, double atten, IIRFilterPtr filter);
int Elp_CascadeCoef(double fs, double fl, double fh, double ripple, double atten,
                    IIRFilterPtr filter);

// Filters n samples of x into y (n doubles each; y may be x, no other overlap).
// Consecutive calls continue one signal. ErrFilterRecordMismatch for an
// inconsistent record, ErrCountNotPositive for n <= 0 or a null x or y (a
// pending reset is still done); y is not written on error.
int IIRCascadeFiltering(const double x[], int n, IIRFilterPtr filter, double y[]);
