// Montgomery reduction and multiplication cores shared by the modular
// routines (internal to the library).
#pragma once

#include "crypto/bignum/modular.h"

// Largest modulus (in digits) multiplied by the interleaved loop instead of
// the Karatsuba engine; its radix fits in four 64-bit words.
constexpr DWORD kMontFusedMaxDigits = 8;

// out (n digits) = x * 2^(-32 * cRadix) mod m for x of n + cRadix digits
// below m * 2^(32 * cRadix). work has n + cRadix + 1 digits and may be x
// itself. Returns 1, or 0 with code 32.
BOOL MontReduce(const Digit* x, Digit* out, const ModulusRecord* rec, Digit* work);

// out = a * b * 2^(-32 * cRadix) mod m by interleaved multiplication and
// reduction, for n <= kMontFusedMaxDigits; out may alias an input.
void MontMulFused(const Digit* a, const Digit* b, Digit* out, const ModulusRecord* rec);
