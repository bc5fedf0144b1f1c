// DES after FIPS 46-3. The S-boxes and the P permutation are merged at
// compile time into eight tables of 64 words (one per S-box, its output
// already permuted), and the expansion E is replaced by two rotations of the
// right half from which the eight 6-bit S-box inputs are read byte by byte.
// The initial and final permutations are sequences of masked bit-group swaps.
#include "crypto/des.h"

#include <array>
#include <cstring>

namespace {

// FIPS 46-3 tables; bit 1 is the most significant bit of the first byte.
constexpr BYTE kSBox[8][4][16] = {
    {{14, 4, 13, 1, 2, 15, 11, 8, 3, 10, 6, 12, 5, 9, 0, 7},
     {0, 15, 7, 4, 14, 2, 13, 1, 10, 6, 12, 11, 9, 5, 3, 8},
     {4, 1, 14, 8, 13, 6, 2, 11, 15, 12, 9, 7, 3, 10, 5, 0},
     {15, 12, 8, 2, 4, 9, 1, 7, 5, 11, 3, 14, 10, 0, 6, 13}},
    {{15, 1, 8, 14, 6, 11, 3, 4, 9, 7, 2, 13, 12, 0, 5, 10},
     {3, 13, 4, 7, 15, 2, 8, 14, 12, 0, 1, 10, 6, 9, 11, 5},
     {0, 14, 7, 11, 10, 4, 13, 1, 5, 8, 12, 6, 9, 3, 2, 15},
     {13, 8, 10, 1, 3, 15, 4, 2, 11, 6, 7, 12, 0, 5, 14, 9}},
    {{10, 0, 9, 14, 6, 3, 15, 5, 1, 13, 12, 7, 11, 4, 2, 8},
     {13, 7, 0, 9, 3, 4, 6, 10, 2, 8, 5, 14, 12, 11, 15, 1},
     {13, 6, 4, 9, 8, 15, 3, 0, 11, 1, 2, 12, 5, 10, 14, 7},
     {1, 10, 13, 0, 6, 9, 8, 7, 4, 15, 14, 3, 11, 5, 2, 12}},
    {{7, 13, 14, 3, 0, 6, 9, 10, 1, 2, 8, 5, 11, 12, 4, 15},
     {13, 8, 11, 5, 6, 15, 0, 3, 4, 7, 2, 12, 1, 10, 14, 9},
     {10, 6, 9, 0, 12, 11, 7, 13, 15, 1, 3, 14, 5, 2, 8, 4},
     {3, 15, 0, 6, 10, 1, 13, 8, 9, 4, 5, 11, 12, 7, 2, 14}},
    {{2, 12, 4, 1, 7, 10, 11, 6, 8, 5, 3, 15, 13, 0, 14, 9},
     {14, 11, 2, 12, 4, 7, 13, 1, 5, 0, 15, 10, 3, 9, 8, 6},
     {4, 2, 1, 11, 10, 13, 7, 8, 15, 9, 12, 5, 6, 3, 0, 14},
     {11, 8, 12, 7, 1, 14, 2, 13, 6, 15, 0, 9, 10, 4, 5, 3}},
    {{12, 1, 10, 15, 9, 2, 6, 8, 0, 13, 3, 4, 14, 7, 5, 11},
     {10, 15, 4, 2, 7, 12, 9, 5, 6, 1, 13, 14, 0, 11, 3, 8},
     {9, 14, 15, 5, 2, 8, 12, 3, 7, 0, 4, 10, 1, 13, 11, 6},
     {4, 3, 2, 12, 9, 5, 15, 10, 11, 14, 1, 7, 6, 0, 8, 13}},
    {{4, 11, 2, 14, 15, 0, 8, 13, 3, 12, 9, 7, 5, 10, 6, 1},
     {13, 0, 11, 7, 4, 9, 1, 10, 14, 3, 5, 12, 2, 15, 8, 6},
     {1, 4, 11, 13, 12, 3, 7, 14, 10, 15, 6, 8, 0, 5, 9, 2},
     {6, 11, 13, 8, 1, 4, 10, 7, 9, 5, 0, 15, 14, 2, 3, 12}},
    {{13, 2, 8, 4, 6, 15, 11, 1, 10, 9, 3, 14, 5, 0, 12, 7},
     {1, 15, 13, 8, 10, 3, 7, 4, 12, 5, 6, 11, 0, 14, 9, 2},
     {7, 11, 4, 1, 9, 12, 14, 2, 0, 6, 10, 13, 15, 3, 5, 8},
     {2, 1, 14, 7, 4, 10, 8, 13, 15, 12, 9, 0, 3, 5, 6, 11}},
};

constexpr BYTE kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                         2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

constexpr BYTE kPC1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18, 10, 2,  59, 51, 43,
                           35, 27, 19, 11, 3,  60, 52, 44, 36, 63, 55, 47, 39, 31, 23, 15, 7,  62, 54,
                           46, 38, 30, 22, 14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr BYTE kPC2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                           26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                           51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

constexpr BYTE kRotations[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// SP[j][v]: S-box j+1 applied to the 6-bit input v (outer bits pick the row,
// inner four the column), its four output bits put in place and permuted by P.
constexpr std::array<std::array<DWORD, 64>, 8> MakeSpTables() {
  std::array<std::array<DWORD, 64>, 8> sp{};
  for (int j = 0; j < 8; ++j) {
    for (int v = 0; v < 64; ++v) {
      const int row = ((v >> 4) & 2) | (v & 1);
      const int col = (v >> 1) & 15;
      const DWORD placed = DWORD{kSBox[j][row][col]} << (28 - 4 * j);
      DWORD permuted = 0;
      for (int i = 0; i < 32; ++i) {
        if ((placed >> (32 - kP[i])) & 1) permuted |= DWORD{1} << (31 - i);
      }
      sp[j][v] = permuted;
    }
  }
  return sp;
}

constexpr std::array<std::array<DWORD, 64>, 8> kSP = MakeSpTables();

inline DWORD Rotl(DWORD x, int n) { return (x << n) | (x >> (32 - n)); }
inline DWORD Rotr(DWORD x, int n) { return (x >> n) | (x << (32 - n)); }

inline DWORD LoadBe32(const BYTE* p) {
  return (DWORD{p[0]} << 24) | (DWORD{p[1]} << 16) | (DWORD{p[2]} << 8) | DWORD{p[3]};
}

inline void StoreBe32(BYTE* p, DWORD v) {
  p[0] = static_cast<BYTE>(v >> 24);
  p[1] = static_cast<BYTE>(v >> 16);
  p[2] = static_cast<BYTE>(v >> 8);
  p[3] = static_cast<BYTE>(v);
}

// Exchanges the bits of `a` selected by mask << shift with the bits of `b`
// selected by mask.
inline void SwapBits(DWORD& a, DWORD& b, int shift, DWORD mask) {
  const DWORD t = ((a >> shift) ^ b) & mask;
  b ^= t;
  a ^= t << shift;
}

inline void InitialPermutation(DWORD& l, DWORD& r) {
  SwapBits(l, r, 4, 0x0F0F0F0F);
  SwapBits(l, r, 16, 0x0000FFFF);
  SwapBits(r, l, 2, 0x33333333);
  SwapBits(r, l, 8, 0x00FF00FF);
  SwapBits(l, r, 1, 0x55555555);
}

// The inverse: the same swaps in reverse order.
inline void FinalPermutation(DWORD& l, DWORD& r) {
  SwapBits(l, r, 1, 0x55555555);
  SwapBits(r, l, 8, 0x00FF00FF);
  SwapBits(r, l, 2, 0x33333333);
  SwapBits(l, r, 16, 0x0000FFFF);
  SwapBits(l, r, 4, 0x0F0F0F0F);
}

// f(R, K). rotr(R, 3) holds the expanded inputs of S-boxes 1, 3, 5, 7 in the
// low six bits of its four bytes (most significant byte first), rotl(R, 1)
// those of S-boxes 2, 4, 6, 8; the round key is laid out to match.
inline DWORD Feistel(DWORD r, const DWORD k[2]) {
  const DWORD odd = Rotr(r, 3) ^ k[0];
  const DWORD even = Rotl(r, 1) ^ k[1];
  return kSP[0][(odd >> 24) & 63] ^ kSP[2][(odd >> 16) & 63] ^ kSP[4][(odd >> 8) & 63] ^ kSP[6][odd & 63] ^
         kSP[1][(even >> 24) & 63] ^ kSP[3][(even >> 16) & 63] ^ kSP[5][(even >> 8) & 63] ^ kSP[7][even & 63];
}

}  // namespace

void DesKeySetup(DesKeySchedule* pSchedule, const BYTE rgbKey[DES_KEY_LEN]) {
  // PC-1 drops the parity bits (8, 16, ..., 64) and splits the rest into the
  // 28-bit halves C and D, kept in the low bits of two words.
  DWORD c = 0, d = 0;
  for (int i = 0; i < 56; ++i) {
    const int bit = kPC1[i] - 1;
    const DWORD v = (rgbKey[bit / 8] >> (7 - bit % 8)) & 1;
    if (i < 28) {
      c |= v << (27 - i);
    } else {
      d |= v << (55 - i);
    }
  }

  for (int round = 0; round < 16; ++round) {
    const int n = kRotations[round];
    c = ((c << n) | (c >> (28 - n))) & 0x0FFFFFFF;
    d = ((d << n) | (d >> (28 - n))) & 0x0FFFFFFF;

    // PC-2 picks 48 of the 56 bits of C || D (bits 1..28 from C, 29..56 from D).
    DWORD group[8] = {};
    for (int i = 0; i < 48; ++i) {
      const int bit = kPC2[i];
      const DWORD v = bit <= 28 ? (c >> (28 - bit)) & 1 : (d >> (56 - bit)) & 1;
      group[i / 6] |= v << (5 - i % 6);
    }
    pSchedule->rgdwRoundKeys[round][0] = (group[0] << 24) | (group[2] << 16) | (group[4] << 8) | group[6];
    pSchedule->rgdwRoundKeys[round][1] = (group[1] << 24) | (group[3] << 16) | (group[5] << 8) | group[7];
  }
}

void DesBlock(BYTE pbOut[DES_BLOCK_LEN], const BYTE pbIn[DES_BLOCK_LEN], const DesKeySchedule* pSchedule,
              int fEncrypt) {
  DWORD l = LoadBe32(pbIn);
  DWORD r = LoadBe32(pbIn + 4);
  InitialPermutation(l, r);

  const DWORD(*k)[2] = pSchedule->rgdwRoundKeys;
  if (fEncrypt != DES_DECRYPT) {
    for (int round = 0; round < 16; round += 2) {
      l ^= Feistel(r, k[round]);
      r ^= Feistel(l, k[round + 1]);
    }
  } else {
    for (int round = 15; round > 0; round -= 2) {
      l ^= Feistel(r, k[round]);
      r ^= Feistel(l, k[round - 1]);
    }
  }

  // The halves are not swapped after the last round: the output is R16 L16.
  FinalPermutation(r, l);
  StoreBe32(pbOut, r);
  StoreBe32(pbOut + 4, l);
}

void DesCbcStep(BYTE pbOut[DES_BLOCK_LEN], const BYTE pbIn[DES_BLOCK_LEN], const DesKeySchedule* pSchedule,
                int fEncrypt, BYTE rgbFeedback[DES_BLOCK_LEN]) {
  BYTE rgbBlock[DES_BLOCK_LEN];
  if (fEncrypt != DES_DECRYPT) {
    for (int i = 0; i < DES_BLOCK_LEN; ++i) rgbBlock[i] = pbIn[i] ^ rgbFeedback[i];
    DesBlock(pbOut, rgbBlock, pSchedule, DES_ENCRYPT);
    std::memcpy(rgbFeedback, pbOut, DES_BLOCK_LEN);
  } else {
    // Kept first: pbOut may be the same buffer as pbIn.
    BYTE rgbCipher[DES_BLOCK_LEN];
    std::memcpy(rgbCipher, pbIn, DES_BLOCK_LEN);
    DesBlock(rgbBlock, rgbCipher, pSchedule, DES_DECRYPT);
    for (int i = 0; i < DES_BLOCK_LEN; ++i) pbOut[i] = rgbBlock[i] ^ rgbFeedback[i];
    std::memcpy(rgbFeedback, rgbCipher, DES_BLOCK_LEN);
  }
}
