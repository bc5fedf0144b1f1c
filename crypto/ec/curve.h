// The curve y^2 = x^3 + a*x + b over a prime field, and its points.
//
// Affine point: x then y, 2n digits. The point at infinity is x = y = p (the
// modulus digits, which no reduced residue can equal).
// Jacobian point: X, Y, Z and two further elements kept zero, 5n digits,
// standing for (X/Z^2, Y/Z^3). Z = 0 is the point at infinity; EcSetInfinity's
// Jacobian counterpart writes X = Y = one.
//
// Every operation returns 1 on success and 0 at the first failed field
// operation; outputs may alias inputs. The Jacobian operations take a caller's
// scratch area of EC_JACOBIAN_SCRATCH_ELEMENTS elements.
#pragma once

#include "crypto/ec/field.h"

constexpr DWORD EC_JACOBIAN_ELEMENTS = 5;
constexpr DWORD EC_JACOBIAN_SCRATCH_ELEMENTS = 12;

// Filled in place by EcCurveInit; a and b are in the field's working form.
struct CurveDesc {
  const FieldDesc* pField;
  Digit rgA[FIELD_MAX_DIGITS];
  Digit rgB[FIELD_MAX_DIGITS];
};

// Refuses a singular curve (4a^3 + 27b^2 = 0 in the field).
BOOL EcCurveInit(const Digit* a, const Digit* b, const FieldDesc* pField, CurveDesc* pCurve);

BOOL EcIsInfinity(const Digit* P, const CurveDesc* pCurve);
BOOL EcSetInfinity(Digit* P, const CurveDesc* pCurve);
// out = -P; infinity stays infinity.
BOOL EcNegate(const Digit* P, Digit* out, const CurveDesc* pCurve);
// out = P + Q for sign 1, P - Q for sign -1 (affine, one field division).
BOOL EcAddSub(const Digit* P, const Digit* Q, Digit* out, int sign, const CurveDesc* pCurve);
// 1 when P satisfies the curve equation, and for infinity.
BOOL EcOnCurve(const Digit* P, const CurveDesc* pCurve);

BOOL EcToJacobian(const Digit* P, Digit* out, const CurveDesc* pCurve, Digit* pScratch);
BOOL EcJacobianSetInfinity(Digit* P, const CurveDesc* pCurve);
BOOL EcJacobianIsInfinity(const Digit* P, const CurveDesc* pCurve);
BOOL EcJacobianDouble(const Digit* P, Digit* out, const CurveDesc* pCurve, Digit* pScratch);
// out = 2^count P. Keeps a*Z^4 from one doubling to the next, which saves
// two of the ten multiplications of every doubling after the first.
BOOL EcJacobianDoubleRepeat(const Digit* P, DWORD count, Digit* out, const CurveDesc* pCurve, Digit* pScratch);
BOOL EcJacobianAdd(const Digit* P, const Digit* Q, Digit* out, const CurveDesc* pCurve, Digit* pScratch);
// P Jacobian, Q affine.
BOOL EcJacobianAddAffine(const Digit* P, const Digit* Q, Digit* out, const CurveDesc* pCurve, Digit* pScratch);
// One field inversion; Jacobian infinity gives affine infinity.
BOOL EcToAffine(const Digit* P, Digit* out, const CurveDesc* pCurve, Digit* pScratch);
