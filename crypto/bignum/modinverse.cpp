// Binary extended Euclid between a residue and the modulus, tracking the
// Jacobi symbol on the way. The working values are plain numbers; their
// cofactors are residues, halved with ModShift and subtracted with ModSub.
#include <bit>
#include <cstring>
#include <utility>

#include "crypto/bignum/modular.h"

namespace {

DWORD TrailingZeros(const Digit* v, DWORD n) {
  DWORD z = 0;
  for (DWORD i = 0; i < n; ++i) {
    if (v[i] != 0) return z + static_cast<DWORD>(std::countr_zero(v[i]));
    z += 32;
  }
  return z;
}

// v (len digits, non-zero) divided by 2^z, z below its bit length.
DWORD StripTwos(Digit* v, DWORD len, DWORD z) {
  const DWORD whole = z / 32;
  if (whole != 0) {
    std::memmove(v, v + whole, (len - whole) * sizeof(Digit));
    std::memset(v + len - whole, 0, whole * sizeof(Digit));
    len -= whole;
  }
  if (z % 32 != 0) BigShift(v, -static_cast<int>(z % 32), v, len);
  return BigSignificantLength(v, len);
}

}  // namespace

int ModInverseJacobi(const Digit* a, const ModulusRecord* rec, Digit* inv, Digit* gcd) {
  const DWORD n = rec->nInverse;
  const Digit* m = rec->inverseModulus;
  if (inv != nullptr) std::memset(inv, 0, rec->n * sizeof(Digit));
  if (gcd != nullptr) std::memset(gcd, 0, rec->n * sizeof(Digit));
  if ((m[0] & 1) == 0) {
    BigErrorSet(kBigErrInverseEvenModulus);
    return 0;
  }
  // The two working values and their cofactors, 64 digits each.
  static_assert(4 * kBigMaxDigits * sizeof(Digit) == kModInverseBlockBytes, "the inverse's block");
  Digit* block = static_cast<Digit*>(BigAlloc(kModInverseBlockBytes));
  if (block == nullptr) return 0;
  // u * C = a * x1 and v * C = a * x2 (mod m), with C = R^2 in Montgomery
  // form so that the final cofactor is the working form of the inverse.
  Digit* u = block;
  Digit* v = block + kBigMaxDigits;
  Digit* x1 = block + 2 * kBigMaxDigits;
  Digit* x2 = block + 3 * kBigMaxDigits;
  std::memcpy(u, a, n * sizeof(Digit));
  std::memcpy(v, m, n * sizeof(Digit));
  std::memset(x2, 0, n * sizeof(Digit));
  BOOL ok = 1;
  if (rec->fMontgomery) {
    ok = ModToForm(rec->one, n, x1, rec);
  } else {
    std::memcpy(x1, rec->one, n * sizeof(Digit));
  }
  int symbol = 1;
  DWORD ul = BigSignificantLength(u, n);
  DWORD vl = n;
  while (ok && ul != 0) {
    const DWORD z = TrailingZeros(u, ul);
    if (z != 0) {
      ul = StripTwos(u, ul, z);
      ok = ModShift(x1, -static_cast<int>(z), x1, rec);
      const Digit v8 = v[0] & 7;
      if ((z & 1) != 0 && (v8 == 3 || v8 == 5)) symbol = -symbol;
    }
    const int c = BigCompare(u, ul, v, vl);
    if (c == 0) break;
    if (c < 0) {
      // Quadratic reciprocity for the swap of two odd values.
      if ((u[0] & 3) == 3 && (v[0] & 3) == 3) symbol = -symbol;
      std::swap(u, v);
      std::swap(x1, x2);
      std::swap(ul, vl);
    }
    BigSub(u, ul, v, vl, u);
    ul = BigSignificantLength(u, ul);
    if (ok) ok = ModSub(x1, x2, x1, rec);
  }
  int result = 0;
  if (ok) {
    // u reached v (or a was zero and v is m): v is the gcd.
    if (gcd != nullptr) {
      std::memcpy(gcd, v, vl * sizeof(Digit));
      std::memset(gcd + vl, 0, (n - vl) * sizeof(Digit));
    }
    if (vl == 1 && v[0] == 1) {
      if (inv != nullptr) std::memcpy(inv, ul == 0 ? x2 : x1, n * sizeof(Digit));
      result = symbol;
    }
  }
  BigFree(block);
  return result;
}
