// MD4 after RFC 1320: 48 straight-line steps per block.
#include "crypto/md4.h"

#include <cstring>

namespace {

inline DWORD Rotl(DWORD x, int n) { return (x << n) | (x >> (32 - n)); }

inline DWORD LoadLe32(const BYTE* p) {
  return DWORD{p[0]} | (DWORD{p[1]} << 8) | (DWORD{p[2]} << 16) | (DWORD{p[3]} << 24);
}

inline void StoreLe32(BYTE* p, DWORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
  p[2] = static_cast<BYTE>(v >> 16);
  p[3] = static_cast<BYTE>(v >> 24);
}

inline DWORD F(DWORD b, DWORD c, DWORD d) { return d ^ (b & (c ^ d)); }
inline DWORD G(DWORD b, DWORD c, DWORD d) { return (b & c) | (d & (b | c)); }
inline DWORD H(DWORD b, DWORD c, DWORD d) { return b ^ c ^ d; }

#define MD4_STEP(Fn, a, b, c, d, k, s, K) \
  a += X[k] + (K);                        \
  a += Fn(b, c, d);                       \
  a = Rotl(a, s);

void MD4Block(DWORD rgdwState[4], const BYTE* pbBlock) {
  DWORD X[16];
  for (int i = 0; i < 16; ++i) X[i] = LoadLe32(pbBlock + 4 * i);

  DWORD a = rgdwState[0];
  DWORD b = rgdwState[1];
  DWORD c = rgdwState[2];
  DWORD d = rgdwState[3];

  MD4_STEP(F, a, b, c, d, 0, 3, 0)
  MD4_STEP(F, d, a, b, c, 1, 7, 0)
  MD4_STEP(F, c, d, a, b, 2, 11, 0)
  MD4_STEP(F, b, c, d, a, 3, 19, 0)
  MD4_STEP(F, a, b, c, d, 4, 3, 0)
  MD4_STEP(F, d, a, b, c, 5, 7, 0)
  MD4_STEP(F, c, d, a, b, 6, 11, 0)
  MD4_STEP(F, b, c, d, a, 7, 19, 0)
  MD4_STEP(F, a, b, c, d, 8, 3, 0)
  MD4_STEP(F, d, a, b, c, 9, 7, 0)
  MD4_STEP(F, c, d, a, b, 10, 11, 0)
  MD4_STEP(F, b, c, d, a, 11, 19, 0)
  MD4_STEP(F, a, b, c, d, 12, 3, 0)
  MD4_STEP(F, d, a, b, c, 13, 7, 0)
  MD4_STEP(F, c, d, a, b, 14, 11, 0)
  MD4_STEP(F, b, c, d, a, 15, 19, 0)

  MD4_STEP(G, a, b, c, d, 0, 3, 0x5A827999)
  MD4_STEP(G, d, a, b, c, 4, 5, 0x5A827999)
  MD4_STEP(G, c, d, a, b, 8, 9, 0x5A827999)
  MD4_STEP(G, b, c, d, a, 12, 13, 0x5A827999)
  MD4_STEP(G, a, b, c, d, 1, 3, 0x5A827999)
  MD4_STEP(G, d, a, b, c, 5, 5, 0x5A827999)
  MD4_STEP(G, c, d, a, b, 9, 9, 0x5A827999)
  MD4_STEP(G, b, c, d, a, 13, 13, 0x5A827999)
  MD4_STEP(G, a, b, c, d, 2, 3, 0x5A827999)
  MD4_STEP(G, d, a, b, c, 6, 5, 0x5A827999)
  MD4_STEP(G, c, d, a, b, 10, 9, 0x5A827999)
  MD4_STEP(G, b, c, d, a, 14, 13, 0x5A827999)
  MD4_STEP(G, a, b, c, d, 3, 3, 0x5A827999)
  MD4_STEP(G, d, a, b, c, 7, 5, 0x5A827999)
  MD4_STEP(G, c, d, a, b, 11, 9, 0x5A827999)
  MD4_STEP(G, b, c, d, a, 15, 13, 0x5A827999)

  MD4_STEP(H, a, b, c, d, 0, 3, 0x6ED9EBA1)
  MD4_STEP(H, d, a, b, c, 8, 9, 0x6ED9EBA1)
  MD4_STEP(H, c, d, a, b, 4, 11, 0x6ED9EBA1)
  MD4_STEP(H, b, c, d, a, 12, 15, 0x6ED9EBA1)
  MD4_STEP(H, a, b, c, d, 2, 3, 0x6ED9EBA1)
  MD4_STEP(H, d, a, b, c, 10, 9, 0x6ED9EBA1)
  MD4_STEP(H, c, d, a, b, 6, 11, 0x6ED9EBA1)
  MD4_STEP(H, b, c, d, a, 14, 15, 0x6ED9EBA1)
  MD4_STEP(H, a, b, c, d, 1, 3, 0x6ED9EBA1)
  MD4_STEP(H, d, a, b, c, 9, 9, 0x6ED9EBA1)
  MD4_STEP(H, c, d, a, b, 5, 11, 0x6ED9EBA1)
  MD4_STEP(H, b, c, d, a, 13, 15, 0x6ED9EBA1)
  MD4_STEP(H, a, b, c, d, 3, 3, 0x6ED9EBA1)
  MD4_STEP(H, d, a, b, c, 11, 9, 0x6ED9EBA1)
  MD4_STEP(H, c, d, a, b, 7, 11, 0x6ED9EBA1)
  MD4_STEP(H, b, c, d, a, 15, 15, 0x6ED9EBA1)

  rgdwState[0] += a;
  rgdwState[1] += b;
  rgdwState[2] += c;
  rgdwState[3] += d;
}

#undef MD4_STEP

const BYTE kPadding[64] = {0x80};

}  // namespace

