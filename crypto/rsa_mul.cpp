// The multiply-accumulate kernels and the products built on them; these carry
// nearly all of the exponentiation's time. Where the compiler has a 128-bit
// integer type (x86-64 builds) two digits are handled as one 64-bit limb;
// elsewhere (the i686 deliverable) digit by digit. Both give identical
// results; TF_RSA_NARROW_KERNELS forces the digit-by-digit code so tests can
// check it on any host.
#include <cstring>

#include "crypto/rsa_digits.h"

#if defined(__SIZEOF_INT128__) && !defined(TF_RSA_NARROW_KERNELS)
#define TF_RSA_WIDE_KERNELS 1
#if defined(__x86_64__)
#include <x86intrin.h>
#endif
#endif

namespace {

#if TF_RSA_WIDE_KERNELS
typedef uint64_t Limb;
typedef unsigned __int128 LimbProduct;

// Two adjacent digits as one limb (little-endian), without alignment demands.
inline Limb LoadLimb(const Digit* p) {
  Limb v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
inline void StoreLimb(Digit* p, Limb v) { std::memcpy(p, &v, sizeof v); }

// Products whose operands fit this many limbs are formed in limb arrays on
// the stack (4096-bit moduli need 64); longer ones take the digit path.
constexpr DWORD kMaxProductLimbs = 64;

// Add and subtract with a carry bit, as the processor's own instructions
// where we have them: the kernels below keep the product's carry and the
// accumulator's carry in two separate chains, which halves the latency of a
// step compared with one 128-bit chain.
inline unsigned char AddCarry(unsigned char c, Limb x, Limb y, Limb* out) {
#if defined(__x86_64__)
  unsigned long long r;
  c = _addcarry_u64(c, x, y, &r);
  *out = r;
  return c;
#else
  const Limb s = x + y;
  const Limb r = s + c;
  *out = r;
  return static_cast<unsigned char>((s < x) | (r < s));
#endif
}

inline unsigned char SubBorrow(unsigned char b, Limb x, Limb y, Limb* out) {
#if defined(__x86_64__)
  unsigned long long r;
  b = _subborrow_u64(b, x, y, &r);
  *out = r;
  return b;
#else
  const Limb d = x - y;
  const Limb r = d - b;
  *out = r;
  return static_cast<unsigned char>((x < y) | (d < b));
#endif
}

// acc[0..n) += a[0..n) * d over limbs; returns the carry limb.
Limb LimbMulAdd(Limb* acc, const Limb* a, Limb d, DWORD n) {
  // a*d + high part never exceeds 2^128 - 2^64, so the high part stays one
  // limb; the final carry (high part plus the add chain's bit) does too,
  // since acc + a*d < 2^(64(n+1)).
  Limb high = 0;
  unsigned char c = 0;
  for (DWORD i = 0; i < n; ++i) {
    const LimbProduct p = static_cast<LimbProduct>(a[i]) * d + high;
    high = static_cast<Limb>(p >> 64);
    c = AddCarry(c, acc[i], static_cast<Limb>(p), &acc[i]);
  }
  return high + c;
}

// The l significant digits of a as ceil(l/2) limbs.
DWORD ToLimbs(Limb* limbs, const Digit* a, DWORD l) {
  const DWORD k = (l + 1) / 2;
  for (DWORD j = 0; j < l / 2; ++j) limbs[j] = LoadLimb(a + 2 * j);
  if (l % 2 != 0) limbs[k - 1] = a[l - 1];
  return k;
}

// out (2n digits) := the 2k-limb product, zero above it.
void FromLimbs(Digit* out, DWORD n, const Limb* p, DWORD k) {
  DWORD i = 0;
  for (; i < 2 * n && i / 2 < 2 * k; ++i) out[i] = static_cast<Digit>(p[i / 2] >> (32 * (i % 2)));
  for (; i < 2 * n; ++i) out[i] = 0;
}
#endif

void ZeroDigits(Digit* out, DWORD n) {
  for (DWORD i = 0; i < n; ++i) out[i] = 0;
}

void MultiplyDigits(Digit* out, const Digit* a, DWORD la, const Digit* b, DWORD lb) {
  for (DWORD i = 0; i < lb; ++i) out[i + la] = RsaMulDigitAdd(out + i, a, b[i], la);
}

void SquareDigits(Digit* out, const Digit* a, DWORD l) {
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

}  // namespace

Digit RsaMulDigitAdd(Digit* acc, const Digit* a, Digit d, DWORD n) {
  // a*d + acc + carry never exceeds the double width: with B the width's
  // base, (B-1)^2 + 2(B-1) = B^2 - 1. The carry thus stays below 2^32.
  DWORD i = 0;
  DoubleDigit carry = 0;
#if TF_RSA_WIDE_KERNELS
  for (; i + 2 <= n; i += 2) {
    const LimbProduct t = static_cast<LimbProduct>(LoadLimb(a + i)) * d + LoadLimb(acc + i) + carry;
    StoreLimb(acc + i, static_cast<Limb>(t));
    carry = static_cast<Limb>(t >> 64);
  }
#endif
  for (; i < n; ++i) {
    carry += static_cast<DoubleDigit>(a[i]) * d + acc[i];
    acc[i] = static_cast<Digit>(carry);
    carry >>= 32;
  }
  return static_cast<Digit>(carry);
}

Digit RsaMulDigitSub(Digit* acc, const Digit* a, Digit d, DWORD n) {
  // The high part of a*d + borrow is at most 2^32 - 1, and reaches it only
  // with a zero low part, so adding the subtraction's own borrow bit keeps
  // the running borrow within one digit.
  DWORD i = 0;
  DoubleDigit borrow = 0;
#if TF_RSA_WIDE_KERNELS
  for (; i + 2 <= n; i += 2) {
    const LimbProduct p = static_cast<LimbProduct>(LoadLimb(a + i)) * d + borrow;
    const Limb lo = static_cast<Limb>(p);
    const Limb t = LoadLimb(acc + i);
    StoreLimb(acc + i, t - lo);
    borrow = static_cast<Limb>(p >> 64) + (t < lo ? 1 : 0);
  }
#endif
  for (; i < n; ++i) {
    const DoubleDigit p = static_cast<DoubleDigit>(a[i]) * d + borrow;
    const Digit lo = static_cast<Digit>(p);
    const Digit t = acc[i];
    acc[i] = t - lo;
    borrow = (p >> 32) + (t < lo ? 1 : 0);
  }
  return static_cast<Digit>(borrow);
}

DoubleDigit RsaMulDoubleDigitSub(Digit* acc, const Digit* a, DoubleDigit d, DWORD n) {
  // As above one width up: a*d + borrow stays below 2^(2w) for a two-digit
  // (w-bit) multiplier, and its high part reaches 2^w - 1 only with a zero
  // low part.
  DWORD i = 0;
  DoubleDigit borrow = 0;
#if TF_RSA_WIDE_KERNELS
  // The product's high part and the subtraction's borrow bit run in separate
  // chains and meet at the end (or before the odd last digit). Their sum is
  // the borrow of the whole: at most floor(a*d / 2^(32i)) + 1 < 2^64.
  Limb high = 0;
  unsigned char b = 0;
  for (; i + 2 <= n; i += 2) {
    const LimbProduct p = static_cast<LimbProduct>(LoadLimb(a + i)) * d + high;
    high = static_cast<Limb>(p >> 64);
    Limb t;
    b = SubBorrow(b, LoadLimb(acc + i), static_cast<Limb>(p), &t);
    StoreLimb(acc + i, t);
  }
  borrow = high + b;
#endif
  const Digit dLo = static_cast<Digit>(d);
  const Digit dHi = static_cast<Digit>(d >> 32);
  for (; i < n; ++i) {
    // a[i]*d + borrow as a 96-bit value: low digit in p0, upper 64 bits in p1.
    const DoubleDigit p0 = static_cast<DoubleDigit>(a[i]) * dLo + static_cast<Digit>(borrow);
    const DoubleDigit p1 = static_cast<DoubleDigit>(a[i]) * dHi + (borrow >> 32) + (p0 >> 32);
    const Digit lo = static_cast<Digit>(p0);
    const Digit t = acc[i];
    acc[i] = t - lo;
    borrow = p1 + (t < lo ? 1 : 0);
  }
  return borrow;
}

void RsaMultiply(Digit* out, const Digit* a, const Digit* b, DWORD n) {
  ZeroDigits(out, 2 * n);
  if (n == 0) return;
  DWORD la = RsaSignificantLength(a, n);
  DWORD lb = RsaSignificantLength(b, n);
  // One row per digit (or limb) of the shorter operand.
  if (la < lb) {
    const Digit* t = a;
    a = b;
    b = t;
    const DWORD tl = la;
    la = lb;
    lb = tl;
  }
#if TF_RSA_WIDE_KERNELS
  if (la <= 2 * kMaxProductLimbs) {
    Limb al[kMaxProductLimbs], bl[kMaxProductLimbs], p[2 * kMaxProductLimbs] = {};
    const DWORD ka = ToLimbs(al, a, la);
    const DWORD kb = ToLimbs(bl, b, lb);
    for (DWORD j = 0; j < kb; ++j) p[j + ka] = LimbMulAdd(p + j, al, bl[j], ka);
    FromLimbs(out, n, p, ka);
    return;
  }
#endif
  MultiplyDigits(out, a, la, b, lb);
}

void RsaSquare(Digit* out, const Digit* a, DWORD n) {
  ZeroDigits(out, 2 * n);
  if (n == 0) return;
  const DWORD l = RsaSignificantLength(a, n);
#if TF_RSA_WIDE_KERNELS
  if (l <= 2 * kMaxProductLimbs) {
    Limb al[kMaxProductLimbs], p[2 * kMaxProductLimbs] = {};
    const DWORD k = ToLimbs(al, a, l);
    for (DWORD j = 0; j + 1 < k; ++j) p[j + k] = LimbMulAdd(p + 2 * j + 1, al + j + 1, al[j], k - j - 1);
    Limb carry = 0;
    for (DWORD j = 0; j < 2 * k; ++j) {  // double; cannot carry out
      const Limb v = p[j];
      p[j] = (v << 1) | carry;
      carry = v >> 63;
    }
    LimbProduct acc = 0;
    for (DWORD j = 0; j < k; ++j) {
      const LimbProduct sq = static_cast<LimbProduct>(al[j]) * al[j];
      acc += static_cast<LimbProduct>(p[2 * j]) + static_cast<Limb>(sq);
      p[2 * j] = static_cast<Limb>(acc);
      acc >>= 64;
      acc += static_cast<LimbProduct>(p[2 * j + 1]) + static_cast<Limb>(sq >> 64);
      p[2 * j + 1] = static_cast<Limb>(acc);
      acc >>= 64;
    }
    FromLimbs(out, n, p, k);
    return;
  }
#endif
  SquareDigits(out, a, l);
}
