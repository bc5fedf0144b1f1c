#include "mincrypt/rootlevel.h"

DWORD RootLevel = ROOT_LEVEL_NONE;

void RootLevelResetForTests() { RootLevel = ROOT_LEVEL_NONE; }
