#include <cstring>

#include "crypto/rsa.h"
#include "crypto/rsa_digits.h"
#include "platform/localheap.h"

namespace {
// Exponent arrays up to this many bytes (a 1024-bit key's 34 digits) live on
// the stack; longer ones are taken from the heap.
constexpr DWORD kLocalExponentBytes = 136;
}  // namespace

DWORD RsaOperandDigits(DWORD dwBitLength) {
  const DWORD half = dwBitLength / 2;
  DWORD d = half / 32 + 1;
  if (half % 32 != 0) ++d;
  return 2 * d;
}

BOOL RsaPublicOp(const RsaPublicKeyRecord* pKey, const Digit* pInput, Digit* pOutput) {
  if (pKey->dwMagic != RSA_PUBLIC_KEY_MAGIC) return 0;
  const DWORD n = RsaOperandDigits(pKey->dwBitLength);
  // A record that claims more bits than its modulus field holds would make us
  // read past the field; the key import never produces one.
  if (n > RSA_MAX_OPERAND_DIGITS) return 0;

  if (pKey->dwPubExp == 1) {
    std::memcpy(pOutput, pInput, n * sizeof(Digit));
    return 1;
  }

  Digit modulus[RSA_MAX_OPERAND_DIGITS];
  std::memcpy(modulus, pKey->rgbModulus, n * sizeof(Digit));
  if (RsaCompare(pInput, modulus, n) >= 0) return 0;

  Digit localExponent[kLocalExponentBytes / sizeof(Digit)];
  Digit* exponent = localExponent;
  HLOCAL heapExponent = nullptr;
  if (n * sizeof(Digit) > kLocalExponentBytes) {
    heapExponent = LocalAlloc(LMEM_FIXED, n * sizeof(Digit));
    if (heapExponent == nullptr) return 0;
    exponent = static_cast<Digit*>(heapExponent);
  }
  std::memset(exponent, 0, n * sizeof(Digit));
  exponent[0] = pKey->dwPubExp;

  const BOOL ok = RsaModExp(pOutput, pInput, exponent, modulus, n);
  if (heapExponent != nullptr) LocalFree(heapExponent);
  return ok;
}
