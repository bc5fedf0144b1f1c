#include <bit>

#include "crypto/bignum/bignum.h"

DWORD BigSignificantLength(const Digit* a, DWORD n) {
  while (n > 0 && a[n - 1] == 0) --n;
  return n;
}

int BigCompare(const Digit* a, DWORD la, const Digit* b, DWORD lb) {
  for (; la > lb; --la) {
    if (a[la - 1] != 0) return 1;
  }
  for (; lb > la; --lb) {
    if (b[lb - 1] != 0) return -1;
  }
  for (DWORD i = la; i > 0; --i) {
    if (a[i - 1] != b[i - 1]) return a[i - 1] > b[i - 1] ? 1 : -1;
  }
  return 0;
}

DWORD BigBitLength(const Digit* a, DWORD n) {
  n = BigSignificantLength(a, n);
  if (n == 0) return 0;
  return 32 * n - static_cast<DWORD>(std::countl_zero(a[n - 1]));
}

Digit BigShift(const Digit* a, int s, Digit* out, DWORD n) {
  if (s > 32 || s < -32) {
    BigErrorSet(kBigErrShiftCount);
    return 0;
  }
  if (n == 0) return 0;
  if (s == 0) {
    for (DWORD i = 0; i < n; ++i) out[i] = a[i];
    return 0;
  }
  if (s == 32) {
    Digit top = a[n - 1];
    for (DWORD i = n - 1; i > 0; --i) out[i] = a[i - 1];
    out[0] = 0;
    return top;
  }
  if (s == -32) {
    Digit low = a[0];
    for (DWORD i = 0; i + 1 < n; ++i) out[i] = a[i + 1];
    out[n - 1] = 0;
    return low;
  }
  if (s > 0) {
    Digit outBits = a[n - 1] >> (32 - s);
    for (DWORD i = n - 1; i > 0; --i) out[i] = (a[i] << s) | (a[i - 1] >> (32 - s));
    out[0] = a[0] << s;
    return outBits;
  }
  int r = -s;
  Digit outBits = a[0] & ((Digit{1} << r) - 1);
  for (DWORD i = 0; i + 1 < n; ++i) out[i] = (a[i] >> r) | (a[i + 1] << (32 - r));
  out[n - 1] = a[n - 1] >> r;
  return outBits;
}
