// SHA-1 block transform on the x86 SHA extensions. crypto/sha1_shani.cmake
// compiles this file alone with -msha -msse4.1 on x86 targets, so nothing
// else in the library can pick up those instructions by accident; elsewhere
// (and in any build without those flags) it reduces to a stub that says the
// transform is absent.
#include "crypto/sha1_transform.h"

#if defined(__SHA__) && defined(__SSE4_1__) && (defined(__x86_64__) || defined(__i386__))

#include <immintrin.h>

#include <utility>

namespace {

// One group of four rounds, g = 0..19, with the message schedule for later
// groups interleaved so that it overlaps the round instructions.
// msg[k % 4] holds words 4k..4k+3 of the schedule, first word in the high lane.
// Word group k is msg2(msg1(W[k-4], W[k-3]) ^ W[k-2], W[k-1]); once group g
// is available we finish group g+1, add group g into g+2 and start group g+3.
template <int g>
inline __attribute__((always_inline)) void Rounds4(__m128i& abcd, __m128i& e0, __m128i& e1, __m128i (&msg)[4]) {
  __m128i& eCur = (g % 2 == 0) ? e0 : e1;
  __m128i& eNext = (g % 2 == 0) ? e1 : e0;
  if constexpr (g == 0) {
    eCur = _mm_add_epi32(eCur, msg[0]);
  } else {
    eCur = _mm_sha1nexte_epu32(eCur, msg[g % 4]);
  }
  eNext = abcd;
  abcd = _mm_sha1rnds4_epu32(abcd, eCur, g / 5);
  if constexpr (g >= 3 && g <= 18) msg[(g + 1) % 4] = _mm_sha1msg2_epu32(msg[(g + 1) % 4], msg[g % 4]);
  if constexpr (g >= 1 && g <= 16) msg[(g + 3) % 4] = _mm_sha1msg1_epu32(msg[(g + 3) % 4], msg[g % 4]);
  if constexpr (g >= 2 && g <= 17) msg[(g + 2) % 4] = _mm_xor_si128(msg[(g + 2) % 4], msg[g % 4]);
}

template <int... g>
inline __attribute__((always_inline)) void AllRounds(__m128i& abcd, __m128i& e0, __m128i& e1, __m128i (&msg)[4],
                                                     std::integer_sequence<int, g...>) {
  (Rounds4<g>(abcd, e0, e1, msg), ...);
}

}  // namespace

bool Sha1ShaExtensionsBuilt() { return true; }

void Sha1BlocksShaExtensions(DWORD rgdwState[5], const BYTE* pbBlocks, size_t cBlocks) {
  // Reverses all sixteen bytes: big-endian words, the first one in the high lane.
  const __m128i byteSwap = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);

  __m128i abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(rgdwState)), 0x1B);
  __m128i e0 = _mm_set_epi32(static_cast<int>(rgdwState[4]), 0, 0, 0);

  for (; cBlocks != 0; --cBlocks, pbBlocks += 64) {
    const __m128i abcdSaved = abcd;
    const __m128i eSaved = e0;
    __m128i msg[4];
    for (int i = 0; i < 4; ++i) {
      msg[i] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pbBlocks + 16 * i)), byteSwap);
    }
    __m128i e1;
    AllRounds(abcd, e0, e1, msg, std::make_integer_sequence<int, 20>());
    // Group 19 left a (before its rounds) in e0: its rotation is the new e.
    e0 = _mm_sha1nexte_epu32(e0, eSaved);
    abcd = _mm_add_epi32(abcd, abcdSaved);
  }

  _mm_storeu_si128(reinterpret_cast<__m128i*>(rgdwState), _mm_shuffle_epi32(abcd, 0x1B));
  rgdwState[4] = static_cast<DWORD>(_mm_extract_epi32(e0, 3));
}

#else

bool Sha1ShaExtensionsBuilt() { return false; }

void Sha1BlocksShaExtensions(DWORD*, const BYTE*, size_t) {}

#endif
