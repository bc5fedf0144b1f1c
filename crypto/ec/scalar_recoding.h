// Signed-digit recoding of a scalar for the fixed-base multiplication: the
// scalar is read from bit 0 upwards in windows of w bits, each also looking
// at the next higher bit, and every window yields one digit in
// -2^(w-1)..2^(w-1); the sum of d * 2^(window start) is the scalar. From a
// given bit on (where the table ends) the windows are one bit wide and
// advance bit by bit, with digits -1, 0 or 1.
#pragma once

#include "crypto/digit.h"
#include "platform/win.h"

struct EcScalarRecoder {
  const Digit* pScalar;
  DWORD cBits;  // significant bits of the scalar
  DWORD w;
  DWORD dwNarrowFrom;  // windows starting here or above are one bit wide
  DWORD dwPos;         // first bit of the current window
  LONG lCarry;         // what the windows below hand up, this window's bit 0 included
};

// Windows of w bits (1..30) below bit dwNarrowFrom, of one bit from there.
void EcRecoderInit(EcScalarRecoder* r, const Digit* k, DWORD cDigits, DWORD w, DWORD dwNarrowFrom);

enum EcRecodeStep { kRecodeDone = 0, kRecodeDigit = 1, kRecodeInconsistent = -1 };
// The digit of the next window into *pDigit and the window's first bit into
// *pPos. kRecodeDone once nothing is left; kRecodeInconsistent when the carry
// handed up is negative or not a whole multiple of the window (which a
// correct recoding never allows).
EcRecodeStep EcRecoderNext(EcScalarRecoder* r, LONG* pDigit, DWORD* pPos);
