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
// words of type W with double-width type D; W words of R are 2^(32c) split
// evenly, so both widths compute the same residue.
template <typename W, typename D, DWORD kMaxWords>
void FusedLoop(const W* a, const W* b, const W* m, W mPrime, DWORD words, W* out) {
  constexpr int kBits = 8 * sizeof(W);
  W t[kMaxWords + 2] = {};
  for (DWORD i = 0; i < words; ++i) {
    W carry = 0;
    const W bi = b[i];
    for (DWORD j = 0; j < words; ++j) {
      D p = static_cast<D>(a[j]) * bi + t[j] + carry;
      t[j] = static_cast<W>(p);
      carry = static_cast<W>(p >> kBits);
    }
    D top = static_cast<D>(t[words]) + carry;
    t[words] = static_cast<W>(top);
    t[words + 1] = static_cast<W>(top >> kBits);

    const W u = t[0] * mPrime;
    D p = static_cast<D>(u) * m[0] + t[0];
    carry = static_cast<W>(p >> kBits);
    for (DWORD j = 1; j < words; ++j) {
      p = static_cast<D>(u) * m[j] + t[j] + carry;
      t[j - 1] = static_cast<W>(p);
      carry = static_cast<W>(p >> kBits);
    }
    top = static_cast<D>(t[words]) + carry;
    t[words - 1] = static_cast<W>(top);
    t[words] = t[words + 1] + static_cast<W>(top >> kBits);
  }
  // t < 2m: subtract m once when t >= m.
  bool ge = t[words] != 0;
  if (!ge) {
    ge = true;
    for (DWORD j = words; j-- > 0;) {
      if (t[j] != m[j]) {
        ge = t[j] > m[j];
        break;
      }
    }
  }
  if (ge) {
    W borrow = 0;
    for (DWORD j = 0; j < words; ++j) {
      W mj = m[j];
      W d = t[j] - mj - borrow;
      borrow = (t[j] < mj) || (t[j] - mj < borrow);
      t[j] = d;
    }
  }
  for (DWORD j = 0; j < words; ++j) out[j] = t[j];
}

}  // namespace

void MontMulFused(const Digit* a, const Digit* b, Digit* out, const ModulusRecord* rec) {
  const DWORD n = rec->n;
  const DWORD r = rec->cRadix;  // even, at most 8 here
#if defined(__SIZEOF_INT128__) && !defined(TF_BIGNUM_NARROW)
  // Two digits per word on 64-bit targets: the radix is the same, so is
  // every result.
  typedef unsigned __int128 U128;
  DWORD64 wa[kMontFusedMaxDigits / 2] = {}, wb[kMontFusedMaxDigits / 2] = {}, wm[kMontFusedMaxDigits / 2] = {};
  std::memcpy(wa, a, n * sizeof(Digit));
  std::memcpy(wb, b, n * sizeof(Digit));
  std::memcpy(wm, rec->modulus, n * sizeof(Digit));
  DWORD64 wo[kMontFusedMaxDigits / 2];
  FusedLoop<DWORD64, U128, kMontFusedMaxDigits / 2>(wa, wb, wm, 0 - rec->wordInverse, r / 2, wo);
  std::memcpy(out, wo, n * sizeof(Digit));
#else
  Digit wa[kMontFusedMaxDigits] = {}, wb[kMontFusedMaxDigits] = {}, wm[kMontFusedMaxDigits] = {};
  std::memcpy(wa, a, n * sizeof(Digit));
  std::memcpy(wb, b, n * sizeof(Digit));
  std::memcpy(wm, rec->modulus, n * sizeof(Digit));
  Digit wo[kMontFusedMaxDigits];
  FusedLoop<Digit, DoubleDigit, kMontFusedMaxDigits>(wa, wb, wm, 0u - rec->digitInverse, r, wo);
  std::memcpy(out, wo, n * sizeof(Digit));
#endif
}
