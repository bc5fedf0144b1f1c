// SHA-1 block transforms behind crypto/sha1.h. Internal to crypto/: the
// streaming context picks one of them; tests reach them only through the
// context and ShaForcePortableTransform.
#pragma once

#include <cstddef>

#include "platform/win.h"

// Portable transforms, fully unrolled; the reference for every other one.
// Each hashes `cBlocks` consecutive 64-byte blocks at `pbBlocks` (any
// alignment) into `rgdwState`.
void Sha1BlocksBigEndian(DWORD rgdwState[5], const BYTE* pbBlocks, size_t cBlocks);
void Sha1BlocksLittleEndian(DWORD rgdwState[5], const BYTE* pbBlocks, size_t cBlocks);

// The x86 SHA-extensions transform (big-endian words, same contract). Present
// only when Sha1ShaExtensionsBuilt() is true; it must then be called only when
// the CPU reports SHA, SSSE3 and SSE4.1.
bool Sha1ShaExtensionsBuilt();
void Sha1BlocksShaExtensions(DWORD rgdwState[5], const BYTE* pbBlocks, size_t cBlocks);
