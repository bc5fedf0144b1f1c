// The hash-memory interface over the two static contexts.
#include "mincrypt/hashmem.h"

#include <cstring>

#include "crypto/md5.h"
#include "crypto/sha1.h"

namespace {

ShaContext g_ShaContext;
MD5Context g_MD5Context;

// Checks AlgId first, then that hHash is that algorithm's context.
LONG CheckHandle(ALG_ID AlgId, MinCryptHashHandle hHash) {
  switch (AlgId) {
    case CALG_SHA1:
      return hHash == &g_ShaContext ? 0 : ERROR_NO_DATA;
    case CALG_MD5:
      return hHash == &g_MD5Context ? 0 : ERROR_NO_DATA;
    default:
      return NTE_BAD_ALGID;
  }
}

}  // namespace

LONG MinCryptInitHashMemory(ALG_ID AlgId, MinCryptHashHandle* phHash) {
  switch (AlgId) {
    case CALG_SHA1:
      ShaInit(&g_ShaContext);
      *phHash = &g_ShaContext;
      return 0;
    case CALG_MD5:
      MD5Init(&g_MD5Context);
      *phHash = &g_MD5Context;
      return 0;
    default:
      *phHash = nullptr;
      return NTE_BAD_ALGID;
  }
}

LONG MinCryptUpdateHashMemory(ALG_ID AlgId, MinCryptHashHandle hHash, DWORD cBlob, const DerBlob* rgBlob) {
  for (DWORD i = 0; i < cBlob; ++i) {
    const DerBlob& blob = rgBlob[i];
    if (blob.cbData == 0) continue;
    const LONG status = CheckHandle(AlgId, hHash);
    if (status != 0) return status;
    if (AlgId == CALG_SHA1) {
      ShaUpdate(&g_ShaContext, blob.pbData, blob.cbData);
    } else {
      MD5Update(&g_MD5Context, blob.pbData, blob.cbData);
    }
  }
  return 0;
}

LONG MinCryptFinalHashMemory(ALG_ID AlgId, MinCryptHashHandle hHash, BYTE rgbHash[MINCRYPT_MAX_HASH_LEN],
                             DWORD* pcbHash) {
  const LONG status = CheckHandle(AlgId, hHash);
  if (status == NTE_BAD_ALGID) *pcbHash = 0;
  if (status != 0) return status;
  if (AlgId == CALG_SHA1) {
    *pcbHash = SHA1_DIGEST_LEN;
    ShaFinal(&g_ShaContext, rgbHash);
  } else {
    *pcbHash = MD5_DIGEST_LEN;
    MD5Final(&g_MD5Context);
    std::memcpy(rgbHash, g_MD5Context.rgbDigest, MD5_DIGEST_LEN);
  }
  return 0;
}

LONG MinCryptHashMemory(ALG_ID AlgId, DWORD cBlob, const DerBlob* rgBlob, BYTE rgbHash[MINCRYPT_MAX_HASH_LEN],
                        DWORD* pcbHash) {
  MinCryptHashHandle hHash = nullptr;
  LONG status = MinCryptInitHashMemory(AlgId, &hHash);
  if (status != 0) return status;
  status = MinCryptUpdateHashMemory(AlgId, hHash, cBlob, rgBlob);
  if (status != 0) return status;
  return MinCryptFinalHashMemory(AlgId, hHash, rgbHash, pcbHash);
}
