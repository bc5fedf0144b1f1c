#include "crypto/random/random_state.h"

#include "crypto/random/wipe.h"

namespace {

// Zero-initialised storage: a fresh process has a zero seed block, and the
// counter is set to the limit's ceiling before the first request.
RandomState g_state;
RandomSources g_testSources;
bool g_fTestSources = false;

void Start(RandomState* s) {
  if (g_fTestSources) {
    s->sources = g_testSources;
  } else {
    RandomProbePlatform(&s->sources);
  }
  PoolInit(&s->pool);
  s->dwLimit = s->sources.pfnSystemQuery != nullptr ? RANDOM_REKEY_LIMIT_WITH_QUERY : RANDOM_REKEY_LIMIT;
  // At or above any limit: the first request of the process always re-keys.
  s->dwCounter = RANDOM_REKEY_LIMIT_WITH_QUERY;
  if (s->sources.pfnReadSeed != nullptr) {
    BYTE rgbSeed[SEED_LEN];
    if (s->sources.pfnReadSeed(rgbSeed)) {
      for (DWORD i = 0; i < SEED_LEN; ++i) s->rgbSeed[i] = rgbSeed[i];
    }
    SecureWipe(rgbSeed, sizeof(rgbSeed));
  }
  s->fStarted = true;
}

}  // namespace

RandomState* RandomStarted() {
  if (!g_state.fStarted) Start(&g_state);
  return &g_state;
}

RandomState* RandomStateForTests() { return &g_state; }

void RandomTestReset() { SecureWipe(&g_state, sizeof(g_state)); }

void RandomTestUseSources(const RandomSources* pSources) {
  g_fTestSources = pSources != nullptr;
  g_testSources = pSources != nullptr ? *pSources : RandomSources{};
}
