#include "crypto/random/entropy_pool.h"

#include "crypto/md4.h"
#include "crypto/random/wipe.h"
#include "crypto/sha1.h"

void PoolInit(EntropyPool* pPool) {
  pPool->dwMagic = POOL_MAGIC;
  pPool->dwSize = POOL_SIZE;
  pPool->dwFlags = 0;
  pPool->dwStep = POOL_STEP;
  pPool->dwPosition = 0;
  pPool->dwDigestKind = POOL_DIGEST_MD4;
}

bool PoolIsSound(const EntropyPool* pPool) {
  return pPool != nullptr && pPool->dwMagic == POOL_MAGIC && pPool->dwSize == POOL_SIZE &&
         pPool->dwPosition < POOL_SIZE;
}

BOOL PoolStir(EntropyPool* pPool, const BYTE* pbData, DWORD cbData) {
  if (!PoolIsSound(pPool) || (pbData == nullptr && cbData != 0)) return FALSE;
  const bool fSelf = (pPool->dwFlags & POOL_FLAG_DIGEST_SELF) != 0;
  BYTE rgbDigest[SHA1_DIGEST_LEN];
  DWORD cbDigest;
  if (pPool->dwDigestKind == POOL_DIGEST_MD4) {
    MD4Context ctx;
    MD4Init(&ctx);
    MD4Update(&ctx, pbData, cbData);
    if (fSelf) MD4Update(&ctx, pPool->rgbData, POOL_SIZE);
    MD4Final(&ctx);
    cbDigest = MD4_DIGEST_LEN;
    for (DWORD i = 0; i < cbDigest; ++i) rgbDigest[i] = ctx.rgbDigest[i];
    SecureWipe(&ctx, sizeof(ctx));
  } else {
    ShaContext ctx;
    ShaInit(&ctx);
    ShaUpdateHostOrder(&ctx, pbData, cbData);
    if (fSelf) ShaUpdateHostOrder(&ctx, pPool->rgbData, POOL_SIZE);
    ShaFinalHostOrder(&ctx, rgbDigest);
    cbDigest = SHA1_DIGEST_LEN;
    SecureWipe(&ctx, sizeof(ctx));
  }
  DWORD pos = pPool->dwPosition;
  for (DWORD i = 0; i < cbDigest; ++i) {
    pPool->rgbData[pos] ^= rgbDigest[i];
    pos = (pos + 1) % POOL_SIZE;
  }
  pPool->dwPosition = (pPool->dwPosition + pPool->dwStep) % POOL_SIZE;
  SecureWipe(rgbDigest, sizeof(rgbDigest));
  return TRUE;
}
