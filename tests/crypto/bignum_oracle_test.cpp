// The plain multi-precision operations against GMP over every length 1..64
// and operands shaped to stress carries, borrows and quotient estimates.
#include <algorithm>

#include "tests/crypto/bignum_gmp.h"

namespace bntest {
namespace {

class BigPlainOracle : public BignumTest {};

TEST_F(BigPlainOracle, AddSubtractAndCompareAgreeForEveryLengthAndAliasing) {
  for (DWORD la = 1; la <= 64; ++la) {
    for (Shape sa : kShapes) {
      for (Shape sb : kShapes) {
        const DWORD lb = 1 + rng_() % la;
        Num a = MakeOperand(rng_, la, sa);
        Num b = MakeOperand(rng_, lb, sb);
        Mpz za(a), zb(b), want;
        SCOPED_TRACE(Hex(a) + " / " + Hex(b));

        // a + b and a - b, into a fresh array and in place.
        Num sum(la), diff(la);
        Digit carry = BigAdd(a.data(), la, b.data(), lb, sum.data());
        mpz_add(want, za, zb);
        Mpz got(sum);
        mpz_add_ui(got, got, 0);
        if (carry) mpz_setbit(got, 32 * la);
        EXPECT_EQ(mpz_cmp(got, want), 0) << "BigAdd";
        Num inPlace = a;
        EXPECT_EQ(BigAdd(inPlace.data(), la, b.data(), lb, inPlace.data()), carry);
        EXPECT_EQ(inPlace, sum) << "BigAdd in place";

        Digit borrow = BigSub(a.data(), la, b.data(), lb, diff.data());
        EXPECT_EQ(borrow != 0, mpz_cmp(za, zb) < 0);
        mpz_sub(want, za, zb);
        if (borrow) {  // wraps modulo 2^(32 la)
          Mpz wrap;
          mpz_setbit(wrap, 32 * la);
          mpz_add(want, want, wrap);
        }
        EXPECT_EQ(mpz_cmp(Mpz(diff), want), 0) << "BigSub";
        inPlace = a;
        EXPECT_EQ(BigSub(inPlace.data(), la, b.data(), lb, inPlace.data()), borrow);
        EXPECT_EQ(inPlace, diff) << "BigSub in place";

        // The same-length forms, with out aliasing either input.
        Num bw = b;
        bw.resize(la, 0);
        Num same(la);
        EXPECT_EQ(BigAddSame(a.data(), bw.data(), same.data(), la), carry);
        EXPECT_EQ(same, sum);
        Num alias = bw;
        EXPECT_EQ(BigSubSame(a.data(), alias.data(), alias.data(), la), borrow);
        EXPECT_EQ(alias, diff) << "BigSubSame into b";
        alias = a;
        EXPECT_EQ(BigSubSame(alias.data(), bw.data(), alias.data(), la), borrow);
        EXPECT_EQ(alias, diff) << "BigSubSame into a";

        // Either order, with the carry as an extra digit.
        Num any(la + 1, 0xDEADBEEF);
        DWORD len = BigAddAnyOrder(b.data(), lb, a.data(), la, any.data());
        EXPECT_EQ(len, la + carry);
        mpz_add(want, za, zb);
        EXPECT_EQ(mpz_cmp(Mpz(any.data(), len), want), 0) << "BigAddAnyOrder";

        // Compare across lengths, also with high zero digits appended.
        int c = mpz_cmp(za, zb);
        c = c < 0 ? -1 : c > 0 ? 1 : 0;
        EXPECT_EQ(BigCompare(a.data(), la, b.data(), lb), c);
        EXPECT_EQ(BigCompare(b.data(), lb, a.data(), la), -c);
        Num padded = b;
        padded.resize(lb + 2, 0);
        EXPECT_EQ(BigCompare(padded.data(), lb + 2, b.data(), lb), 0);
      }
    }
  }
  ExpectNoError();
}

TEST_F(BigPlainOracle, DigitProductsAndSchoolProductAgree) {
  const Digit digits[] = {0, 1, 2, 0x80000000u, 0xFFFFFFFFu, 0x12345679u};
  for (DWORD la = 1; la <= 64; ++la) {
    for (Shape sa : kShapes) {
      Num a = MakeOperand(rng_, la, sa);
      Mpz za(a), want;
      for (Digit d : digits) {
        Num out(la);
        Digit top = BigMulDigit(a.data(), d, out.data(), la);
        mpz_mul_ui(want, za, d);
        Num full = out;
        full.push_back(top);
        EXPECT_EQ(mpz_cmp(Mpz(full), want), 0) << "BigMulDigit " << d;
        Num inPlace = a;
        EXPECT_EQ(BigMulDigit(inPlace.data(), d, inPlace.data(), la), top);
        EXPECT_EQ(inPlace, out);

        Num acc = MakeOperand(rng_, la, Shape::kRandom);
        Mpz zacc(acc);
        Num accAdd = acc;
        Digit carry = BigMulDigitAdd(a.data(), d, accAdd.data(), la);
        mpz_addmul_ui(zacc, za, d);
        full = accAdd;
        full.push_back(carry);
        EXPECT_EQ(mpz_cmp(Mpz(full), zacc), 0) << "BigMulDigitAdd " << d;

        Num accSub = acc;
        Digit borrow = BigMulDigitSub(a.data(), d, accSub.data(), la);
        // acc - a*d + borrow * 2^(32 la) must be the digits left behind.
        Mpz zs(accSub), check(acc);
        mpz_submul_ui(check, za, d);
        mpz_t shifted;
        mpz_init(shifted);
        mpz_set_ui(shifted, borrow);
        mpz_mul_2exp(shifted, shifted, 32 * la);
        mpz_add(check, check, shifted);
        mpz_clear(shifted);
        EXPECT_EQ(mpz_cmp(zs, check), 0) << "BigMulDigitSub " << d;
      }
      for (DWORD lb : {DWORD{0}, DWORD{1}, la / 2 + 1, la, DWORD{64}}) {
        Num b = lb ? MakeOperand(rng_, lb, kShapes[rng_() % 6]) : Num{};
        Num prod(la + lb, 0xDEADBEEF);
        BigMulSchool(a.data(), la, b.data(), lb, prod.data());
        mpz_mul(want, za, Mpz(b));
        EXPECT_EQ(mpz_cmp(Mpz(prod), want), 0) << "BigMulSchool " << la << "x" << lb;
        if (lb == 0) {
          EXPECT_EQ(std::count(prod.begin(), prod.end(), 0u), static_cast<long>(la));
        }
      }
    }
  }
  ExpectNoError();
}

TEST_F(BigPlainOracle, ShiftsAndBitLengths) {
  for (DWORD n = 1; n <= 64; ++n) {
    for (Shape shape : kShapes) {
      Num a = MakeOperand(rng_, n, shape);
      Mpz za(a), want, mask;
      EXPECT_EQ(BigBitLength(a.data(), n), mpz_sgn(za.z) ? mpz_sizeinbase(za, 2) : 0u);
      for (int s : {1, 5, 31, 32, -1, -7, -31, -32}) {
        Num out = a;
        Digit shiftedOut = BigShift(out.data(), s, out.data(), n);
        if (s > 0) {
          mpz_mul_2exp(want, za, s);
          mpz_tdiv_r_2exp(want, want, 32 * n);
          Mpz top;
          mpz_tdiv_q_2exp(top, za, 32 * n - s);
          EXPECT_EQ(shiftedOut, mpz_get_ui(top)) << "left " << s;
        } else {
          mpz_tdiv_q_2exp(want, za, -s);
          Mpz low;
          mpz_tdiv_r_2exp(low, za, -s);
          EXPECT_EQ(shiftedOut, mpz_get_ui(low)) << "right " << s;
        }
        EXPECT_EQ(mpz_cmp(Mpz(out), want), 0) << "shift " << s;
      }
    }
  }
  ExpectNoError();
}

TEST_F(BigPlainOracle, DivisionMatchesForEveryDivisorLength) {
  for (DWORD ld = 1; ld <= 64; ++ld) {
    for (Shape sd : kShapes) {
      Num den = MakeOperand(rng_, ld, sd);
      DWORD sl = BigSignificantLength(den.data(), ld);
      den.resize(sl);  // the divisor's top digit must be non-zero
      if (sl == 0) continue;
      BigReciprocal rec;
      ASSERT_TRUE(BigReciprocalCompute(den.data(), sl, &rec));
      for (DWORD ln : {sl - 1, sl, sl + 1, 2 * sl, DWORD{128}}) {
        if (ln == 0) continue;
        Shape sn = kShapes[rng_() % 6];
        Num num = MakeOperand(rng_, ln, sn);
        // Numerators just below a multiple of the divisor stress the add-back.
        if (rng_() % 3 == 0 && ln > sl) {
          Mpz m(den), q;
          mpz_urandomb(q, GmpRandom(), 32 * (ln - sl));
          mpz_mul(q, q, m);
          mpz_sub_ui(q, q, 1);
          if (mpz_sgn(q.z) > 0) num = ToDigits(q, ln);
        }
        Mpz zn(num), zd(den), wantQ, wantR;
        mpz_tdiv_qr(wantQ, wantR, zn, zd);
        SCOPED_TRACE(Hex(num) + " / " + Hex(den));
        for (bool withRec : {false, true}) {
          Num quot(ln >= sl ? ln - sl + 1 : 1, 0xDEADBEEF);
          Num rem(sl, 0xDEADBEEF);
          DWORD len = BigDivRem(num.data(), ln, den.data(), sl, withRec ? &rec : nullptr, quot.data(), rem.data());
          EXPECT_EQ(mpz_cmp(Mpz(rem), wantR), 0);
          EXPECT_EQ(len, mpz_sgn(wantR.z) ? (mpz_sizeinbase(wantR, 2) + 31) / 32 : 0u);
          if (ln >= sl) {
            EXPECT_EQ(mpz_cmp(Mpz(quot), wantQ), 0) << "quotient";
          } else {
            EXPECT_EQ(quot[0], 0xDEADBEEFu) << "no quotient digit for a short numerator";
          }
          Num remOnly(sl);
          EXPECT_EQ(BigDivRem(num.data(), ln, den.data(), sl, nullptr, nullptr, remOnly.data()), len);
          EXPECT_EQ(remOnly, rem);
        }
        if (sl == 1) {
          Num quot(ln);
          Digit r = BigDivRemDigit(num.data(), ln, den[0], &rec, quot.data());
          EXPECT_EQ(r, mpz_get_ui(wantR));
          EXPECT_EQ(mpz_cmp(Mpz(quot), wantQ), 0);
          Num inPlace = num;
          EXPECT_EQ(BigDivRemDigit(inPlace.data(), ln, den[0], nullptr, inPlace.data()), r);
          EXPECT_EQ(inPlace, quot);
        }
      }
    }
  }
  ExpectNoError();
}

TEST_F(BigPlainOracle, GcdInverseAndCofactors) {
  for (DWORD lm = 1; lm <= 64; ++lm) {
    for (Shape sm : kShapes) {
      Num m = MakeOperand(rng_, lm, sm);
      if (BigSignificantLength(m.data(), lm) == 0) continue;
      for (DWORD lx : {DWORD{1}, lm, lm + 3}) {
        Num x = MakeOperand(rng_, lx, kShapes[rng_() % 6]);
        if (BigSignificantLength(x.data(), lx) == 0) x[0] = 1;
        Mpz zx(x), zm(m), g, inv;
        mpz_gcd(g, zx, zm);
        Num inverse(lm, 1), cof(lx, 1), gcd(std::max(lx, lm), 1), check(lx + lm, 1);
        // Modulo one the inverse is 0 and no non-negative second cofactor
        // exists; the failure table covers asking for it.
        const bool unit = mpz_cmp_ui(zm.z, 1) == 0;
        DWORD len = BigGcdInverse(x.data(), lx, m.data(), lm, inverse.data(), unit ? nullptr : cof.data(), gcd.data(),
                                  unit ? nullptr : check.data());
        SCOPED_TRACE(Hex(x) + " mod " + Hex(m));
        ASSERT_EQ(BigError(), 0u);
        EXPECT_EQ(mpz_cmp(Mpz(gcd), g), 0);
        EXPECT_EQ(len, (mpz_sizeinbase(g, 2) + 31) / 32);
        if (unit) {
          EXPECT_EQ(inverse[0], 0u);
        } else if (mpz_cmp_ui(g.z, 1) == 0) {
          ASSERT_TRUE(mpz_invert(inv, zx, zm));
          EXPECT_EQ(mpz_cmp(Mpz(inverse), inv), 0) << "inverse";
          // x * inv - k * m = 1 and the check product x * inv.
          Mpz prod, km;
          mpz_mul(prod, zx, inv);
          EXPECT_EQ(mpz_cmp(Mpz(check), prod), 0) << "check product";
          mpz_mul(km, Mpz(cof), zm);
          mpz_add_ui(km, km, 1);
          EXPECT_EQ(mpz_cmp(km, prod), 0) << "second cofactor";
        } else if (mpz_cmp_ui(g.z, 1) != 0) {
          EXPECT_EQ(std::count(inverse.begin(), inverse.end(), 0u), static_cast<long>(lm));
        }
      }
    }
  }
}

TEST_F(BigPlainOracle, RandomNumbersStayBelowTheirBoundAndReachItsTop) {
  const Digit small[] = {3};
  int hits[3] = {};
  for (int i = 0; i < 300; ++i) {
    Digit v;
    ASSERT_TRUE(BigRandomBelow(small, 1, &v));
    ASSERT_LT(v, 3u);
    ++hits[v];
  }
  for (int h : hits) EXPECT_GT(h, 60) << "values below 3 should come about equally often";
  for (DWORD n = 1; n <= 64; n += 7) {
    for (Shape s : {Shape::kRandom, Shape::kTopOne, Shape::kSparse}) {
      Num bound = MakeOperand(rng_, n, s);
      if (n == 1 && bound[0] < 2) bound[0] = 2;
      Num out(n);
      for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(BigRandomBelow(bound.data(), n, out.data()));
        EXPECT_LT(BigCompare(out.data(), n, bound.data(), n), 0);
        DWORD len = BigRandomNonzeroBelow(bound.data(), n, out.data());
        EXPECT_EQ(len, BigSignificantLength(out.data(), n));
        EXPECT_GT(len, 0u);
        EXPECT_LT(BigCompare(out.data(), n, bound.data(), n), 0);
      }
    }
  }
  Digit v;
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(DigitRandomRange(0xFFFFFFF0u, 0xFFFFFFFFu, &v));
    EXPECT_GE(v, 0xFFFFFFF0u);
    ASSERT_TRUE(DigitRandomRange(7, 7, &v));
    EXPECT_EQ(v, 7u);
  }
  ExpectNoError();
}

}  // namespace
}  // namespace bntest
