#include <cstring>

#include "crypto/random/random.h"
#include "crypto/random/random_state.h"
#include "crypto/random/wipe.h"

namespace {

// Re-keys the output cipher from freshly gathered entropy.
void Rekey(RandomState* s) {
  BYTE rgbKey[POOL_SIZE];
  DWORD cbKey = GatherEntropy(&s->sources, &s->names, s->rgbSeed, s->pool.rgbData, rgbKey, sizeof(rgbKey));
  Rc4KeySetup(&s->rc4, rgbKey, cbKey);
  s->dwCounter = 0;
  SecureWipe(rgbKey, sizeof(rgbKey));
}

}  // namespace

BOOL generate(BYTE* pbEntropy, DWORD cbEntropy, BYTE* pbOut, DWORD cbOut) {
  if ((pbEntropy == nullptr && cbEntropy != 0) || (pbOut == nullptr && cbOut != 0)) return FALSE;
  RandomState* s = RandomStarted();
  if (pbEntropy != nullptr && !PoolStir(&s->pool, pbEntropy, cbEntropy)) return FALSE;

  DWORD cbDone = 0;
  while (cbDone < cbOut) {
    const DWORD cbLeft = cbOut - cbDone;
    // Whatever the caller's buffer held is stirred in as a little extra.
    if (!PoolStir(&s->pool, pbOut + cbDone, cbLeft)) return FALSE;
    if (s->dwCounter >= s->dwLimit) Rekey(s);
    const DWORD cbRoom = s->dwLimit - s->dwCounter;
    const DWORD cbChunk = cbLeft < cbRoom ? cbLeft : cbRoom;
    Rc4Apply(&s->rc4, pbOut + cbDone, cbChunk);
    s->dwCounter += cbChunk;
    cbDone += cbChunk;
  }

  if (pbEntropy != nullptr) {
    std::memcpy(pbEntropy, s->pool.rgbData, cbEntropy < POOL_SIZE ? cbEntropy : POOL_SIZE);
  }
  return TRUE;
}

BOOL randomBytes(BYTE* pbOut, DWORD cbOut) { return generate(nullptr, 0, pbOut, cbOut); }
