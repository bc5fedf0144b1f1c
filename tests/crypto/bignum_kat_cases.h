// The cases of the arithmetic's known-answer suite, shared by the suite and
// by make_bignum_known_answers.cpp, which computes the answers with GMP: the
// operands of each case come from a generator seeded by the case, and each
// answer is kept as a 64-bit FNV-1a hash of the result digits.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "crypto/digit.h"
#include "platform/win.h"

namespace bnkat {

using Num = std::vector<Digit>;

enum Op : int {
  kProduct,        // a (n) * b (n/2 + 1)
  kDivRem,         // a (2n + 1) / b (n): quotient then remainder
  kGcdInverse,     // b^-1 mod an odd a (n): gcd then inverse
  kMontMul,        // a * b * R^-1 mod m, Montgomery form
  kPlainMul,       // a * b mod m
  kMontExp,        // (a R)^e in Montgomery form, e of n digits
  kPlainExp,       // a^e mod m, e of two digits
  kInverseJacobi,  // inverse in Montgomery form, then the symbol
  kKaratsuba3,     // a * b through the engine at threshold 3, then a^2
  kKaratsuba12,    // the same at threshold 12
  kPlainReduce,    // x mod m for the ReduceInput lengths
  kOpCount
};

inline constexpr DWORD kLengths[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 13, 16, 24, 31, 32, 48, 64};

// Digits of the Montgomery radix for an n-digit modulus: twice the padded
// size of ceil(n/2).
inline DWORD RadixDigits(DWORD n) {
  const DWORD rows[] = {1, 2, 3, 4, 6, 8, 12, 16, 24, 32, 48, 64};
  for (DWORD r : rows) {
    if (r >= (n + 1) / 2) return 2 * r;
  }
  return 0;
}

inline Num Operand(std::mt19937& rng, DWORD n) {
  Num v(n);
  for (auto& d : v) d = rng();
  // Every third operand has an all-ones low half, which keeps carries long.
  if (rng() % 3 == 0) {
    for (DWORD i = 0; i < n / 2; ++i) v[i] = 0xFFFFFFFFu;
  }
  if (v[n - 1] == 0) v[n - 1] = 1;
  return v;
}

// The operands of case (op, n): a, b and a modulus m (odd, top digit set).
struct Operands {
  Num a, b, m;
};
inline Operands CaseOperands(int op, DWORD n) {
  std::mt19937 rng(static_cast<uint32_t>(1000 * op + n));
  Operands o;
  o.m = Operand(rng, n);
  o.m[0] |= 1;
  o.a = Operand(rng, n);
  o.b = Operand(rng, n);
  return o;
}

// Inputs of plain reduction: a, b, a, ... cut to n + 2c - 1 digits (two
// Barrett passes), n + c digits (one or two, by the top bits) and
// n + c - 1 digits (one pass).
inline Num ReduceInput(const Operands& o, DWORD n, int which) {
  const DWORD c = RadixDigits(n) / 2;
  const DWORD length = which == 0 ? n + 2 * c - 1 : which == 1 ? n + c : n + c - 1;
  Num x;
  while (x.size() < length) {
    x.insert(x.end(), o.a.begin(), o.a.end());
    x.insert(x.end(), o.b.begin(), o.b.end());
  }
  x.resize(length);
  return x;
}

struct Hash {
  uint64_t h = 14695981039346656037ull;
  void Add(const Digit* p, DWORD n) {
    for (DWORD i = 0; i < n; ++i) {
      for (int k = 0; k < 4; ++k) {
        h ^= (p[i] >> (8 * k)) & 0xFF;
        h *= 1099511628211ull;
      }
    }
  }
  void Add(const Num& v) { Add(v.data(), static_cast<DWORD>(v.size())); }
  void Add(int64_t v) {
    Digit d[2] = {static_cast<Digit>(v), static_cast<Digit>(static_cast<uint64_t>(v) >> 32)};
    Add(d, 2);
  }
};

struct Answer {
  int op;
  DWORD n;
  uint64_t hash;
};

}  // namespace bnkat
