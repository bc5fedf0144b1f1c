// Division with a success flag apart from the remainder length (a zero
// remainder and a failure both give length 0 from BigDivRem).
#pragma once

#include "crypto/bignum/bignum.h"

BOOL BigDivRemStatus(const Digit* num, DWORD ln, const Digit* den, DWORD ld, const BigReciprocal* rec, Digit* quot,
                     Digit* rem, DWORD* remLen);
