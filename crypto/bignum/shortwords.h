// Residues of short moduli (up to kShortMaxDigits digits) held in machine
// words of a compile-time count, for the routines that run thousands of
// times per point multiplication: additions, subtractions and the binary
// inverse. On 64-bit targets two digits share a word; elsewhere (and in the
// narrow test build) a word is a digit. Either way the values are the same
// integers, so the results are too (internal to the library).
#pragma once

#include "crypto/bignum/bignum.h"

// The carry flag chains that compilers do not find on their own from the
// double-width sums.
#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#define TF_SHORT_CARRY_INTRINSICS 1
#endif

constexpr DWORD kShortMaxDigits = 8;

#if defined(__SIZEOF_INT128__) && !defined(TF_BIGNUM_NARROW)
#define TF_SHORT_WIDE_WORDS 1
typedef DWORD64 ShortWord;
typedef unsigned __int128 ShortDouble;
#else
typedef Digit ShortWord;
typedef DoubleDigit ShortDouble;
#endif
constexpr int kShortWordBits = 8 * sizeof(ShortWord);

#ifdef TF_SHORT_CARRY_INTRINSICS
inline unsigned char ShortAddCarry(unsigned char c, ShortWord a, ShortWord b, ShortWord* out) {
#ifdef TF_SHORT_WIDE_WORDS
  unsigned long long r;
  c = _addcarry_u64(c, a, b, &r);
#else
  unsigned int r;
  c = _addcarry_u32(c, a, b, &r);
#endif
  *out = r;
  return c;
}

inline unsigned char ShortSubBorrow(unsigned char c, ShortWord a, ShortWord b, ShortWord* out) {
#ifdef TF_SHORT_WIDE_WORDS
  unsigned long long r;
  c = _subborrow_u64(c, a, b, &r);
#else
  unsigned int r;
  c = _subborrow_u32(c, a, b, &r);
#endif
  *out = r;
  return c;
}
#endif
constexpr int kShortDigitsPerWord = sizeof(ShortWord) / sizeof(Digit);

template <int kDigits>
constexpr int ShortWords() {
  return (kDigits + kShortDigitsPerWord - 1) / kShortDigitsPerWord;
}

// Word i of a kDigits-digit number, zero beyond its digits.
template <int kDigits>
inline ShortWord ShortLoadWord(const Digit* v, int i) {
  if constexpr (kShortDigitsPerWord == 1) {
    return v[i];
  } else {
    ShortWord lo = v[2 * i];
    ShortWord hi = 2 * i + 1 < kDigits ? v[2 * i + 1] : 0;
    return lo | hi << (kShortWordBits / 2);
  }
}

template <int kDigits>
inline void ShortLoad(const Digit* v, ShortWord* w) {
  constexpr int kWords = ShortWords<kDigits>();
#pragma GCC unroll 8
  for (int i = 0; i < kWords; ++i) w[i] = ShortLoadWord<kDigits>(v, i);
}

template <int kDigits>
inline void ShortStore(const ShortWord* w, Digit* v) {
#pragma GCC unroll 8
  for (int i = 0; i < kDigits; ++i) {
    if constexpr (kShortDigitsPerWord == 1) {
      v[i] = w[i];
    } else {
      v[i] = static_cast<Digit>(w[i / 2] >> (32 * (i % 2)));
    }
  }
}

// Whether a word array holds bits above its kDigits digits (only possible
// when the top word is half used).
template <int kDigits>
inline bool ShortAboveDigits(const ShortWord* w) {
  if constexpr (kDigits % kShortDigitsPerWord == 0) {
    return false;
  } else {
    return (w[ShortWords<kDigits>() - 1] >> (kShortWordBits / 2)) != 0;
  }
}

// out = a + b over kWords words; returns the carry. out may alias.
template <int kWords>
inline ShortWord ShortAdd(const ShortWord* a, const ShortWord* b, ShortWord* out) {
#ifdef TF_SHORT_CARRY_INTRINSICS
  unsigned char c = 0;
#pragma GCC unroll 8
  for (int i = 0; i < kWords; ++i) {
    c = ShortAddCarry(c, a[i], b[i], &out[i]);
  }
  return c;
#else
  ShortWord carry = 0;
#pragma GCC unroll 8
  for (int i = 0; i < kWords; ++i) {
    ShortDouble s = static_cast<ShortDouble>(a[i]) + b[i] + carry;
    out[i] = static_cast<ShortWord>(s);
    carry = static_cast<ShortWord>(s >> kShortWordBits);
  }
  return carry;
#endif
}

// out = a - b over kWords words; returns the borrow. out may alias.
template <int kWords>
inline ShortWord ShortSub(const ShortWord* a, const ShortWord* b, ShortWord* out) {
#ifdef TF_SHORT_CARRY_INTRINSICS
  unsigned char c = 0;
#pragma GCC unroll 8
  for (int i = 0; i < kWords; ++i) {
    c = ShortSubBorrow(c, a[i], b[i], &out[i]);
  }
  return c;
#else
  ShortWord borrow = 0;
#pragma GCC unroll 8
  for (int i = 0; i < kWords; ++i) {
    ShortDouble d = static_cast<ShortDouble>(a[i]) - b[i] - borrow;
    out[i] = static_cast<ShortWord>(d);
    borrow = static_cast<ShortWord>(d >> kShortWordBits) & 1;
  }
  return borrow;
#endif
}

// -1, 0 or 1 as a is below, equal to or above b.
template <int kWords>
inline int ShortCompare(const ShortWord* a, const ShortWord* b) {
#pragma GCC unroll 8
  for (int i = kWords - 1; i >= 0; --i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  return 0;
}

// Calls body.template operator()<kDigits>() for n in 1..kShortMaxDigits and
// returns its result; fallback() for longer moduli.
template <typename Body, typename Fallback>
inline auto ShortDispatch(DWORD n, Body body, Fallback fallback) {
  switch (n) {
    case 1:
      return body.template operator()<1>();
    case 2:
      return body.template operator()<2>();
    case 3:
      return body.template operator()<3>();
    case 4:
      return body.template operator()<4>();
    case 5:
      return body.template operator()<5>();
    case 6:
      return body.template operator()<6>();
    case 7:
      return body.template operator()<7>();
    case 8:
      return body.template operator()<8>();
    default:
      return fallback();
  }
}
