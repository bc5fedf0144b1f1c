// Portable SHA-1 block transforms: the 80-word schedule is expanded first,
// then the 80 rounds run as straight-line code with the five working
// variables renamed from round to round instead of moved.
#include "crypto/sha1_transform.h"

namespace {

constexpr DWORD kK0 = 0x5A827999;
constexpr DWORD kK1 = 0x6ED9EBA1;
constexpr DWORD kK2 = 0x8F1BBCDC;
constexpr DWORD kK3 = 0xCA62C1D6;

inline DWORD Rotl(DWORD x, int n) { return (x << n) | (x >> (32 - n)); }

inline DWORD LoadBe32(const BYTE* p) {
  return (DWORD{p[0]} << 24) | (DWORD{p[1]} << 16) | (DWORD{p[2]} << 8) | DWORD{p[3]};
}

inline DWORD LoadLe32(const BYTE* p) {
  return DWORD{p[0]} | (DWORD{p[1]} << 8) | (DWORD{p[2]} << 16) | (DWORD{p[3]} << 24);
}

// The round functions. Ch and Maj are written so that each needs one
// operation fewer than their textbook forms; Maj's two terms never share a
// bit, so adding them is the same as or-ing them and lets them be summed
// into e independently.
inline DWORD Ch(DWORD b, DWORD c, DWORD d) { return d ^ (b & (c ^ d)); }
inline DWORD Parity(DWORD b, DWORD c, DWORD d) { return b ^ c ^ d; }
inline DWORD Maj(DWORD b, DWORD c, DWORD d) { return (b & c) + (d & (b ^ c)); }

// e absorbs everything that does not depend on a first, so that the chain
// from one round's a to the next is one rotate and one add long.
#define SHA1_ROUND(a, b, c, d, e, F, K, t) \
  e += W[t] + (K);                         \
  e += F(b, c, d);                         \
  e += Rotl(a, 5);                         \
  b = Rotl(b, 30);

// Five rounds bring the variable names back to where they started.
#define SHA1_ROUNDS5(F, K, t)                \
  SHA1_ROUND(a, b, c, d, e, F, K, (t) + 0)   \
  SHA1_ROUND(e, a, b, c, d, F, K, (t) + 1)   \
  SHA1_ROUND(d, e, a, b, c, F, K, (t) + 2)   \
  SHA1_ROUND(c, d, e, a, b, F, K, (t) + 3)   \
  SHA1_ROUND(b, c, d, e, a, F, K, (t) + 4)

template <bool kBigEndian>
inline void Sha1Block(DWORD rgdwState[5], const BYTE* pbBlock) {
  DWORD W[80];
  for (int t = 0; t < 16; ++t) {
    W[t] = kBigEndian ? LoadBe32(pbBlock + 4 * t) : LoadLe32(pbBlock + 4 * t);
  }
  for (int t = 16; t < 80; ++t) {
    W[t] = Rotl(W[t - 3] ^ W[t - 8] ^ W[t - 14] ^ W[t - 16], 1);
  }

  DWORD a = rgdwState[0];
  DWORD b = rgdwState[1];
  DWORD c = rgdwState[2];
  DWORD d = rgdwState[3];
  DWORD e = rgdwState[4];

  SHA1_ROUNDS5(Ch, kK0, 0)
  SHA1_ROUNDS5(Ch, kK0, 5)
  SHA1_ROUNDS5(Ch, kK0, 10)
  SHA1_ROUNDS5(Ch, kK0, 15)
  SHA1_ROUNDS5(Parity, kK1, 20)
  SHA1_ROUNDS5(Parity, kK1, 25)
  SHA1_ROUNDS5(Parity, kK1, 30)
  SHA1_ROUNDS5(Parity, kK1, 35)
  SHA1_ROUNDS5(Maj, kK2, 40)
  SHA1_ROUNDS5(Maj, kK2, 45)
  SHA1_ROUNDS5(Maj, kK2, 50)
  SHA1_ROUNDS5(Maj, kK2, 55)
  SHA1_ROUNDS5(Parity, kK3, 60)
  SHA1_ROUNDS5(Parity, kK3, 65)
  SHA1_ROUNDS5(Parity, kK3, 70)
  SHA1_ROUNDS5(Parity, kK3, 75)

  rgdwState[0] += a;
  rgdwState[1] += b;
  rgdwState[2] += c;
  rgdwState[3] += d;
  rgdwState[4] += e;
}

#undef SHA1_ROUNDS5
#undef SHA1_ROUND

}  // namespace

void Sha1BlocksBigEndian(DWORD rgdwState[5], const BYTE* pbBlocks, size_t cBlocks) {
  for (; cBlocks != 0; --cBlocks, pbBlocks += 64) Sha1Block<true>(rgdwState, pbBlocks);
}

void Sha1BlocksLittleEndian(DWORD rgdwState[5], const BYTE* pbBlocks, size_t cBlocks) {
  for (; cBlocks != 0; --cBlocks, pbBlocks += 64) Sha1Block<false>(rgdwState, pbBlocks);
}
