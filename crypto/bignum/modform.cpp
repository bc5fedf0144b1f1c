#include <cstring>

#include "crypto/bignum/bigdiv_internal.h"
#include "crypto/bignum/montgomery.h"

BOOL ModToForm(const Digit* x, DWORD lx, Digit* out, const ModulusRecord* rec) {
  const DWORD n = rec->n;
  const DWORD r = rec->cRadix;
  // The number moved up by the radix (n + 2c digits), the remainder of a
  // long number, and a MulScratch for the reduction.
  constexpr DWORD kShifted = 2 * kBigMaxDigits;
  static_assert((kShifted + kBigMaxDigits + kMulScratchDigits) * sizeof(Digit) == kModToFormBlockBytes,
                "ModToForm's block");
  Digit* block = static_cast<Digit*>(BigAlloc(kModToFormBlockBytes));
  if (block == nullptr) {
    std::memset(out, 0, n * sizeof(Digit));
    return 0;
  }
  Digit* shifted = block;
  Digit* reduced = block + kShifted;
  Digit* scratch = reduced + kBigMaxDigits;
  std::memset(reduced, 0, n * sizeof(Digit));
  BOOL ok = 1;
  if (BigCompare(x, lx, rec->modulus, n) < 0) {
    std::memcpy(reduced, x, (lx < n ? lx : n) * sizeof(Digit));
  } else {
    DWORD len;
    ok = BigDivRemStatus(x, lx, rec->modulus, n, &rec->reciprocal, nullptr, reduced, &len);
  }
  if (ok && rec->fMontgomery) {
    // x R mod m: x below 2c zero digits, reduced plainly.
    std::memset(shifted, 0, r * sizeof(Digit));
    std::memcpy(shifted + r, reduced, n * sizeof(Digit));
    ok = ModReduce(shifted, n + r, 0, out, rec, scratch);
  } else if (ok) {
    std::memcpy(out, reduced, n * sizeof(Digit));
  }
  if (!ok) std::memset(out, 0, n * sizeof(Digit));
  BigFree(block);
  return ok;
}

DWORD ModFromForm(const Digit* a, Digit* out, const ModulusRecord* rec) {
  const DWORD n = rec->n;
  if (!rec->fMontgomery) {
    std::memmove(out, a, n * sizeof(Digit));
    return BigSignificantLength(out, n);
  }
  Digit x[kScratchProduct];
  Digit work[kReduceWorkDigits];
  std::memcpy(x, a, n * sizeof(Digit));
  std::memset(x + n, 0, (2 * rec->cRadix + 1 - n) * sizeof(Digit));
  if (!ReduceMontgomery(x, out, rec, work)) {
    std::memset(out, 0, n * sizeof(Digit));
    return 0;
  }
  return BigSignificantLength(out, n);
}
