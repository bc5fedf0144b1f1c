// Unsigned multi-precision integers: arrays of 32-bit digits, least
// significant first, with the digit count passed beside them. Routines take
// caller-owned arrays; only BigGcdInverse takes a heap block (through the
// allocation wrapper of bigalloc.h). Failures return 0 (or a zero result) and
// leave a code in the sticky error word of bigerror.h.
#pragma once

#include "crypto/bignum/bigalloc.h"
#include "crypto/bignum/bigerror.h"
#include "crypto/digit.h"
#include "platform/win.h"

// A modulus has at most this many digits; scratch inside the library is sized
// for it (one number) and for twice it (a product).
constexpr DWORD kBigMaxDigits = 64;

// --- carry chains ---------------------------------------------------------

// out = a + b with lb <= la; out has la digits and may be a itself. Returns
// the carry out of the top digit (0 or 1).
Digit BigAdd(const Digit* a, DWORD la, const Digit* b, DWORD lb, Digit* out);
// out = a - b with lb <= la; out has la digits and may be a itself. Returns
// the borrow out of the top digit (0 or 1).
Digit BigSub(const Digit* a, DWORD la, const Digit* b, DWORD lb, Digit* out);
// out = a + b over n digits; out may alias either input. Returns the carry.
Digit BigAddSame(const Digit* a, const Digit* b, Digit* out, DWORD n);
// out = a - b over n digits; out may alias either input. Returns the borrow.
Digit BigSubSame(const Digit* a, const Digit* b, Digit* out, DWORD n);
// out = a + b for operands in either order; out has max(la, lb) + 1 digits
// and must not alias the shorter operand. Returns max(la, lb), plus one when
// the carry was stored as an extra top digit.
DWORD BigAddAnyOrder(const Digit* a, DWORD la, const Digit* b, DWORD lb, Digit* out);

// --- multiplication -------------------------------------------------------

// out = a * d over n digits (out may alias a); returns the top digit.
Digit BigMulDigit(const Digit* a, Digit d, Digit* out, DWORD n);
// acc += a * d over n digits; returns the carry digit.
Digit BigMulDigitAdd(const Digit* a, Digit d, Digit* acc, DWORD n);
// acc -= a * d over n digits; returns the borrow digit.
Digit BigMulDigitSub(const Digit* a, Digit d, Digit* acc, DWORD n);
// out = a * b (la + lb digits, must not alias an input). A zero-length
// operand gives an all-zero product.
void BigMulSchool(const Digit* a, DWORD la, const Digit* b, DWORD lb, Digit* out);

// --- comparison, shifts, size ---------------------------------------------

// -1, 0 or 1; digits beyond the other operand's length count only if
// non-zero.
int BigCompare(const Digit* a, DWORD la, const Digit* b, DWORD lb);
// Shifts a by s bits within n digits (left for s > 0, right for s < 0) into
// out (which may alias a). Returns the bits shifted out: the top bits of a
// left shift as a digit, the low bits of a right shift. |s| = 32 moves whole
// digits; |s| > 32 stores code 40 and returns 0 with out untouched.
Digit BigShift(const Digit* a, int s, Digit* out, DWORD n);
// Number of significant bits (0 for zero).
DWORD BigBitLength(const Digit* a, DWORD n);
// Length with high zero digits stripped (0 for zero).
DWORD BigSignificantLength(const Digit* a, DWORD n);

// --- division -------------------------------------------------------------

// One-digit reciprocal of a divisor's normalised top digits, computed once
// per divisor and reusable for every division by it.
struct BigReciprocal {
  Digit multiplier;
  Digit shift;  // normalisation shift 0..31
};

// Computes the reciprocal of den (ld digits, top digit non-zero). Returns 1,
// or 0 with code 11 (ld = 0) or 12 (top digit zero).
BOOL BigReciprocalCompute(const Digit* den, DWORD ld, BigReciprocal* rec);
// Divides num (ln digits) by den (ld >= 1 digits, top digit non-zero). rec
// may be null (computed here). quot (ln - ld + 1 digits) may be null; rem
// has ld digits. Returns the significant length of the remainder; 0 on error
// (codes 9-12) with the outputs untouched. When ln < ld the numerator is
// copied to the remainder and no quotient digit is written. quot and rem must
// not alias num or den.
DWORD BigDivRem(const Digit* num, DWORD ln, const Digit* den, DWORD ld, const BigReciprocal* rec, Digit* quot,
                Digit* rem);
// Divides num (ln digits) by the digit d (non-zero); quot (ln digits) may be
// null or num itself. Returns the remainder digit; 0 with code 12 for d = 0.
Digit BigDivRemDigit(const Digit* num, DWORD ln, Digit d, const BigReciprocal* rec, Digit* quot);

// --- greatest common divisor ----------------------------------------------

// gcd(x, m) into gcd (max(lx, lm) digits, required). When the gcd is 1,
// inv (lm digits, may be null) gets x^-1 mod m, cofactor (lx digits, may be
// null) the k with x*inv - k*m = 1, and check (lx + lm digits, may be null)
// the product x*inv; otherwise they are zeroed. Returns the significant
// length of the gcd, or 0 with every given output zeroed: while BigError
// holds a code, on allocation failure (43) or an inconsistent result (37,
// 38; also asking for the cofactor modulo 1, where none is non-negative).
// With a zero input the gcd out holds the other input, code 39 is stored and
// 0 returned.
DWORD BigGcdInverse(const Digit* x, DWORD lx, const Digit* m, DWORD lm, Digit* inv, Digit* cofactor, Digit* gcd,
                    Digit* check);

// --- random numbers (drawn from the process random generator) -------------

// Uniform digit in [lo, hi] into *out. Returns 1, or 0 with *out = 0 (code
// 45 when hi < lo, code 47 when the generator fails).
BOOL DigitRandomRange(Digit lo, Digit hi, Digit* out);
// Uniform value in [0, bound) into out (n digits). Returns 1, or 0 with out
// zeroed (code 46 when n = 0 or the top digit of bound is zero, code 47 when
// the generator fails).
BOOL BigRandomBelow(const Digit* bound, DWORD n, Digit* out);
// Uniform value in [1, bound) into out (n digits). Returns its significant
// length, or 0 with out zeroed (code 48 when bound <= 1 or its top digit is
// zero, 47 when the generator fails).
DWORD BigRandomNonzeroBelow(const Digit* bound, DWORD n, Digit* out);
