// Subtractive Karatsuba over prepared operands.
//
// A prepared operand holds every leaf of the recursion, depth first: the
// subtree of a node of size 2h is the subtree of its low half, then of its
// high half, then of |high - low|. Sign bytes are stored level by level (the
// node j of depth d at (3^d - 1) / 2 + j) and say whether high < low. Leaf
// products then come out in the same depth-first order, so each level is
// combined in place: three consecutive products of 2h digits become one of
// 4h digits.
#include <cstring>

#include "crypto/bignum/bignum.h"
#include "crypto/bignum/mulplan.h"

namespace {

constexpr DWORD kMaxHalf = 32;

DWORD Pow3(DWORD k) {
  DWORD p = 1;
  while (k-- > 0) p *= 3;
  return p;
}

// Writes the leaves of the node x (size digits) and returns the digits
// written; remaining is the number of levels still to split.
DWORD PrepareNode(const Digit* x, DWORD size, DWORD remaining, DWORD depth, DWORD node, Digit* out, BYTE* signs) {
  if (remaining == 0) {
    std::memcpy(out, x, size * sizeof(Digit));
    return size;
  }
  const DWORD h = size / 2;
  const Digit* lo = x;
  const Digit* hi = x + h;
  Digit diff[kMaxHalf];
  bool hiBelow = BigCompare(hi, h, lo, h) < 0;
  if (hiBelow) {
    BigSubSame(lo, hi, diff, h);
  } else {
    BigSubSame(hi, lo, diff, h);
  }
  signs[(Pow3(depth) - 1) / 2 + node] = hiBelow ? 1 : 0;
  DWORD w = PrepareNode(lo, h, remaining - 1, depth + 1, 3 * node, out, signs);
  w += PrepareNode(hi, h, remaining - 1, depth + 1, 3 * node + 1, out + w, signs);
  w += PrepareNode(diff, h, remaining - 1, depth + 1, 3 * node + 2, out + w, signs);
  return w;
}

}  // namespace

BOOL MulPrepare(const Digit* a, DWORD la, Digit* prepared, BYTE* signs, const MulPlan* plan) {
  const DWORD size = plan->cDigits;
  if (la > size) {
    BigErrorSet(kBigErrMulOperand);
    return 0;
  }
  if (plan->cLevels == 0) {
    std::memcpy(prepared, a, la * sizeof(Digit));
    for (DWORD i = la; i < size; ++i) prepared[i] = 0;
    return 1;
  }
  Digit padded[kBigMaxDigits];
  std::memcpy(padded, a, la * sizeof(Digit));
  for (DWORD i = la; i < size; ++i) padded[i] = 0;
  PrepareNode(padded, size, plan->cLevels, 0, 0, prepared, signs);
  return 1;
}

BOOL MulPrepareSplit(const Digit* a, DWORD la, Digit* preparedLow, BYTE* signsLow, Digit* preparedHigh, BYTE* signsHigh,
                     const MulPlan* plan) {
  const DWORD h = plan->cDigits;
  if (la > 2 * h) {
    BigErrorSet(kBigErrMulSplit);
    return 0;
  }
  const DWORD low = la < h ? la : h;
  MulPrepare(a, low, preparedLow, signsLow, plan);
  MulPrepare(a + low, la - low, preparedHigh, signsHigh, plan);
  return 1;
}

void MulPrepared(const Digit* pa, const BYTE* sa, const Digit* pb, const BYTE* sb, Digit* product,
                 const MulPlan* plan) {
  const DWORD levels = plan->cLevels;
  const DWORD base = plan->cBase;
  DWORD count = Pow3(levels);
  if (levels == 0) {
    BaseMulKernel[base](pa, pb, product, 1);
    return;
  }
  Digit work[2 * kMulPreparedMax];
  BaseMulKernel[base](pa, pb, work, count);

  const bool squaring = pa == pb && sa == sb;
  DWORD h = base;
  for (DWORD depth = levels; depth-- > 0;) {
    count /= 3;
    const BYTE* signA = sa + (Pow3(depth) - 1) / 2;
    const BYTE* signB = sb + (Pow3(depth) - 1) / 2;
    for (DWORD j = 0; j < count; ++j) {
      Digit* in = work + 6 * h * j;
      Digit* out = work + 4 * h * j;
      // Middle term L + H -/+ D: the product of the differences has the sign
      // of (aH - aL)(bH - bL), so it is taken off when the signs agree.
      Digit mid[2 * kMaxHalf + 1];
      mid[2 * h] = BigAddSame(in, in + 2 * h, mid, 2 * h);
      if (squaring || signA[j] == signB[j]) {
        mid[2 * h] -= BigSubSame(mid, in + 4 * h, mid, 2 * h);
      } else {
        mid[2 * h] += BigAddSame(mid, in + 4 * h, mid, 2 * h);
      }
      std::memmove(out, in, 2 * h * sizeof(Digit));
      std::memmove(out + 2 * h, in + 2 * h, 2 * h * sizeof(Digit));
      BigAdd(out + h, 3 * h, mid, 2 * h + 1, out + h);
    }
    h *= 2;
  }
  std::memcpy(product, work, 2 * plan->cDigits * sizeof(Digit));
}
