// The arithmetic against answers computed with GMP on the build host
// (bignum_known_answers.h, from make_bignum_known_answers.cpp): the suite
// that the Windows builds run under Wine, where GMP is not at hand.
#include <gtest/gtest.h>

#include <vector>

#include "crypto/bignum/bigrandom_testing.h"
#include "crypto/bignum/modular.h"
#include "tests/crypto/bignum_known_answers.h"
#include "tests/crypto/bignum_test_support.h"

namespace bnkat {
namespace {

class KnownAnswers : public bntest::BignumTest {};

uint64_t Ours(int op, DWORD n) {
  Operands o = CaseOperands(op, n);
  Hash h;
  ModulusRecord rec;
  Num scratch(kMulScratchDigits);
  switch (op) {
    case kProduct: {
      const DWORD lb = n / 2 + 1 > n ? n : n / 2 + 1;
      Num prod(n + lb);
      BigMulSchool(o.a.data(), n, o.b.data(), lb, prod.data());
      h.Add(prod);
      break;
    }
    case kDivRem: {
      Num num = o.a;
      num.insert(num.end(), o.b.begin(), o.b.end());
      num.push_back(0x9E3779B9u);
      Num quot(n + 2), rem(n);
      BigDivRem(num.data(), 2 * n + 1, o.m.data(), n, nullptr, quot.data(), rem.data());
      h.Add(quot);
      h.Add(rem);
      break;
    }
    case kGcdInverse: {
      Num gcd(n), inv(n);
      BigGcdInverse(o.b.data(), n, o.m.data(), n, inv.data(), nullptr, gcd.data(), nullptr);
      h.Add(gcd);
      h.Add(inv);
      break;
    }
    case kMontMul:
    case kPlainMul: {
      ModulusCreate(o.m.data(), n, op == kMontMul, &rec);
      Num a(n), b(n), out(n);
      BigDivRem(o.a.data(), n, o.m.data(), n, nullptr, nullptr, a.data());
      BigDivRem(o.b.data(), n, o.m.data(), n, nullptr, nullptr, b.data());
      ModMul(a.data(), b.data(), out.data(), &rec, scratch.data());
      h.Add(out);
      break;
    }
    case kMontExp:
    case kPlainExp: {
      ModulusCreate(o.m.data(), n, op == kMontExp, &rec);
      Num a(n), out(n);
      BigDivRem(o.a.data(), n, o.m.data(), n, nullptr, nullptr, a.data());
      Num base(n);
      ModToForm(a.data(), n, base.data(), &rec);
      ModExp(base.data(), o.b.data(), op == kPlainExp ? (n < 2 ? n : 2) : n, out.data(), &rec);
      h.Add(out);
      break;
    }
    case kInverseJacobi: {
      ModulusCreate(o.m.data(), n, 1, &rec);
      Num a(n), inv(n);
      BigDivRem(o.a.data(), n, o.m.data(), n, nullptr, nullptr, a.data());
      int symbol = ModInverseJacobi(a.data(), &rec, inv.data(), nullptr);
      h.Add(inv);
      h.Add(symbol);
      break;
    }
    case kPlainReduce: {
      ModulusCreate(o.m.data(), n, 0, &rec);
      for (int which = 0; which < 3; ++which) {
        Num x = ReduceInput(o, n, which), out(n);
        ModReduce(x.data(), static_cast<DWORD>(x.size()), 0, out.data(), &rec, scratch.data());
        h.Add(out);
      }
      break;
    }
    default: {
      MulPlanSetThreshold(op == kKaratsuba3 ? 3 : 12);
      const MulPlan* plan = MulPlanForSize(n);
      static Digit pa[kMulPreparedMax], pb[kMulPreparedMax];
      static BYTE sa[kMulSignsMax], sb[kMulSignsMax];
      MulPrepare(o.a.data(), n, pa, sa, plan);
      MulPrepare(o.b.data(), n, pb, sb, plan);
      Num prod(2 * plan->cDigits);
      MulPrepared(pa, sa, pb, sb, prod.data(), plan);
      h.Add(prod.data(), 2 * n);
      MulPrepared(pa, sa, pa, sa, prod.data(), plan);
      h.Add(prod.data(), 2 * n);
      MulPlanSetThreshold(4);
      break;
    }
  }
  return h.h;
}

TEST_F(KnownAnswers, EveryCaseMatchesGmp) {
  const char* names[kOpCount] = {"product",       "division",         "gcd and inverse", "Montgomery product",
                                 "plain product", "Montgomery power", "plain power",     "inverse and symbol",
                                 "engine at 3",   "engine at 12",     "plain reduction"};
  ASSERT_EQ(sizeof(kAnswers) / sizeof(kAnswers[0]), static_cast<size_t>(kOpCount) * std::size(kLengths));
  for (const Answer& want : kAnswers) {
    EXPECT_EQ(Ours(want.op, want.n), want.hash) << names[want.op] << ", " << want.n << " digits";
  }
  // The modular answers do not depend on the threshold: again at the
  // channel's 12, where the rows up to 12 digits have no Karatsuba level.
  for (const Answer& want : kAnswers) {
    if (want.op != kMontMul && want.op != kPlainMul && want.op != kMontExp && want.op != kPlainExp &&
        want.op != kInverseJacobi && want.op != kPlainReduce) {
      continue;
    }
    MulPlanSetThreshold(12);
    EXPECT_EQ(Ours(want.op, want.n), want.hash) << names[want.op] << " at 12, " << want.n << " digits";
  }
  MulPlanSetThreshold(4);
  ExpectNoError();
}

// A scripted byte stream for the random numbers: the bytes handed out in
// order and how many were taken.
struct Script {
  std::vector<BYTE> bytes;
  size_t taken = 0;
};
Script& TheScript() {
  static Script script;
  return script;
}
BOOL ScriptSource(BYTE* pb, DWORD cb) {
  Script& s = TheScript();
  if (s.taken + cb > s.bytes.size()) return 0;
  for (DWORD i = 0; i < cb; ++i) pb[i] = s.bytes[s.taken++];
  return 1;
}

TEST_F(KnownAnswers, RandomDrawsFromAFixedByteStream) {
  BigRandomUseSourceForTests(ScriptSource);
  // DigitRandomRange: the range 0x1234 (bit 0 forced on changes nothing)
  // keeps 13 bits; 0x1235 is above it and drawn again, 0x1234 is taken.
  TheScript() = {{0x35, 0x12, 0xAB, 0xCD, 0x34, 0xF2, 0x00, 0x80}};
  Digit d = 0;
  ASSERT_TRUE(DigitRandomRange(10, 10 + 0x1234, &d));
  EXPECT_EQ(d, 10u + 0x1234u);
  EXPECT_EQ(TheScript().taken, 8u);
  // An empty range keeps one bit (the range 0 with bit 0 forced on).
  TheScript() = {{0x01, 0xFF, 0xFF, 0xFF, 0x02, 0xFF, 0xFF, 0xFF}};
  ASSERT_TRUE(DigitRandomRange(7, 7, &d));
  EXPECT_EQ(d, 7u);
  EXPECT_EQ(TheScript().taken, 8u);
  // BigRandomBelow: the lower digits from 8 bytes, then the top digit below
  // 6 (3 bits, 6 drawn again); the result is not below the bound, so all of
  // it is drawn again.
  const Digit bound[3] = {0x10, 0x20, 5};
  TheScript() = {{1, 2, 3, 4, 5, 6, 7, 8, 6, 0, 0, 0, 5, 0, 0, 0, 0x0F, 0, 0, 0, 0x20, 0, 0, 0, 0xFD, 0, 0, 0}};
  Digit out[3] = {};
  ASSERT_TRUE(BigRandomBelow(bound, 3, out));
  EXPECT_EQ(out[0], 0x0Fu);
  EXPECT_EQ(out[1], 0x20u);
  EXPECT_EQ(out[2], 5u);
  EXPECT_EQ(TheScript().taken, 28u);
  BigRandomUseSourceForTests(bntest::StreamSource);
  ExpectNoError();
}

TEST_F(KnownAnswers, SquareRootsSquareBack) {
  // Primes of each class mod 8, least significant digit first.
  const Num primes[] = {
      {0x141424f7u, 0x31415926u, 0x27182818u, 0x01234567u, 0x89abcdefu},  // the channel's prime, 7
      {0xFFFFFFFBu},                                                      // 2^32 - 5, 3
      {0xFFFFFFEDu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu,
       0x7FFFFFFFu},                                         // 2^255 - 19, 5
      {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0x7FFFFFFFu},  // 2^127 - 1, 7
      {0x00000001u, 0x00000000u, 0x00000000u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu,
       0xFFFFFFFFu},  // 2^224 - 2^96 + 1, 1
  };
  for (const Num& p : primes) {
    const DWORD n = static_cast<DWORD>(p.size());
    for (BOOL mont : {0, 1}) {
      ModulusRecord rec;
      ASSERT_TRUE(ModulusCreate(p.data(), n, mont, &rec));
      Num x(n), sq(n), root(n), back(n);
      std::mt19937 rng(n);
      for (auto& d : x) d = rng();
      x[n - 1] = 1;
      ASSERT_TRUE(ModMul(x.data(), x.data(), sq.data(), &rec, nullptr));
      ASSERT_TRUE(ModSqrt(sq.data(), root.data(), &rec)) << n << " digits";
      ASSERT_TRUE(ModMul(root.data(), root.data(), back.data(), &rec, nullptr));
      EXPECT_EQ(back, sq);
    }
  }
  ExpectNoError();
}

// Counts the calls for random bytes.
int& SourceCalls() {
  static int calls = 0;
  return calls;
}
BOOL CountingSource(BYTE* pb, DWORD cb) {
  ++SourceCalls();
  return bntest::StreamSource(pb, cb);
}

TEST_F(KnownAnswers, SquareRootOfANonResidueEndsAtTheTellingDraw) {
  // 2^224 - 2^96 + 1 = 1 mod 8: Lehmer's method. The first draw whose t^2 - a
  // is a non-residue tells a non-residue a (V = 0): about two draws, each
  // two calls for bytes, where running to the bound would take 64 draws.
  const Num p = {0x00000001u, 0x00000000u, 0x00000000u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
  for (BOOL mont : {0, 1}) {
    ModulusRecord rec;
    ASSERT_TRUE(ModulusCreate(p.data(), 7, mont, &rec));
    Num a(7, 0), root(7);
    for (Digit k = 2;; ++k) {
      a[0] = k;
      ASSERT_TRUE(ModToForm(a.data(), 1, a.data(), &rec));
      if (ModInverseJacobi(a.data(), &rec, nullptr, nullptr) == -1) break;
      a.assign(7, 0);
    }
    BigRandomUseSourceForTests(CountingSource);
    SourceCalls() = 0;
    EXPECT_FALSE(ModSqrt(a.data(), root.data(), &rec));
    EXPECT_LT(SourceCalls(), 64) << "form " << mont;
    BigRandomUseSourceForTests(bntest::StreamSource);
  }
  ExpectNoError();
}

}  // namespace
}  // namespace bnkat
