// SHA-1 (FIPS 180-1) as a streaming context, plus a variant that reads each
// full block in host word order, kept for the random generator's seed update.
//
// Contract shared by every operation here:
// - The context belongs to the caller; nothing allocates and nothing fails.
// - `data` may be null only when `cbData` is 0; it is not checked otherwise.
// - Whole 64-byte blocks are hashed straight from the caller's buffer (any
//   alignment); only a trailing partial block is copied into the context.
// - A message may be at most 2^61 - 1 bytes long (the byte count is 64 bits
//   wide and the bit count derived from it at final time must fit 64 bits).
#pragma once

#include "platform/win.h"

#define SHA1_DIGEST_LEN 20
#define SHA1_BLOCK_LEN 64

struct ShaContext {
  DWORD dwState[5];    // chaining state a..e
  DWORD dwCountHigh;   // message length in bytes, high word
  DWORD dwCountLow;    // message length in bytes, low word (wraps into the high word)
  BYTE rgbBuffer[64];  // pending partial block; its fill is dwCountLow mod 64
};

// Starts a new message.
void ShaInit(ShaContext* pCtx);

// Absorbs `cbData` bytes; every 64-byte block is read as sixteen big-endian words.
void ShaUpdate(ShaContext* pCtx, const BYTE* pbData, DWORD cbData);

// Pads, writes the 20-byte digest (state words big-endian) and leaves `pCtx`
// initialised for the next message, exactly as ShaInit would.
void ShaFinal(ShaContext* pCtx, BYTE rgbDigest[SHA1_DIGEST_LEN]);

// Host-order variant. Buffers and counts like ShaUpdate, but each block that
// fills up while data is absorbed is read as sixteen host-order words (little-
// endian on every target we build for; the code reads little-endian explicitly
// so stored results never depend on the host).
void ShaUpdateHostOrder(ShaContext* pCtx, const BYTE* pbData, DWORD cbData);

// Finishes a message started with ShaInit and fed with ShaUpdateHostOrder: the
// usual padding, but with the two bit-count words (high, then low) stored in
// host order, is fed through ShaUpdate, so the one or two blocks it completes
// are read big-endian. The digest is the five state words in host order; then
// `pCtx` is re-initialised.
void ShaFinalHostOrder(ShaContext* pCtx, BYTE rgbDigest[SHA1_DIGEST_LEN]);

// Block transform selection. ShaUpdate uses the CPU's SHA extensions when this
// build has them and the CPU reports them; results are identical either way.
// The host-order variant always uses the portable transform.
enum class ShaTransform { Portable, ShaExtensions };

// The transform that ShaUpdate uses at the moment.
ShaTransform ShaActiveTransform();

// True when this build carries the SHA-extensions transform and the CPU has
// the instructions it needs (SHA, SSSE3, SSE4.1).
bool ShaCpuHasShaExtensions();

// Tests and benchmarks only: forces the portable transform (true) or returns
// to the automatic choice (false). Not thread-safe; call it between messages.
void ShaForcePortableTransform(bool fForce);
