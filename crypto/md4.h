// MD4 (RFC 1320) as a streaming context. Same contract as crypto/md5.h:
// caller-owned context, no allocation, no failure, whole blocks hashed in
// place, and MD4Final leaves the digest in the context without resetting it.
// MD4 is long broken as a hash; it only stirs the random generator's pool.
#pragma once

#include "platform/win.h"

#define MD4_DIGEST_LEN 16

struct MD4Context {
  DWORD dwState[4];    // chaining state a..d
  DWORD dwBitsLow;     // message length in bits, low word
  DWORD dwBitsHigh;    // message length in bits, high word
  BYTE rgbBuffer[64];  // pending partial block; its fill is (dwBitsLow / 8) mod 64
  BYTE rgbDigest[16];  // written by MD4Final
};

void MD4Init(MD4Context* pCtx);
void MD4Update(MD4Context* pCtx, const BYTE* pbData, DWORD cbData);
// Pads and stores the digest (state words little-endian) in pCtx->rgbDigest.
void MD4Final(MD4Context* pCtx);
