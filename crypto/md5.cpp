// MD5 after RFC 1321: 64 straight-line steps per block.
#include "crypto/md5.h"

#include <cstring>

namespace {

inline DWORD Rotl(DWORD x, int n) { return (x << n) | (x >> (32 - n)); }

inline DWORD LoadLe32(const BYTE* p) {
  return DWORD{p[0]} | (DWORD{p[1]} << 8) | (DWORD{p[2]} << 16) | (DWORD{p[3]} << 24);
}

inline void StoreLe32(BYTE* p, DWORD v) {
  p[0] = static_cast<BYTE>(v);
  p[1] = static_cast<BYTE>(v >> 8);
  p[2] = static_cast<BYTE>(v >> 16);
  p[3] = static_cast<BYTE>(v >> 24);
}

inline DWORD F(DWORD b, DWORD c, DWORD d) { return d ^ (b & (c ^ d)); }
inline DWORD H(DWORD b, DWORD c, DWORD d) { return b ^ c ^ d; }
inline DWORD I(DWORD b, DWORD c, DWORD d) { return c ^ (b | ~d); }

// The message word and constant are summed first: they do not wait for the
// previous step. G = (d & b) | (~d & c) has two terms that never share a bit,
// so they are added one at a time, the one without b (the newest value) first.
#define MD5_STEP(Fn, a, b, c, d, k, s, T) \
  a += X[k] + (T);                        \
  a += Fn(b, c, d);                       \
  a = b + Rotl(a, s);

#define MD5_STEP_G(a, b, c, d, k, s, T) \
  a += X[k] + (T);                      \
  a += ~d & c;                          \
  a += d & b;                           \
  a = b + Rotl(a, s);

void MD5Block(DWORD rgdwState[4], const BYTE* pbBlock) {
  DWORD X[16];
  for (int i = 0; i < 16; ++i) X[i] = LoadLe32(pbBlock + 4 * i);

  DWORD a = rgdwState[0];
  DWORD b = rgdwState[1];
  DWORD c = rgdwState[2];
  DWORD d = rgdwState[3];

  MD5_STEP(F, a, b, c, d, 0, 7, 0xD76AA478)
  MD5_STEP(F, d, a, b, c, 1, 12, 0xE8C7B756)
  MD5_STEP(F, c, d, a, b, 2, 17, 0x242070DB)
  MD5_STEP(F, b, c, d, a, 3, 22, 0xC1BDCEEE)
  MD5_STEP(F, a, b, c, d, 4, 7, 0xF57C0FAF)
  MD5_STEP(F, d, a, b, c, 5, 12, 0x4787C62A)
  MD5_STEP(F, c, d, a, b, 6, 17, 0xA8304613)
  MD5_STEP(F, b, c, d, a, 7, 22, 0xFD469501)
  MD5_STEP(F, a, b, c, d, 8, 7, 0x698098D8)
  MD5_STEP(F, d, a, b, c, 9, 12, 0x8B44F7AF)
  MD5_STEP(F, c, d, a, b, 10, 17, 0xFFFF5BB1)
  MD5_STEP(F, b, c, d, a, 11, 22, 0x895CD7BE)
  MD5_STEP(F, a, b, c, d, 12, 7, 0x6B901122)
  MD5_STEP(F, d, a, b, c, 13, 12, 0xFD987193)
  MD5_STEP(F, c, d, a, b, 14, 17, 0xA679438E)
  MD5_STEP(F, b, c, d, a, 15, 22, 0x49B40821)

  MD5_STEP_G(a, b, c, d, 1, 5, 0xF61E2562)
  MD5_STEP_G(d, a, b, c, 6, 9, 0xC040B340)
  MD5_STEP_G(c, d, a, b, 11, 14, 0x265E5A51)
  MD5_STEP_G(b, c, d, a, 0, 20, 0xE9B6C7AA)
  MD5_STEP_G(a, b, c, d, 5, 5, 0xD62F105D)
  MD5_STEP_G(d, a, b, c, 10, 9, 0x02441453)
  MD5_STEP_G(c, d, a, b, 15, 14, 0xD8A1E681)
  MD5_STEP_G(b, c, d, a, 4, 20, 0xE7D3FBC8)
  MD5_STEP_G(a, b, c, d, 9, 5, 0x21E1CDE6)
  MD5_STEP_G(d, a, b, c, 14, 9, 0xC33707D6)
  MD5_STEP_G(c, d, a, b, 3, 14, 0xF4D50D87)
  MD5_STEP_G(b, c, d, a, 8, 20, 0x455A14ED)
  MD5_STEP_G(a, b, c, d, 13, 5, 0xA9E3E905)
  MD5_STEP_G(d, a, b, c, 2, 9, 0xFCEFA3F8)
  MD5_STEP_G(c, d, a, b, 7, 14, 0x676F02D9)
  MD5_STEP_G(b, c, d, a, 12, 20, 0x8D2A4C8A)

  MD5_STEP(H, a, b, c, d, 5, 4, 0xFFFA3942)
  MD5_STEP(H, d, a, b, c, 8, 11, 0x8771F681)
  MD5_STEP(H, c, d, a, b, 11, 16, 0x6D9D6122)
  MD5_STEP(H, b, c, d, a, 14, 23, 0xFDE5380C)
  MD5_STEP(H, a, b, c, d, 1, 4, 0xA4BEEA44)
  MD5_STEP(H, d, a, b, c, 4, 11, 0x4BDECFA9)
  MD5_STEP(H, c, d, a, b, 7, 16, 0xF6BB4B60)
  MD5_STEP(H, b, c, d, a, 10, 23, 0xBEBFBC70)
  MD5_STEP(H, a, b, c, d, 13, 4, 0x289B7EC6)
  MD5_STEP(H, d, a, b, c, 0, 11, 0xEAA127FA)
  MD5_STEP(H, c, d, a, b, 3, 16, 0xD4EF3085)
  MD5_STEP(H, b, c, d, a, 6, 23, 0x04881D05)
  MD5_STEP(H, a, b, c, d, 9, 4, 0xD9D4D039)
  MD5_STEP(H, d, a, b, c, 12, 11, 0xE6DB99E5)
  MD5_STEP(H, c, d, a, b, 15, 16, 0x1FA27CF8)
  MD5_STEP(H, b, c, d, a, 2, 23, 0xC4AC5665)

  MD5_STEP(I, a, b, c, d, 0, 6, 0xF4292244)
  MD5_STEP(I, d, a, b, c, 7, 10, 0x432AFF97)
  MD5_STEP(I, c, d, a, b, 14, 15, 0xAB9423A7)
  MD5_STEP(I, b, c, d, a, 5, 21, 0xFC93A039)
  MD5_STEP(I, a, b, c, d, 12, 6, 0x655B59C3)
  MD5_STEP(I, d, a, b, c, 3, 10, 0x8F0CCC92)
  MD5_STEP(I, c, d, a, b, 10, 15, 0xFFEFF47D)
  MD5_STEP(I, b, c, d, a, 1, 21, 0x85845DD1)
  MD5_STEP(I, a, b, c, d, 8, 6, 0x6FA87E4F)
  MD5_STEP(I, d, a, b, c, 15, 10, 0xFE2CE6E0)
  MD5_STEP(I, c, d, a, b, 6, 15, 0xA3014314)
  MD5_STEP(I, b, c, d, a, 13, 21, 0x4E0811A1)
  MD5_STEP(I, a, b, c, d, 4, 6, 0xF7537E82)
  MD5_STEP(I, d, a, b, c, 11, 10, 0xBD3AF235)
  MD5_STEP(I, c, d, a, b, 2, 15, 0x2AD7D2BB)
  MD5_STEP(I, b, c, d, a, 9, 21, 0xEB86D391)

  rgdwState[0] += a;
  rgdwState[1] += b;
  rgdwState[2] += c;
  rgdwState[3] += d;
}

#undef MD5_STEP_G
#undef MD5_STEP

const BYTE kPadding[64] = {0x80};

}  // namespace

