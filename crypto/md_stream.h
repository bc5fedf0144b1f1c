// The buffering and padding that MD4 and MD5 share: both hash 64-byte blocks
// of little-endian words, keep the message length in bits in two words, and
// end with 0x80, zeros and that length. Internal to crypto/.
#pragma once

#include <cstring>

#include "platform/win.h"

namespace md_stream {

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

// `Ctx` has dwState[4], dwBitsLow, dwBitsHigh, rgbBuffer[64] and
// rgbDigest[16], in whatever order; `Block` hashes one block into the state.
template <typename Ctx, void (*Block)(DWORD[4], const BYTE*)>
void Update(Ctx* pCtx, const BYTE* pbData, DWORD cbData) {
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
    Block(pCtx->dwState, pCtx->rgbBuffer);
    pbData += cbMissing;
    cbData -= cbMissing;
  }
  for (; cbData >= 64; pbData += 64, cbData -= 64) Block(pCtx->dwState, pbData);
  if (cbData != 0) std::memcpy(pCtx->rgbBuffer, pbData, cbData);
}

// Pads and stores the digest (state words little-endian) in rgbDigest.
template <typename Ctx, void (*Block)(DWORD[4], const BYTE*)>
void Final(Ctx* pCtx) {
  static const BYTE kPadding[64] = {0x80};
  BYTE rgbBits[8];
  StoreLe32(rgbBits, pCtx->dwBitsLow);
  StoreLe32(rgbBits + 4, pCtx->dwBitsHigh);
  const DWORD cbPending = (pCtx->dwBitsLow >> 3) & 63;
  Update<Ctx, Block>(pCtx, kPadding, cbPending < 56 ? 56 - cbPending : 120 - cbPending);
  Update<Ctx, Block>(pCtx, rgbBits, 8);
  for (int i = 0; i < 4; ++i) StoreLe32(pCtx->rgbDigest + 4 * i, pCtx->dwState[i]);
}

}  // namespace md_stream
