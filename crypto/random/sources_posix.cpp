#include "crypto/random/random_state.h"
#include "crypto/random/sources_common.h"
#include "platform/kernelrandom.h"

namespace {

// The kernel's generator takes no input; the pool bytes are not needed.
BOOL Kernel(const BYTE*, DWORD, BYTE* pbOut, DWORD cbOut, DWORD* pcbOut) {
  return TfKernelRandom(pbOut, cbOut, pcbOut);
}

}  // namespace

// No system-information query and no cursor or message time here.
void RandomProbePlatform(RandomSources* pSources) {
  *pSources = RandomSources{};
  RandomFillCommonSources(pSources);
  pSources->pfnKernel = Kernel;
}
