// Small helpers shared by the digest and cipher suites.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/text.h"
#include "platform/win.h"

inline std::vector<BYTE> FromHex(const std::string& hex) {
  std::vector<BYTE> out;
  auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  int hi = -1;
  for (char c : hex) {
    const int v = nibble(c);
    if (v < 0) continue;  // spaces group the bytes in the vector tables
    if (hi < 0) {
      hi = v;
    } else {
      out.push_back(static_cast<BYTE>(hi << 4 | v));
      hi = -1;
    }
  }
  return out;
}

inline std::string ToHex(const BYTE* p, size_t n) { return LowerHex(p, n); }

inline std::vector<BYTE> Bytes(const std::string& text) { return std::vector<BYTE>(text.begin(), text.end()); }

inline std::vector<BYTE> RandomBytes(std::mt19937& rng, size_t n) {
  std::vector<BYTE> v(n);
  for (auto& b : v) b = static_cast<BYTE>(rng());
  return v;
}

// Cut points 0 = c0 <= c1 <= ... <= n splitting n bytes into `pieces` runs,
// empty runs included.
inline std::vector<size_t> RandomCuts(std::mt19937& rng, size_t n, size_t pieces) {
  std::vector<size_t> cuts{0, n};
  for (size_t i = 1; i < pieces; ++i) cuts.push_back(std::uniform_int_distribution<size_t>(0, n)(rng));
  std::sort(cuts.begin(), cuts.end());
  return cuts;
}
