// Arithmetic in the prime field that a curve lives over. Elements are arrays
// of n digits holding residues in the working form of the field's modulus
// record (Montgomery form for the channel's prime). Every operation takes the
// field description last and returns 1 on success, 0 when an underlying
// modular operation fails; outputs may alias inputs.
#pragma once

#include "crypto/bignum/modular.h"
#include "crypto/digit.h"
#include "platform/win.h"

// Longest element a field may have: the modular arithmetic's modulus limit.
constexpr DWORD FIELD_MAX_DIGITS = 64;
constexpr DWORD FIELD_KIND_PRIME = 1;

// Filled in place by FieldInitPrime. Owns nothing: the modulus record and the
// scratch area belong to the caller and must outlive the description. The
// scratch is shared by every multiplication, so one description serves one
// thread at a time.
struct FieldDesc {
  DWORD dwKind;     // FIELD_KIND_PRIME
  DWORD cDigits;    // n, digits per element
  DWORD dwDegree;   // 1 for a prime field
  Digit* pScratch;  // kMulScratchDigits, handed to every multiplication (may be null)
  const ModulusRecord* pModulus;
  Digit rgOne[FIELD_MAX_DIGITS];  // the element one in working form
};

BOOL FieldInitPrime(const ModulusRecord* pModulus, Digit* pScratch, FieldDesc* pField);

BOOL FieldAdd(const Digit* a, const Digit* b, Digit* out, const FieldDesc* pField);
BOOL FieldSub(const Digit* a, const Digit* b, Digit* out, const FieldDesc* pField);
BOOL FieldNeg(const Digit* a, Digit* out, const FieldDesc* pField);
BOOL FieldMul(const Digit* a, const Digit* b, Digit* out, const FieldDesc* pField);
// out = a*b + c
BOOL FieldMulAdd(const Digit* a, const Digit* b, const Digit* c, Digit* out, const FieldDesc* pField);
// Fails (0) for an element with no inverse, zero included.
BOOL FieldInverse(const Digit* a, Digit* out, const FieldDesc* pField);
// out = a / b; fails when b has no inverse.
BOOL FieldDivide(const Digit* a, const Digit* b, Digit* out, const FieldDesc* pField);
// Fails (0) when a is not a square.
BOOL FieldSqrt(const Digit* a, Digit* out, const FieldDesc* pField);
// out = the signed integer i in working form.
BOOL FieldFromInt(LONG i, Digit* out, const FieldDesc* pField);

BOOL FieldEqual(const Digit* a, const Digit* b, const FieldDesc* pField);
BOOL FieldIsZero(const Digit* a, const FieldDesc* pField);
// Clear or copy `count` consecutive elements (count * n digits); always 1, so
// that they chain with the others.
BOOL FieldZero(Digit* out, DWORD count, const FieldDesc* pField);
BOOL FieldCopy(const Digit* src, Digit* out, DWORD count, const FieldDesc* pField);
