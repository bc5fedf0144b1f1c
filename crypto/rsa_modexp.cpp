// Left-to-right sliding-window exponentiation over a table of odd powers.
// Intermediate values stay a-digit numbers congruent modulo m; only the
// final accumulator is reduced exactly.
#include <cstring>

#include "crypto/rsa.h"
#include "crypto/rsa_digits.h"
#include "crypto/rsa_modulus.h"
#include "platform/localheap.h"

namespace {

// Odd powers kept for an exponent of `bits` bits: x, x^3, ..., x^(2c-1).
DWORD WindowTableEntries(DWORD bits) {
  if (bits <= 17) return 1;
  if (bits <= 32) return 2;
  if (bits <= 64) return 4;
  if (bits <= 128) return 8;
  if (bits <= 256) return 16;
  return 32;
}

bool ExponentBit(const Digit* e, DWORD bit) { return ((e[bit / 32] >> (bit % 32)) & 1) != 0; }

// target := reduce(x * y); target may be x or y.
void MultiplyInto(Digit* target, const Digit* x, const Digit* y, const RsaModulusRecord* pMod) {
  const DWORD a = pMod->cDigits;
  RsaMultiply(pMod->pWork, x, y, a);
  RsaReduce(pMod->pWork, pMod);
  std::memcpy(target, pMod->pWork, a * sizeof(Digit));
}

void SquareInto(Digit* target, const Digit* x, const RsaModulusRecord* pMod) {
  const DWORD a = pMod->cDigits;
  RsaSquare(pMod->pWork, x, a);
  RsaReduce(pMod->pWork, pMod);
  std::memcpy(target, pMod->pWork, a * sizeof(Digit));
}

}  // namespace

BOOL RsaModExp(Digit* pOutput, const Digit* pBase, const Digit* pExponent, const Digit* pModulus, DWORD n) {
  RsaModulusRecord mod;
  if (!RsaPrepareModulus(&mod, pModulus, n)) return 0;
  const DWORD a = mod.cDigits;
  const DWORD bits = RsaBitLength(pExponent, n);
  const DWORD entries = WindowTableEntries(bits);

  // The odd powers, then the accumulator (which also holds x^2 while the
  // table is built).
  HLOCAL tableBlock = LocalAlloc(LMEM_FIXED, (entries + 1) * a * sizeof(Digit));
  if (tableBlock == nullptr) {
    RsaReleaseModulus(&mod);
    return 0;
  }
  Digit* table = static_cast<Digit*>(tableBlock);
  Digit* acc = table + entries * a;

  if (bits == 0) {
    std::memset(acc, 0, a * sizeof(Digit));
    acc[0] = 1;
  } else {
    std::memcpy(table, pBase, a * sizeof(Digit));
    if (entries > 1) {
      SquareInto(acc, table, &mod);
      for (DWORD j = 1; j < entries; ++j) MultiplyInto(table + j * a, table + (j - 1) * a, acc, &mod);
    }

    bool first = true;
    DWORD bit = bits;  // bits still to scan, from the top
    while (bit > 0) {
      // Collect a window: w = 2w + bit until w reaches the table size.
      DWORD w = 0;
      DWORD collected = 0;
      while (bit > 0 && w < entries) {
        --bit;
        w = 2 * w + (ExponentBit(pExponent, bit) ? 1 : 0);
        ++collected;
      }
      DWORD trailing = 0;
      if (w == 0) {
        trailing = collected;
      } else {
        while (((w >> trailing) & 1) == 0) ++trailing;
      }
      // An all-zero window multiplies by nothing, so it has no table entry.
      const Digit* entry = w != 0 ? table + ((w >> trailing) - 1) / 2 * a : nullptr;
      if (first) {
        // The top bit is set, so the first window is never empty.
        std::memcpy(acc, entry, a * sizeof(Digit));
        first = false;
      } else {
        for (DWORD s = 0; s < collected - trailing; ++s) SquareInto(acc, acc, &mod);
        if (w != 0) MultiplyInto(acc, acc, entry, &mod);
      }
      for (DWORD s = 0; s < trailing; ++s) SquareInto(acc, acc, &mod);
    }
  }

  const BOOL ok = RsaRemainder(pOutput, acc, a, pModulus, a);
  if (ok) {
    for (DWORD i = a; i < n; ++i) pOutput[i] = 0;
  }
  LocalFree(tableBlock);
  RsaReleaseModulus(&mod);
  return ok;
}
