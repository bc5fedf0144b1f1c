#include <cstring>

#include "crypto/bignum/montgomery.h"

namespace {

constexpr DWORD kHalfMax = kModHalfMaxDigits;

// Pieces of the scratch that the plain reduction works in.
struct BarrettWork {
  Digit* prepared;  // a c-digit operand prepared with the record's half plan
  BYTE* signs;
  Digit* product;   // 2c + 2 digits: the quotient estimate's product with mu
  Digit* multiple;  // 3c + 2 digits: the estimate times m
  Digit* rest;      // 3c + 2 digits: the remainder being corrected
  Digit* folded;    // n + c digits: the input with its top part reduced
};

BarrettWork Layout(Digit* scratch) {
  BarrettWork w;
  w.prepared = scratch;
  w.signs = reinterpret_cast<BYTE*>(scratch + kMulHalfPreparedMax);
  w.product = scratch + kMulHalfPreparedMax + (kMulHalfSignsMax + 3) / 4;
  w.multiple = w.product + 2 * kHalfMax + 2;
  w.rest = w.multiple + 3 * kHalfMax + 2;
  w.folded = w.rest + 3 * kHalfMax + 2;
  return w;
}
static_assert(kMulHalfPreparedMax + (kMulHalfSignsMax + 3) / 4 + 8 * kHalfMax + 6 + kBigMaxDigits + kHalfMax <=
                  kReduceWorkDigits,
              "reduction work too small for the plain reduction");

// out (n digits) = v mod m for v (lv <= n + c digits) below 2^K, K = 32(n + c) - s.
// With q1 = floor(v / 2^(32(n-1))) the estimate floor(q1 * mu / 2^(K - 32(n-1)))
// is the quotient or at most two below it (m has a non-zero top digit and mu
// is short of 2^K / m by at most one), so two subtractions of m finish.
// Returns what is left of the carries: 0 unless the estimate was off.
Digit BarrettPass(const Digit* v, DWORD lv, Digit* out, const ModulusRecord* rec, const BarrettWork& w) {
  const DWORD n = rec->n;
  const MulPlan* half = &rec->planHalf;
  const DWORD c = half->cDigits;
  const DWORD wide = 3 * c + 2;

  // q1 (c + 1 digits) times mu = 2^(32c) + muLow, the top digit q1[c] and
  // mu's implied top digit added in beside the prepared product.
  Digit q1[kHalfMax + 1] = {};
  if (lv > n - 1) std::memcpy(q1, v + n - 1, (lv - (n - 1)) * sizeof(Digit));
  MulPrepare(q1, c, w.prepared, w.signs, half);
  MulPrepared(w.prepared, w.signs, rec->barrettLowPrepared.digits, rec->barrettLowPrepared.signs, w.product, half);
  w.product[2 * c] = 0;
  w.product[2 * c + 1] = 0;
  Digit* upper = w.product + c;  // c + 2 digits from 2^(32c) up
  BigAdd(upper, c + 2, q1, c, upper);
  const DoubleDigit top = static_cast<DoubleDigit>(BigMulDigitAdd(rec->barrett, q1[c], upper, c)) + q1[c];
  const Digit topDigits[2] = {static_cast<Digit>(top), static_cast<Digit>(top >> 32)};
  BigAdd(upper + c, 2, topDigits, 2, upper + c);
  // The estimate is the product over 2^(32(c + 1) - s): upper moved down by
  // 32 - s bits, c + 1 digits (it is below 2^(32c + 1)).
  BigShift(upper, -static_cast<int>(32 - rec->reciprocal.shift), upper, c + 2);
  Digit* q = upper;

  // The estimate times m from the modulus' two prepared halves; the
  // estimate's top digit times m added in beside them.
  MulPrepare(q, c, w.prepared, w.signs, half);
  MulPrepared(w.prepared, w.signs, rec->modulusLow.digits, rec->modulusLow.signs, w.multiple, half);
  std::memset(w.multiple + 2 * c, 0, (c + 2) * sizeof(Digit));
  MulPrepared(w.prepared, w.signs, rec->modulusHigh.digits, rec->modulusHigh.signs, w.rest, half);
  BigAdd(w.multiple + c, 2 * c + 2, w.rest, 2 * c, w.multiple + c);
  const Digit carry = BigMulDigitAdd(rec->modulus, q[c], w.multiple + c, n);
  BigAdd(w.multiple + c + n, wide - c - n, &carry, 1, w.multiple + c + n);

  // v - q m is below 3m: n + 1 digits.
  std::memset(w.rest, 0, wide * sizeof(Digit));
  if (lv != 0) std::memcpy(w.rest, v, lv * sizeof(Digit));
  Digit left = BigSubSame(w.rest, w.multiple, w.rest, wide);
  for (int i = 0; i < 2 && (w.rest[n] != 0 || BigCompare(w.rest, n, rec->modulus, n) >= 0); ++i) {
    w.rest[n] -= BigSubSame(w.rest, rec->modulus, w.rest, n);
  }
  for (DWORD i = n; i < wide; ++i) left |= w.rest[i];
  if (BigCompare(w.rest, n, rec->modulus, n) >= 0) left |= 1;
  std::memcpy(out, w.rest, n * sizeof(Digit));
  return left;
}

}  // namespace

