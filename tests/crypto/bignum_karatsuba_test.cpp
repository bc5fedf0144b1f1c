// The planned Karatsuba engine against GMP: every plan row under every
// threshold, both sign cases of every split, and squaring.
#include "crypto/bignum/mulplan.h"
#include "tests/crypto/bignum_gmp.h"

namespace bntest {
namespace {

class Karatsuba : public BignumTest {};

TEST_F(Karatsuba, PlanRowsHalveDownToTheThreshold) {
  struct Row {
    DWORD threshold, size, levels, base;
  };
  const Row rows[] = {
      {4, 1, 0, 1},  {4, 3, 0, 3},    {4, 6, 1, 3},   {4, 8, 1, 4},    {4, 64, 4, 4}, {3, 64, 5, 2},
      {3, 48, 4, 3}, {12, 12, 0, 12}, {12, 64, 3, 8}, {12, 24, 1, 12}, {7, 12, 1, 6}, {5, 16, 2, 4},
  };
  for (const Row& r : rows) {
    ASSERT_TRUE(MulPlanSetThreshold(r.threshold));
    const MulPlan* plan = MulPlanForSize(r.size);
    ASSERT_NE(plan, nullptr);
    EXPECT_EQ(plan->cDigits, r.size);
    EXPECT_EQ(plan->cLevels, r.levels) << r.size << " at " << r.threshold;
    EXPECT_EQ(plan->cBase, r.base);
    DWORD len = r.base;
    for (DWORD k = 0; k <= r.levels; ++k, len *= 3) EXPECT_EQ(plan->cScratch[k], len);
  }
  // Lookups round up to the next row; nothing serves more than 64 digits.
  EXPECT_EQ(MulPlanForSize(5)->cDigits, 6u);
  EXPECT_EQ(MulPlanForSize(33)->cDigits, 48u);
  EXPECT_EQ(MulPlanForSize(65), nullptr);
  EXPECT_EQ(MulPlanTable()[11].cDigits, 64u);
  ASSERT_TRUE(MulPlanSetThreshold(0));
  EXPECT_EQ(KaratsubaThreshold(), 4u);
}

// Orders the halves of v[start, start + size) as asked (high above low, or
// below), the outer split taking precedence over the inner ones.
void Order(std::mt19937& rng, Num& v, DWORD start, DWORD size, bool hiAbove) {
  if (size < 2 || size % 2 != 0) return;
  const DWORD h = size / 2;
  Order(rng, v, start, h, !hiAbove);
  Order(rng, v, start + h, h, hiAbove);
  v[start + 2 * h - 1] = hiAbove ? 0xFFFFFFF0u | (rng() & 15) : rng() & 15;
  v[start + h - 1] = hiAbove ? rng() & 15 : 0xFFFFFFF0u | (rng() & 15);
}

Num Ordered(std::mt19937& rng, DWORD n, bool hiAbove) {
  Num v(n);
  for (auto& d : v) d = rng();
  Order(rng, v, 0, n, hiAbove);
  return v;
}

TEST_F(Karatsuba, ProductsMatchForEveryRowThresholdAndSignCase) {
  Digit pa[kMulPreparedMax], pb[kMulPreparedMax];
  BYTE sa[kMulSignsMax], sb[kMulSignsMax];
  for (DWORD t = 3; t <= 12; ++t) {
    ASSERT_TRUE(MulPlanSetThreshold(t));
    for (DWORD r = 0; r < kMulPlanRows; ++r) {
      const MulPlan* plan = &MulPlanTable()[r];
      const DWORD size = plan->cDigits;
      for (int variant = 0; variant < 8; ++variant) {
        // Operand lengths below the padded size exercise the zero padding.
        DWORD la = variant < 4 ? size : 1 + rng_() % size;
        DWORD lb = variant < 4 ? size : 1 + rng_() % size;
        Num a = variant < 4 ? Ordered(rng_, la, (variant & 1) != 0) : MakeOperand(rng_, la, kShapes[rng_() % 6]);
        Num b = variant < 4 ? Ordered(rng_, lb, (variant & 2) != 0) : MakeOperand(rng_, lb, kShapes[rng_() % 6]);
        ASSERT_TRUE(MulPrepare(a.data(), la, pa, sa, plan));
        ASSERT_TRUE(MulPrepare(b.data(), lb, pb, sb, plan));
        Num prod(2 * size, 0xDEADBEEF);
        MulPrepared(pa, sa, pb, sb, prod.data(), plan);
        Mpz want;
        mpz_mul(want, Mpz(a), Mpz(b));
        EXPECT_EQ(mpz_cmp(Mpz(prod), want), 0) << "size " << size << " threshold " << t << " variant " << variant;
        // Squaring: the same prepared array for both operands.
        MulPrepared(pa, sa, pa, sa, prod.data(), plan);
        mpz_mul(want, Mpz(a), Mpz(a));
        EXPECT_EQ(mpz_cmp(Mpz(prod), want), 0) << "square, size " << size << " threshold " << t;
      }
    }
  }
  ExpectNoError();
}

TEST_F(Karatsuba, KernelsMultiplyAndSquareEveryLeafPair) {
  for (DWORD base : {1u, 2u, 3u, 4u, 6u, 8u, 12u}) {
    ASSERT_NE(BaseMulKernel[base], nullptr);
    for (Shape s : kShapes) {
      const DWORD count = 3;
      Num a = MakeOperand(rng_, base * count, s), b = MakeOperand(rng_, base * count, Shape::kAllOnes);
      Num prod(2 * base * count), sq(2 * base * count);
      BaseMulKernel[base](a.data(), b.data(), prod.data(), count);
      BaseMulKernel[base](a.data(), a.data(), sq.data(), count);
      for (DWORD c = 0; c < count; ++c) {
        Mpz za(a.data() + c * base, base), zb(b.data() + c * base, base), want;
        mpz_mul(want, za, zb);
        EXPECT_EQ(mpz_cmp(Mpz(prod.data() + 2 * c * base, 2 * base), want), 0) << base;
        mpz_mul(want, za, za);
        EXPECT_EQ(mpz_cmp(Mpz(sq.data() + 2 * c * base, 2 * base), want), 0) << "square " << base;
      }
    }
  }
}

}  // namespace
}  // namespace bntest
