// The arithmetic's sticky error word: the first routine that meets a bad
// argument or an internal inconsistency leaves a small positive code here;
// nothing in the library clears it.
#pragma once

#include "platform/win.h"

enum BigErrorCode : DWORD {
  kBigErrModulusShape = 1,         // modulus length 0 or top digit zero
  kBigErrEvenMontgomery = 2,       // Montgomery form for an even modulus
  kBigErrModulusTooLong = 3,       // more digits than any plan row
  kBigErrDigitDivOverflow = 9,     // two-by-one division: quotient overflows
  kBigErrDivCorrection = 10,       // quotient-digit correction failed
  kBigErrDivisorEmpty = 11,        // divisor length 0
  kBigErrDivisorTopZero = 12,      // divisor's top digit zero
  kBigErrInverseEvenModulus = 22,  // binary inverse of an even modulus
  kBigErrModAddCarry = 25,         // final subtraction left the carry
  kBigErrShiftUp = 26,             // doubling: carry inconsistency
  kBigErrShiftDown = 27,           // halving: remainder inconsistency
  kBigErrShiftDownEven = 28,       // halving modulo an even modulus
  kBigErrModSubBorrow = 29,        // final addition left the borrow
  kBigErrReduceInput = 31,         // reduction input too long or too large
  kBigErrReduceCarry = 32,         // reduction's correction left a carry
  kBigErrGcdCofactor = 37,         // cofactor out of range
  kBigErrGcdCheck = 38,            // check product not divisible
  kBigErrGcdZero = 39,             // an input is zero
  kBigErrShiftCount = 40,          // shift by more than 32 bits
  kBigErrAlloc = 43,               // the heap refused a block
  kBigErrThreshold = 44,           // Karatsuba threshold outside 3..12
  kBigErrRandomRange = 45,         // random range with hi < lo
  kBigErrRandomBound = 46,         // random bound empty or top digit zero
  kBigErrRandomSource = 47,        // the random generator failed
  kBigErrRandomNonzeroBound = 48,  // non-zero random bound not above 1
  kBigErrMulOperand = 55,          // operand longer than the plan's size
  kBigErrMulSplit = 56,            // split operand longer than two halves
};

// The stored code (0 when no failure happened yet).
DWORD BigError();
// Stores code (a later code replaces an earlier one).
void BigErrorSet(DWORD code);
// Clears the word; for tests only.
void BigErrorResetForTests();
