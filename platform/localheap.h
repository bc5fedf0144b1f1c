// The fixed local heap that the arithmetic code takes short-lived blocks from.
#pragma once

#include "platform/win.h"

#ifndef _WIN32

#define LMEM_FIXED 0x0000u
#define LMEM_ZEROINIT 0x0040u
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)

// Returns null when the block cannot be had; LocalFree returns null on success.
HLOCAL LocalAlloc(UINT uFlags, SIZE_T uBytes);
HLOCAL LocalFree(HLOCAL hMem);

// Test hook of the stand-in: after `n` more successful LocalAlloc calls the
// following ones fail (n < 0, the default, disables the fault).
void TfLocalHeapFailAfter(int n);
// Blocks currently allocated and not freed (for leak checks in tests).
long TfLocalHeapOutstanding();
// Bytes asked for by the latest LocalAlloc call, granted or refused.
SIZE_T TfLocalHeapLastRequest();

#endif  // !_WIN32
