// Every failure the arithmetic reports: the code left in the error word, the
// value returned, what happens to the outputs, and (with the heap stand-in's
// fault hook) that every block comes back when an allocation is refused.
#include <functional>
#include <string>
#include <vector>

#include "crypto/bignum/bigalloc_testing.h"
#include "crypto/bignum/modular.h"
#include "platform/localheap.h"
#include "tests/crypto/bignum_test_support.h"

namespace bntest {
namespace {

class BignumFailure : public BignumTest {
 protected:
  // An odd 5-digit modulus and its Montgomery record.
  const Num m5_ = {0x141424f7u, 0x31415926u, 0x27182818u, 0x01234567u, 0x89abcdefu};
  ModulusRecord Record(BOOL mont = 1) {
    ModulusRecord rec;
    EXPECT_TRUE(ModulusCreate(m5_.data(), 5, mont, &rec));
    return rec;
  }
};

TEST_F(BignumFailure, EachCodeComesFromItsCondition) {
  struct Case {
    DWORD code;
    std::string what;
    std::function<bool()> fails;  // true when the call reported failure
  };
  Num out(8, 0xDEADBEEF), out2(17);
  const Digit zero[2] = {0, 0};
  const Digit three = 3, one = 1;
  const Case cases[] = {
      {1, "empty modulus",
       [&] {
         ModulusRecord r;
         return !ModulusCreate(m5_.data(), 0, 1, &r);
       }},
      {1, "modulus top digit zero",
       [&] {
         ModulusRecord r;
         return !ModulusCreate(zero, 2, 0, &r);
       }},
      {2, "even modulus in Montgomery form",
       [&] {
         const Digit m[2] = {4, 1};
         ModulusRecord r;
         return !ModulusCreate(m, 2, 1, &r);
       }},
      {3, "65-digit modulus",
       [&] {
         Num m(65, 0xFFFFFFFFu);
         ModulusRecord r;
         return !ModulusCreate(m.data(), 65, 1, &r);
       }},
      {9, "digit division whose high digit reaches the divisor (a reciprocal of another divisor)",
       [&] {
         BigReciprocal wrong{0, 0};  // claims a normalised divisor
         Digit r = BigDivRemDigit(m5_.data(), 5, 3, &wrong, out.data());
         return r == 0;
       }},
      {10, "quotient correction with a reciprocal of another divisor",
       [&] {
         const Digit den[2] = {0, 0x80000000u}, other[2] = {0xFFFFFFFFu, 0xFFFFFFFFu};
         BigReciprocal wrong;
         BigReciprocalCompute(other, 2, &wrong);
         const Digit num[4] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0x7FFFFFFFu};
         return BigDivRem(num, 4, den, 2, &wrong, out.data(), out2.data()) == 0;
       }},
      {11, "divisor of length 0",
       [&] { return BigDivRem(m5_.data(), 5, zero, 0, nullptr, nullptr, out.data()) == 0 && out[0] == 0xDEADBEEF; }},
      {12, "divisor with a zero top digit",
       [&] { return BigDivRem(m5_.data(), 5, zero, 2, nullptr, nullptr, out.data()) == 0 && out[0] == 0xDEADBEEF; }},
      {22, "binary inverse modulo an even number",
       [&] {
         const Digit m[2] = {4, 1};
         ModulusRecord r;
         ModulusCreate(m, 2, 0, &r);
         return ModInverseJacobi(&three, &r, out.data(), nullptr) == 0;
       }},
      {25, "sum of unreduced inputs",
       [&] {
         ModulusRecord r;
         ModulusCreate(&three, 1, 0, &r);
         const Digit big = 0xFFFFFFFFu;
         return !ModAdd(&big, &big, out.data(), &r);
       }},
      {26, "doubling with a damaged reciprocal",
       [&] {
         ModulusRecord r = Record();
         r.reciprocal.shift = 5;
         return !ModShift(r.one, 3, out.data(), &r);
       }},
      {27, "halving with a damaged digit inverse",
       [&] {
         ModulusRecord r = Record();
         r.digitInverse ^= 2;
         Num a(5, 0);
         a[0] = 1;
         return !ModShift(a.data(), -8, out.data(), &r);
       }},
      {28, "halving modulo an even number",
       [&] {
         const Digit m[2] = {4, 1};
         ModulusRecord r;
         ModulusCreate(m, 2, 0, &r);
         return !ModShift(&three, -1, out.data(), &r);
       }},
      {29, "difference of unreduced inputs",
       [&] {
         ModulusRecord r;
         ModulusCreate(&three, 1, 0, &r);
         const Digit big = 0xFFFFFFFFu, small = 0;
         return !ModSub(&small, &big, out.data(), &r);
       }},
      {31, "reduction input longer than n + 2c",
       [&] {
         ModulusRecord r = Record();
         Num x(12, 1);
         return !ModReduce(x.data(), 12, 1, out.data(), &r, nullptr) && out[0] == 0;
       }},
      {31, "reduction input of full length with its top part not below m",
       [&] {
         ModulusRecord r = Record();
         Num x(11, 0);
         for (int i = 0; i < 5; ++i) x[6 + i] = m5_[i];
         return !ModReduce(x.data(), 11, 0, out.data(), &r, nullptr);
       }},
      {32, "Montgomery reduction with a damaged m^-1 (two passes of fixed size)",
       [&] {
         ModulusRecord r = Record();
         r.montInverse[1] ^= 4;
         return !ModMul(m5_.data(), r.one, out.data(), &r, nullptr) && out[0] == 0;
       }},
      {32, "Montgomery reduction with a damaged m^-1 (two passes of any size)",
       [&] {
         Num m17(17, 0x9E3779B9u);
         ModulusRecord r;
         ModulusCreate(m17.data(), 17, 1, &r);
         r.montInverse[5] ^= 1;
         Num x(17, 7);
         return !ModReduce(x.data(), 17, 1, out2.data(), &r, nullptr);
       }},
      {32, "Barrett reduction with a damaged multiplier",
       [&] {
         ModulusRecord r = Record(0);
         r.barrettLowPrepared.digits[2] ^= 0x10000000u;
         Num x(10, 0xFFFFFFFFu);
         return !ModReduce(x.data(), 10, 0, out.data(), &r, nullptr);
       }},
      {38, "second cofactor modulo one",
       [&] { return BigGcdInverse(&three, 1, &one, 1, out.data(), out2.data(), out.data() + 4, nullptr) == 0; }},
      {39, "gcd with a zero input",
       [&] {
         DWORD len = BigGcdInverse(zero, 1, m5_.data(), 5, out.data(), nullptr, out2.data(), nullptr);
         return len == 0 && Num(out2.begin(), out2.begin() + 5) == m5_;
       }},
      {40, "shift by 33 bits",
       [&] {
         Num a = m5_;
         return BigShift(a.data(), 33, a.data(), 5) == 0 && a == m5_;
       }},
      {44, "threshold 13",
       [&] { return !MulPlanSetThreshold(13) && KaratsubaThreshold() == 12 && MulPlanForSize(64)->cBase == 8; }},
      {44, "threshold 2", [&] { return !MulPlanSetThreshold(2) && KaratsubaThreshold() == 3; }},
      {45, "random range with hi below lo",
       [&] {
         Digit v = 7;
         return !DigitRandomRange(5, 4, &v) && v == 0;
       }},
      {46, "random bound with a zero top digit",
       [&] { return !BigRandomBelow(zero, 2, out.data()) && out[0] == 0 && out[1] == 0; }},
      {46, "random bound of length 0", [&] { return !BigRandomBelow(zero, 0, out.data()); }},
      {47, "the random generator fails",
       [&] {
         BigRandomUseSourceForTests(FailingSource);
         bool failed = !BigRandomBelow(m5_.data(), 5, out.data()) && out[4] == 0;
         BigRandomUseSourceForTests(StreamSource);
         return failed;
       }},
      {48, "non-zero random below 1", [&] { return BigRandomNonzeroBelow(&one, 1, out.data()) == 0 && out[0] == 0; }},
      {55, "operand longer than the plan",
       [&] {
         Digit prepared[kMulPreparedMax];
         BYTE signs[kMulSignsMax];
         return !MulPrepare(m5_.data(), 5, prepared, signs, MulPlanForSize(4));
       }},
      {56, "split operand longer than two plan halves",
       [&] {
         Digit low[kMulPreparedMax], high[kMulPreparedMax];
         BYTE signsLow[kMulSignsMax], signsHigh[kMulSignsMax];
         const Num nine(9, 0x12345678u);
         return !MulPrepareSplit(nine.data(), 9, low, signsLow, high, signsHigh, MulPlanForSize(4));
       }},
  };
  for (const Case& c : cases) {
    BigErrorResetForTests();
    MulPlanSetThreshold(4);
    out.assign(8, 0xDEADBEEF);
    EXPECT_TRUE(c.fails()) << c.what;
    EXPECT_EQ(BigError(), c.code) << c.what;
  }
}

TEST_F(BignumFailure, StoredCodeStopsGcdAndSquareRoot) {
  ModulusRecord rec = Record();
  Num out(5, 0xDEADBEEF), inv(5, 0xDEADBEEF);
  BigErrorSet(kBigErrShiftCount);
  const Digit x = 7;
  EXPECT_EQ(BigGcdInverse(&x, 1, m5_.data(), 5, inv.data(), nullptr, out.data(), nullptr), 0u);
  EXPECT_EQ(inv, Num(5, 0));
  EXPECT_EQ(out, Num(5, 0));
  out.assign(5, 0xDEADBEEF);
  EXPECT_FALSE(ModSqrt(rec.one, out.data(), &rec));
  EXPECT_EQ(out, Num(5, 0));
  EXPECT_EQ(BigError(), static_cast<DWORD>(kBigErrShiftCount));
}

TEST_F(BignumFailure, EdgeResultsOfThePlainOperations) {
  // A 3-digit value equals a 5-digit one whose top two digits are zero.
  const Digit a3[3] = {1, 2, 3}, a5[5] = {1, 2, 3, 0, 0};
  EXPECT_EQ(BigCompare(a3, 3, a5, 5), 0);
  // A short numerator is the remainder; no quotient digit is written.
  Num quot(1, 0xDEADBEEF), rem(5, 0xDEADBEEF);
  EXPECT_EQ(BigDivRem(a3, 3, m5_.data(), 5, nullptr, quot.data(), rem.data()), 3u);
  EXPECT_EQ(rem, Num(a5, a5 + 5));
  EXPECT_EQ(quot[0], 0xDEADBEEFu);
  // A 32-bit shift moves whole digits and returns the digit pushed out.
  Num v(a5, a5 + 5);
  EXPECT_EQ(BigShift(a3, 32, v.data(), 3), 3u);
  EXPECT_EQ(v[0], 0u);
  EXPECT_EQ(v[1], 1u);
  EXPECT_EQ(v[2], 2u);
  ExpectNoError();
}

// Every block the routines ask the heap for, by size: the fixed temporaries,
// and none at all for a multiplication or reduction given a MulScratch.
std::vector<SIZE_T>& Requests() {
  static std::vector<SIZE_T> requests;
  return requests;
}
void RecordRequest(SIZE_T cb) { Requests().push_back(cb); }

TEST_F(BignumFailure, HeapRequestsOfEveryRoutine) {
  using Sizes = std::vector<SIZE_T>;
  Num scratch(kMulScratchDigits), out(64), aux(64);
  Num e(5, 0x9E3779B9u);
  const Digit digitExponent = 0x8001;
  BigAllocObserveForTests(RecordRequest);
  for (DWORD threshold : {4u, 12u}) {
    MulPlanSetThreshold(threshold);
    for (DWORD n : {5u, 17u, 64u}) {
      Num m = MakeOperand(rng_, n, Shape::kRandom);
      m[0] |= 3;  // 3 mod 4: the square root is one exponentiation
      for (BOOL mont : {0, 1}) {
        SCOPED_TRACE("n " + std::to_string(n) + " form " + std::to_string(mont) + " threshold " +
                     std::to_string(threshold));
        auto expect = [&](const char* what, const Sizes& want, const std::function<void()>& op) {
          Requests().clear();
          op();
          EXPECT_EQ(Requests(), want) << what;
        };
        ModulusRecord rec;
        expect("ModulusCreate", Sizes{772, 9756}, [&] { ModulusCreate(m.data(), n, mont, &rec); });
        const Digit* a = rec.one;
        ModPrepared pa;
        ModPrepare(a, &pa, &rec);
        expect("ModToForm", Sizes{9756}, [&] { ModToForm(m.data(), n, out.data(), &rec); });
        expect("ModFromForm", Sizes{}, [&] { ModFromForm(a, out.data(), &rec); });
        expect("ModMul", Sizes{8988}, [&] { ModMul(a, a, out.data(), &rec, nullptr); });
        expect("ModMul with a MulScratch", Sizes{}, [&] { ModMul(a, out.data(), aux.data(), &rec, scratch.data()); });
        expect("ModMulPrepared1", Sizes{8988}, [&] { ModMulPrepared1(a, &pa, out.data(), &rec, nullptr); });
        expect("ModMulPrepared1 with a MulScratch", Sizes{},
               [&] { ModMulPrepared1(a, &pa, out.data(), &rec, scratch.data()); });
        expect("ModMulPrepared2", Sizes{8988}, [&] { ModMulPrepared2(&pa, &pa, out.data(), &rec, nullptr); });
        expect("ModMulPrepared2 with a MulScratch", Sizes{},
               [&] { ModMulPrepared2(&pa, &pa, out.data(), &rec, scratch.data()); });
        for (BOOL flag : {0, 1}) {
          expect("ModReduce", Sizes{8988}, [&] { ModReduce(a, n, flag, out.data(), &rec, nullptr); });
          expect("ModReduce with a MulScratch", Sizes{},
                 [&] { ModReduce(a, n, flag, out.data(), &rec, scratch.data()); });
        }
        expect("ModAdd, ModSub, ModNeg, ModShift", Sizes{}, [&] {
          ModAdd(a, a, out.data(), &rec);
          ModSub(a, out.data(), out.data(), &rec);
          ModNeg(a, out.data(), &rec);
          ModShift(a, -3, out.data(), &rec);
          ModShift(a, 40, out.data(), &rec);
        });
        expect("ModExp", Sizes{94748}, [&] { ModExp(a, e.data(), 5, out.data(), &rec); });
        expect("ModExp, one-digit exponent", Sizes{11924}, [&] { ModExp(a, &digitExponent, 1, out.data(), &rec); });
        expect("ModInverseJacobi", mont ? Sizes{1024, 9756} : Sizes{1024},
               [&] { ModInverseJacobi(a, &rec, out.data(), aux.data()); });
        expect("ModSqrt", Sizes{10524, 94748}, [&] { ModSqrt(a, out.data(), &rec); });
        expect("BigGcdInverse", Sizes{2056},
               [&] { BigGcdInverse(e.data(), 5, m.data(), n, out.data(), nullptr, aux.data(), nullptr); });
      }
    }
  }
  BigAllocObserveForTests(nullptr);
  ExpectNoError();
}

#ifndef _WIN32
// Runs op with the k-th allocation refused for k = 0, 1, ... until it runs
// through; every refusal must fail the call with code 43, leave the
// outputs zeroed (checked by op) and give every block back.
void EveryAllocationRefusedInTurn(const char* what, const std::function<bool(bool)>& op) {
  for (int k = 0;; ++k) {
    ASSERT_LT(k, 16) << what << " takes more blocks than expected";
    BigErrorResetForTests();
    const LONG live = BigLiveBlocks();
    const long outstanding = TfLocalHeapOutstanding();
    TfLocalHeapFailAfter(k);
    const bool ok = op(true);
    TfLocalHeapFailAfter(-1);
    EXPECT_EQ(BigLiveBlocks(), live) << what << ", refusal " << k;
    EXPECT_EQ(TfLocalHeapOutstanding(), outstanding) << what << ", refusal " << k;
    if (BigError() == 0) {
      EXPECT_TRUE(ok) << what;
      return;
    }
    EXPECT_EQ(BigError(), static_cast<DWORD>(kBigErrAlloc)) << what << ", refusal " << k;
    EXPECT_FALSE(ok) << what << ", refusal " << k;
  }
}

TEST_F(BignumFailure, RefusedBlocksFailTheCallAndComeBack) {
  ModulusRecord mont = Record(1), plain = Record(0);
  const Num zero5(5, 0);
  Num out(5), aux(5);
  const Digit base[5] = {2, 3, 4, 5, 6};
  Num e(5, 0xFFFFFFFFu);
  auto zeroed = [&] { return out == zero5; };
  for (BOOL form : {0, 1}) {
    EveryAllocationRefusedInTurn("ModulusCreate", [&](bool) {
      ModulusRecord r;
      return ModulusCreate(m5_.data(), 5, form, &r) != 0;
    });
  }
  for (ModulusRecord* rec : {&mont, &plain}) {
    EveryAllocationRefusedInTurn("ModToForm", [&](bool) {
      BOOL ok = ModToForm(e.data(), 5, out.data(), rec);
      if (!ok) {
        EXPECT_TRUE(zeroed());
      }
      return ok != 0;
    });
    EveryAllocationRefusedInTurn("ModMul without scratch", [&](bool) {
      BOOL ok = ModMul(base, rec->one, out.data(), rec, nullptr);
      if (!ok) {
        EXPECT_TRUE(zeroed());
      }
      return ok != 0;
    });
    for (BOOL flag : {0, 1}) {
      EveryAllocationRefusedInTurn("ModReduce without scratch", [&](bool) {
        BOOL ok = ModReduce(base, 5, flag, out.data(), rec, nullptr);
        if (!ok) {
          EXPECT_TRUE(zeroed());
        }
        return ok != 0;
      });
    }
    EveryAllocationRefusedInTurn("ModExp", [&](bool) {
      ModExp(base, e.data(), 5, out.data(), rec);
      if (BigError() != 0) {
        EXPECT_TRUE(zeroed());
      }
      return BigError() == 0;
    });
    EveryAllocationRefusedInTurn("ModExp with a one-digit exponent", [&](bool) {
      ModExp(base, e.data(), 1, out.data(), rec);
      if (BigError() != 0) {
        EXPECT_TRUE(zeroed());
      }
      return BigError() == 0;
    });
    EveryAllocationRefusedInTurn("ModInverseJacobi", [&](bool) {
      int s = ModInverseJacobi(base, rec, out.data(), aux.data());
      if (s == 0) {
        EXPECT_TRUE(zeroed());
      }
      return s != 0;
    });
    EveryAllocationRefusedInTurn("ModSqrt", [&](bool) {
      Num sq(5);
      ModMul(base, base, sq.data(), rec, Num(kMulScratchDigits).data());
      BOOL ok = ModSqrt(sq.data(), out.data(), rec);
      if (!ok) {
        EXPECT_TRUE(zeroed());
      }
      return ok != 0;
    });
  }
  EveryAllocationRefusedInTurn("BigGcdInverse", [&](bool) {
    Num g(5), cof(1), check(6);
    DWORD len = BigGcdInverse(base, 1, m5_.data(), 5, out.data(), cof.data(), g.data(), check.data());
    if (len == 0) {
      EXPECT_TRUE(zeroed() && g == zero5);
    }
    return len != 0;
  });
}
#endif

}  // namespace
}  // namespace bntest
