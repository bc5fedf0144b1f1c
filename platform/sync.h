// Critical sections and interlocked counters: the Win32 calls on Windows, a
// pthread stand-in elsewhere (sync_posix.cpp).
#pragma once

#include "platform/win.h"

#ifndef _WIN32

#include <pthread.h>

// Recursive, like the Win32 object: the owning thread may enter again.
struct CRITICAL_SECTION {
  pthread_mutex_t mutex;
};
typedef CRITICAL_SECTION* LPCRITICAL_SECTION;

void InitializeCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void EnterCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void LeaveCriticalSection(LPCRITICAL_SECTION lpCriticalSection);
void DeleteCriticalSection(LPCRITICAL_SECTION lpCriticalSection);

// Return the new value.
LONG InterlockedIncrement(LONG volatile* lpAddend);
LONG InterlockedDecrement(LONG volatile* lpAddend);

#endif  // !_WIN32
