#include "crypto/rsa_modulus.h"

#include "crypto/rsa_digits.h"
#include "platform/localheap.h"

namespace {

// One schoolbook quotient digit: the window w[0..a] (with w[1..a] below N)
// becomes its remainder modulo N in w[0..a-1], w[a] = 0. The estimate from
// the top digits is never low and at most two high because N is normalised.
void RemoveQuotientDigit(Digit* w, const Digit* norm, DWORD a) {
  const Digit nTop = norm[a - 1];
  Digit q;
  if (w[a] >= nTop) {
    q = 0xFFFFFFFFu;
  } else {
    q = static_cast<Digit>(((static_cast<DoubleDigit>(w[a]) << 32) | w[a - 1]) / nTop);
  }
  w[a] -= RsaMulDigitSub(w, norm, q, a);
  while (w[a] != 0) w[a] += RsaAdd(w, w, norm, a);
}

}  // namespace

BOOL RsaPrepareModulus(RsaModulusRecord* pMod, const Digit* pModulus, DWORD n) {
  *pMod = RsaModulusRecord{};
  const DWORD a = RsaSignificantLength(pModulus, n);
  if (n == 0 || pModulus[a - 1] == 0) return 0;

  HLOCAL block = LocalAlloc(LMEM_FIXED, 20 * a + 4);
  if (block == nullptr) return 0;
  Digit* digits = static_cast<Digit*>(block);
  pMod->cDigits = a;
  pMod->hBlock = block;
  pMod->pNorm = digits;
  pMod->pRPlus = digits + a;
  pMod->pRMinus = digits + 2 * a;
  pMod->pWork = digits + 3 * a;

  const int shift = std::countl_zero(pModulus[a - 1]);
  for (DWORD i = a; i-- > 0;) {
    pMod->pNorm[i] = shift == 0 ? pModulus[i] : (pModulus[i] << shift) | (i > 0 ? pModulus[i - 1] >> (32 - shift) : 0);
  }

  if (a == 1) {
    // One-digit moduli are reduced by quotient digits alone.
    pMod->pRPlus[0] = 0;
    pMod->pRMinus[0] = 0;
    return 1;
  }
  // B^(a+2) is the (a+3)-digit number 1 followed by a+2 zero digits; the work
  // area (2a+1 >= a+3 digits) holds it while it is divided.
  Digit* power = pMod->pWork;
  for (DWORD i = 0; i < a + 2; ++i) power[i] = 0;
  power[a + 2] = 1;
  if (!RsaRemainder(pMod->pRPlus, power, a + 3, pModulus, a)) {
    RsaReleaseModulus(pMod);
    return 0;
  }
  RsaSub(pMod->pRMinus, pModulus, pMod->pRPlus, a);
  return 1;
}

void RsaReleaseModulus(RsaModulusRecord* pMod) {
  if (pMod->hBlock != nullptr) LocalFree(pMod->hBlock);
  *pMod = RsaModulusRecord{};
}

void RsaReduce(Digit* x, const RsaModulusRecord* pMod) {
  const DWORD a = pMod->cDigits;
  const Digit* norm = pMod->pNorm;

  if (a >= 2) {
    // Fold the top digits down two at a time: the pair C at position p stands
    // for C*B^q*B^(a+2) with q = p-a-2, congruent to -C*B^q*r-, so it is
    // dropped and C*r- is subtracted at position q. The step's two-digit
    // borrow is owed by positions p-2 and p-1, the next pair to fold, and
    // enters it as a negative part: a net negative pair is folded with r+.
    // Pairs start at a+2 and cover the top digit (for odd a the top pair's
    // upper digit lies above the product and counts as zero).
    DoubleDigit borrow = 0;
    const DWORD pairs = (a - 1) / 2;
    for (DWORD j = pairs; j-- > 0;) {
      const DWORD p = a + 2 + 2 * j;
      const DoubleDigit pair = x[p] | (p + 1 < 2 * a ? static_cast<DoubleDigit>(x[p + 1]) << 32 : 0);
      Digit* window = x + (p - a - 2);
      if (pair >= borrow) {
        borrow = RsaMulDoubleDigitSub(window, pMod->pRMinus, pair - borrow, a);
      } else {
        borrow = RsaMulDoubleDigitSub(window, pMod->pRPlus, borrow - pair, a);
      }
    }

    // Left: x[0..a+1] minus the last borrow at position a. Settle the borrow
    // into x[a..a+1]; a negative total wraps, and adding N*B^2 (congruent to
    // 0) until a carry comes out makes it whole again.
    const DoubleDigit top = x[a] | static_cast<DoubleDigit>(x[a + 1]) << 32;
    const DoubleDigit settled = top - borrow;
    x[a] = static_cast<Digit>(settled);
    x[a + 1] = static_cast<Digit>(settled >> 32);
    if (top < borrow) {
      while (RsaAdd(x + 2, x + 2, norm, a) == 0) {
      }
    } else if (RsaCompare(x + 2, norm, a) >= 0) {
      RsaSub(x + 2, x + 2, norm, a);
    }
    RemoveQuotientDigit(x + 1, norm, a);
  } else if (x[1] >= norm[0]) {
    x[1] -= norm[0];
  }
  RemoveQuotientDigit(x, norm, a);
}
