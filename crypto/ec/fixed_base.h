// Scalar multiplication from a table of the base point's multiples spaced
// 2^w apart: signed digits of the scalar are gathered into buckets with
// batched affine additions (one field inversion per batch), and the buckets
// are combined at the end in Jacobian coordinates.
#pragma once

#include "crypto/ec/curve.h"

constexpr DWORD EC_FIXED_BASE_MIN_WINDOW = 3;
constexpr DWORD EC_FIXED_BASE_MAX_WINDOW = 7;

// Digits of a table of t + 1 points for an n-digit field.
constexpr DWORD EcFixedBaseTableDigits(DWORD t, DWORD n) { return (t + 1) * 2 * n; }

// Fills pTable with the t + 1 affine points T_j = 2^(w*j) * P, j = 0..t
// (multiples at infinity stored as affine infinity). Fails when P is not on
// the curve or w is outside 3..7, and when a heap block or a
// field operation fails. pTable must not overlap P.
BOOL EcFixedBaseTable(const Digit* P, DWORD w, DWORD t, Digit* pTable, const CurveDesc* pCurve);

// out = k * P, P being the base point of pTable (built with the same w and t).
// k is cDigits digits, least significant first, any length (scalars past
// w*t bits are served by doubling the last table point). Fails for w outside
// 3..7, when a field operation fails or when an internal check does not hold.
BOOL EcFixedBaseMul(const Digit* pTable, DWORD w, DWORD t, const Digit* k, DWORD cDigits, Digit* out,
                    const CurveDesc* pCurve);
