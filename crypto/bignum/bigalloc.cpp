#include "crypto/bignum/bigalloc.h"

#include "crypto/bignum/bigerror.h"
#include "platform/localheap.h"

namespace {
LONG g_liveBlocks = 0;
}

void* BigAlloc(SIZE_T cb) {
  HLOCAL h = LocalAlloc(LMEM_FIXED, cb);
  if (h == nullptr) {
    BigErrorSet(kBigErrAlloc);
    return nullptr;
  }
  ++g_liveBlocks;
  return h;
}

void BigFree(void* p) {
  if (p == nullptr) return;
  LocalFree(static_cast<HLOCAL>(p));
  --g_liveBlocks;
}

LONG BigLiveBlocks() { return g_liveBlocks; }
