// Portable SHA-1 block transforms, fully unrolled. The message schedule is
// kept as a rolling window of 16 words computed inside the rounds that use
// them, so it lives in registers and cache lines already hot instead of an
// 80-word array written out before the first round; the five working
// variables are renamed from round to round instead of moved.
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
// bit, so adding them is the same as or-ing them.
inline DWORD Ch(DWORD b, DWORD c, DWORD d) { return d ^ (b & (c ^ d)); }
inline DWORD Parity(DWORD b, DWORD c, DWORD d) { return b ^ c ^ d; }
inline DWORD Maj(DWORD b, DWORD c, DWORD d) { return (b & c) + (d & (b ^ c)); }

template <bool kBigEndian>
inline DWORD Load(const BYTE* p) {
  return kBigEndian ? LoadBe32(p) : LoadLe32(p);
}

// Word t of the schedule, for t >= 16, overwriting word t - 16 in the window.
#define SHA1_NEXT(t) (W[(t)&15] = Rotl(W[((t)-3) & 15] ^ W[((t)-8) & 15] ^ W[((t)-14) & 15] ^ W[(t)&15], 1))
#define SHA1_LOAD(t) (W[t] = Load<kBigEndian>(pbBlock + 4 * (t)))

// e absorbs everything that does not depend on a first, so that the chain
// from one round's a to the next is one rotate and one add long.
#define SHA1_ROUND(a, b, c, d, e, F, K, Wt) \
  e += (Wt) + (K) + F(b, c, d);             \
  e += Rotl(a, 5);                          \
  b = Rotl(b, 30);

// Five rounds bring the variable names back to where they started.
#define SHA1_ROUNDS5(F, K, WORD, t)              \
  SHA1_ROUND(a, b, c, d, e, F, K, WORD((t) + 0)) \
  SHA1_ROUND(e, a, b, c, d, F, K, WORD((t) + 1)) \
  SHA1_ROUND(d, e, a, b, c, F, K, WORD((t) + 2)) \
  SHA1_ROUND(c, d, e, a, b, F, K, WORD((t) + 3)) \
  SHA1_ROUND(b, c, d, e, a, F, K, WORD((t) + 4))

template <bool kBigEndian>
inline void Sha1Block(DWORD rgdwState[5], const BYTE* pbBlock) {
  DWORD W[16];
  DWORD a = rgdwState[0];
  DWORD b = rgdwState[1];
  DWORD c = rgdwState[2];
  DWORD d = rgdwState[3];
  DWORD e = rgdwState[4];

  SHA1_ROUNDS5(Ch, kK0, SHA1_LOAD, 0)
  SHA1_ROUNDS5(Ch, kK0, SHA1_LOAD, 5)
  SHA1_ROUNDS5(Ch, kK0, SHA1_LOAD, 10)
  SHA1_ROUND(a, b, c, d, e, Ch, kK0, SHA1_LOAD(15))
  SHA1_ROUND(e, a, b, c, d, Ch, kK0, SHA1_NEXT(16))
  SHA1_ROUND(d, e, a, b, c, Ch, kK0, SHA1_NEXT(17))
  SHA1_ROUND(c, d, e, a, b, Ch, kK0, SHA1_NEXT(18))
  SHA1_ROUND(b, c, d, e, a, Ch, kK0, SHA1_NEXT(19))
  SHA1_ROUNDS5(Parity, kK1, SHA1_NEXT, 20)
  SHA1_ROUNDS5(Parity, kK1, SHA1_NEXT, 25)
  SHA1_ROUNDS5(Parity, kK1, SHA1_NEXT, 30)
  SHA1_ROUNDS5(Parity, kK1, SHA1_NEXT, 35)
  SHA1_ROUNDS5(Maj, kK2, SHA1_NEXT, 40)
  SHA1_ROUNDS5(Maj, kK2, SHA1_NEXT, 45)
  SHA1_ROUNDS5(Maj, kK2, SHA1_NEXT, 50)
  SHA1_ROUNDS5(Maj, kK2, SHA1_NEXT, 55)
  SHA1_ROUNDS5(Parity, kK3, SHA1_NEXT, 60)
  SHA1_ROUNDS5(Parity, kK3, SHA1_NEXT, 65)
  SHA1_ROUNDS5(Parity, kK3, SHA1_NEXT, 70)
  SHA1_ROUNDS5(Parity, kK3, SHA1_NEXT, 75)

  rgdwState[0] += a;
  rgdwState[1] += b;
  rgdwState[2] += c;
  rgdwState[3] += d;
  rgdwState[4] += e;
}

#undef SHA1_ROUNDS5
#undef SHA1_ROUND
#undef SHA1_LOAD
#undef SHA1_NEXT

}  // namespace

void Sha1BlocksBigEndian(DWORD rgdwState[5], const BYTE* pbBlocks, size_t cBlocks) {
  for (; cBlocks != 0; --cBlocks, pbBlocks += 64) Sha1Block<true>(rgdwState, pbBlocks);
}

void Sha1BlocksLittleEndian(DWORD rgdwState[5], const BYTE* pbBlocks, size_t cBlocks) {
  for (; cBlocks != 0; --cBlocks, pbBlocks += 64) Sha1Block<false>(rgdwState, pbBlocks);
}
