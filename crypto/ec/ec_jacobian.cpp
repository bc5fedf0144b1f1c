#include <cstring>

#include "crypto/ec/curve.h"

// Jacobian points are X, Y, Z, 0, 0 (n digits each); Z = 0 is infinity.

BOOL EcJacobianSetInfinity(Digit* P, const CurveDesc* pCurve) {
  const FieldDesc* f = pCurve->pField;
  const DWORD n = f->cDigits;
  return FieldCopy(f->rgOne, P, 1, f) && FieldCopy(f->rgOne, P + n, 1, f) && FieldZero(P + 2 * n, 3, f);
}

BOOL EcJacobianIsInfinity(const Digit* P, const CurveDesc* pCurve) {
  return FieldIsZero(P + 2 * pCurve->pField->cDigits, pCurve->pField);
}

BOOL EcToJacobian(const Digit* P, Digit* out, const CurveDesc* pCurve, Digit* /*pScratch*/) {
  const FieldDesc* f = pCurve->pField;
  const DWORD n = f->cDigits;
  if (EcIsInfinity(P, pCurve)) return EcJacobianSetInfinity(out, pCurve);
  return FieldCopy(P, out, 2, f) && FieldCopy(f->rgOne, out + 2 * n, 1, f) && FieldZero(out + 3 * n, 2, f);
}

BOOL EcJacobianDouble(const Digit* P, Digit* out, const CurveDesc* pCurve, Digit* s) {
  return EcJacobianDoubleRepeat(P, 1, out, pCurve, s);
}

BOOL EcJacobianDoubleRepeat(const Digit* P, DWORD count, Digit* out, const CurveDesc* pCurve, Digit* s) {
  const FieldDesc* f = pCurve->pField;
  const ModulusRecord* rec = f->pModulus;
  const DWORD n = f->cDigits;
  if (out != P && !FieldCopy(P, out, EC_JACOBIAN_ELEMENTS, f)) return 0;
  Digit* X = out;
  Digit* Y = out + n;
  Digit* Z = out + 2 * n;
  Digit* m = s;            // M = 3X^2 + a Z^4
  Digit* t = s + n;        // temporary
  Digit* y4 = s + 2 * n;   // (2Y)^2 = 4Y^2, then 16Y^4, then 8Y^4
  Digit* sv = s + 3 * n;   // S = 4XY^2
  Digit* az4 = s + 4 * n;  // a Z^4 of the current point
  const BOOL aZero = FieldIsZero(pCurve->rgA, f);
  if (count == 0) return 1;
  if (FieldIsZero(Z, f)) return EcJacobianSetInfinity(out, pCurve);
  if (!aZero && !(FieldMul(Z, Z, t, f) && FieldMul(t, t, t, f) && FieldMul(t, pCurve->rgA, az4, f))) return 0;
  for (DWORD i = 0; i < count; i++) {
    if (FieldIsZero(Z, f)) return EcJacobianSetInfinity(out, pCurve);
    // M = 3X^2 + a Z^4, Z' = 2YZ, S = X (2Y)^2, X' = M^2 - 2S,
    // Y' = M (S - X') - 8Y^4 with 8Y^4 = (2Y)^4 / 2, and for the next round
    // a Z'^4 = 16Y^4 a Z^4.
    if (!(FieldMul(X, X, m, f) && FieldAdd(m, m, t, f) && FieldAdd(m, t, m, f) && (aZero || FieldAdd(m, az4, m, f)) &&
          FieldAdd(Y, Y, y4, f) && FieldMul(y4, Z, Z, f) && FieldMul(y4, y4, y4, f) && FieldMul(X, y4, sv, f) &&
          FieldMul(y4, y4, y4, f) && FieldMul(m, m, X, f) && FieldSub(X, sv, X, f) && FieldSub(X, sv, X, f) &&
          FieldSub(sv, X, t, f) && FieldMul(m, t, t, f))) {
      return 0;
    }
    if (!aZero && i + 1 < count && !FieldMul(y4, az4, az4, f)) return 0;
    if (!(ModShift(y4, -1, y4, rec) && FieldSub(t, y4, Y, f))) return 0;
  }
  return FieldZero(out + 3 * n, 2, f);
}

