#include <cstring>

#include "crypto/bignum/montgomery.h"

namespace {

// Runs op on the caller's scratch or on a block of the same size taken for
// the call; out is zeroed when op fails or no block can be had.
template <typename Op>
[[gnu::always_inline]] inline BOOL WithScratch(Digit* scratch, Digit* out, const ModulusRecord* rec, Op op) {
  Digit* block = nullptr;
  if (scratch == nullptr) {
    block = static_cast<Digit*>(BigAlloc(kMulScratchDigits * sizeof(Digit)));
    if (block == nullptr) {
      std::memset(out, 0, rec->n * sizeof(Digit));
      return 0;
    }
    scratch = block;
  }
  const BOOL ok = op(MulScratchView(scratch));
  if (block != nullptr) BigFree(block);
  if (!ok) std::memset(out, 0, rec->n * sizeof(Digit));
  return ok;
}

}  // namespace

BOOL ModMul(const Digit* a, const Digit* b, Digit* out, const ModulusRecord* rec, Digit* scratch) {
  const DWORD flat = ModFlatSize(rec);
  if (flat != 0 && scratch != nullptr) {
    // The field multiplication of the curves.
    return montflat::Dispatch(flat, [&]<int N>() { return montflat::Mul<N>(a, b, out, rec, scratch); });
  }
  return WithScratch(scratch, out, rec, [&](const ScratchView& v) -> BOOL {
    if (flat != 0) {
      return montflat::Dispatch(flat, [&]<int N>() { return montflat::Mul<N>(a, b, out, rec, v.preparedA); });
    }
    const MulPlan* plan = &rec->planFull;
    MulPrepare(a, rec->n, v.preparedA, v.signsA, plan);
    if (b == a) return ModMulCore(v.preparedA, v.signsA, v.preparedA, v.signsA, out, rec, v.product, v.work);
    MulPrepare(b, rec->n, v.preparedB, v.signsB, plan);
    return ModMulCore(v.preparedA, v.signsA, v.preparedB, v.signsB, out, rec, v.product, v.work);
  });
}

BOOL ModPrepare(const Digit* a, ModPrepared* prep, const ModulusRecord* rec) {
  return MulPrepare(a, rec->n, prep->digits, prep->signs, &rec->planFull);
}

BOOL ModMulPrepared1(const Digit* a, const ModPrepared* pb, Digit* out, const ModulusRecord* rec, Digit* scratch) {
  return WithScratch(scratch, out, rec, [&](const ScratchView& v) -> BOOL {
    MulPrepare(a, rec->n, v.preparedA, v.signsA, &rec->planFull);
    return ModMulCore(v.preparedA, v.signsA, pb->digits, pb->signs, out, rec, v.product, v.work);
  });
}

BOOL ModMulPrepared2(const ModPrepared* pa, const ModPrepared* pb, Digit* out, const ModulusRecord* rec,
                     Digit* scratch) {
  return WithScratch(scratch, out, rec, [&](const ScratchView& v) -> BOOL {
    return ModMulCore(pa->digits, pa->signs, pb->digits, pb->signs, out, rec, v.product, v.work);
  });
}
