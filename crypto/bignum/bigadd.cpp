#include "crypto/bignum/bignum.h"

Digit BigAddSame(const Digit* a, const Digit* b, Digit* out, DWORD n) {
  Digit carry = 0;
  for (DWORD i = 0; i < n; ++i) {
    DoubleDigit s = static_cast<DoubleDigit>(a[i]) + b[i] + carry;
    out[i] = static_cast<Digit>(s);
    carry = static_cast<Digit>(s >> 32);
  }
  return carry;
}

Digit BigSubSame(const Digit* a, const Digit* b, Digit* out, DWORD n) {
  Digit borrow = 0;
  for (DWORD i = 0; i < n; ++i) {
    DoubleDigit d = static_cast<DoubleDigit>(a[i]) - b[i] - borrow;
    out[i] = static_cast<Digit>(d);
    borrow = static_cast<Digit>(d >> 32) & 1;
  }
  return borrow;
}

// The upper digits of the longer operand only see the carry: the chain stops
// as soon as it dies out, and the rest is copied unless out is a itself.
Digit BigAdd(const Digit* a, DWORD la, const Digit* b, DWORD lb, Digit* out) {
  Digit carry = BigAddSame(a, b, out, lb);
  DWORD i = lb;
  for (; carry != 0 && i < la; ++i) {
    out[i] = a[i] + 1;
    carry = out[i] == 0;
  }
  if (out != a) {
    for (; i < la; ++i) out[i] = a[i];
  }
  return carry;
}

Digit BigSub(const Digit* a, DWORD la, const Digit* b, DWORD lb, Digit* out) {
  Digit borrow = BigSubSame(a, b, out, lb);
  DWORD i = lb;
  for (; borrow != 0 && i < la; ++i) {
    borrow = a[i] == 0;
    out[i] = a[i] - 1;
  }
  if (out != a) {
    for (; i < la; ++i) out[i] = a[i];
  }
  return borrow;
}

DWORD BigAddAnyOrder(const Digit* a, DWORD la, const Digit* b, DWORD lb, Digit* out) {
  if (la < lb) {
    const Digit* t = a;
    a = b;
    b = t;
    DWORD lt = la;
    la = lb;
    lb = lt;
  }
  Digit carry = BigAdd(a, la, b, lb, out);
  if (carry == 0) return la;
  out[la] = carry;
  return la + 1;
}
