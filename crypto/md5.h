// MD5 (RFC 1321) as a streaming context.
//
// The context belongs to the caller; nothing allocates and nothing fails.
// `pbData` may be null only when `cbData` is 0. Whole 64-byte blocks are
// hashed straight from the caller's buffer (any alignment). MD5Final leaves
// the digest in the context and does not reset it: start the next message
// with MD5Init.
#pragma once

#include "platform/win.h"

#define MD5_DIGEST_LEN 16

struct MD5Context {
  DWORD dwBitsLow;     // message length in bits, low word
  DWORD dwBitsHigh;    // message length in bits, high word
  DWORD dwState[4];    // chaining state a..d
  BYTE rgbBuffer[64];  // pending partial block; its fill is (dwBitsLow / 8) mod 64
  BYTE rgbDigest[16];  // written by MD5Final
};

void MD5Init(MD5Context* pCtx);
void MD5Update(MD5Context* pCtx, const BYTE* pbData, DWORD cbData);
// Pads and stores the digest (state words little-endian) in pCtx->rgbDigest.
void MD5Final(MD5Context* pCtx);
