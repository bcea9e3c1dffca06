// Status codes shared by the signal-processing library. Every routine returns 0 for success
// or one of these negative codes; the values are part of the library's interface.
#pragma once

inline constexpr int ErrNoMemory = -20001;          // a working array could not be allocated
inline constexpr int ErrCountNotPositive = -20003;  // element count n <= 0 (or another count < 1)
inline constexpr int ErrCountNegative = -20004;     // element count n < 0 (ScaledWindow)
inline constexpr int ErrDivideByZero = -20060;      // Div1D met a zero divisor
inline constexpr int ErrLockUnavailable = -20064;   // a library lock could not be created
inline constexpr int ErrBaseNotBelowTop = -20101;   // Histogram range is empty (base >= top)
