#include "crypto/bignum/bignum.h"

namespace {

void Zero(Digit* p, DWORD n) {
  if (p == nullptr) return;
  for (DWORD i = 0; i < n; ++i) p[i] = 0;
}

void Copy(const Digit* src, DWORD n, Digit* dst, DWORD size) {
  for (DWORD i = 0; i < size; ++i) dst[i] = i < n ? src[i] : 0;
}

struct Outputs {
  Digit* inv;
  Digit* cofactor;
  Digit* gcd;
  Digit* check;
  DWORD lx, lm;

  void ZeroAll() const {
    Zero(inv, lm);
    Zero(cofactor, lx);
    Zero(gcd, lx > lm ? lx : lm);
    Zero(check, lx + lm);
  }
};

// One side of the extended Euclid: a working value and its cofactor, with
// x * cofactor congruent to +value on the x side and to -value on the m side.
struct Side {
  Digit* value;
  DWORD len;
  Digit* cof;
  DWORD cofLen;
};

}  // namespace

DWORD BigGcdInverse(const Digit* x, DWORD lx, const Digit* m, DWORD lm, Digit* inv, Digit* cofactor, Digit* gcd,
                    Digit* check) {
  const Outputs out{inv, cofactor, gcd, check, lx, lm};
  const DWORD L = lx > lm ? lx : lm;
  if (BigError() != 0) {
    out.ZeroAll();
    return 0;
  }
  DWORD sx = BigSignificantLength(x, lx);
  DWORD sm = BigSignificantLength(m, lm);
  if (sx == 0 || sm == 0) {
    out.ZeroAll();
    BigAddAnyOrder(x, sx, m, sm, gcd);  // gcd(0, v) = v; both zero gives zero
    BigErrorSet(kBigErrGcdZero);
    return 0;
  }

  // Cofactors stay at most m, but their sums are formed before that shows:
  // give them room for a product of two L-digit values.
  const DWORD cofSize = 2 * L + 2;
  const DWORD total = 3 * L + (L + 1) + 4 * cofSize + (lx + lm) + (lx + lm + 1) + lm;
  Digit* block = static_cast<Digit*>(BigAlloc(total * sizeof(Digit)));
  if (block == nullptr) {
    out.ZeroAll();
    return 0;
  }
  Digit* p = block;
  Side sideM{p, sm, p + 3 * L + (L + 1), 0};
  Side sideX{p + L, sx, sideM.cof + cofSize, 1};
  Digit* rem = p + 2 * L;
  Digit* quot = p + 3 * L;
  Digit* prod = sideX.cof + cofSize;
  Digit* sum = prod + cofSize;
  Digit* xinv = sum + cofSize;
  Digit* kquot = xinv + lx + lm;
  Digit* krem = kquot + lx + lm + 1;
  Copy(m, sm, sideM.value, L);
  Copy(x, sx, sideX.value, L);
  Zero(sideM.cof, cofSize);
  Zero(sideX.cof, cofSize);
  sideX.cof[0] = 1;

  DWORD result = 0;
  DWORD code = 0;
  while (sideM.len != 0 && sideX.len != 0) {
    // The larger value is reduced by the smaller; its cofactor gains the
    // quotient times the other side's cofactor (the signs alternate).
    bool mLarger = BigCompare(sideM.value, sideM.len, sideX.value, sideX.len) >= 0;
    Side& big = mLarger ? sideM : sideX;
    Side& small = mLarger ? sideX : sideM;
    const DWORD qn = big.len - small.len + 1;
    DWORD rl = BigDivRem(big.value, big.len, small.value, small.len, nullptr, quot, rem);
    if (rl == 0 && BigError() != 0) {
      code = BigError();
      break;
    }
    Copy(rem, rl, big.value, L);
    big.len = rl;
    DWORD ql = BigSignificantLength(quot, qn);
    if (ql + small.cofLen > cofSize - 1) {
      code = kBigErrGcdCofactor;
      break;
    }
    BigMulSchool(quot, ql, small.cof, small.cofLen, prod);
    DWORD pl = BigSignificantLength(prod, ql + small.cofLen);
    DWORD sl = BigAddAnyOrder(big.cof, big.cofLen, prod, pl, sum);
    if (sl >= cofSize) {
      code = kBigErrGcdCofactor;
      break;
    }
    Copy(sum, sl, big.cof, cofSize);
    big.cofLen = BigSignificantLength(big.cof, sl);
  }

  if (code == 0) {
    const Side& last = sideM.len != 0 ? sideM : sideX;
    const DWORD gl = last.len;
    Copy(last.value, gl, gcd, L);
    result = gl;
    Zero(inv, lm);
    Zero(cofactor, lx);
    Zero(check, lx + lm);
    if (gl == 1 && last.value[0] == 1) {
      // x * cof = +1 on the x side and -1 on the m side, modulo m.
      if (BigCompare(last.cof, last.cofLen, m, sm) > 0) {
        code = kBigErrGcdCofactor;
      } else {
        Digit* invWork = sum;
        Zero(invWork, lm);
        if (&last == &sideX) {
          Copy(last.cof, last.cofLen, invWork, lm);
        } else if (last.cofLen != 0) {
          Copy(m, sm, invWork, lm);
          BigSub(invWork, lm, last.cof, last.cofLen, invWork);  // cofLen <= sm <= lm
        }
        if (BigCompare(invWork, lm, m, sm) == 0) Zero(invWork, lm);
        if (cofactor != nullptr || check != nullptr) {
          BigMulSchool(x, lx, invWork, lm, xinv);
          if (BigSignificantLength(xinv, lx + lm) == 0) {
            code = kBigErrGcdCheck;
          } else {
            Digit one = 1;
            BigSub(xinv, lx + lm, &one, 1, xinv);
            BigDivRem(xinv, lx + lm, m, sm, nullptr, kquot, krem);
            if (BigSignificantLength(krem, sm) != 0 || BigSignificantLength(kquot, lx + lm - sm + 1) > lx) {
              code = kBigErrGcdCheck;
            } else {
              if (cofactor != nullptr) Copy(kquot, lx, cofactor, lx);
              BigAdd(xinv, lx + lm, &one, 1, xinv);
              if (check != nullptr) Copy(xinv, lx + lm, check, lx + lm);
            }
          }
        }
        if (code == 0 && inv != nullptr) Copy(invWork, lm, inv, lm);
      }
    }
  }
  BigFree(block);
  if (code != 0) {
    out.ZeroAll();
    BigErrorSet(code);
    return 0;
  }
  return result;
}
