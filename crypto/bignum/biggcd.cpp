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

  // One block: the two working values, their cofactors (values at most
  // max(x, m) and one digit of room for a sum), the quotient, the remainder
  // and the product. Inputs of up to 64 significant digits fit the fixed
  // 2056-byte block of 64- and 128-digit arrays; longer ones take what they
  // need.
  const DWORD S = sx > sm ? sx : sm;
  const DWORD V = S <= kBigMaxDigits ? kBigMaxDigits : S;
  const DWORD cofSize = V + 1;
  const DWORD total = 2 * V + 2 * cofSize + V + V + 2 * V;
  static_assert((8 * kBigMaxDigits + 2) * sizeof(Digit) == 2056, "the gcd's block");
  Digit* block = static_cast<Digit*>(BigAlloc(total * sizeof(Digit)));
  if (block == nullptr) {
    out.ZeroAll();
    return 0;
  }
  Digit* p = block;
  Side sideM{p, sm, p + 2 * V, 0};
  Side sideX{p + V, sx, p + 2 * V + cofSize, 1};
  Digit* quot = p + 2 * V + 2 * cofSize;
  Digit* rem = quot + V;
  Digit* prod = rem + V;  // 2V digits
  Copy(m, sm, sideM.value, V);
  Copy(x, sx, sideX.value, V);
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
    Copy(rem, rl, big.value, V);
    big.len = rl;
    DWORD ql = BigSignificantLength(quot, qn);
    if (ql + small.cofLen > 2 * V) {
      code = kBigErrGcdCofactor;
      break;
    }
    BigMulSchool(quot, ql, small.cof, small.cofLen, prod);
    DWORD pl = BigSignificantLength(prod, ql + small.cofLen);
    // The sum in the cofactor's own array: it stays the longer operand or
    // takes the product's digits first.
    if (pl > cofSize - 1 || big.cofLen > cofSize - 1) {
      code = kBigErrGcdCofactor;
      break;
    }
    DWORD sl;
    if (pl <= big.cofLen) {
      big.cof[big.cofLen] = BigAdd(big.cof, big.cofLen, prod, pl, big.cof);
      sl = big.cofLen + 1;
    } else {
      prod[pl] = BigAdd(prod, pl, big.cof, big.cofLen, prod);
      Copy(prod, pl + 1, big.cof, pl + 1);
      sl = pl + 1;
    }
    big.cofLen = BigSignificantLength(big.cof, sl);
    if (big.cofLen > S) {
      code = kBigErrGcdCofactor;
      break;
    }
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
        // The inverse (sm digits) in the remainder's array; the check's
        // product, quotient and remainder in the product, x's cofactor and
        // m's value, none of which is read again.
        Digit* invWork = rem;
        Zero(invWork, sm);
        if (&last == &sideX) {
          Copy(last.cof, last.cofLen, invWork, sm);
        } else if (last.cofLen != 0) {
          Copy(m, sm, invWork, sm);
          BigSub(invWork, sm, last.cof, last.cofLen, invWork);  // cofLen <= sm
        }
        if (BigCompare(invWork, sm, m, sm) == 0) Zero(invWork, sm);
        if (cofactor != nullptr || check != nullptr) {
          Digit* xinv = prod;
          Digit* kquot = sideX.cof;  // sx + 1 <= V + 1 digits
          Digit* krem = sideM.value;
          const DWORD lp = sx + sm;
          BigMulSchool(x, sx, invWork, sm, xinv);
          if (BigSignificantLength(xinv, lp) == 0) {
            code = kBigErrGcdCheck;
          } else {
            Digit one = 1;
            BigSub(xinv, lp, &one, 1, xinv);
            BigDivRem(xinv, lp, m, sm, nullptr, kquot, krem);
            if (BigSignificantLength(krem, sm) != 0 || BigSignificantLength(kquot, sx + 1) > lx) {
              code = kBigErrGcdCheck;
            } else {
              if (cofactor != nullptr) Copy(kquot, sx + 1 < lx ? sx + 1 : lx, cofactor, lx);
              BigAdd(xinv, lp, &one, 1, xinv);
              if (check != nullptr) Copy(xinv, lp, check, lx + lm);
            }
          }
        }
        if (code == 0 && inv != nullptr) Copy(invWork, sm, inv, lm);
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
