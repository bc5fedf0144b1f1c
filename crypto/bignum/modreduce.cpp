#include <cstring>

#include "crypto/bignum/bigdiv_internal.h"
#include "crypto/bignum/modular.h"
#include "crypto/bignum/montgomery.h"

BOOL ModReduce(const Digit* x, DWORD lx, BOOL fMontgomery, Digit* out, const ModulusRecord* rec, Digit* scratch) {
  const DWORD n = rec->n;
  const DWORD r = rec->cRadix;
  // Both forms accept what a Montgomery reduction can take: below m * 2^(32r).
  if (lx > n + r || (lx == n + r && BigCompare(x + r, n, rec->modulus, n) >= 0)) {
    BigErrorSet(kBigErrReduceInput);
    std::memset(out, 0, n * sizeof(Digit));
    return 0;
  }
  if (fMontgomery && (rec->modulus[0] & 1) == 0) {
    // No Montgomery constant exists for an even modulus.
    BigErrorSet(kBigErrReduceInput);
    std::memset(out, 0, n * sizeof(Digit));
    return 0;
  }
  Digit* block = nullptr;
  if (scratch == nullptr) {
    block = static_cast<Digit*>(BigAlloc(kMulScratchDigits * sizeof(Digit)));
    if (block == nullptr) {
      std::memset(out, 0, n * sizeof(Digit));
      return 0;
    }
    scratch = block;
  }
  BOOL ok;
  if (fMontgomery) {
    std::memcpy(scratch, x, lx * sizeof(Digit));
    std::memset(scratch + lx, 0, (n + r - lx) * sizeof(Digit));
    ok = MontReduce(scratch, out, rec, scratch);
  } else {
    DWORD len;
    ok = BigDivRemStatus(x, lx, rec->modulus, n, &rec->reciprocal, nullptr, scratch, &len);
    if (ok) std::memcpy(out, scratch, n * sizeof(Digit));
  }
  BigFree(block);
  if (!ok) std::memset(out, 0, n * sizeof(Digit));
  return ok;
}
