// The verification library's algorithm-keyed hashing over blob arrays.
//
// The library owns one static SHA-1 context and one static MD5 context; a
// hash handle is simply the address of one of them. There is no allocation
// and no handle table, so at most one message per algorithm can be in
// progress in the whole process: MinCryptInitHashMemory (and so
// MinCryptHashMemory) restarts the shared context of its algorithm.
// Single-threaded, like the rest of the library.
//
// Every operation returns a 32-bit status: 0 on success, NTE_BAD_ALGID
// (0x80090008) for an algorithm other than CALG_MD5 or CALG_SHA1, and
// ERROR_NO_DATA (232) for a handle that is not the static context of the
// named algorithm. Pointers (handles out, blob arrays, digest buffers, length
// outs) are not checked for null; a blob with a non-zero cbData must point to
// that many readable bytes.
#pragma once

#include "mincrypt/derblob.h"
#include "platform/win.h"

// CryptoAPI algorithm numbering (the same values as <wincrypt.h>).
typedef unsigned int ALG_ID;
#ifndef CALG_MD5
#define CALG_MD5 0x00008003
#endif
#ifndef CALG_SHA1
#define CALG_SHA1 0x00008004
#endif

// Room every digest buffer must offer, whatever the algorithm.
#define MINCRYPT_MAX_HASH_LEN 20

typedef void* MinCryptHashHandle;

// Initialises the static context of AlgId and stores its address in *phHash.
// An unknown AlgId stores null and returns NTE_BAD_ALGID.
LONG MinCryptInitHashMemory(ALG_ID AlgId, MinCryptHashHandle* phHash);

// Absorbs the blobs in array order as one continuation of the message. Blobs
// with cbData 0 are skipped without any check (so an unknown AlgId or a
// foreign handle with only empty blobs still returns 0); at the first
// non-empty blob AlgId and then hHash are checked, and a failure returns at
// once, leaving earlier blobs absorbed.
LONG MinCryptUpdateHashMemory(ALG_ID AlgId, MinCryptHashHandle hHash, DWORD cBlob, const DerBlob* rgBlob);

// Writes the digest (20 bytes for SHA-1, 16 for MD5) to rgbHash and its
// length to *pcbHash. The SHA-1 context is re-initialised by this step; the
// MD5 context keeps its finished state until the next init. An unknown AlgId
// stores 0 in *pcbHash; a foreign handle writes nothing at all.
LONG MinCryptFinalHashMemory(ALG_ID AlgId, MinCryptHashHandle hHash, BYTE rgbHash[MINCRYPT_MAX_HASH_LEN],
                             DWORD* pcbHash);

// Init, update and final in one call; the first failing step's status is
// returned at once.
LONG MinCryptHashMemory(ALG_ID AlgId, DWORD cBlob, const DerBlob* rgBlob, BYTE rgbHash[MINCRYPT_MAX_HASH_LEN],
                        DWORD* pcbHash);
