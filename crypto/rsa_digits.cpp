#include "crypto/rsa_digits.h"

Digit RsaAdd(Digit* out, const Digit* a, const Digit* b, DWORD n) {
  DoubleDigit carry = 0;
  for (DWORD i = 0; i < n; ++i) {
    carry += static_cast<DoubleDigit>(a[i]) + b[i];
    out[i] = static_cast<Digit>(carry);
    carry >>= 32;
  }
  return static_cast<Digit>(carry);
}

Digit RsaSub(Digit* out, const Digit* a, const Digit* b, DWORD n) {
  Digit borrow = 0;
  for (DWORD i = 0; i < n; ++i) {
    const DoubleDigit diff = static_cast<DoubleDigit>(a[i]) - b[i] - borrow;
    out[i] = static_cast<Digit>(diff);
    borrow = static_cast<Digit>(diff >> 32) & 1;
  }
  return borrow;
}

Digit RsaMulDigit(Digit* out, const Digit* a, Digit d, DWORD n) {
  DoubleDigit carry = 0;
  for (DWORD i = 0; i < n; ++i) {
    carry += static_cast<DoubleDigit>(a[i]) * d;
    out[i] = static_cast<Digit>(carry);
    carry >>= 32;
  }
  return static_cast<Digit>(carry);
}

int RsaCompare(const Digit* a, const Digit* b, DWORD n) {
  for (DWORD i = n; i-- > 0;) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

DWORD RsaSignificantLength(const Digit* a, DWORD n) {
  while (n > 1 && a[n - 1] == 0) --n;
  return n == 0 ? 1 : n;
}

DWORD RsaBitLength(const Digit* a, DWORD n) {
  while (n > 0 && a[n - 1] == 0) --n;
  if (n == 0) return 0;
  return 32 * (n - 1) + static_cast<DWORD>(std::bit_width(a[n - 1]));
}
