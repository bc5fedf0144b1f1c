#include <cstring>

#include "crypto/ec/field.h"

BOOL FieldInverse(const Digit* a, Digit* out, const FieldDesc* pField) {
  const ModulusRecord* rec = pField->pModulus;
  if (rec->fMontgomery) return ModInverseJacobi(a, rec, out, nullptr) != 0;

  // Plain residues: the extended gcd, which must come out as 1.
  const DWORD n = pField->cDigits;
  Digit inverse[FIELD_MAX_DIGITS];
  Digit gcd[FIELD_MAX_DIGITS];
  const DWORD lgcd = BigGcdInverse(a, n, rec->modulus, n, inverse, nullptr, gcd, nullptr);
  if (lgcd != 1 || gcd[0] != 1) return 0;
  memcpy(out, inverse, n * sizeof(Digit));
  return 1;
}

BOOL FieldDivide(const Digit* a, const Digit* b, Digit* out, const FieldDesc* pField) {
  Digit inverse[FIELD_MAX_DIGITS];
  return FieldInverse(b, inverse, pField) && FieldMul(a, inverse, out, pField);
}

BOOL FieldSqrt(const Digit* a, Digit* out, const FieldDesc* pField) { return ModSqrt(a, out, pField->pModulus); }
