#include <cstdlib>
#include <cstring>

#include "platform/localheap.h"

namespace {
int g_failAfter = -1;
long g_outstanding = 0;
SIZE_T g_lastRequest = 0;
}  // namespace

void TfLocalHeapFailAfter(int n) { g_failAfter = n; }
long TfLocalHeapOutstanding() { return g_outstanding; }
SIZE_T TfLocalHeapLastRequest() { return g_lastRequest; }

HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes) {
  g_lastRequest = uBytes;
  if (g_failAfter == 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (g_failAfter > 0) --g_failAfter;
  void* p = std::malloc(uBytes == 0 ? 1 : uBytes);
  if (p == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  if (uFlags & LMEM_ZEROINIT) std::memset(p, 0, uBytes);
  ++g_outstanding;
  return p;
}

HLOCAL LocalFree(HLOCAL hMem) {
  if (hMem != nullptr) {
    --g_outstanding;
    std::free(hMem);
  }
  return nullptr;
}