void MD4Init(MD4Context* pCtx) {
  pCtx->dwState[0] = 0x67452301;
  pCtx->dwState[1] = 0xEFCDAB89;
  pCtx->dwState[2] = 0x98BADCFE;
  pCtx->dwState[3] = 0x10325476;
  pCtx->dwBitsLow = 0;
  pCtx->dwBitsHigh = 0;
}

void MD4Update(MD4Context* pCtx, const BYTE* pbData, DWORD cbData) {
  if (cbData == 0) return;
  const DWORD cbPending = (pCtx->dwBitsLow >> 3) & 63;
  const DWORD dwBitsAdded = cbData << 3;
  pCtx->dwBitsLow += dwBitsAdded;
  if (pCtx->dwBitsLow < dwBitsAdded) ++pCtx->dwBitsHigh;
  pCtx->dwBitsHigh += cbData >> 29;

  if (cbPending != 0) {
    const DWORD cbMissing = 64 - cbPending;
    if (cbData < cbMissing) {
      std::memcpy(pCtx->rgbBuffer + cbPending, pbData, cbData);
      return;
    }
    std::memcpy(pCtx->rgbBuffer + cbPending, pbData, cbMissing);
    MD4Block(pCtx->dwState, pCtx->rgbBuffer);
    pbData += cbMissing;
    cbData -= cbMissing;
  }
  for (; cbData >= 64; pbData += 64, cbData -= 64) MD4Block(pCtx->dwState, pbData);
  if (cbData != 0) std::memcpy(pCtx->rgbBuffer, pbData, cbData);
}

void MD4Final(MD4Context* pCtx) {
  BYTE rgbBits[8];
  StoreLe32(rgbBits, pCtx->dwBitsLow);
  StoreLe32(rgbBits + 4, pCtx->dwBitsHigh);
  const DWORD cbPending = (pCtx->dwBitsLow >> 3) & 63;
  MD4Update(pCtx, kPadding, cbPending < 56 ? 56 - cbPending : 120 - cbPending);
  MD4Update(pCtx, rgbBits, 8);
  for (int i = 0; i < 4; ++i) StoreLe32(pCtx->rgbDigest + 4 * i, pCtx->dwState[i]);
}
