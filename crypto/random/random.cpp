#include "crypto/random/random.h"

BOOL generate(BYTE*, DWORD, BYTE*, DWORD) { return FALSE; }

BOOL randomBytes(BYTE* pbOut, DWORD cbOut) { return generate(nullptr, 0, pbOut, cbOut); }

#include "crypto/random/random_testing.h"

void RandomTestReset() {}
void RandomTestUseSources(const RandomSources*) {}
const RandomSources* RandomTestFixedSources() {
  static const RandomSources sources{};
  return &sources;
}
