#include "crypto/bignum/bignum.h"

Digit BigMulDigit(const Digit* a, Digit d, Digit* out, DWORD n) {
  Digit carry = 0;
  for (DWORD i = 0; i < n; ++i) {
    DoubleDigit p = static_cast<DoubleDigit>(a[i]) * d + carry;
    out[i] = static_cast<Digit>(p);
    carry = static_cast<Digit>(p >> 32);
  }
  return carry;
}

Digit BigMulDigitAdd(const Digit* a, Digit d, Digit* acc, DWORD n) {
  Digit carry = 0;
  for (DWORD i = 0; i < n; ++i) {
    // a*d + acc + carry never exceeds (2^32 - 1)^2 + 2 * (2^32 - 1) < 2^64.
    DoubleDigit p = static_cast<DoubleDigit>(a[i]) * d + acc[i] + carry;
    acc[i] = static_cast<Digit>(p);
    carry = static_cast<Digit>(p >> 32);
  }
  return carry;
}

Digit BigMulDigitSub(const Digit* a, Digit d, Digit* acc, DWORD n) {
  Digit borrow = 0;
  for (DWORD i = 0; i < n; ++i) {
    DoubleDigit p = static_cast<DoubleDigit>(a[i]) * d + borrow;
    Digit lo = static_cast<Digit>(p);
    borrow = static_cast<Digit>(p >> 32) + (acc[i] < lo);
    acc[i] -= lo;
  }
  return borrow;
}

void BigMulSchool(const Digit* a, DWORD la, const Digit* b, DWORD lb, Digit* out) {
  if (la < lb) {
    const Digit* t = a;
    a = b;
    b = t;
    DWORD lt = la;
    la = lb;
    lb = lt;
  }
  for (DWORD i = 0; i < la + lb; ++i) out[i] = 0;
  // The shorter operand drives the outer loop: fewer, longer inner runs.
  for (DWORD j = 0; j < lb; ++j) out[j + la] = BigMulDigitAdd(a, b[j], out + j, la);
}
