#include <sys/random.h>

#include <cerrno>

#include "platform/kernelrandom.h"

BOOL TfKernelRandom(BYTE* pbOut, DWORD cbOut, DWORD* pcbOut) {
  *pcbOut = 0;
  DWORD cbDone = 0;
  while (cbDone < cbOut) {
    ssize_t n = getrandom(pbOut + cbDone, cbOut - cbDone, GRND_NONBLOCK);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return FALSE;
    cbDone += static_cast<DWORD>(n);
  }
  *pcbOut = cbDone;
  return TRUE;
}
