// The generator's process-wide state: everything it keeps between requests,
// in one place. Product code reaches it only through generate; tests may
// look inside and reset it (random_testing.h).
#pragma once

#include "crypto/random/entropy_pool.h"
#include "crypto/random/gather.h"
#include "crypto/random/random_testing.h"
#include "crypto/random/seed_update.h"
#include "crypto/rc4.h"
#include "platform/win.h"

#define RANDOM_REKEY_LIMIT 512u
#define RANDOM_REKEY_LIMIT_WITH_QUERY 16384u

struct RandomState {
  bool fStarted;  // the first request has set everything up
  EntropyPool pool;
  BYTE rgbSeed[SEED_LEN];
  Rc4State rc4;           // produces every output byte
  DWORD dwCounter;        // bytes produced since the last re-key
  DWORD dwLimit;          // re-key when dwCounter reaches this
  RandomSources sources;  // what the platform probe found (or the test's table)
  NameCache names;
};

// The one state of the process, set up by the first call (pool header,
// platform probe, registry seed).
RandomState* RandomStarted();

// The state as it stands, started or not (for tests).
RandomState* RandomStateForTests();

// Fills the table with this platform's sources, probing once for the entry
// points that may be missing (random_sources_*.cpp).
void RandomProbePlatform(RandomSources* pSources);
