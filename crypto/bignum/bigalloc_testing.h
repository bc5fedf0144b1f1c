// Test hook of the allocation wrapper. Product code never includes this
// file.
#pragma once

#include "platform/win.h"

typedef void (*BigAllocObserver)(SIZE_T cb);

// Calls observer with the size of every request BigAlloc passes to the heap
// (granted or not); null stops it.
void BigAllocObserveForTests(BigAllocObserver observer);
