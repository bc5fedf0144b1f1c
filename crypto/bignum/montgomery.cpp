#include "crypto/bignum/montgomery.h"

#include <cstring>

namespace {

// u (c digits) = w * v mod 2^(32c), a digit of w at a time.
void MulLowHalfAny(const Digit* w, const Digit* v, Digit* u, DWORD c) {
  std::memset(u, 0, c * sizeof(Digit));
  for (DWORD i = 0; i < c; ++i) BigMulDigitAdd(v, w[i], u + i, c - i);
}

// The two passes for any row: the low-half product directly for c <= 24,
// from the prepared constant above; the products with m from its prepared
// halves.
BOOL ReduceAny(Digit* x, Digit* out, const ModulusRecord* rec, Digit* work) {
  const MulPlan* half = &rec->planHalf;
  const DWORD c = half->cDigits;
  const DWORD n = rec->n;
  Digit* preparedU = work;
  BYTE* signsU = reinterpret_cast<BYTE*>(work + kMulHalfPreparedMax);
  Digit* u = work + kMulHalfPreparedMax + (kMulHalfSignsMax + 3) / 4;
  Digit* low = u + kModHalfMaxDigits;
  Digit* high = low + 2 * kModHalfMaxDigits;
  Digit* full = high + 2 * kModHalfMaxDigits;
  Digit* preparedW = full + 2 * kModHalfMaxDigits;
  BYTE* signsW = reinterpret_cast<BYTE*>(preparedW + kMulHalfPreparedMax);
  static_assert(2 * (kMulHalfPreparedMax + (kMulHalfSignsMax + 3) / 4) + 7 * kModHalfMaxDigits <= kReduceWorkDigits,
                "reduction work too small");
  Digit borrow = 0, left = 0;
  for (DWORD pass = 0; pass < 2; ++pass) {
    Digit* w = x + pass * c;
    if (c <= 24) {
      MulLowHalfAny(w, rec->montInverse, u, c);
    } else {
      MulPrepare(w, c, preparedW, signsW, half);
      MulPrepared(preparedW, signsW, rec->montInversePrepared.digits, rec->montInversePrepared.signs, full, half);
      std::memcpy(u, full, c * sizeof(Digit));
    }
    MulPrepare(u, c, preparedU, signsU, half);
    MulPrepared(preparedU, signsU, rec->modulusLow.digits, rec->modulusLow.signs, low, half);
    MulPrepared(preparedU, signsU, rec->modulusHigh.digits, rec->modulusHigh.signs, high, half);
    // u m matches w in its low c digits (else the constant is not m^-1).
    if (BigCompare(low, c, w, c) != 0) left |= 1;
    Digit carry = BigAddSame(high, low + c, high, c);
    left |= BigAdd(high + c, c, &carry, 1, high + c);
    Digit b = BigSubSame(w + c, high, w + c, 2 * c);
    if (pass == 0) b = BigSub(x + 3 * c, c, &b, 1, x + 3 * c);
    borrow += b;
  }
  Digit* top = x + 2 * c;
  if (borrow != 0) left |= borrow ^ BigAddSame(top, rec->modulus, top, 2 * c);
  for (DWORD i = n; i < 2 * c; ++i) left |= top[i];
  if (left != 0) {
    BigErrorSet(kBigErrReduceCarry);
    return 0;
  }
  std::memmove(out, top, n * sizeof(Digit));
  return 1;
}

}  // namespace

BOOL ReduceMontgomery(Digit* x, Digit* out, const ModulusRecord* rec, Digit* work) {
  if (rec->planHalf.cLevels == 0) {
    switch (rec->planHalf.cDigits) {
      case 1:
        return montflat::Reduce<1>(x, out, rec);
      case 2:
        return montflat::Reduce<2>(x, out, rec);
      case 3:
        return montflat::Reduce<3>(x, out, rec);
      case 4:
        return montflat::Reduce<4>(x, out, rec);
      case 6:
        return montflat::Reduce<6>(x, out, rec);
      case 8:
        return montflat::Reduce<8>(x, out, rec);
      case 12:
        return montflat::Reduce<12>(x, out, rec);
      default:
        break;
    }
  }
  return ReduceAny(x, out, rec, work);
}

BOOL ModMulCore(const Digit* pa, const BYTE* sa, const Digit* pb, const BYTE* sb, Digit* out, const ModulusRecord* rec,
                Digit* product, Digit* work) {
  if (const DWORD flat = ModFlatSize(rec)) {
    return montflat::Dispatch(flat, [&]<int N>() { return montflat::MulPreparedFlat<N>(pa, pb, out, rec); });
  }
  const MulPlan* plan = &rec->planFull;
  MulPrepared(pa, sa, pb, sb, product, plan);
  if (!rec->fMontgomery) return ReducePlain(product, 2 * rec->n, out, rec, work);
  std::memset(product + 2 * plan->cDigits, 0, (2 * rec->cRadix + 1 - 2 * plan->cDigits) * sizeof(Digit));
  return ReduceMontgomery(product, out, rec, work);
}
