// KeyContainer: the 4096-byte block in which a holder keeps its private key.
//
//   4092  seed, 16 bits big-endian
//   4094  number of key bytes, 16 bits big-endian, at most 20
//
// The key bytes are scattered below offset 4092, each stored as its bitwise
// complement. Which positions carry them is decided by a 15-bit sequence
// started from the seed:
//
//   state  := seed & 0x7FFF, or 0x7FFF when that is zero
//   step   := Galois LFSR of x^15 + x^14 + 1 (period 32767):
//             state := (state >> 1) ^ (state & 1 ? 0x6000 : 0)
//   gap    := the low 7 bits of the stepped state (0..127)
//
// Walking down from the top, the i-th key byte (least significant first) sits
// at position previous - 1 - gap, the first previous being 4092: one step of
// the sequence per key byte. Twenty bytes with the widest gaps reach down to
// 4092 - 20 * 128 = 1532, so every seed fits. All other bytes are filler.
#pragma once

#include "platform/win.h"

constexpr DWORD kKeyContainerLength = 4096;
constexpr DWORD kKeyContainerSeedOffset = 4092;
constexpr DWORD kKeyContainerKeyLengthOffset = 4094;
constexpr DWORD kKeyContainerMaxKeyLength = 20;

// Takes the private key out of a container: rgbKey (least significant byte
// first) receives the key bytes, zero-extended to 20. Works on a copy of the
// container that is wiped and freed before returning. E_FAIL when the block
// is not 4096 bytes or its key length exceeds 20; E_OUTOFMEMORY.
HRESULT KeyContainerExtract(const BYTE* pbContainer, DWORD cbContainer, BYTE rgbKey[kKeyContainerMaxKeyLength]);

// Hides a 20-byte key in a container that the caller has filled with filler
// bytes (random ones, so that the key bytes do not stand out): writes the seed,
// the key length 20 and the complemented key bytes at their positions.
void KeyContainerWrap(const BYTE rgbKey[kKeyContainerMaxKeyLength], WORD wSeed, BYTE rgbContainer[kKeyContainerLength]);
