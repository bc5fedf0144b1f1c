// Signed-digit recoding of a scalar for the fixed-base multiplication: the
// scalar is read from bit 0 upwards in windows of w bits, each also looking
// at the next higher bit, and every window yields one digit in
// -2^(w-1)..2^(w-1) with sum(d_j * 2^(w*j)) equal to the scalar.
#pragma once

#include "crypto/digit.h"
#include "platform/win.h"

struct EcScalarRecoder {
  const Digit* pScalar;
  DWORD cBits;  // significant bits of the scalar
  DWORD w;
  DWORD dwPos;  // first bit of the current window
  LONG lCarry;  // what the windows below hand up, this window's bit 0 included
};

void EcRecoderInit(EcScalarRecoder* r, const Digit* k, DWORD cDigits, DWORD w);

enum EcRecodeStep { kRecodeDone = 0, kRecodeDigit = 1, kRecodeInconsistent = -1 };
// The digit of the next window into *pDigit. kRecodeDone once nothing is
// left; kRecodeInconsistent when the carry check fails (which a correct
// recoding never allows).
EcRecodeStep EcRecoderNext(EcScalarRecoder* r, LONG* pDigit);
