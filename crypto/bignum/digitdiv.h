// Two-by-one digit division with a precomputed reciprocal, shared by the
// division routines.
#pragma once

#include <bit>

#include "crypto/bignum/bigerror.h"
#include "crypto/digit.h"
#include "platform/win.h"

// floor((2^64 - 1) / d) - 2^32 for a normalised d (top bit set).
inline Digit DigitReciprocal(Digit d) {
  return static_cast<Digit>(((static_cast<DoubleDigit>(~d) << 32) | 0xFFFFFFFFu) / d);
}

// (u1:u0) / d for a normalised d with reciprocal v: quotient in *q,
// remainder in *r. u1 must be below d (else code 9 and 0).
inline BOOL DigitDivide(Digit u1, Digit u0, Digit d, Digit v, Digit* q, Digit* r) {
  if (u1 >= d || (d >> 31) == 0) {
    BigErrorSet(kBigErrDigitDivOverflow);
    *q = 0;
    *r = 0;
    return 0;
  }
  DoubleDigit qq = static_cast<DoubleDigit>(v) * u1 + ((static_cast<DoubleDigit>(u1) << 32) | u0);
  Digit q1 = static_cast<Digit>(qq >> 32) + 1;
  Digit q0 = static_cast<Digit>(qq);
  Digit rem = u0 - q1 * d;
  if (rem > q0) {
    --q1;
    rem += d;
  }
  if (rem >= d) {
    ++q1;
    rem -= d;
  }
  *r = rem;
  *q = q1;
  return 1;
}

// The normalised top digit of a divisor (ld >= 1, top digit non-zero) given
// its shift, drawn from its top two digits.
inline Digit DigitNormalisedTop(const Digit* den, DWORD ld, Digit shift) {
  Digit top = den[ld - 1] << shift;
  if (shift != 0 && ld >= 2) top |= den[ld - 2] >> (32 - shift);
  return top;
}
