// The RSA public-key operation of the signature check: raise a signature to
// the public exponent modulo the signer's modulus. Only the public direction
// exists. The arithmetic under it is private to RSA (crypto/rsa_*.h) and is
// separate from the general multi-precision code.
#pragma once

#include <cstddef>

#include "crypto/digit.h"
#include "platform/win.h"

// "RSA1" in memory order.
constexpr DWORD RSA_PUBLIC_KEY_MAGIC = 0x31415352u;
// Room for a 4096-bit modulus plus the operand slack of RsaOperandDigits.
constexpr DWORD RSA_MODULUS_FIELD_BYTES = 528;
constexpr DWORD RSA_MAX_OPERAND_DIGITS = RSA_MODULUS_FIELD_BYTES / sizeof(Digit);  // 132

// The in-memory public key, built by the verification library's key import
// and read here. All fields little-endian; the whole record is zeroed before
// it is filled, so bytes above the modulus are zero.
struct RsaPublicKeyRecord {
  DWORD dwMagic;                             // RSA_PUBLIC_KEY_MAGIC
  DWORD dwKeyLength;                         // modulus bytes rounded up to a multiple of 8, plus 8
  DWORD dwBitLength;                         // 8 * modulus bytes (after dropping one leading zero byte)
  DWORD dwDataLength;                        // modulus bytes - 1: index of the padded block's leading zero byte
  DWORD dwPubExp;                            // public exponent
  BYTE rgbModulus[RSA_MODULUS_FIELD_BYTES];  // modulus bytes reversed (least significant first), zero-padded
};
static_assert(sizeof(RsaPublicKeyRecord) == 548, "the key record is a fixed 548-byte layout");
static_assert(offsetof(RsaPublicKeyRecord, dwMagic) == 0);
static_assert(offsetof(RsaPublicKeyRecord, dwKeyLength) == 4);
static_assert(offsetof(RsaPublicKeyRecord, dwBitLength) == 8);
static_assert(offsetof(RsaPublicKeyRecord, dwDataLength) == 12);
static_assert(offsetof(RsaPublicKeyRecord, dwPubExp) == 16);
static_assert(offsetof(RsaPublicKeyRecord, rgbModulus) == 20);

// Digits the operation works on for a key of `dwBitLength` bits: with
// h = bits/2, d = h/32 + 1, plus one more when h is not a multiple of 32; the
// operand length is 2d (34 for 1024 bits, 66 for 2048, 130 for 4096).
DWORD RsaOperandDigits(DWORD dwBitLength);

// Raises `pInput` to the key's public exponent modulo its modulus.
//   pInput, pOutput: RsaOperandDigits(pKey->dwBitLength) digits each (the
//     signature check passes 528-byte buffers); they must not overlap.
//   The modulus field is read as that many digits.
// Returns 1 and writes the result (zeros above the modulus length), or 0 for a
// wrong magic, an input not below the modulus, an operand length beyond the
// modulus field, or a failed heap block. Exponent 1 copies the input without
// the range check. Takes short-lived blocks from LocalAlloc, freed on return.
BOOL RsaPublicOp(const RsaPublicKeyRecord* pKey, const Digit* pInput, Digit* pOutput);

// pOutput := pBase ^ pExponent mod pModulus, all n digits (high zero digits
// allowed). The base must be below the modulus (not checked). The result
// occupies the low a digits of pOutput (a = significant length of the
// modulus), zeros above. pOutput must not overlap the inputs.
// Returns 0 for a zero modulus or when a heap block cannot be had.
BOOL RsaModExp(Digit* pOutput, const Digit* pBase, const Digit* pExponent, const Digit* pModulus, DWORD n);