namespace {

// (X1, Y1, Z1) + (X2, Y2, Z2) with neither at infinity; a Z known to be one
// saves its products. Twelve scratch elements.
BOOL JacobianAddFinite(const Digit* X1, const Digit* Y1, const Digit* Z1, const Digit* X2, const Digit* Y2,
                       const Digit* Z2, const Digit* P1, Digit* out, const CurveDesc* pCurve, Digit* s) {
  const FieldDesc* f = pCurve->pField;
  const DWORD n = f->cDigits;
  const BOOL z1One = FieldEqual(Z1, f->rgOne, f);
  const BOOL z2One = FieldEqual(Z2, f->rgOne, f);
  Digit* e[12];
  for (DWORD i = 0; i < 12; i++) e[i] = s + i * n;
  const Digit* u1 = X1;
  const Digit* s1 = Y1;
  const Digit* u2 = X2;
  const Digit* s2 = Y2;
  if (!z1One) {
    // U2 = X2 Z1^2, S2 = Y2 Z1^3
    if (!(FieldMul(Z1, Z1, e[0], f) && FieldMul(e[0], Z1, e[1], f) && FieldMul(X2, e[0], e[2], f) &&
          FieldMul(Y2, e[1], e[3], f))) {
      return 0;
    }
    u2 = e[2];
    s2 = e[3];
  }
  if (!z2One) {
    // U1 = X1 Z2^2, S1 = Y1 Z2^3
    if (!(FieldMul(Z2, Z2, e[0], f) && FieldMul(e[0], Z2, e[1], f) && FieldMul(X1, e[0], e[4], f) &&
          FieldMul(Y1, e[1], e[5], f))) {
      return 0;
    }
    u1 = e[4];
    s1 = e[5];
  }
  if (FieldEqual(u1, u2, f)) {
    if (FieldEqual(s1, s2, f)) return EcJacobianDouble(P1, out, pCurve, s);
    return EcJacobianSetInfinity(out, pCurve);
  }
  Digit *h = e[0], *r = e[1], *h2 = e[6], *h3 = e[7], *u1h2 = e[8], *sum = e[9], *x3 = e[10], *y3 = e[11];
  // H = U1 - U2, R = S1 - S2, X3 = R^2 - (U1 + U2) H^2, Y3 = R (U1 H^2 - X3) - S1 H^3
  if (!(FieldSub(u1, u2, h, f) && FieldSub(s1, s2, r, f) && FieldMul(h, h, h2, f) && FieldMul(h2, h, h3, f) &&
        FieldMul(u1, h2, u1h2, f) && FieldAdd(u1, u2, sum, f) && FieldMul(sum, h2, sum, f) && FieldMul(r, r, x3, f) &&
        FieldSub(x3, sum, x3, f) && FieldSub(u1h2, x3, u1h2, f) && FieldMul(r, u1h2, y3, f) &&
        FieldMul(s1, h3, h3, f) && FieldSub(y3, h3, y3, f))) {
    return 0;
  }
  // Z3 = Z1 Z2 H, into e[2] (U2 is no longer needed)
  Digit* z3 = e[2];
  if (!FieldCopy(h, z3, 1, f)) return 0;
  if (!z1One && !FieldMul(z3, Z1, z3, f)) return 0;
  if (!z2One && !FieldMul(z3, Z2, z3, f)) return 0;
  return FieldCopy(x3, out, 1, f) && FieldCopy(y3, out + n, 1, f) && FieldCopy(z3, out + 2 * n, 1, f) &&
         FieldZero(out + 3 * n, 2, f);
}

}  // namespace

BOOL EcJacobianAdd(const Digit* P, const Digit* Q, Digit* out, const CurveDesc* pCurve, Digit* pScratch) {
  const FieldDesc* f = pCurve->pField;
  const DWORD n = f->cDigits;
  if (EcJacobianIsInfinity(P, pCurve)) return FieldCopy(Q, out, EC_JACOBIAN_ELEMENTS, f);
  if (EcJacobianIsInfinity(Q, pCurve)) return FieldCopy(P, out, EC_JACOBIAN_ELEMENTS, f);
  return JacobianAddFinite(P, P + n, P + 2 * n, Q, Q + n, Q + 2 * n, P, out, pCurve, pScratch);
}

BOOL EcJacobianAddAffine(const Digit* P, const Digit* Q, Digit* out, const CurveDesc* pCurve, Digit* pScratch) {
  const FieldDesc* f = pCurve->pField;
  const DWORD n = f->cDigits;
  if (EcIsInfinity(Q, pCurve)) return FieldCopy(P, out, EC_JACOBIAN_ELEMENTS, f);
  if (EcJacobianIsInfinity(P, pCurve)) return EcToJacobian(Q, out, pCurve, pScratch);
  // Q in Jacobian form is (x, y, one); the addition skips the products of a Z that is one.
  return JacobianAddFinite(P, P + n, P + 2 * n, Q, Q + n, f->rgOne, P, out, pCurve, pScratch);
}

BOOL EcToAffine(const Digit* P, Digit* out, const CurveDesc* pCurve, Digit* s) {
  const FieldDesc* f = pCurve->pField;
  const DWORD n = f->cDigits;
  if (EcJacobianIsInfinity(P, pCurve)) return EcSetInfinity(out, pCurve);
  Digit* zi = s;
  Digit* zi2 = s + n;
  Digit* zi3 = s + 2 * n;
  return FieldInverse(P + 2 * n, zi, f) && FieldMul(zi, zi, zi2, f) && FieldMul(zi2, zi, zi3, f) &&
         FieldMul(P, zi2, out, f) && FieldMul(P + n, zi3, out + n, f);
}
