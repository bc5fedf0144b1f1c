#include <algorithm>

#include "crypto/bignum/bigalloc.h"
#include "crypto/bignum/bigerror.h"
#include "crypto/ec/fixed_base.h"

namespace {

constexpr SIZE_T kWorkBlockBytes = 4096;

}  // namespace

BOOL EcFixedBaseTable(const Digit* P, DWORD w, DWORD t, Digit* pTable, const CurveDesc* pCurve) {
  const FieldDesc* f = pCurve->pField;
  const DWORD n = f->cDigits;
  if (w < EC_FIXED_BASE_MIN_WINDOW || w > EC_FIXED_BASE_MAX_WINDOW || !EcOnCurve(P, pCurve)) return 0;
  if (!FieldCopy(P, pTable, 2, f)) return 0;
  if (t == 0) return 1;

  // One block for the running Jacobian point and its scratch, one for the Z
  // of every table point and the running products of the inversion.
  const DWORD errorBefore = BigError();
  const SIZE_T workDigits = (EC_JACOBIAN_ELEMENTS + EC_JACOBIAN_SCRATCH_ELEMENTS) * n;
  Digit* work = static_cast<Digit*>(BigAlloc(std::max(kWorkBlockBytes, workDigits * sizeof(Digit))));
  Digit* zs = static_cast<Digit*>(BigAlloc(static_cast<SIZE_T>(2) * n * t * sizeof(Digit)));
  BOOL ok = work != nullptr && zs != nullptr;
  Digit* J = work;
  Digit* scratch = work + EC_JACOBIAN_ELEMENTS * n;
  Digit* products = zs + static_cast<SIZE_T>(n) * t;

  // T_j = 2^w T_(j-1), X and Y straight into the table, Z aside; a multiple
  // at infinity gets Z = 0 and is stored as affine infinity at once.
  ok = ok && EcToJacobian(P, J, pCurve, scratch);
  for (DWORD j = 1; ok && j <= t; j++) {
    ok = EcJacobianDoubleRepeat(J, w, J, pCurve, scratch);
    Digit* T = pTable + static_cast<SIZE_T>(j) * 2 * n;
    Digit* Z = zs + static_cast<SIZE_T>(j - 1) * n;
    if (!ok) break;
    if (EcJacobianIsInfinity(J, pCurve)) {
      ok = EcSetInfinity(T, pCurve) && FieldZero(Z, 1, f);
    } else {
      ok = FieldCopy(J, T, 2, f) && FieldCopy(J + 2 * n, Z, 1, f);
    }
  }

  // All Z inverted together: running products, one inversion, then back down
  // the chain, each step giving one Z^-1 and the inverse of the shorter product.
  DWORD last = 0;  // 1 + index of the latest point in the product, 0 for none
  for (DWORD j = 1; ok && j <= t; j++) {
    const Digit* Z = zs + static_cast<SIZE_T>(j - 1) * n;
    if (FieldIsZero(Z, f)) continue;
    Digit* prod = products + static_cast<SIZE_T>(j - 1) * n;
    ok = last == 0 ? FieldCopy(Z, prod, 1, f) : FieldMul(products + static_cast<SIZE_T>(last - 1) * n, Z, prod, f);
    last = j;
  }
  if (ok && last != 0) {
    Digit* inv = scratch;
    Digit* zi = scratch + n;
    Digit* zi2 = scratch + 2 * n;
    ok = FieldInverse(products + static_cast<SIZE_T>(last - 1) * n, inv, f);
    for (DWORD j = last; ok && j >= 1; j--) {
      Digit* Z = zs + static_cast<SIZE_T>(j - 1) * n;
      if (FieldIsZero(Z, f)) continue;
      // The latest non-zero Z below j, whose product the walk needs next.
      DWORD below = j - 1;
      while (below >= 1 && FieldIsZero(zs + static_cast<SIZE_T>(below - 1) * n, f)) below--;
      if (below == 0) {
        ok = FieldCopy(inv, zi, 1, f);
      } else {
        ok = FieldMul(inv, products + static_cast<SIZE_T>(below - 1) * n, zi, f) && FieldMul(inv, Z, inv, f);
      }
      Digit* T = pTable + static_cast<SIZE_T>(j) * 2 * n;
      ok = ok && FieldMul(zi, zi, zi2, f) && FieldMul(T, zi2, T, f) && FieldMul(zi2, zi, zi2, f) &&
           FieldMul(T + n, zi2, T + n, f);
    }
  }

  BigFree(zs);
  BigFree(work);
  // An allocation failure deep in the arithmetic is recorded as code 43;
  // only one raised during this build counts, not one left from earlier.
  if (BigError() == kBigErrAlloc && errorBefore != kBigErrAlloc) ok = 0;
  return ok;
}
