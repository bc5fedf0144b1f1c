#include <cstring>

#include "crypto/bignum/bigdiv_internal.h"
#include "crypto/bignum/modular.h"
#include "crypto/bignum/montgomery.h"

BOOL ModToForm(const Digit* x, DWORD lx, Digit* out, const ModulusRecord* rec) {
  const DWORD n = rec->n;
  const DWORD r = rec->fMontgomery ? rec->cRadix : 0;
  // The number reduced, then (in Montgomery form) moved up by the radix and
  // reduced once more.
  Digit* block = static_cast<Digit*>(BigAlloc((2 * n + r) * sizeof(Digit)));
  if (block == nullptr) {
    std::memset(out, 0, n * sizeof(Digit));
    return 0;
  }
  Digit* shifted = block;  // n + r digits
  Digit* low = block + r;  // the reduced number, just above the radix
  Digit* rem = block + n + r;
  std::memset(shifted, 0, (n + r) * sizeof(Digit));
  BOOL ok = 1;
  if (BigCompare(x, lx, rec->modulus, n) < 0) {
    std::memcpy(low, x, (lx < n ? lx : n) * sizeof(Digit));
  } else {
    DWORD len;
    ok = BigDivRemStatus(x, lx, rec->modulus, n, &rec->reciprocal, nullptr, low, &len);
  }
  if (ok && r != 0) {
    DWORD len;
    ok = BigDivRemStatus(shifted, n + r, rec->modulus, n, &rec->reciprocal, nullptr, rem, &len);
  }
  if (ok && r != 0) {
    std::memcpy(out, rem, n * sizeof(Digit));
  } else if (ok) {
    std::memcpy(out, low, n * sizeof(Digit));
  } else {
    std::memset(out, 0, n * sizeof(Digit));
  }
  BigFree(block);
  return ok;
}

DWORD ModFromForm(const Digit* a, Digit* out, const ModulusRecord* rec) {
  const DWORD n = rec->n;
  if (!rec->fMontgomery) {
    std::memmove(out, a, n * sizeof(Digit));
    return BigSignificantLength(out, n);
  }
  Digit work[3 * kBigMaxDigits + 1];
  std::memcpy(work, a, n * sizeof(Digit));
  std::memset(work + n, 0, rec->cRadix * sizeof(Digit));
  if (!MontReduce(work, out, rec, work)) {
    std::memset(out, 0, n * sizeof(Digit));
    return 0;
  }
  return BigSignificantLength(out, n);
}
