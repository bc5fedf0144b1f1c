#include <cstring>

#include "crypto/bignum/modular.h"

namespace {

// Inverse of an odd digit modulo 2^32 by Newton's iteration: the start
// (3d) xor 2 is right in its low 5 bits, each step doubles that.
Digit DigitInverse(Digit d) {
  Digit e = (3 * d) ^ 2;
  for (int i = 0; i < 4; ++i) e *= 2 - d * e;
  return e;
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
  rec->cRadix = 2 * rec->planHalf.cDigits;
  rec->fMontgomery = fMontgomery ? 1 : 0;
  BigReciprocalCompute(m, n, &rec->reciprocal);
  if (odd) {
    rec->digitInverse = DigitInverse(m[0]);
    DWORD64 d = m[0] | (n > 1 ? static_cast<DWORD64>(m[1]) << 32 : 0);
    DWORD64 e = rec->digitInverse;
    rec->wordInverse = e * (2 - d * e);
  }
  Digit one = 1;
  return ModToForm(&one, 1, rec->one, rec);
}
