// Digit-array routines private to the RSA operation. All lengths are digit
// counts; outputs are caller-owned and nothing here allocates. Unless a
// routine says otherwise, an output may alias an input only when it is the
// very same array (same start, same length).
#pragma once

#include "crypto/digit.h"
#include "platform/win.h"

// out := a + b over n digits; returns the carry out of the top (0 or 1).
Digit RsaAdd(Digit* out, const Digit* a, const Digit* b, DWORD n);
// out := a - b over n digits; returns the borrow out of the top (0 or 1).
Digit RsaSub(Digit* out, const Digit* a, const Digit* b, DWORD n);
// out := a * d over n digits; returns the top (carry) digit.
Digit RsaMulDigit(Digit* out, const Digit* a, Digit d, DWORD n);
// acc += a * d over n digits; returns the carry digit.
Digit RsaMulDigitAdd(Digit* acc, const Digit* a, Digit d, DWORD n);
// acc -= a * d over n digits; returns the borrow digit (a whole digit).
Digit RsaMulDigitSub(Digit* acc, const Digit* a, Digit d, DWORD n);
// acc -= a * d over n digits for a two-digit multiplier; returns the borrow
// (a whole two-digit value).
DoubleDigit RsaMulDoubleDigitSub(Digit* acc, const Digit* a, DoubleDigit d, DWORD n);

// -1, 0 or 1, comparing from the top digit down.
int RsaCompare(const Digit* a, const Digit* b, DWORD n);
// Digits up to and including the top non-zero one; at least 1 (also for zero
// and for n == 0 the answer is 1, so callers check the top digit).
DWORD RsaSignificantLength(const Digit* a, DWORD n);
// Significant bits of a; 0 for zero.
DWORD RsaBitLength(const Digit* a, DWORD n);

// out (2n digits) := a * b (n digits each). out must not overlap a or b.
void RsaMultiply(Digit* out, const Digit* a, const Digit* b, DWORD n);
// out (2n digits) := a * a. out must not overlap a.
void RsaSquare(Digit* out, const Digit* a, DWORD n);

// pRemainder (cDiv digits) := pNum (cNum digits) mod pDiv (cDiv digits),
// exactly, zero-padded above the divisor's significant length. A numerator
// shorter than the divisor is copied unchanged. Work space comes from the
// stack up to 512 bytes, else from LocalAlloc. Returns 0 for a zero divisor or
// when the heap refuses the work block; pRemainder is then left untouched.
// pRemainder must not overlap the inputs.
BOOL RsaRemainder(Digit* pRemainder, const Digit* pNum, DWORD cNum, const Digit* pDiv, DWORD cDiv);
