#include <cstring>

#include "crypto/bignum/bigdiv_internal.h"
#include "crypto/bignum/modular.h"

namespace {

// Inverse of an odd digit modulo 2^32 by Newton's iteration: the start
// (3d) xor 2 is right in its low 5 bits, each step doubles that.
Digit DigitInverse(Digit d) {
  Digit e = (3 * d) ^ 2;
  for (int i = 0; i < 4; ++i) e *= 2 - d * e;
  return e;
}

// m^-1 mod 2^(32c), a digit at a time: product (n + c digits) holds m times
// the digits found so far, so its low digits read 1, 0, 0, ... and the next
// digit is the one that clears the product's next digit. What is left above
// the low c digits is the high part of m * m^-1.
void MontgomeryConstants(ModulusRecord* rec, Digit* product) {
  const DWORD n = rec->n;
  const DWORD c = rec->planHalf.cDigits;
  std::memset(product, 0, (n + c) * sizeof(Digit));
  for (DWORD i = 0; i < c; ++i) {
    const Digit e = i == 0 ? rec->digitInverse : 0u - product[i] * rec->digitInverse;
    rec->montInverse[i] = e;
    // m * (digits so far) is below 2^(32(n + i)), so digit n + i is still free.
    product[n + i] = BigMulDigitAdd(rec->modulus, e, product + i, n);
  }
  MulPrepare(rec->montInverse, c, rec->montInversePrepared.digits, rec->montInversePrepared.signs, &rec->planHalf);
  MulPrepare(product + c, n, rec->montHighPrepared.digits, rec->montHighPrepared.signs, &rec->planFull);
}

// The Barrett multiplier and the residue of 2^K, K = 32(n + c) - s, from one
// division of 2^K - 1 (n + c digits, the top one cut by the shift). work
// holds n + c + (c + 1) + n digits.
BOOL BarrettConstants(ModulusRecord* rec, Digit* work) {
  const DWORD n = rec->n;
  const DWORD c = rec->planHalf.cDigits;
  Digit* num = work;
  Digit* quot = num + n + c;
  Digit* rem = quot + c + 1;
  for (DWORD i = 0; i < n + c; ++i) num[i] = 0xFFFFFFFFu;
  num[n + c - 1] >>= rec->reciprocal.shift;
  DWORD len;
  if (!BigDivRemStatus(num, n + c, rec->modulus, n, &rec->reciprocal, quot, rem, &len)) return 0;
  // m >= 2^(K - 32c - 1) puts mu in [2^(32c), 2^(32c + 1)): c digits and a
  // top digit of 1, which the prepared operand leaves implied.
  std::memcpy(rec->barrett, quot, (c + 1) * sizeof(Digit));
  MulPrepare(quot, c, rec->barrettLowPrepared.digits, rec->barrettLowPrepared.signs, &rec->planHalf);
  BigShift(quot, -1, quot, c + 1);
  std::memcpy(rec->barrettHalf, quot, c * sizeof(Digit));
  // 2^K = 1 + (2^K - 1) is congruent to rem + 1, so -2^K to m - 1 - rem.
  const Digit one = 1;
  BigSubSame(rec->modulus, rem, rec->residue, n);
  BigSub(rec->residue, n, &one, 1, rec->residue);
  MulPrepare(rec->residue, n, rec->residuePrepared.digits, rec->residuePrepared.signs, &rec->planFull);
  return 1;
}

}  // namespace

BOOL ModulusCreate(const Digit* m, DWORD n, BOOL fMontgomery, ModulusRecord* rec) {
  if (n == 0) {
    BigErrorSet(kBigErrModulusShape);
    return 0;
  }
  if (n > kBigMaxDigits) {
    BigErrorSet(kBigErrModulusTooLong);
    return 0;
  }
  if (m[n - 1] == 0) {
    BigErrorSet(kBigErrModulusShape);
    return 0;
  }
  const bool odd = (m[0] & 1) != 0;
  if (fMontgomery && !odd) {
    BigErrorSet(kBigErrEvenMontgomery);
    return 0;
  }
  std::memset(rec, 0, sizeof(*rec));
  std::memcpy(rec->modulus, m, n * sizeof(Digit));
  std::memcpy(rec->inverseModulus, m, n * sizeof(Digit));
  rec->n = n;
  rec->nInverse = n;
  rec->planFull = *MulPlanForSize(n);
  rec->planHalf = *MulPlanForSize((n + 1) / 2);
  const DWORD c = rec->planHalf.cDigits;
  rec->cRadix = 2 * c;
  rec->fMontgomery = fMontgomery ? 1 : 0;
  BigReciprocalCompute(m, n, &rec->reciprocal);
  if (odd) {
    rec->digitInverse = DigitInverse(m[0]);
  }

  // One block for the constants' products and the division: n + c, c + 1
  // and n digits, at most 193.
  static_assert(2 * kBigMaxDigits + 2 * kModHalfMaxDigits + 1 == kModulusCreateBlockBytes / sizeof(Digit),
                "the constants' block");
  Digit* work = static_cast<Digit*>(BigAlloc(kModulusCreateBlockBytes));
  if (work == nullptr) return 0;
  // Every odd modulus gets m^-1 mod 2^(32c), so that ModReduce can take
  // either flag whatever the record's form.
  if (odd) MontgomeryConstants(rec, work);
  const BOOL ok = BarrettConstants(rec, work);
  BigFree(work);
  if (!ok) return 0;

  if (!MulPrepareSplit(m, n, rec->modulusLow.digits, rec->modulusLow.signs, rec->modulusHigh.digits,
                       rec->modulusHigh.signs, &rec->planHalf)) {
    return 0;
  }
  Digit one = 1;
  return ModToForm(&one, 1, rec->one, rec);
}
