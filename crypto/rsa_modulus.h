// A modulus prepared for one exponentiation, and the reduction of products
// against it. Private to the RSA operation.
#pragma once

#include "crypto/digit.h"
#include "platform/win.h"

struct RsaModulusRecord {
  DWORD cDigits;   // a: significant length of the modulus m
  HLOCAL hBlock;   // one LocalAlloc block of 20a + 4 bytes holding the arrays below
  Digit* pNorm;    // N = m * 2^k with the top bit of its top digit set (a digits)
  Digit* pRPlus;   // B^(a+2) mod m (a digits), B = 2^32; zero when a = 1
  Digit* pRMinus;  // m - pRPlus, i.e. -B^(a+2) mod m (a digits)
  Digit* pWork;    // products awaiting reduction (2a + 1 digits)
};

// Prepares pMod from the n-digit modulus (high zero digits allowed). Returns
// 0 for a zero modulus or when a heap block cannot be had; nothing is held
// then. On success the caller releases it with RsaReleaseModulus.
BOOL RsaPrepareModulus(RsaModulusRecord* pMod, const Digit* pModulus, DWORD n);
void RsaReleaseModulus(RsaModulusRecord* pMod);

// Reduces the 2a-digit value x in place to an a-digit value congruent to it
// modulo m (below N, not necessarily below m), left in x[0..a-1].
// x[a..2a-1] are clobbered. x may be pMod->pWork.
void RsaReduce(Digit* x, const RsaModulusRecord* pMod);
