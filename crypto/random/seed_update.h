// The 80-byte seed that carries entropy from one run to the next, and how
// freshly collected bytes are folded into it.
#pragma once

#include "platform/win.h"

#define SEED_LEN 80u
#define SEED_PART_LEN 20u

// Folds cbData collected bytes (at least 4) into the seed's four 20-byte
// parts with the host-order SHA-1. The data is taken as four quarters of
// cbData / 4 bytes; the last cbData mod 4 bytes take no part.
void SeedUpdate(BYTE rgbSeed[SEED_LEN], const BYTE* pbData, DWORD cbData);

// SeedUpdate, and the value to keep in the registry: the new seed masked
// with the first 80 keystream bytes of RC4 keyed with the old seed, so the
// value on disk alone does not give away the seed in memory.
void SeedRenew(BYTE rgbSeed[SEED_LEN], const BYTE* pbData, DWORD cbData, BYTE rgbValue[SEED_LEN]);
