// MD4 after RFC 1320: 48 straight-line steps per block.
#include "crypto/md4.h"

#include "crypto/md_stream.h"

namespace {

using md_stream::LoadLe32;
using md_stream::Rotl;

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
  md_stream::Update<MD4Context, MD4Block>(pCtx, pbData, cbData);
}

void MD4Final(MD4Context* pCtx) { md_stream::Final<MD4Context, MD4Block>(pCtx); }
