#include <cstring>

#include "crypto/ec/field.h"

BOOL FieldInverse(const Digit* a, Digit* out, const FieldDesc* pField) {
  const ModulusRecord* rec = pField->pModulus;
  const DWORD n = pField->cDigits;
  // The modular routines clear their outputs before reading their inputs, so
  // the inverse is formed aside and copied (out may be a).
  Digit inverse[FIELD_MAX_DIGITS];
  if (rec->fMontgomery) {
    if (ModInverseJacobi(a, rec, inverse, nullptr) == 0) return 0;
  } else {
    // Plain residues: the extended gcd, which must come out as 1.
    Digit gcd[FIELD_MAX_DIGITS];
    const DWORD lgcd = BigGcdInverse(a, n, rec->modulus, n, inverse, nullptr, gcd, nullptr);
    if (lgcd != 1 || gcd[0] != 1) return 0;
  }
  memcpy(out, inverse, n * sizeof(Digit));
  return 1;
}

BOOL FieldDivide(const Digit* a, const Digit* b, Digit* out, const FieldDesc* pField) {
  Digit inverse[FIELD_MAX_DIGITS];
  return FieldInverse(b, inverse, pField) && FieldMul(a, inverse, out, pField);
}

BOOL FieldSqrt(const Digit* a, Digit* out, const FieldDesc* pField) {
  Digit root[FIELD_MAX_DIGITS];
  if (!ModSqrt(a, root, pField->pModulus)) return 0;
  memcpy(out, root, pField->cDigits * sizeof(Digit));
  return 1;
}
