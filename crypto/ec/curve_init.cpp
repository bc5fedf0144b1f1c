#include <cstring>

#include "crypto/ec/curve.h"

BOOL EcCurveInit(const Digit* a, const Digit* b, const FieldDesc* pField, CurveDesc* pCurve) {
  const DWORD n = pField->cDigits;
  // 4a^3 + 27b^2 = 0 means repeated roots: no group on such a curve.
  Digit t[FIELD_MAX_DIGITS], u[FIELD_MAX_DIGITS], c[FIELD_MAX_DIGITS];
  if (!(FieldMul(a, a, t, pField) && FieldMul(t, a, t, pField) && FieldFromInt(4, c, pField) &&
        FieldMul(t, c, t, pField) && FieldMul(b, b, u, pField) && FieldFromInt(27, c, pField) &&
        FieldMul(u, c, u, pField) && FieldAdd(t, u, t, pField))) {
    return 0;
  }
  if (FieldIsZero(t, pField)) return 0;
  pCurve->pField = pField;
  memset(pCurve->rgA, 0, sizeof(pCurve->rgA));
  memset(pCurve->rgB, 0, sizeof(pCurve->rgB));
  memcpy(pCurve->rgA, a, n * sizeof(Digit));
  memcpy(pCurve->rgB, b, n * sizeof(Digit));
  return 1;
}
