// The 256-byte entropy pool. Every request stirs data into it (a digest of the
// data XORed in at a moving position) and every gathering reads it.
#pragma once

#include "platform/win.h"

#define POOL_MAGIC 5155u
#define POOL_SIZE 256u
#define POOL_STEP 7u
#define POOL_FLAG_DIGEST_SELF 0x1u  // the pool's own bytes follow the data in each digest
#define POOL_DIGEST_MD4 1u          // any other kind: the host-order SHA-1

struct EntropyPool {
  DWORD dwMagic;
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwStep;
  DWORD dwPosition;  // where the next digest is XORed in, 0..255
  DWORD dwDigestKind;
  BYTE rgbData[POOL_SIZE];
};

// Sets up the header (MD4, no flags, position 0); the data bytes are kept.
void PoolInit(EntropyPool* pPool);

// False for a pool that is not one (no magic, or a header that would lead
// outside its data); every pool operation refuses such a pool.
bool PoolIsSound(const EntropyPool* pPool);

// Stirs cbData bytes into the pool: their digest is XORed into the data from
// the current position on, wrapping at the end, and the position moves on by
// the step whatever the digest length. pbData may be null when cbData is 0.
BOOL PoolStir(EntropyPool* pPool, const BYTE* pbData, DWORD cbData);
