#include <cstring>

#include "crypto/bignum/bigdiv_internal.h"
#include "crypto/bignum/modular.h"
#include "crypto/bignum/shortwords.h"

namespace {

// a + b mod m on words: the difference with m is kept unless the sum was
// already below m. The sum of two reduced inputs is below 2m, so the
// difference must fit in n digits; when it does not, the inputs were not
// reduced.
template <int kDigits>
BOOL AddShort(const Digit* a, const Digit* b, Digit* out, const Digit* modulus) {
  constexpr int kWords = ShortWords<kDigits>();
  ShortWord wa[kWords], wb[kWords], wm[kWords], diff[kWords];
  ShortLoad<kDigits>(a, wa);
  ShortLoad<kDigits>(b, wb);
  ShortLoad<kDigits>(modulus, wm);
  ShortWord carry = ShortAdd<kWords>(wa, wb, wa);
  ShortWord borrow = ShortSub<kWords>(wa, wm, diff);
  if (carry == 0 && borrow != 0) {
    ShortStore<kDigits>(wa, out);
    return 1;
  }
  ShortStore<kDigits>(diff, out);
  if (carry > borrow || ShortAboveDigits<kDigits>(diff)) {
    BigErrorSet(kBigErrModAddCarry);
    return 0;
  }
  return 1;
}

template <int kDigits>
BOOL SubShort(const Digit* a, const Digit* b, Digit* out, const Digit* modulus) {
  constexpr int kWords = ShortWords<kDigits>();
  ShortWord wa[kWords], wb[kWords], wm[kWords];
  ShortLoad<kDigits>(a, wa);
  ShortLoad<kDigits>(b, wb);
  ShortWord borrow = ShortSub<kWords>(wa, wb, wa);
  if (borrow != 0) {
    ShortLoad<kDigits>(modulus, wm);
    ShortWord carry = ShortAdd<kWords>(wa, wm, wa);
    if (carry != borrow) {
      ShortStore<kDigits>(wa, out);
      BigErrorSet(kBigErrModSubBorrow);
      return 0;
    }
  }
  ShortStore<kDigits>(wa, out);
  return 1;
}

// a / 2^z mod m on words, at most 32 bits a step: adding q m with
// q = -a / m mod 2^s clears the low s bits, and the sum over 2^s is below m.
template <int kDigits>
BOOL HalveShort(const Digit* a, int z, Digit* out, const ModulusRecord* rec) {
  constexpr int kWords = ShortWords<kDigits>();
  constexpr int kStep = kShortWordBits > 32 ? 32 : kShortWordBits - 1;
  ShortWord x[kWords], m[kWords];
  ShortLoad<kDigits>(a, x);
  ShortLoad<kDigits>(rec->modulus, m);
  // -m^-1 modulo the word: the digit inverse, one Newton step wider.
  ShortWord inverse = rec->digitInverse;
  if constexpr (kShortWordBits > 32) inverse *= 2 - m[0] * inverse;
  const ShortWord mPrime = 0 - inverse;
  ShortWord stray = 0;
  while (z > 0) {
    const int s = z < kStep ? z : kStep;
    const ShortWord mask = (ShortWord{1} << s) - 1;
    const ShortWord q = (x[0] * mPrime) & mask;
    ShortWord sum[kWords + 1];
    ShortWord carry = 0;
#pragma GCC unroll 8
    for (int i = 0; i < kWords; ++i) {
      ShortDouble p = static_cast<ShortDouble>(q) * m[i] + x[i] + carry;
      sum[i] = static_cast<ShortWord>(p);
      carry = static_cast<ShortWord>(p >> kShortWordBits);
    }
    sum[kWords] = carry;
    stray |= sum[0] & mask;
#pragma GCC unroll 8
    for (int i = 0; i < kWords; ++i) x[i] = (sum[i] >> s) | (sum[i + 1] << (kShortWordBits - s));
    stray |= sum[kWords] >> s;
    z -= s;
  }
  if (stray != 0 || ShortAboveDigits<kDigits>(x)) {
    BigErrorSet(kBigErrShiftDown);
    return 0;
  }
  ShortStore<kDigits>(x, out);
  return 1;
}

}  // namespace

