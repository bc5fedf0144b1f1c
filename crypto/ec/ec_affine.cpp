#include <cstring>

#include "crypto/bignum/bignum.h"
#include "crypto/ec/curve.h"

BOOL EcIsInfinity(const Digit* P, const CurveDesc* pCurve) {
  const FieldDesc* f = pCurve->pField;
  const Digit* p = f->pModulus->modulus;
  return FieldEqual(P, p, f) && FieldEqual(P + f->cDigits, p, f);
}

BOOL EcSetInfinity(Digit* P, const CurveDesc* pCurve) {
  const FieldDesc* f = pCurve->pField;
  const Digit* p = f->pModulus->modulus;
  return FieldCopy(p, P, 1, f) && FieldCopy(p, P + f->cDigits, 1, f);
}

BOOL EcNegate(const Digit* P, Digit* out, const CurveDesc* pCurve) {
  const FieldDesc* f = pCurve->pField;
  const DWORD n = f->cDigits;
  if (EcIsInfinity(P, pCurve)) return EcSetInfinity(out, pCurve);
  return FieldCopy(P, out, 1, f) && FieldNeg(P + n, out + n, f);
}

BOOL EcAddSub(const Digit* P, const Digit* Q, Digit* out, int sign, const CurveDesc* pCurve) {
  const FieldDesc* f = pCurve->pField;
  const DWORD n = f->cDigits;
  if (EcIsInfinity(Q, pCurve)) return FieldCopy(P, out, 2, f);
  Digit q[2 * FIELD_MAX_DIGITS];  // Q or -Q
  if (!FieldCopy(Q, q, 1, f)) return 0;
  if (!(sign < 0 ? FieldNeg(Q + n, q + n, f) : FieldCopy(Q + n, q + n, 1, f))) return 0;
  if (EcIsInfinity(P, pCurve)) return FieldCopy(q, out, 2, f);

  const Digit* x1 = P;
  const Digit* y1 = P + n;
  const Digit* x2 = q;
  const Digit* y2 = q + n;
  Digit num[FIELD_MAX_DIGITS], den[FIELD_MAX_DIGITS], lambda[FIELD_MAX_DIGITS];
  if (FieldEqual(x1, x2, f)) {
    // Same x: either the two points cancel (y1 = -y2, which also covers y = 0)
    // or they are one point and the tangent gives the slope.
    if (!FieldAdd(y1, y2, num, f)) return 0;
    if (FieldIsZero(num, f)) return EcSetInfinity(out, pCurve);
    if (!(FieldMul(x1, x1, num, f) && FieldAdd(num, num, den, f) && FieldAdd(num, den, num, f) &&
          FieldAdd(num, pCurve->rgA, num, f) && FieldAdd(y1, y1, den, f))) {
      return 0;
    }
  } else if (!(FieldSub(y1, y2, num, f) && FieldSub(x1, x2, den, f))) {
    return 0;
  }
  Digit x3[FIELD_MAX_DIGITS], t[FIELD_MAX_DIGITS];
  return FieldDivide(num, den, lambda, f) && FieldMul(lambda, lambda, x3, f) && FieldSub(x3, x1, x3, f) &&
         FieldSub(x3, x2, x3, f) && FieldSub(x1, x3, t, f) && FieldMul(lambda, t, t, f) &&
         FieldSub(t, y1, out + n, f) && FieldCopy(x3, out, 1, f);
}

BOOL EcOnCurve(const Digit* P, const CurveDesc* pCurve) {
  const FieldDesc* f = pCurve->pField;
  const DWORD n = f->cDigits;
  if (EcIsInfinity(P, pCurve)) return 1;
  // Coordinates must be reduced residues: an unreduced copy of a valid
  // coordinate would satisfy the equation but break every later comparison.
  const Digit* p = f->pModulus->modulus;
  if (BigCompare(P, n, p, n) >= 0 || BigCompare(P + n, n, p, n) >= 0) return 0;
  Digit lhs[FIELD_MAX_DIGITS], rhs[FIELD_MAX_DIGITS];
  if (!(FieldMul(P, P, rhs, f) && FieldAdd(rhs, pCurve->rgA, rhs, f) && FieldMulAdd(rhs, P, pCurve->rgB, rhs, f) &&
        FieldMul(P + n, P + n, lhs, f))) {
    return 0;
  }
  return FieldEqual(lhs, rhs, f);
}
