#include "crypto/bignum/montgomery.h"

#include <cstring>

BOOL MontReduce(const Digit* x, Digit* out, const ModulusRecord* rec, Digit* work) {
  const DWORD n = rec->n;
  const DWORD r = rec->cRadix;
  if (work != x) std::memcpy(work, x, (n + r) * sizeof(Digit));
  work[n + r] = 0;
  const Digit mPrime = 0u - rec->digitInverse;
  // Each pass clears the lowest digit left by adding a multiple of m.
  for (DWORD i = 0; i < r; ++i) {
    Digit u = work[i] * mPrime;
    Digit carry = BigMulDigitAdd(rec->modulus, u, work + i, n);
    for (DWORD k = i + n; carry != 0 && k <= n + r; ++k) {
      work[k] += carry;
      carry = work[k] < carry;
    }
  }
  // Below 2m: one subtraction at most, which must also take the top digit.
  Digit* hi = work + r;
  if (hi[n] != 0 || BigCompare(hi, n, rec->modulus, n) >= 0) {
    Digit borrow = BigSubSame(hi, rec->modulus, hi, n);
    if (borrow != hi[n]) {
      BigErrorSet(kBigErrReduceCarry);
      return 0;
    }
  }
  std::memmove(out, hi, n * sizeof(Digit));
  return 1;
}

namespace {

// Interleaved (coarsely integrated operand scanning) Montgomery loop over
// kWords words of type W with double-width type D. The radix 2^(32 cRadix)
// is kWords whole words for either width, so both widths compute the same
// residue.
template <typename W, typename D, int kWords>
inline void FusedLoop(const W* a, const W* b, const W* m, W mPrime, W* out) {
  constexpr int kBits = 8 * sizeof(W);
  W t[kWords + 2] = {};
#pragma GCC unroll 8
  for (int i = 0; i < kWords; ++i) {
    W carry = 0;
    const W bi = b[i];
#pragma GCC unroll 8
    for (int j = 0; j < kWords; ++j) {
      D p = static_cast<D>(a[j]) * bi + t[j] + carry;
      t[j] = static_cast<W>(p);
      carry = static_cast<W>(p >> kBits);
    }
    D top = static_cast<D>(t[kWords]) + carry;
    t[kWords] = static_cast<W>(top);
    t[kWords + 1] = static_cast<W>(top >> kBits);

    const W u = t[0] * mPrime;
    D p = static_cast<D>(u) * m[0] + t[0];
    carry = static_cast<W>(p >> kBits);
#pragma GCC unroll 8
    for (int j = 1; j < kWords; ++j) {
      p = static_cast<D>(u) * m[j] + t[j] + carry;
      t[j - 1] = static_cast<W>(p);
      carry = static_cast<W>(p >> kBits);
    }
    top = static_cast<D>(t[kWords]) + carry;
    t[kWords - 1] = static_cast<W>(top);
    t[kWords] = t[kWords + 1] + static_cast<W>(top >> kBits);
  }
  // t < 2m: subtract m, keeping the difference only when it did not borrow
  // (or when t had its extra top word).
  W diff[kWords];
  W borrow = 0;
#pragma GCC unroll 8
  for (int j = 0; j < kWords; ++j) {
    D d = static_cast<D>(t[j]) - m[j] - borrow;
    diff[j] = static_cast<W>(d);
    borrow = static_cast<W>(d >> kBits) & 1;
  }
  const bool keepDiff = t[kWords] != 0 || borrow == 0;
#pragma GCC unroll 8
  for (int j = 0; j < kWords; ++j) out[j] = keepDiff ? diff[j] : t[j];
}

// Word i of an n-digit number, zero beyond its digits. Built from whole
// digits rather than copied into a padded buffer, which would have the loads
// wait for narrower stores.
template <typename W, int kDigits>
inline W LoadWord(const Digit* v, int i) {
  if constexpr (sizeof(W) == sizeof(Digit)) {
    return i < kDigits ? v[i] : 0;
  } else {
    W lo = 2 * i < kDigits ? v[2 * i] : 0;
    W hi = 2 * i + 1 < kDigits ? v[2 * i + 1] : 0;
    return lo | hi << 32;
  }
}

template <typename W, typename D, int kDigits>
inline void FusedDigits(const Digit* a, const Digit* b, const ModulusRecord* rec, W mPrime, Digit* out) {
  // The radix has 2 ceil(n/2) digits.
  constexpr int kWords = (kDigits + 1) / 2 * 2 * static_cast<int>(sizeof(Digit)) / static_cast<int>(sizeof(W));
  W wa[kWords], wb[kWords], wm[kWords], wo[kWords];
#pragma GCC unroll 8
  for (int i = 0; i < kWords; ++i) {
    wa[i] = LoadWord<W, kDigits>(a, i);
    wb[i] = LoadWord<W, kDigits>(b, i);
    wm[i] = LoadWord<W, kDigits>(rec->modulus, i);
  }
  FusedLoop<W, D, kWords>(wa, wb, wm, mPrime, wo);
#pragma GCC unroll 8
  for (int i = 0; i < kDigits; ++i) {
    if constexpr (sizeof(W) == sizeof(Digit)) {
      out[i] = wo[i];
    } else {
      out[i] = static_cast<Digit>(wo[i / 2] >> (32 * (i % 2)));
    }
  }
}

}  // namespace

void MontMulFused(const Digit* a, const Digit* b, Digit* out, const ModulusRecord* rec) {
#if defined(__SIZEOF_INT128__) && !defined(TF_BIGNUM_NARROW)
  // Two digits per word on 64-bit targets.
  typedef DWORD64 W;
  typedef unsigned __int128 D;
  const W mPrime = 0 - rec->wordInverse;
#else
  typedef Digit W;
  typedef DoubleDigit D;
  const W mPrime = 0u - rec->digitInverse;
#endif
  switch (rec->n) {
    case 1:
      FusedDigits<W, D, 1>(a, b, rec, mPrime, out);
      break;
    case 2:
      FusedDigits<W, D, 2>(a, b, rec, mPrime, out);
      break;
    case 3:
      FusedDigits<W, D, 3>(a, b, rec, mPrime, out);
      break;
    case 4:
      FusedDigits<W, D, 4>(a, b, rec, mPrime, out);
      break;
    case 5:
      FusedDigits<W, D, 5>(a, b, rec, mPrime, out);
      break;
    case 6:
      FusedDigits<W, D, 6>(a, b, rec, mPrime, out);
      break;
    case 7:
      FusedDigits<W, D, 7>(a, b, rec, mPrime, out);
      break;
    default:
      FusedDigits<W, D, 8>(a, b, rec, mPrime, out);
      break;
  }
}