void MD5Init(MD5Context* pCtx) {
  pCtx->dwBitsLow = 0;
  pCtx->dwBitsHigh = 0;
  pCtx->dwState[0] = 0x67452301;
  pCtx->dwState[1] = 0xEFCDAB89;
  pCtx->dwState[2] = 0x98BADCFE;
  pCtx->dwState[3] = 0x10325476;
}

void MD5Update(MD5Context* pCtx, const BYTE* pbData, DWORD cbData) {
  if (cbData == 0) return;
  const DWORD cbPending = (pCtx->dwBitsLow >> 3) & 63;
  const DWORD dwBitsAdded = cbData << 3;
  pCtx->dwBitsLow += dwBitsAdded;
  if (pCtx->dwBitsLow < dwBitsAdded) ++pCtx->dwBitsHigh;
  pCtx->dwBitsHigh += cbData >> 29;

  if (cbPending != 0) {
    const DWORD cbMissing = 64 - cbPending;
    if (cbData < cbMissing) {
      std::memcpy(pCtx->rgbBuffer + cbPending, pbData, cbData);
      return;
    }
    std::memcpy(pCtx->rgbBuffer + cbPending, pbData, cbMissing);
    MD5Block(pCtx->dwState, pCtx->rgbBuffer);
    pbData += cbMissing;
    cbData -= cbMissing;
  }
  for (; cbData >= 64; pbData += 64, cbData -= 64) MD5Block(pCtx->dwState, pbData);
  if (cbData != 0) std::memcpy(pCtx->rgbBuffer, pbData, cbData);
}

void MD5Final(MD5Context* pCtx) {
  BYTE rgbBits[8];
  StoreLe32(rgbBits, pCtx->dwBitsLow);
  StoreLe32(rgbBits + 4, pCtx->dwBitsHigh);
  const DWORD cbPending = (pCtx->dwBitsLow >> 3) & 63;
  MD5Update(pCtx, kPadding, cbPending < 56 ? 56 - cbPending : 120 - cbPending);
  MD5Update(pCtx, rgbBits, 8);
  for (int i = 0; i < 4; ++i) StoreLe32(pCtx->rgbDigest + 4 * i, pCtx->dwState[i]);
}
