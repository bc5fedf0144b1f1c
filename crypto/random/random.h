// The process-wide random generator. Every byte comes from one RC4 keystream
// that is re-keyed from freshly gathered entropy at the first request of the
// process and then every 512 bytes (16384 where the system-information query
// exists); an 80-byte seed kept in the registry carries entropy from one run
// to the next, and a 256-byte pool stirred with MD4 by every request feeds
// each gathering.
//
// Nothing here takes a lock: callers serialise their requests (the channel
// draws its signing secrets inside its process-wide critical section).
#pragma once

#include "platform/win.h"

// Fills pbOut with cbOut random bytes. pbEntropy/cbEntropy is optional caller
// entropy (both given or both absent): it is stirred into the pool first, and
// on return the buffer holds the first min(256, cbEntropy) pool bytes.
// Returns non-zero on success and 0 on failure (a damaged pool, or a null
// buffer with a non-zero length); on failure the output is not random.
BOOL generate(BYTE* pbEntropy, DWORD cbEntropy, BYTE* pbOut, DWORD cbOut);

// generate without caller entropy.
BOOL randomBytes(BYTE* pbOut, DWORD cbOut);
