#include "channel/curve_lock.h"

namespace {

CRITICAL_SECTION g_lock;
LONG volatile g_useCount = 0;

}  // namespace

// A handshake that starts while the last one is deleting the section could
// initialise it before the deletion; the program runs one handshake at a time
// on one thread, so the scheme stays as simple as the count.
void ChannelLockJoin() {
  if (InterlockedIncrement(&g_useCount) == 1) InitializeCriticalSection(&g_lock);
}

void ChannelLockLeave() {
  if (InterlockedDecrement(&g_useCount) == 0) DeleteCriticalSection(&g_lock);
}

void ChannelLockEnter() { EnterCriticalSection(&g_lock); }
void ChannelLockExit() { LeaveCriticalSection(&g_lock); }

LONG ChannelLockUseCount() { return g_useCount; }
