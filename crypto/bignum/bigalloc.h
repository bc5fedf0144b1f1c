// The arithmetic's one way to the heap: fixed blocks of the platform's local
// heap, counted while live so that tests can see every block come back.
#pragma once

#include "platform/win.h"

// A block of cb bytes, or null with code 43 in BigError.
void* BigAlloc(SIZE_T cb);
// Releases a block of BigAlloc (null is ignored).
void BigFree(void* p);
// Blocks taken through BigAlloc and not yet released.
LONG BigLiveBlocks();
