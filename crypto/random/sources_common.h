// The sources that every platform has under the same names (real calls on
// Windows, the stand-ins of platform/ elsewhere), and the registry seed.
#pragma once

#include "crypto/random/random_testing.h"

// Fills the registry and collected-item entries; leaves the others as they are.
void RandomFillCommonSources(RandomSources* pSources);
