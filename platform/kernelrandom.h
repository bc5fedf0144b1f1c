// The operating system's own random source, which the random generator asks
// first. On Windows the generator talks to the kernel security driver itself
// (found at run time); elsewhere this stand-in reads the kernel's getrandom.
#pragma once

#include "platform/win.h"

#ifndef _WIN32

// Fills pbOut with cbOut bytes and stores the count in *pcbOut; FALSE (and
// *pcbOut 0) when the kernel cannot supply them without blocking.
BOOL TfKernelRandom(BYTE* pbOut, DWORD cbOut, DWORD* pcbOut);

#endif  // !_WIN32
