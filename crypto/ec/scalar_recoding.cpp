#include "crypto/ec/scalar_recoding.h"

#include "crypto/bignum/bignum.h"

namespace {

LONG BitAt(const EcScalarRecoder* r, DWORD i) {
  if (i >= r->cBits) return 0;
  return static_cast<LONG>((r->pScalar[i / 32] >> (i % 32)) & 1u);
}

}  // namespace

void EcRecoderInit(EcScalarRecoder* r, const Digit* k, DWORD cDigits, DWORD w, DWORD dwNarrowFrom) {
  r->pScalar = k;
  r->cBits = cDigits ? BigBitLength(k, cDigits) : 0;
  r->w = w;
  r->dwNarrowFrom = dwNarrowFrom;
  r->dwPos = 0;
  r->lCarry = BitAt(r, 0);  // the first window's bit 0 is nobody's lookahead
}

EcRecodeStep EcRecoderNext(EcScalarRecoder* r, LONG* pDigit, DWORD* pPos) {
  const DWORD w = r->dwPos >= r->dwNarrowFrom ? 1 : r->w;
  // Nothing left: no carry and no scalar bit above this window's bit 0.
  if (r->lCarry == 0 && r->cBits <= r->dwPos + 1) return kRecodeDone;

  // u: the carry (which holds bit 0), bits 1..w-1 at their places, and the
  // lookahead bit, the next window's bit 0, at 2^w.
  LONG u = r->lCarry;
  for (DWORD i = 1; i <= w; i++) u += BitAt(r, r->dwPos + i) << i;
  const LONG half = 1L << (w - 1);
  const LONG rem = ((u + half) & ((1L << (w + 1)) - 1)) - half;
  const LONG d = rem <= half ? rem : rem - (1L << w);
  const LONG rest = u - d;
  if (rest < 0 || (rest & ((1L << w) - 1)) != 0) return kRecodeInconsistent;
  r->lCarry = rest >> w;
  *pPos = r->dwPos;
  r->dwPos += w;
  *pDigit = d;
  return kRecodeDigit;
}
