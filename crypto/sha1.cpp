// The SHA-1 streaming context and the choice of block transform.
#include "crypto/sha1.h"

#include <cstring>

#include "crypto/sha1_transform.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

using BlockFn = void (*)(DWORD*, const BYTE*, size_t);

bool DetectShaExtensions() {
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool ssse3 = (ecx & (1u << 9)) != 0;
  const bool sse41 = (ecx & (1u << 19)) != 0;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  const bool sha = (ebx & (1u << 29)) != 0;
  return ssse3 && sse41 && sha;
#else
  return false;
#endif
}

bool g_fForcePortable = false;

bool ShaExtensionsUsable() {
  // Asked once; a function-local static is initialised safely even if the
  // first message is hashed during another static initialiser.
  static const bool fUsable = Sha1ShaExtensionsBuilt() && DetectShaExtensions();
  return fUsable;
}

BlockFn BigEndianBlocks() {
  return (!g_fForcePortable && ShaExtensionsUsable()) ? Sha1BlocksShaExtensions : Sha1BlocksBigEndian;
}

// Counts, completes a pending block, hashes every further whole block in
// place and keeps the remainder.
void Absorb(ShaContext* pCtx, const BYTE* pbData, DWORD cbData, BlockFn pfnBlocks) {
  if (cbData == 0) return;
  const DWORD cbPending = pCtx->dwCountLow & (SHA1_BLOCK_LEN - 1);
  pCtx->dwCountLow += cbData;
  if (pCtx->dwCountLow < cbData) ++pCtx->dwCountHigh;

  if (cbPending != 0) {
    const DWORD cbMissing = SHA1_BLOCK_LEN - cbPending;
    if (cbData < cbMissing) {
      std::memcpy(pCtx->rgbBuffer + cbPending, pbData, cbData);
      return;
    }
    std::memcpy(pCtx->rgbBuffer + cbPending, pbData, cbMissing);
    pfnBlocks(pCtx->dwState, pCtx->rgbBuffer, 1);
    pbData += cbMissing;
    cbData -= cbMissing;
  }

  const DWORD cBlocks = cbData / SHA1_BLOCK_LEN;
  if (cBlocks != 0) {
    pfnBlocks(pCtx->dwState, pbData, cBlocks);
    pbData += cBlocks * SHA1_BLOCK_LEN;
    cbData -= cBlocks * SHA1_BLOCK_LEN;
  }
  if (cbData != 0) std::memcpy(pCtx->rgbBuffer, pbData, cbData);
}

void StoreBe32(BYTE* p, DWORD v) {
  p[0] = static_cast<BYTE>(v >> 24);
  p[1] = static_cast<BYTE>(v >> 16);
  p[2] = static_cast<BYTE>(v >> 8);
  p[3] = static_cast<BYTE>(v);
}

void StoreLe32(BYTE* p, DWORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
  p[2] = static_cast<BYTE>(v >> 16);
  p[3] = static_cast<BYTE>(v >> 24);
}

// Feeds the padding through ShaUpdate: 0x80, zeros, and the 64-bit bit count
// in the last 8 bytes, high word first, each word stored by `pfnStore`. One
// extra block, or two when fewer than 9 bytes are left in the last one.
void Pad(ShaContext* pCtx, void (*pfnStore)(BYTE*, DWORD)) {
  const DWORD dwBitsHigh = (pCtx->dwCountHigh << 3) | (pCtx->dwCountLow >> 29);
  const DWORD dwBitsLow = pCtx->dwCountLow << 3;
  DWORD cbPad = SHA1_BLOCK_LEN - (pCtx->dwCountLow & (SHA1_BLOCK_LEN - 1));
  if (cbPad <= 8) cbPad += SHA1_BLOCK_LEN;

  BYTE rgbPad[SHA1_BLOCK_LEN + 8] = {0x80};
  pfnStore(rgbPad + cbPad - 8, dwBitsHigh);
  pfnStore(rgbPad + cbPad - 4, dwBitsLow);
  ShaUpdate(pCtx, rgbPad, cbPad);
}

}  // namespace

void ShaInit(ShaContext* pCtx) {
  pCtx->dwState[0] = 0x67452301;
  pCtx->dwState[1] = 0xEFCDAB89;
  pCtx->dwState[2] = 0x98BADCFE;
  pCtx->dwState[3] = 0x10325476;
  pCtx->dwState[4] = 0xC3D2E1F0;
  pCtx->dwCountHigh = 0;
  pCtx->dwCountLow = 0;
}

void ShaUpdate(ShaContext* pCtx, const BYTE* pbData, DWORD cbData) { Absorb(pCtx, pbData, cbData, BigEndianBlocks()); }

void ShaFinal(ShaContext* pCtx, BYTE rgbDigest[SHA1_DIGEST_LEN]) {
  Pad(pCtx, StoreBe32);
  for (int i = 0; i < 5; ++i) StoreBe32(rgbDigest + 4 * i, pCtx->dwState[i]);
  ShaInit(pCtx);
}

void ShaUpdateHostOrder(ShaContext* pCtx, const BYTE* pbData, DWORD cbData) {
  Absorb(pCtx, pbData, cbData, Sha1BlocksLittleEndian);
}

void ShaFinalHostOrder(ShaContext* pCtx, BYTE rgbDigest[SHA1_DIGEST_LEN]) {
  Pad(pCtx, StoreLe32);
  for (int i = 0; i < 5; ++i) StoreLe32(rgbDigest + 4 * i, pCtx->dwState[i]);
  ShaInit(pCtx);
}

ShaTransform ShaActiveTransform() {
  return BigEndianBlocks() == Sha1BlocksShaExtensions ? ShaTransform::ShaExtensions : ShaTransform::Portable;
}

bool ShaCpuHasShaExtensions() { return ShaExtensionsUsable(); }

void ShaForcePortableTransform(bool fForce) { g_fForcePortable = fForce; }
