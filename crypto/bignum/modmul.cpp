#include <cstring>

#include "crypto/bignum/bigdiv_internal.h"
#include "crypto/bignum/modmul_internal.h"
#include "crypto/bignum/montgomery.h"

namespace {

// Layout of a MulScratch: the two prepared operands, then the product with
// room for the Montgomery passes' extra digits.
constexpr DWORD kScratchSigns = (kMulSignsMax + 3) / 4;
constexpr DWORD kScratchPrepared = kMulPreparedMax + kScratchSigns;
static_assert(2 * kScratchPrepared + 3 * kBigMaxDigits + 1 <= kMulScratchDigits, "MulScratch too small");

struct ScratchView {
  Digit* preparedA;
  BYTE* signsA;
  Digit* preparedB;
  BYTE* signsB;
  Digit* product;  // 3 * kBigMaxDigits + 1 digits
};

ScratchView View(Digit* scratch) {
  return {scratch, reinterpret_cast<BYTE*>(scratch + kMulPreparedMax), scratch + kScratchPrepared,
          reinterpret_cast<BYTE*>(scratch + kScratchPrepared + kMulPreparedMax), scratch + 2 * kScratchPrepared};
}

}  // namespace

BOOL ModReduceProduct(Digit* product, Digit* out, const ModulusRecord* rec) {
  const DWORD n = rec->n;
  if (rec->fMontgomery) {
    // The product has 2n digits, at most n + cRadix: zero the rest.
    std::memset(product + 2 * n, 0, (rec->cRadix - n) * sizeof(Digit));
    return MontReduce(product, out, rec, product);
  }
  DWORD len;
  Digit rem[kBigMaxDigits];
  if (!BigDivRemStatus(product, 2 * n, rec->modulus, n, &rec->reciprocal, nullptr, rem, &len)) return 0;
  std::memcpy(out, rem, n * sizeof(Digit));
  return 1;
}

BOOL ModMulCore(const Digit* pa, const BYTE* sa, const Digit* pb, const BYTE* sb, Digit* out, const ModulusRecord* rec,
                Digit* product) {
  MulPrepared(pa, sa, pb, sb, product, &rec->planFull);
  return ModReduceProduct(product, out, rec);
}

BOOL ModMul(const Digit* a, const Digit* b, Digit* out, const ModulusRecord* rec, Digit* scratch) {
  if (scratch != nullptr && rec->fMontgomery && rec->n <= kMontFusedMaxDigits) {
    // The field multiplication of the curves: no preparation, no block.
    MontMulFused(a, b, out, rec);
    return 1;
  }
  Digit* block = nullptr;
  if (scratch == nullptr) {
    block = static_cast<Digit*>(BigAlloc(kMulScratchDigits * sizeof(Digit)));
    if (block == nullptr) {
      std::memset(out, 0, rec->n * sizeof(Digit));
      return 0;
    }
    scratch = block;
  }
  BOOL ok = 1;
  if (rec->fMontgomery && rec->n <= kMontFusedMaxDigits) {
    MontMulFused(a, b, out, rec);
  } else {
    ScratchView v = View(scratch);
    MulPrepare(a, rec->n, v.preparedA, v.signsA, &rec->planFull);
    if (b == a) {
      ok = ModMulCore(v.preparedA, v.signsA, v.preparedA, v.signsA, out, rec, v.product);
    } else {
      MulPrepare(b, rec->n, v.preparedB, v.signsB, &rec->planFull);
      ok = ModMulCore(v.preparedA, v.signsA, v.preparedB, v.signsB, out, rec, v.product);
    }
  }
  BigFree(block);
  if (!ok) std::memset(out, 0, rec->n * sizeof(Digit));
  return ok;
}

BOOL ModPrepare(const Digit* a, ModPrepared* prep, const ModulusRecord* rec) {
  return MulPrepare(a, rec->n, prep->digits, prep->signs, &rec->planFull);
}

BOOL ModMulPrepared1(const Digit* a, const ModPrepared* pb, Digit* out, const ModulusRecord* rec, Digit* scratch) {
  Digit* block = nullptr;
  if (scratch == nullptr) {
    block = static_cast<Digit*>(BigAlloc(kMulScratchDigits * sizeof(Digit)));
    if (block == nullptr) {
      std::memset(out, 0, rec->n * sizeof(Digit));
      return 0;
    }
    scratch = block;
  }
  ScratchView v = View(scratch);
  MulPrepare(a, rec->n, v.preparedA, v.signsA, &rec->planFull);
  BOOL ok = ModMulCore(v.preparedA, v.signsA, pb->digits, pb->signs, out, rec, v.product);
  BigFree(block);
  if (!ok) std::memset(out, 0, rec->n * sizeof(Digit));
  return ok;
}

BOOL ModMulPrepared2(const ModPrepared* pa, const ModPrepared* pb, Digit* out, const ModulusRecord* rec,
                     Digit* scratch) {
  Digit* block = nullptr;
  if (scratch == nullptr) {
    block = static_cast<Digit*>(BigAlloc(kMulScratchDigits * sizeof(Digit)));
    if (block == nullptr) {
      std::memset(out, 0, rec->n * sizeof(Digit));
      return 0;
    }
    scratch = block;
  }
  BOOL ok = ModMulCore(pa->digits, pa->signs, pb->digits, pb->signs, out, rec, View(scratch).product);
  BigFree(block);
  if (!ok) std::memset(out, 0, rec->n * sizeof(Digit));
  return ok;
}
