// DES (FIPS 46-3) on single 8-byte blocks, and the CBC step built on it.
//
// Blocks are taken exactly as they stand in memory: their first byte is the
// cipher's first input byte (bits 1..8). Nothing allocates; the schedule and
// the CBC feedback register belong to the caller, who should wipe them when
// done with a secret key. DES is long broken as a cipher; it is here for the
// device service's channel protocol.
#pragma once

#include "platform/win.h"

#define DES_BLOCK_LEN 8
#define DES_KEY_LEN 8

// Direction flags of DesBlock and DesCbcStep.
#define DES_DECRYPT 0
#define DES_ENCRYPT 1

// Sixteen round keys, two words each: the 48 key bits of a round as eight
// 6-bit groups, the groups of S-boxes 1, 3, 5, 7 in the first word and those
// of 2, 4, 6, 8 in the second, one group in the low six bits of each byte.
struct DesKeySchedule {
  DWORD rgdwRoundKeys[16][2];
};

// Builds the schedule for an 8-byte key. The parity bits (the low bit of each
// key byte) are ignored, and weak keys are not refused.
void DesKeySetup(DesKeySchedule* pSchedule, const BYTE rgbKey[DES_KEY_LEN]);

// Encrypts (fEncrypt == DES_ENCRYPT, or any non-zero value) or decrypts
// (DES_DECRYPT) one block. pbOut may equal pbIn.
void DesBlock(BYTE pbOut[DES_BLOCK_LEN], const BYTE pbIn[DES_BLOCK_LEN], const DesKeySchedule* pSchedule, int fEncrypt);

// One block of CBC mode with the caller's feedback register.
// Encrypting: out := E(in ^ feedback), feedback := out.
// Decrypting: out := D(in) ^ feedback, feedback := in (the ciphertext).
// pbOut may equal pbIn.
void DesCbcStep(BYTE pbOut[DES_BLOCK_LEN], const BYTE pbIn[DES_BLOCK_LEN], const DesKeySchedule* pSchedule,
                int fEncrypt, BYTE rgbFeedback[DES_BLOCK_LEN]);
