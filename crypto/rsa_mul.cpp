// The multiply-accumulate kernels and the products built on them. These carry
// nearly all of the exponentiation's time.
#include "crypto/rsa_digits.h"

Digit RsaMulDigitAdd(Digit* acc, const Digit* a, Digit d, DWORD n) {
  // a*d + acc + carry <= (B-1)^2 + 2(B-1) = B^2 - 1: never overflows 64 bits.
  DoubleDigit carry = 0;
  for (DWORD i = 0; i < n; ++i) {
    carry += static_cast<DoubleDigit>(a[i]) * d + acc[i];
    acc[i] = static_cast<Digit>(carry);
    carry >>= 32;
  }
  return static_cast<Digit>(carry);
}

Digit RsaMulDigitSub(Digit* acc, const Digit* a, Digit d, DWORD n) {
  // The high half of a*d + borrow is at most B-2, so adding the subtraction's
  // own borrow bit keeps the running borrow within one digit.
  Digit borrow = 0;
  for (DWORD i = 0; i < n; ++i) {
    const DoubleDigit p = static_cast<DoubleDigit>(a[i]) * d + borrow;
    const Digit lo = static_cast<Digit>(p);
    const Digit t = acc[i];
    acc[i] = t - lo;
    borrow = static_cast<Digit>(p >> 32) + (t < lo ? 1 : 0);
  }
  return borrow;
}

void RsaMultiply(Digit* out, const Digit* a, const Digit* b, DWORD n) {
  DWORD la = RsaSignificantLength(a, n);
  DWORD lb = RsaSignificantLength(b, n);
  // One row per digit of the shorter operand.
  if (la < lb) {
    const Digit* t = a;
    a = b;
    b = t;
    const DWORD tl = la;
    la = lb;
    lb = tl;
  }
  for (DWORD i = 0; i < 2 * n; ++i) out[i] = 0;
  if (n == 0) return;
  for (DWORD i = 0; i < lb; ++i) out[i + la] = RsaMulDigitAdd(out + i, a, b[i], la);
}

void RsaSquare(Digit* out, const Digit* a, DWORD n) {
  for (DWORD i = 0; i < 2 * n; ++i) out[i] = 0;
  if (n == 0) return;
  const DWORD l = RsaSignificantLength(a, n);
  // Each cross product a[i]*a[j] (i < j) once; row i ends in its carry digit
  // at position i + l, which no earlier row has reached yet.
  for (DWORD i = 0; i + 1 < l; ++i) out[i + l] = RsaMulDigitAdd(out + 2 * i + 1, a + i + 1, a[i], l - i - 1);
  // Twice the cross products is below a^2, so this cannot carry out.
  RsaAdd(out, out, out, 2 * l);
  DoubleDigit carry = 0;
  for (DWORD i = 0; i < l; ++i) {
    const DoubleDigit sq = static_cast<DoubleDigit>(a[i]) * a[i];
    carry += static_cast<DoubleDigit>(out[2 * i]) + static_cast<Digit>(sq);
    out[2 * i] = static_cast<Digit>(carry);
    carry >>= 32;
    carry += static_cast<DoubleDigit>(out[2 * i + 1]) + (sq >> 32);
    out[2 * i + 1] = static_cast<Digit>(carry);
    carry >>= 32;
  }
}
