// Multiplication pieces shared by the modular routines (internal).
#pragma once

#include "crypto/bignum/modular.h"

// Reduces a 2n-digit product (room for n + cRadix + 1 digits, overwritten)
// to the record's form into out.
BOOL ModReduceProduct(Digit* product, Digit* out, const ModulusRecord* rec);
// Multiplies two prepared residues and reduces; product as above.
BOOL ModMulCore(const Digit* pa, const BYTE* sa, const Digit* pb, const BYTE* sb, Digit* out, const ModulusRecord* rec,
                Digit* product);
