// Shared pieces of the arithmetic suites: operands with the shapes that break
// carry chains and estimates, a repeatable random source for the library's
// random numbers, and a fixture that checks every heap block comes back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "crypto/bignum/bignum.h"
#include "crypto/bignum/bigrandom_testing.h"
#include "crypto/bignum/mulplan.h"

namespace bntest {

using Num = std::vector<Digit>;

enum class Shape { kRandom, kAllOnes, kTopOne, kPowerOfTwo, kHighZeros, kSparse };
inline constexpr Shape kShapes[] = {Shape::kRandom,     Shape::kAllOnes,   Shape::kTopOne,
                                    Shape::kPowerOfTwo, Shape::kHighZeros, Shape::kSparse};

// n digits of the given shape (n >= 1). Every shape but kHighZeros and
// kPowerOfTwo has a non-zero top digit.
inline Num MakeOperand(std::mt19937& rng, DWORD n, Shape shape) {
  Num v(n);
  switch (shape) {
    case Shape::kRandom:
      for (auto& d : v) d = rng();
      if (v[n - 1] == 0) v[n - 1] = 1;
      break;
    case Shape::kAllOnes:
      for (auto& d : v) d = 0xFFFFFFFFu;
      break;
    case Shape::kTopOne:
      for (auto& d : v) d = rng();
      v[n - 1] = 1;
      break;
    case Shape::kPowerOfTwo:
      v[rng() % n] = Digit{1} << (rng() % 32);
      break;
    case Shape::kHighZeros:
      for (DWORD i = 0; i < n; ++i) v[i] = i < (n + 1) / 2 ? rng() : 0;
      break;
    case Shape::kSparse:
      v[0] = 1;
      v[n - 1] = 0x80000000u;
      break;
  }
  return v;
}

// A repeatable stream for the library's random numbers, and one that fails.
inline std::mt19937& RandomStream() {
  static std::mt19937 rng(12345);
  return rng;
}
inline BOOL StreamSource(BYTE* pb, DWORD cb) {
  for (DWORD i = 0; i < cb; ++i) pb[i] = static_cast<BYTE>(RandomStream()());
  return 1;
}
inline BOOL FailingSource(BYTE*, DWORD) { return 0; }

// Every test starts with a clear error word, the default plan and the
// repeatable random stream, and must give back every block it took.
class BignumTest : public ::testing::Test {
 protected:
  void SetUp() override {
    BigErrorResetForTests();
    MulPlanSetThreshold(4);
    BigRandomUseSourceForTests(StreamSource);
    liveAtStart_ = BigLiveBlocks();
  }
  void TearDown() override {
    EXPECT_EQ(BigLiveBlocks(), liveAtStart_) << "a heap block was not released";
    BigRandomUseSourceForTests(nullptr);
    MulPlanSetThreshold(4);
    BigErrorResetForTests();
  }
  // Fails the test when the error word holds a code.
  void ExpectNoError() { EXPECT_EQ(BigError(), 0u); }

  std::mt19937 rng_{20261210};
  LONG liveAtStart_ = 0;
};

}  // namespace bntest
