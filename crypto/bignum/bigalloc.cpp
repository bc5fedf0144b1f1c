#include "crypto/bignum/bigalloc.h"

#include "crypto/bignum/bigalloc_testing.h"
#include "crypto/bignum/bigerror.h"
#include "platform/localheap.h"

namespace {
LONG g_liveBlocks = 0;
BigAllocObserver g_observer = nullptr;
}  // namespace

void BigAllocObserveForTests(BigAllocObserver observer) { g_observer = observer; }

void* BigAlloc(SIZE_T cb) {
  if (g_observer != nullptr) g_observer(cb);
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
