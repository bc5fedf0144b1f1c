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

// The reciprocal of a normalised two-digit divisor top (d1:d0):
// floor((2^96 - 1) / (d1:d0)) - 2^32. With d0 = 0 it is the one-digit
// reciprocal of d1.
inline Digit DigitReciprocal2(Digit d1, Digit d0) {
  Digit v = DigitReciprocal(d1);
  Digit p = d1 * v + d0;
  if (p < d0) {
    --v;
    if (p >= d1) {
      --v;
      p -= d1;
    }
    p -= d1;
  }
  const DoubleDigit t = static_cast<DoubleDigit>(v) * d0;
  const Digit t1 = static_cast<Digit>(t >> 32), t0 = static_cast<Digit>(t);
  p += t1;
  if (p < t1) {
    --v;
    if (p > d1 || (p == d1 && t0 >= d0)) --v;
  }
  return v;
}

// floor((u2:u1:u0) / (d1:d0)) for a normalised divisor top with its
// reciprocal v, for (u2:u1) below (d1:d0).
inline Digit DigitQuotient3(Digit u2, Digit u1, Digit u0, Digit d1, Digit d0, Digit v) {
  const DoubleDigit qq = static_cast<DoubleDigit>(v) * u2 + ((static_cast<DoubleDigit>(u2) << 32) | u1);
  Digit q1 = static_cast<Digit>(qq >> 32);
  const Digit q0 = static_cast<Digit>(qq);
  const Digit r1 = u1 - q1 * d1;
  const DoubleDigit d = (static_cast<DoubleDigit>(d1) << 32) | d0;
  DoubleDigit r = ((static_cast<DoubleDigit>(r1) << 32) | u0) - static_cast<DoubleDigit>(d0) * q1 - d;
  ++q1;
  if (static_cast<Digit>(r >> 32) >= q0) {
    --q1;
    r += d;
  }
  if (r >= d) ++q1;
  return q1;
}

// (u1:u0) / d for a normalised d with reciprocal v: quotient in *q,
// remainder in *r. u1 must be below d (else code 9 and 0).
inline BOOL DigitDivide(Digit u1, Digit u0, Digit d, Digit v, Digit* q, Digit* r) {
  if (u1 >= d) {
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

// Digit i of v shifted left by s bits (digits below index 0 are zero).
inline Digit DigitShifted(const Digit* v, DWORD i, Digit s) {
  Digit d = v[i] << s;
  if (s != 0 && i > 0) d |= v[i - 1] >> (32 - s);
  return d;
}
