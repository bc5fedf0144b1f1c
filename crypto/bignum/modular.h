// Arithmetic modulo a prepared modulus. Residues have exactly n digits (the
// modulus length), are reduced, and are kept in the record's working form:
// x * R mod m in Montgomery form, with R = 2^(32 * cRadix), or x itself.
#pragma once

#include "crypto/bignum/bignum.h"
#include "crypto/bignum/mulplan.h"

// Digits of the caller-owned scratch that ModMul and ModReduce use for
// prepared operands and the double-length product.
constexpr DWORD kMulScratchDigits = 2247;

// The short-lived blocks of the modular routines (bytes). Each is taken
// whole; a routine whose data cannot fit (a table of the deepest plans, with
// threshold 3) takes what it needs instead.
constexpr SIZE_T kModulusCreateBlockBytes = 772;
constexpr SIZE_T kModToFormBlockBytes = 9756;
constexpr SIZE_T kModInverseBlockBytes = 1024;
constexpr SIZE_T kModSqrtBlockBytes = 10524;
constexpr SIZE_T kModExpBlockBytes = 94748;
constexpr SIZE_T kModExpDigitBlockBytes = 11924;

// An operand prepared once for many multiplications modulo one record.
struct ModPrepared {
  Digit digits[kMulPreparedMax];
  BYTE signs[kMulSignsMax];
};
// An operand of at most half the record's radix (c = cRadix / 2 digits),
// prepared with the record's plan for ceil(n/2).
struct ModHalfPrepared {
  Digit digits[kMulHalfPreparedMax];
  BYTE signs[kMulHalfSignsMax];
};

constexpr DWORD kModHalfMaxDigits = kBigMaxDigits / 2;

struct ModulusRecord {
  Digit modulus[kBigMaxDigits];
  DWORD n;                   // modulus length in digits, 1..64
  DWORD cRadix;              // Montgomery radix length 2c (c the padded size for ceil(n/2))
  MulPlan planFull;          // row for n
  MulPlan planHalf;          // row for ceil(n/2)
  BOOL fMontgomery;          // 1: Montgomery form, 0: plain residues
  BigReciprocal reciprocal;  // of the modulus
  Digit digitInverse;        // modulus[0]^-1 mod 2^32 (0 for an even modulus)
  // Reduction constants, with c = cRadix / 2 and K = 32 (n + c) - s bits, s
  // the normalisation shift of the top digit (reciprocal.shift).
  Digit montInverse[kModHalfMaxDigits];  // m^-1 mod 2^(32c) (odd moduli)
  ModHalfPrepared montInversePrepared;
  ModPrepared montHighPrepared;          // floor(m * montInverse / 2^(32c)), n digits
  Digit barrett[kModHalfMaxDigits + 1];  // mu = floor((2^K - 1) / m), c + 1 digits, the top one 1
  ModHalfPrepared barrettLowPrepared;    // mu - 2^(32c): the top digit is implied
  Digit barrettHalf[kModHalfMaxDigits];  // mu >> 1
  Digit residue[kBigMaxDigits];          // -2^K mod m
  ModPrepared residuePrepared;
  ModHalfPrepared modulusLow;           // m mod 2^(32c)
  ModHalfPrepared modulusHigh;          // m >> 32c
  Digit inverseModulus[kBigMaxDigits];  // second copy for the binary inverse
  DWORD nInverse;
  Digit one[kBigMaxDigits];  // the residue one in working form
};

// Prepares the modulus (n digits) for form 1 (Montgomery) or 0 (plain).
// Returns 1, or 0 with code 1 (n = 0 or top digit zero), 2 (Montgomery form
// of an even modulus), 3 (n > 64) or 43 (a temporary block refused).
BOOL ModulusCreate(const Digit* m, DWORD n, BOOL fMontgomery, ModulusRecord* rec);

// out (n digits) = x (lx digits, any size) in working form. Returns 1, or 0
// with out zeroed.
BOOL ModToForm(const Digit* x, DWORD lx, Digit* out, const ModulusRecord* rec);
// out (n digits) = the ordinary value of a residue. Returns its significant
// length (0 for zero and on failure).
DWORD ModFromForm(const Digit* a, Digit* out, const ModulusRecord* rec);

// out = a + b, a - b, -a mod m; out may alias an input. Return 1, or 0 with a
// code (25, 29) when the inputs were not reduced.
BOOL ModAdd(const Digit* a, const Digit* b, Digit* out, const ModulusRecord* rec);
BOOL ModSub(const Digit* a, const Digit* b, Digit* out, const ModulusRecord* rec);
BOOL ModNeg(const Digit* a, Digit* out, const ModulusRecord* rec);
// out = a * 2^k mod m; for k < 0 divides by 2^-k (odd modulus only, code 28).
// out may alias a. Returns 1, or 0 with a code (26-28).
BOOL ModShift(const Digit* a, int k, Digit* out, const ModulusRecord* rec);

// out = a * b (times R^-1 in Montgomery form); out may alias an input.
// scratch (kMulScratchDigits) may be null, then a block is taken for the
// call. Returns 1, or 0 with out zeroed.
BOOL ModMul(const Digit* a, const Digit* b, Digit* out, const ModulusRecord* rec, Digit* scratch);

// Prepares a residue with the record's plan for n. Returns 1, or 0 with a code.
BOOL ModPrepare(const Digit* a, ModPrepared* prep, const ModulusRecord* rec);
// ModMul with b, or both operands, already prepared.
BOOL ModMulPrepared1(const Digit* a, const ModPrepared* pb, Digit* out, const ModulusRecord* rec, Digit* scratch);
BOOL ModMulPrepared2(const ModPrepared* pa, const ModPrepared* pb, Digit* out, const ModulusRecord* rec,
                     Digit* scratch);

// out = x * R^-1 mod m (fMontgomery) or x mod m, for x of lx <= n + cRadix
// digits whose part above the low cRadix digits is below m. Returns 1, or 0
// with code 31 (input too large) or 32 (inconsistent correction).
BOOL ModReduce(const Digit* x, DWORD lx, BOOL fMontgomery, Digit* out, const ModulusRecord* rec, Digit* scratch);

// out = base^e in working form (e of le digits, le = 0 is exponent 0).
// Returns the number of multiplications and squarings performed; 0 when
// nothing was needed or on failure (BigError tells the two apart).
DWORD ModExp(const Digit* base, const Digit* e, DWORD le, Digit* out, const ModulusRecord* rec);
// The window width 3..7 ModExp picks for an exponent (cost 3 per squaring, 4
// per multiplication, the smaller width on a tie).
DWORD ModExpWindowWidth(const Digit* e, DWORD le);

// Inverse of a (working form) into inv, gcd(a, m) into gcd (either may be
// null). Returns the Jacobi symbol (a/m), -1 or 1, when the gcd is 1, and 0
// otherwise (code 22 for an even modulus, 43 on allocation failure).
int ModInverseJacobi(const Digit* a, const ModulusRecord* rec, Digit* inv, Digit* gcd);
// out with out^2 = a (working form) when a is a square modulo the prime m.
// Returns 1, or 0 (non-residue, even modulus other than 2, a stored code).
BOOL ModSqrt(const Digit* a, Digit* out, const ModulusRecord* rec);
