#include "crypto/random/gather.h"

#include <cstring>

#include "crypto/random/wipe.h"
#include "crypto/rc4.h"

DWORD GatherEntropy(const RandomSources* pSources, NameCache* pNames, BYTE rgbSeed[SEED_LEN],
                    const BYTE rgbPool[POOL_SIZE], BYTE* pbOut, DWORD cbOut) {
  std::memset(pbOut, 0, cbOut);
  if (pSources->pfnKernel != nullptr) {
    DWORD cbKernel = 0;
    // A reply of no bytes would key the output with a constant; it counts
    // as a failure and the bytes are collected instead.
    if (pSources->pfnKernel(rgbPool, POOL_SIZE, pbOut, cbOut, &cbKernel) && cbKernel != 0) {
      return cbKernel < cbOut ? cbKernel : cbOut;
    }
    std::memset(pbOut, 0, cbOut);
  }

  BYTE rgbCollected[COLLECT_LEN];
  DWORD cbCollected = CollectEntropy(pSources, pNames, rgbPool, rgbCollected);

  BYTE rgbValue[SEED_LEN];
  SeedRenew(rgbSeed, rgbCollected, cbCollected, rgbValue);
  if (pSources->pfnWriteSeed != nullptr) pSources->pfnWriteSeed(rgbValue);

  Rc4State rc4;
  Rc4KeySetup(&rc4, rgbSeed, SEED_LEN);
  Rc4Apply(&rc4, pbOut, cbOut);

  SecureWipe(&rc4, sizeof(rc4));
  SecureWipe(rgbValue, sizeof(rgbValue));
  SecureWipe(rgbCollected, sizeof(rgbCollected));
  return cbOut;
}