BOOL ModAdd(const Digit* a, const Digit* b, Digit* out, const ModulusRecord* rec) {
  const DWORD n = rec->n;
  if (n <= kShortMaxDigits) {
    return ShortDispatch(
        n, [&]<int kDigits>() { return AddShort<kDigits>(a, b, out, rec->modulus); }, [] { return 0; });
  }
  Digit carry = BigAddSame(a, b, out, n);
  if (carry != 0 || BigCompare(out, n, rec->modulus, n) >= 0) {
    Digit borrow = BigSubSame(out, rec->modulus, out, n);
    if (borrow != carry) {
      BigErrorSet(kBigErrModAddCarry);
      return 0;
    }
  }
  return 1;
}

BOOL ModSub(const Digit* a, const Digit* b, Digit* out, const ModulusRecord* rec) {
  const DWORD n = rec->n;
  if (n <= kShortMaxDigits) {
    return ShortDispatch(
        n, [&]<int kDigits>() { return SubShort<kDigits>(a, b, out, rec->modulus); }, [] { return 0; });
  }
  Digit borrow = BigSubSame(a, b, out, n);
  if (borrow != 0) {
    Digit carry = BigAddSame(out, rec->modulus, out, n);
    if (carry != borrow) {
      BigErrorSet(kBigErrModSubBorrow);
      return 0;
    }
  }
  return 1;
}

BOOL ModNeg(const Digit* a, Digit* out, const ModulusRecord* rec) {
  const DWORD n = rec->n;
  if (BigSignificantLength(a, n) == 0) {
    std::memset(out, 0, n * sizeof(Digit));
    return 1;
  }
  BigSubSame(rec->modulus, a, out, n);
  return 1;
}

BOOL ModShift(const Digit* a, int k, Digit* out, const ModulusRecord* rec) {
  const DWORD n = rec->n;
  if (k < 0 && (rec->modulus[0] & 1) == 0) {
    BigErrorSet(kBigErrShiftDownEven);
    return 0;
  }
  if (k < 0 && n <= kShortMaxDigits) {
    return ShortDispatch(
        n, [&]<int kDigits>() { return HalveShort<kDigits>(a, -k, out, rec); }, [] { return 0; });
  }
  if (out != a) std::memcpy(out, a, n * sizeof(Digit));
  Digit wide[kBigMaxDigits + 1];
  while (k > 0) {
    // Up to a digit at a time: the bits pushed out form an extra top digit,
    // and the n + 1 digit value is reduced.
    int s = k > 32 ? 32 : k;
    std::memcpy(wide, out, n * sizeof(Digit));
    wide[n] = BigShift(wide, s, wide, n);
    DWORD len;
    if (!BigDivRemStatus(wide, n + 1, rec->modulus, n, &rec->reciprocal, nullptr, out, &len)) {
      BigErrorSet(kBigErrShiftUp);
      return 0;
    }
    k -= s;
  }
  const Digit mPrime = 0u - rec->digitInverse;
  while (k < 0) {
    // Adding u*m with u = -a/m mod 2^s clears the low s bits; the sum over
    // 2^s is below m again.
    int s = k < -32 ? 32 : -k;
    Digit mask = s == 32 ? 0xFFFFFFFFu : (Digit{1} << s) - 1;
    Digit u = (out[0] * mPrime) & mask;
    Digit carry = BigMulDigitAdd(rec->modulus, u, out, n);
    if (BigShift(out, -s, out, n) != 0 || (s < 32 && (carry >> s) != 0)) {
      BigErrorSet(kBigErrShiftDown);
      return 0;
    }
    if (s == 32) {
      out[n - 1] = carry;
    } else {
      out[n - 1] |= carry << (32 - s);
    }
    k += s;
  }
  return 1;
}
