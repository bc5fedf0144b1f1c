#include "channel/mac.h"

#include <cstring>

#include "channel/wire.h"
#include "crypto/random/wipe.h"
#include "crypto/rc4.h"

namespace {

DWORD Rot(DWORD v) { return v << 16 | v >> 16; }

void Compress(MacContext* ctx, const DWORD* k, const BYTE block[8]) {
  DWORD s = k[0] * (ctx->dwChain + ReadLe32(block));
  s = k[1] * Rot(s);
  s = k[2] * Rot(s);
  s = k[3] * Rot(s);
  const DWORD t = k[4] * Rot(s) + k[5];
  DWORD u = k[6] * (t + ReadLe32(block + 4));
  u = k[7] * Rot(u);
  u = k[8] * Rot(u);
  u = k[9] * Rot(u);
  ctx->dwChain = k[10] * Rot(u) + k[11];
  ctx->dwSum += t + ctx->dwChain;
}

}  // namespace

void MacKeyDerive(const BYTE rgbSessionKey[8], DWORD rgdwKey[kMacKeyWords]) {
  BYTE stream[4 * kMacKeyWords] = {};
  Rc4State rc4;
  Rc4KeySetup(&rc4, rgbSessionKey, 8);
  Rc4Apply(&rc4, stream, sizeof stream);
  for (DWORD i = 0; i < kMacKeyWords; ++i) rgdwKey[i] = ReadLe32(stream + 4 * i) | 1u;
  SecureWipe(&rc4, sizeof rc4);
  SecureWipe(stream, sizeof stream);
}

void MacInit(MacContext* pCtx) { std::memset(pCtx, 0, sizeof *pCtx); }

void MacAppend(MacContext* pCtx, const DWORD rgdwKey[kMacKeyWords], const BYTE* pbData, DWORD cbData) {
  if (pCtx->cbPending != 0) {
    const DWORD take = cbData < 8 - pCtx->cbPending ? cbData : 8 - pCtx->cbPending;
    std::memcpy(pCtx->rgbPending + pCtx->cbPending, pbData, take);
    pCtx->cbPending += take;
    pbData += take;
    cbData -= take;
    if (pCtx->cbPending < 8) return;
    Compress(pCtx, rgdwKey, pCtx->rgbPending);
    pCtx->cbPending = 0;
  }
  for (; cbData >= 8; pbData += 8, cbData -= 8) Compress(pCtx, rgdwKey, pbData);
  std::memcpy(pCtx->rgbPending, pbData, cbData);
  pCtx->cbPending = cbData;
}

void MacFinish(MacContext* pCtx, const DWORD rgdwKey[kMacKeyWords], BYTE rgbMac[kMacLength]) {
  if (pCtx->cbPending != 0) {
    std::memset(pCtx->rgbPending + pCtx->cbPending, 0, 8 - pCtx->cbPending);
    Compress(pCtx, rgdwKey, pCtx->rgbPending);
    pCtx->cbPending = 0;
  }
  WriteLe32(rgbMac, pCtx->dwSum);
  WriteLe32(rgbMac + 4, pCtx->dwChain);
}
