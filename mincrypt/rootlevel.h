// Which built-in trust anchor the last verification reached.
//
// One process-wide value, written by every anchor lookup (reset to
// ROOT_LEVEL_NONE first, then set to the level of the anchor that matched)
// and read by the image-acceptance front after a catalog verification.
// Single-threaded by contract, like the rest of the library.
#pragma once

#include "platform/win.h"

#define ROOT_LEVEL_NONE 0
#define ROOT_LEVEL_TEST 1
#define ROOT_LEVEL_ODM 2
#define ROOT_LEVEL_PRODUCT 3

extern DWORD RootLevel;

// Tests only: forget what an earlier test's verification left behind.
void RootLevelResetForTests();
