// Test hook of the arithmetic's random numbers. Product code never includes
// this file.
#pragma once

#include "platform/win.h"

typedef BOOL (*BigRandomSource)(BYTE* pbOut, DWORD cbOut);

// Draws from source instead of the process random generator; null goes back
// to the generator.
void BigRandomUseSourceForTests(BigRandomSource source);
