// Gathering fresh entropy for a re-key: the kernel source when it answers,
// otherwise bytes collected from the machine folded into the seed, which is
// then saved (masked) in the registry and expanded into the key.
#pragma once

#include "crypto/random/entropy_pool.h"
#include "crypto/random/random_testing.h"
#include "crypto/random/seed_update.h"
#include "platform/win.h"

#define COLLECT_LEN 3584u
#define COMPUTER_NAME_LEN 16u
#define USER_NAME_LEN 257u

// The computer and user names, taken from their sources on first use only.
struct NameCache {
  BYTE rgbComputer[COMPUTER_NAME_LEN];
  DWORD cbComputer;
  bool fComputer;
  BYTE rgbUser[USER_NAME_LEN];
  DWORD cbUser;
  bool fUser;
};

// Fills rgbBuffer with the collected items in their fixed order, each
// starting on a 4-byte boundary (padding is zero); an item that does not fit
// in what is left ends the collection. Returns the bytes used.
DWORD CollectEntropy(const RandomSources* pSources, NameCache* pNames, const BYTE rgbPool[POOL_SIZE],
                     BYTE rgbBuffer[COLLECT_LEN]);

// Produces cbOut bytes of key material in pbOut from the pool bytes and
// returns how many are valid: what the kernel source returned, or cbOut when
// the bytes were collected (which also updates rgbSeed and writes the
// registry value). Always returns at least 1.
DWORD GatherEntropy(const RandomSources* pSources, NameCache* pNames, BYTE rgbSeed[SEED_LEN],
                    const BYTE rgbPool[POOL_SIZE], BYTE* pbOut, DWORD cbOut);
