#include <cstring>

#include "crypto/ec/field.h"

BOOL FieldInitPrime(const ModulusRecord* pModulus, Digit* pScratch, FieldDesc* pField) {
  if (pModulus->n == 0 || pModulus->n > FIELD_MAX_DIGITS) return 0;
  pField->dwKind = FIELD_KIND_PRIME;
  pField->cDigits = pModulus->n;
  pField->dwDegree = 1;
  pField->pScratch = pScratch;
  pField->pModulus = pModulus;
  memset(pField->rgOne, 0, sizeof(pField->rgOne));
  memcpy(pField->rgOne, pModulus->one, pModulus->n * sizeof(Digit));
  return 1;
}

BOOL FieldAdd(const Digit* a, const Digit* b, Digit* out, const FieldDesc* pField) {
  return ModAdd(a, b, out, pField->pModulus);
}

BOOL FieldSub(const Digit* a, const Digit* b, Digit* out, const FieldDesc* pField) {
  return ModSub(a, b, out, pField->pModulus);
}

BOOL FieldNeg(const Digit* a, Digit* out, const FieldDesc* pField) { return ModNeg(a, out, pField->pModulus); }

BOOL FieldMul(const Digit* a, const Digit* b, Digit* out, const FieldDesc* pField) {
  return ModMul(a, b, out, pField->pModulus, pField->pScratch);
}

BOOL FieldMulAdd(const Digit* a, const Digit* b, const Digit* c, Digit* out, const FieldDesc* pField) {
  // c may be out itself, so the product goes through a temporary.
  Digit product[FIELD_MAX_DIGITS];
  return FieldMul(a, b, product, pField) && FieldAdd(product, c, out, pField);
}

BOOL FieldFromInt(LONG i, Digit* out, const FieldDesc* pField) {
  // The magnitude in unsigned arithmetic, so that the most negative value has one.
  Digit magnitude = i < 0 ? 0u - static_cast<Digit>(i) : static_cast<Digit>(i);
  if (!ModToForm(&magnitude, 1, out, pField->pModulus)) return 0;
  return i < 0 ? FieldNeg(out, out, pField) : 1;
}

BOOL FieldEqual(const Digit* a, const Digit* b, const FieldDesc* pField) {
  return memcmp(a, b, pField->cDigits * sizeof(Digit)) == 0;
}

BOOL FieldIsZero(const Digit* a, const FieldDesc* pField) {
  Digit any = 0;
  for (DWORD i = 0; i < pField->cDigits; i++) any |= a[i];
  return any == 0;
}

BOOL FieldZero(Digit* out, DWORD count, const FieldDesc* pField) {
  memset(out, 0, static_cast<size_t>(count) * pField->cDigits * sizeof(Digit));
  return 1;
}

BOOL FieldCopy(const Digit* src, Digit* out, DWORD count, const FieldDesc* pField) {
  // memmove: callers copy points within one buffer.
  memmove(out, src, static_cast<size_t>(count) * pField->cDigits * sizeof(Digit));
  return 1;
}
