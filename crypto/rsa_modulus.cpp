#include "crypto/rsa_modulus.h"

#include "crypto/rsa_digits.h"
#include "platform/localheap.h"

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

  // B^(a+1) is the (a+2)-digit number 1 followed by a+1 zero digits; the work
  // area (2a+1 >= a+2 digits) holds it while it is divided.
  Digit* power = pMod->pWork;
  for (DWORD i = 0; i < a + 1; ++i) power[i] = 0;
  power[a + 1] = 1;
  if (!RsaRemainder(pMod->pRPlus, power, a + 2, pModulus, a)) {
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

  // Fold the top digits down one at a time: digit c at position i+a+1 stands
  // for c*B^i*B^(a+1), congruent to -c*B^i*r-, so it is dropped and c*r- is
  // subtracted at position i. The step's borrow digit is owed by position
  // i+a, the next digit to fold, and enters it as a negative part: a net
  // negative digit is folded with r+ instead.
  Digit borrow = 0;
  for (DWORD i = a - 1; i-- > 0;) {
    const Digit c = x[i + a + 1];
    if (c >= borrow) {
      borrow = RsaMulDigitSub(x + i, pMod->pRMinus, c - borrow, a);
    } else {
      borrow = RsaMulDigitSub(x + i, pMod->pRPlus, borrow - c, a);
    }
  }

  // What is left is x[0..a] minus the last borrow at position a. Bring
  // x[1..a] into [0, N): adding or subtracting N*B keeps the value congruent.
  const Digit top = x[a];
  x[a] = top - borrow;
  if (top < borrow) {
    while (RsaAdd(x + 1, x + 1, norm, a) == 0) {
    }
  } else if (RsaCompare(x + 1, norm, a) >= 0) {
    RsaSub(x + 1, x + 1, norm, a);
  }

  // Now x[0..a] < N*B: one quotient digit against N, estimated from the top
  // digits (never low, at most two high since N is normalised), then N added
  // back until the top digit clears.
  const Digit nTop = norm[a - 1];
  Digit q;
  if (x[a] >= nTop) {
    q = 0xFFFFFFFFu;
  } else {
    q = static_cast<Digit>(((static_cast<DoubleDigit>(x[a]) << 32) | x[a - 1]) / nTop);
  }
  x[a] -= RsaMulDigitSub(x, norm, q, a);
  while (x[a] != 0) x[a] += RsaAdd(x, x, norm, a);
}