// out = x mod m for x below m * 2^(32 cRadix). One Barrett pass takes x
// below 2^K; a longer x (at most 2^(32c) m) has its part above the low c
// digits reduced first, which leaves a number below 2^(32c) m <= 2^K for a
// second pass.
BOOL ReducePlain(const Digit* x, DWORD lx, Digit* out, const ModulusRecord* rec, Digit* work) {
  const DWORD n = rec->n;
  const DWORD c = rec->planHalf.cDigits;
  const DWORD bits = 32 * (n + c) - rec->reciprocal.shift;
  const BarrettWork w = Layout(work);
  Digit left;
  if (BigBitLength(x, lx) <= bits) {
    left = BarrettPass(x, BigSignificantLength(x, lx), out, rec, w);
  } else {
    left = BarrettPass(x + c, lx - c, w.folded + c, rec, w);
    std::memcpy(w.folded, x, c * sizeof(Digit));
    left |= BarrettPass(w.folded, n + c, out, rec, w);
  }
  if (left != 0) {
    BigErrorSet(kBigErrReduceCarry);
    return 0;
  }
  return 1;
}

BOOL ModReduce(const Digit* x, DWORD lx, BOOL fMontgomery, Digit* out, const ModulusRecord* rec, Digit* scratch) {
  const DWORD n = rec->n;
  const DWORD r = rec->cRadix;
  // Both forms accept what a Montgomery reduction can take: below m * 2^(32r).
  if (lx > n + r || (lx == n + r && BigCompare(x + r, n, rec->modulus, n) >= 0)) {
    BigErrorSet(kBigErrReduceInput);
    std::memset(out, 0, n * sizeof(Digit));
    return 0;
  }
  if (fMontgomery && (rec->modulus[0] & 1) == 0) {
    // No Montgomery constant exists for an even modulus.
    BigErrorSet(kBigErrReduceInput);
    std::memset(out, 0, n * sizeof(Digit));
    return 0;
  }
  Digit* block = nullptr;
  if (scratch == nullptr) {
    block = static_cast<Digit*>(BigAlloc(kMulScratchDigits * sizeof(Digit)));
    if (block == nullptr) {
      std::memset(out, 0, n * sizeof(Digit));
      return 0;
    }
    scratch = block;
  }
  const ScratchView v = MulScratchView(scratch);
  BOOL ok;
  if (fMontgomery) {
    if (lx != 0) std::memcpy(v.product, x, lx * sizeof(Digit));
    std::memset(v.product + lx, 0, (2 * r + 1 - lx) * sizeof(Digit));
    ok = ReduceMontgomery(v.product, out, rec, v.work);
  } else {
    ok = ReducePlain(x, lx, out, rec, v.work);
  }
  BigFree(block);
  if (!ok) std::memset(out, 0, n * sizeof(Digit));
  return ok;
}
