// The modular layer against GMP: every modulus length 1..64 in both forms,
// moduli shaped like the edge cases of reduction (all-ones, a top digit of
// one, sparse), exponentiation, inversion with the Jacobi symbol and square
// roots modulo primes of each class mod 8.
#include <algorithm>

#include "crypto/bignum/modular.h"
#include "tests/crypto/bignum_gmp.h"

namespace bntest {
namespace {

class ModularOracle : public BignumTest {
 protected:
  // An odd modulus of n digits in one of the shapes (every shape but the
  // ones that may come out even or short is forced odd).
  Num Modulus(DWORD n, int shape) {
    Num m;
    switch (shape % 4) {
      case 0:
        m = MakeOperand(rng_, n, Shape::kRandom);
        break;
      case 1:
        m = MakeOperand(rng_, n, Shape::kAllOnes);
        break;
      case 2:
        m = MakeOperand(rng_, n, Shape::kTopOne);
        break;
      default:
        m = MakeOperand(rng_, n, Shape::kSparse);
        break;
    }
    m[0] |= 1;
    if (n == 1 && m[0] == 1) m[0] = 3;
    return m;
  }
  // A uniformly random value below m.
  Mpz Below(const Mpz& m) {
    Mpz v;
    mpz_urandomm(v, GmpRandom(), m);
    return v;
  }
  // R^k mod m for the record.
  void RadixPower(const ModulusRecord& rec, int k, mpz_ptr out) {
    Mpz r, m(rec.modulus, rec.n);
    mpz_setbit(r, 32 * rec.cRadix);
    if (k < 0) {
      ASSERT_TRUE(mpz_invert(r, r, m));
      k = -k;
    }
    mpz_powm_ui(out, r, k, m);
  }
  // The working form of v (an ordinary value below m).
  Num Form(const ModulusRecord& rec, const Mpz& v) {
    Mpz f, r, m(rec.modulus, rec.n);
    if (rec.fMontgomery) {
      RadixPower(rec, 1, r);
      mpz_mul(f, v, r);
      mpz_mod(f, f, m);
    } else {
      mpz_set(f, v);
    }
    return ToDigits(f, rec.n);
  }
  void Unform(const ModulusRecord& rec, const Num& a, mpz_ptr out) {
    Mpz m(rec.modulus, rec.n), r;
    mpz_set(out, Mpz(a));
    if (rec.fMontgomery) {
      RadixPower(rec, -1, r);
      mpz_mul(out, out, r);
      mpz_mod(out, out, m);
    }
  }
};

TEST_F(ModularOracle, RecordConstantsAndFormConversions) {
  // The 160-bit prime of the channel: c = 3 digits and R = 2^192.
  const Num p = {0x141424f7u, 0x31415926u, 0x27182818u, 0x01234567u, 0x89abcdefu};
  ModulusRecord rec;
  ASSERT_TRUE(ModulusCreate(p.data(), 5, 1, &rec));
  EXPECT_EQ(rec.cRadix, 6u);
  Mpz r, zp(p);
  mpz_setbit(r, 192);
  mpz_mod(r, r, zp);
  EXPECT_EQ(mpz_cmp(Mpz(rec.one, 5), r), 0);
  Num formOfOne(5);
  Digit one = 1;
  ASSERT_TRUE(ModToForm(&one, 1, formOfOne.data(), &rec));
  EXPECT_EQ(formOfOne, Num(rec.one, rec.one + 5));

  for (DWORD n = 1; n <= 64; ++n) {
    for (int shape = 0; shape < 4; ++shape) {
      Num m = Modulus(n, shape);
      for (BOOL mont : {0, 1}) {
        ASSERT_TRUE(ModulusCreate(m.data(), n, mont, &rec));
        EXPECT_GE(rec.cRadix, n);
        EXPECT_EQ(rec.cRadix, 2 * MulPlanForSize((n + 1) / 2)->cDigits);
        // Any length in, reduced working form out, and back.
        for (DWORD lx : {DWORD{1}, n, 2 * n + 3}) {
          Num x = MakeOperand(rng_, lx, kShapes[rng_() % 6]);
          Num f(n), back(n);
          ASSERT_TRUE(ModToForm(x.data(), lx, f.data(), &rec));
          Mpz v(x), zm(m);
          mpz_mod(v, v, zm);
          EXPECT_EQ(f, Form(rec, v)) << "n " << n << " form " << mont;
          DWORD len = ModFromForm(f.data(), back.data(), &rec);
          EXPECT_EQ(mpz_cmp(Mpz(back), v), 0);
          EXPECT_EQ(len, BigSignificantLength(back.data(), n));
        }
      }
    }
  }
  ExpectNoError();
}

TEST_F(ModularOracle, ArithmeticOnResiduesInBothForms) {
  Num scratch(kMulScratchDigits);
  // Threshold 12 (the channel's) leaves the rows up to 12 digits without
  // Karatsuba levels, 3 gives the deepest recursion.
  for (DWORD threshold : {4u, 12u, 3u}) {
    ASSERT_TRUE(MulPlanSetThreshold(threshold));
    for (DWORD n = 1; n <= 64; ++n) {
      for (int shape = 0; shape < 4; ++shape) {
        Num m = Modulus(n, shape);
        if (shape == 3 && n > 1) m[0] = 2;  // plain form takes even moduli too
        Mpz zm(m);
        for (BOOL mont : {0, 1}) {
          if (mont && (m[0] & 1) == 0) continue;
          ModulusRecord rec;
          ASSERT_TRUE(ModulusCreate(m.data(), n, mont, &rec));
          for (int round = 0; round < 3; ++round) {
            Mpz va = round == 0 ? Mpz(0ul) : Below(zm), vb = Below(zm), want, got;
            if (round == 2) mpz_sub_ui(va, zm, 1);  // m - 1
            Num a = Form(rec, va), b = Form(rec, vb), out(n);
            SCOPED_TRACE("n " + std::to_string(n) + " form " + std::to_string(mont) + " threshold " +
                         std::to_string(threshold) + " a " + va.Hex());

            ASSERT_TRUE(ModAdd(a.data(), b.data(), out.data(), &rec));
            mpz_add(want, va, vb);
            mpz_mod(want, want, zm);
            EXPECT_EQ(out, Form(rec, want)) << "ModAdd";
            Num alias = a;
            ASSERT_TRUE(ModSub(alias.data(), b.data(), alias.data(), &rec));
            mpz_sub(want, va, vb);
            mpz_mod(want, want, zm);
            EXPECT_EQ(alias, Form(rec, want)) << "ModSub";
            alias = b;
            ASSERT_TRUE(ModNeg(alias.data(), alias.data(), &rec));
            mpz_neg(want, vb);
            mpz_mod(want, want, zm);
            EXPECT_EQ(alias, Form(rec, want)) << "ModNeg";

            // Products: with and without scratch, squaring, prepared operands.
            mpz_mul(want, va, vb);
            mpz_mod(want, want, zm);
            const Num expected = Form(rec, want);
            ASSERT_TRUE(ModMul(a.data(), b.data(), out.data(), &rec, scratch.data()));
            EXPECT_EQ(out, expected) << "ModMul";
            alias = b;
            ASSERT_TRUE(ModMul(a.data(), alias.data(), alias.data(), &rec, nullptr));
            EXPECT_EQ(alias, expected) << "ModMul into b, no scratch";
            ModPrepared pa, pb;
            ASSERT_TRUE(ModPrepare(a.data(), &pa, &rec));
            ASSERT_TRUE(ModPrepare(b.data(), &pb, &rec));
            ASSERT_TRUE(ModMulPrepared1(a.data(), &pb, out.data(), &rec, scratch.data()));
            EXPECT_EQ(out, expected) << "ModMulPrepared1";
            ASSERT_TRUE(ModMulPrepared2(&pa, &pb, out.data(), &rec, nullptr));
            EXPECT_EQ(out, expected) << "ModMulPrepared2";
            alias = a;
            ASSERT_TRUE(ModMul(alias.data(), alias.data(), alias.data(), &rec, scratch.data()));
            mpz_mul(want, va, va);
            mpz_mod(want, want, zm);
            EXPECT_EQ(alias, Form(rec, want)) << "square";

            for (int k : {1, 3, 31, 32, 45, 100, -1, -2, -32, -33, -70}) {
              if (k < 0 && (m[0] & 1) == 0) continue;
              alias = a;
              ASSERT_TRUE(ModShift(alias.data(), k, alias.data(), &rec)) << k;
              Mpz pow;
              mpz_setbit(pow, k > 0 ? k : -k);
              if (k < 0) {
                ASSERT_TRUE(mpz_invert(pow, pow, zm));
              }
              mpz_mul(want, va, pow);
              mpz_mod(want, want, zm);
              EXPECT_EQ(alias, Form(rec, want)) << "ModShift " << k;
            }
          }
        }
      }
    }
  }
  ExpectNoError();
}

TEST_F(ModularOracle, ReductionInBothFormsUpToTheLongestInput) {
  for (DWORD n = 1; n <= 64; ++n) {
    for (int shape = 0; shape < 4; ++shape) {
      Num m = Modulus(n, shape);
      Mpz zm(m);
      ModulusRecord rec;
      ASSERT_TRUE(ModulusCreate(m.data(), n, 1, &rec));
      const DWORD maxLen = n + rec.cRadix;
      Mpz limit, rinv;
      mpz_mul_2exp(limit, zm, 32 * rec.cRadix);  // inputs below m * R
      RadixPower(rec, -1, rinv);
      for (int round = 0; round < 4; ++round) {
        Mpz x = Below(limit);
        if (round == 0) mpz_sub_ui(x, limit, 1);
        Num xd = ToDigits(x, maxLen), out(n);
        Num scratch(kMulScratchDigits);
        for (BOOL flag : {0, 1}) {
          ASSERT_TRUE(ModReduce(xd.data(), maxLen, flag, out.data(), &rec, round % 2 ? scratch.data() : nullptr));
          Mpz want;
          if (flag) {
            mpz_mul(want, x, rinv);
            mpz_mod(want, want, zm);
          } else {
            mpz_mod(want, x, zm);
          }
          EXPECT_EQ(mpz_cmp(Mpz(out), want), 0) << "n " << n << " flag " << flag;
        }
      }
    }
  }
  ExpectNoError();
}

// Moduli that put the Barrett estimate at its edges: top digits of 1 and
// 0xFFFFFFFF (normalisation shifts 31 and 0), a power of two (which divides
// 2^K, so mu falls a full unit short of 2^K / m) and odd and even lengths.
Num BarrettModulus(std::mt19937& rng, DWORD n, int kind) {
  Num m = MakeOperand(rng, n, Shape::kRandom);
  switch (kind) {
    case 0:
      m[n - 1] = 1;
      break;
    case 1:
      m[n - 1] = 0xFFFFFFFFu;
      break;
    case 2:
      m.assign(n, 0);
      m[n - 1] = 0x80000000u;
      break;
    case 3:
      m.assign(n, 0xFFFFFFFFu);
      break;
    default:
      break;
  }
  return m;
}

TEST_F(ModularOracle, BarrettConstantsMatchGmp) {
  for (DWORD n : {1u, 2u, 5u, 7u, 12u, 33u, 64u}) {
    for (int kind = 0; kind < 5; ++kind) {
      Num m = BarrettModulus(rng_, n, kind);
      m[0] |= 1;
      Mpz zm(m);
      for (BOOL mont : {0, 1}) {
        ModulusRecord rec;
        ASSERT_TRUE(ModulusCreate(m.data(), n, mont, &rec));
        const DWORD c = rec.cRadix / 2;
        SCOPED_TRACE("n " + std::to_string(n) + " m " + zm.Hex() + " form " + std::to_string(mont));
        const unsigned long bits = 32 * (n + c) - rec.reciprocal.shift;
        Mpz top, mu, residue, muLow, half, high;
        mpz_setbit(top, bits);
        mpz_sub_ui(mu, top, 1);
        mpz_fdiv_q(mu, mu, zm);
        mpz_neg(residue, top);
        mpz_mod(residue, residue, zm);
        EXPECT_EQ(Num(rec.barrett, rec.barrett + c + 1), ToDigits(mu, c + 1)) << "mu";
        mpz_fdiv_q_2exp(half, mu, 1);
        EXPECT_EQ(Num(rec.barrettHalf, rec.barrettHalf + c), ToDigits(half, c)) << "mu >> 1";
        EXPECT_EQ(Num(rec.residue, rec.residue + n), ToDigits(residue, n)) << "residue";

        // Prepared operands give their values back when multiplied by one.
        auto value = [&](const Digit* prepared, const BYTE* signs, const MulPlan& plan) {
          Num one(plan.cDigits, 0), po(kMulPreparedMax), product(2 * plan.cDigits);
          one[0] = 1;
          std::vector<BYTE> so(kMulSignsMax);
          MulPrepare(one.data(), plan.cDigits, po.data(), so.data(), &plan);
          MulPrepared(prepared, signs, po.data(), so.data(), product.data(), &plan);
          return Num(product.begin(), product.begin() + plan.cDigits);
        };
        mpz_fdiv_r_2exp(muLow, mu, 32 * c);
        EXPECT_EQ(value(rec.barrettLowPrepared.digits, rec.barrettLowPrepared.signs, rec.planHalf), ToDigits(muLow, c));
        EXPECT_EQ(value(rec.residuePrepared.digits, rec.residuePrepared.signs, rec.planFull),
                  ToDigits(residue, rec.planFull.cDigits));
        Mpz low, hi;
        mpz_fdiv_r_2exp(low, zm, 32 * c);
        mpz_fdiv_q_2exp(hi, zm, 32 * c);
        EXPECT_EQ(value(rec.modulusLow.digits, rec.modulusLow.signs, rec.planHalf), ToDigits(low, c));
        EXPECT_EQ(value(rec.modulusHigh.digits, rec.modulusHigh.signs, rec.planHalf), ToDigits(hi, c));
        if (mont) {
          Mpz radix, inv;
          mpz_setbit(radix, 32 * c);
          ASSERT_TRUE(mpz_invert(inv, zm, radix));
          EXPECT_EQ(Num(rec.montInverse, rec.montInverse + c), ToDigits(inv, c)) << "m^-1 mod 2^(32c)";
          EXPECT_EQ(value(rec.montInversePrepared.digits, rec.montInversePrepared.signs, rec.planHalf),
                    ToDigits(inv, c));
          mpz_mul(high, inv, zm);
          mpz_fdiv_q_2exp(high, high, 32 * c);
          EXPECT_EQ(value(rec.montHighPrepared.digits, rec.montHighPrepared.signs, rec.planFull),
                    ToDigits(high, rec.planFull.cDigits));
        }
      }
    }
  }
  ExpectNoError();
}

TEST_F(ModularOracle, PlainReductionOfEveryAllowedLength) {
  Num scratch(kMulScratchDigits);
  for (DWORD n = 1; n <= 64; ++n) {
    // Each length under one of the thresholds: the record keeps the plans
    // it was prepared with.
    const DWORD threshold = n % 3 == 0 ? 3 : n % 3 == 1 ? 4 : 12;
    for (int kind = 0; kind < 5; ++kind) {
      ASSERT_TRUE(MulPlanSetThreshold(threshold));
      Num m = BarrettModulus(rng_, n, kind);
      ModulusRecord rec;
      ASSERT_TRUE(ModulusCreate(m.data(), n, 0, &rec));
      MulPlanSetThreshold(4);
      const DWORD c = rec.cRadix / 2, maxLen = n + 2 * c;
      Mpz zm(m), limit, twoK;
      mpz_mul_2exp(limit, zm, 64 * c);
      mpz_setbit(twoK, 32 * (n + c) - rec.reciprocal.shift);
      // Values around the two ends and the point where one pass stops being
      // enough, multiples of m and their neighbours, and shaped digits.
      std::vector<Mpz> xs;
      auto near = [&](const Mpz& v, long d) {
        Mpz x;
        if (d >= 0) {
          mpz_add_ui(x, v, d);
        } else {
          mpz_sub_ui(x, v, -d);
        }
        if (mpz_sgn(x.z) >= 0 && mpz_cmp(x, limit) < 0) xs.push_back(std::move(x));
      };
      for (long d : {-1L, 0L, 1L}) {
        near(limit, d);
        near(twoK, d);
        near(zm, d);
      }
      Mpz mult;
      mpz_urandomb(mult, GmpRandom(), 64 * c);
      mpz_mul(mult, mult, zm);  // a multiple of m below the limit
      near(mult, 0);
      near(mult, -1);
      Mpz maxRem;
      mpz_sub_ui(maxRem, zm, 1);
      mpz_add(maxRem, maxRem, mult);  // remainder m - 1
      near(maxRem, 0);
      for (DWORD lx : {DWORD{1}, n, n + c, n + c + 1, maxLen - 1, maxLen}) {
        for (Shape shape : {Shape::kRandom, Shape::kAllOnes, Shape::kTopOne, Shape::kSparse}) {
          Mpz x(MakeOperand(rng_, lx, shape));
          if (mpz_cmp(x, limit) < 0) xs.push_back(std::move(x));
        }
      }
      xs.push_back(Below(limit));
      xs.push_back(Below(twoK));
      for (const Mpz& x : xs) {
        // Every length that holds the value, high zero digits included.
        const DWORD minLen = static_cast<DWORD>((mpz_sizeinbase(x, 2) + 31) / 32);
        for (DWORD lx : {minLen, maxLen}) {
          Num xd = ToDigits(x, lx), out(n, 0xDEADBEEFu);
          ASSERT_TRUE(ModReduce(xd.data(), lx, 0, out.data(), &rec, lx == maxLen ? scratch.data() : nullptr))
              << "n " << n << " m " << zm.Hex() << " x " << x.Hex();
          Mpz want;
          mpz_mod(want, x, zm);
          EXPECT_EQ(out, ToDigits(want, n)) << "n " << n << " m " << zm.Hex() << " x " << x.Hex();
        }
      }
      // The output may be the input.
      Num xd = ToDigits(Below(limit), maxLen), alias = xd;
      ASSERT_TRUE(ModReduce(alias.data(), maxLen, 0, alias.data(), &rec, scratch.data()));
      Mpz want;
      mpz_mod(want, Mpz(xd), zm);
      EXPECT_EQ(Num(alias.begin(), alias.begin() + n), ToDigits(want, n));
    }
  }
  ExpectNoError();
}

// The work of width w counted from the exponent's bits with GMP: the table
// (base^2 and the 2^(w-1) - 1 further odd powers), one squaring per bit
// after the first window and one multiplication per further window. Width 2
// (one-digit exponents) builds its table, base^3, only when a window is 3.
struct ExpWork {
  DWORD squarings = 0, mults = 0;
};
ExpWork IndependentWork(const Mpz& e, DWORD w) {
  const long bits = static_cast<long>(mpz_sizeinbase(e, 2));
  ExpWork work;
  bool cube = false;
  if (w > 2) {
    work.squarings = 1;
    work.mults = (1u << (w - 1)) - 1;
  }
  long i = bits - 1;
  bool first = true;
  while (i >= 0) {
    if (!mpz_tstbit(e, i)) {
      ++work.squarings;
      --i;
      continue;
    }
    long low = std::max(0L, i - static_cast<long>(w) + 1);
    while (!mpz_tstbit(e, low)) ++low;
    if (i > low) cube = true;  // a two-bit window of width 2 is 3
    if (!first) {
      work.squarings += static_cast<DWORD>(i - low + 1);
      ++work.mults;
    }
    first = false;
    i = low - 1;
  }
  if (w == 2 && cube) {
    ++work.squarings;
    ++work.mults;
  }
  return work;
}

DWORD IndependentWidth(const Mpz& e) {
  DWORD best = 0, bestCost = ~0u;
  for (DWORD w = 3; w <= 7; ++w) {
    const ExpWork work = IndependentWork(e, w);
    const DWORD cost = 3 * work.squarings + 4 * work.mults;
    if (cost < bestCost) {
      best = w;
      bestCost = cost;
    }
  }
  return best;
}

// What ModExp must return: the operations of the width it must pick.
DWORD IndependentOperations(const Mpz& e) {
  const size_t bits = mpz_sgn(e.z) == 0 ? 0 : mpz_sizeinbase(e, 2);
  if (bits <= 1) return 0;
  const ExpWork work = IndependentWork(e, bits <= 32 ? 2 : IndependentWidth(e));
  return work.squarings + work.mults;
}

TEST_F(ModularOracle, ExponentiationAndItsWindowWidth) {
  for (DWORD threshold : {4u, 12u}) {
    ASSERT_TRUE(MulPlanSetThreshold(threshold));
    for (DWORD n : {1u, 2u, 3u, 5u, 6u, 8u, 9u, 13u, 17u, 32u, 47u, 64u}) {
      for (int shape = 0; shape < 4; ++shape) {
        Num m = Modulus(n, shape);
        Mpz zm(m);
        for (BOOL mont : {0, 1}) {
          ModulusRecord rec;
          ASSERT_TRUE(ModulusCreate(m.data(), n, mont, &rec));
          for (DWORD le : {0u, 1u, 2u, 5u, n}) {
            Mpz vb = Below(zm);
            Num base = Form(rec, vb), out(n);
            Num e = le ? MakeOperand(rng_, le, kShapes[rng_() % 6]) : Num{};
            if (le == 1 && rng_() % 2) e[0] = rng_() % 4;  // exponents 0..3 through the short routine
            Mpz ze(e), want;
            mpz_powm(want, vb, ze, zm);
            const DWORD ops = ModExp(base.data(), e.data(), le, out.data(), &rec);
            EXPECT_EQ(out, Form(rec, want)) << "n " << n << " form " << mont << " e " << ze.Hex();
            EXPECT_EQ(ops, IndependentOperations(ze)) << "operations for e " << ze.Hex();
            if (mpz_sizeinbase(ze, 2) > 32) {
              EXPECT_EQ(ModExpWindowWidth(e.data(), le), IndependentWidth(ze));
            }
          }
        }
      }
    }
  }
  // Exponent 0 gives the working-form one, exponent 1 a copy of the base.
  ModulusRecord rec;
  const Num m = Modulus(5, 0);
  ASSERT_TRUE(ModulusCreate(m.data(), 5, 1, &rec));
  Num base = Form(rec, Below(Mpz(m))), out(5);
  const Digit zero = 0, one = 1;
  EXPECT_EQ(ModExp(base.data(), &zero, 1, out.data(), &rec), 0u);
  EXPECT_EQ(out, Num(rec.one, rec.one + 5));
  EXPECT_EQ(ModExp(base.data(), &one, 1, out.data(), &rec), 0u);
  EXPECT_EQ(out, base);
  // Widths of 160-bit exponents and the operations of ModExp against the
  // independent count, ties included; one-digit exponents of every length.
  for (int i = 0; i < 200; ++i) {
    Num e = MakeOperand(rng_, 5, i % 2 ? Shape::kRandom : kShapes[rng_() % 6]);
    EXPECT_EQ(ModExpWindowWidth(e.data(), 5), IndependentWidth(Mpz(e))) << Hex(e);
    EXPECT_EQ(ModExp(base.data(), e.data(), 5, out.data(), &rec), IndependentOperations(Mpz(e))) << Hex(e);
    const Digit d = static_cast<Digit>(rng_()) >> (i % 32);
    EXPECT_EQ(ModExp(base.data(), &d, 1, out.data(), &rec), IndependentOperations(Mpz(Num{d}))) << d;
  }
  ExpectNoError();
}

TEST_F(ModularOracle, InverseAndJacobiSymbol) {
  for (DWORD n = 1; n <= 64; ++n) {
    for (int shape = 0; shape < 4; ++shape) {
      Num m = Modulus(n, shape);
      Mpz zm(m);
      for (BOOL mont : {0, 1}) {
        ModulusRecord rec;
        ASSERT_TRUE(ModulusCreate(m.data(), n, mont, &rec));
        for (int round = 0; round < 3; ++round) {
          Mpz va = Below(zm);
          if (round == 0) mpz_set_ui(va, 0);
          if (round == 2) {
            // A residue sharing a factor with m, when m has a small one.
            Mpz g;
            mpz_gcd_ui(g, zm, 3 * 5 * 7 * 11 * 13);
            if (mpz_cmp_ui(g.z, 1) != 0) {
              mpz_mul(va, va, g);
              mpz_mod(va, va, zm);
            }
          }
          Num a = Form(rec, va), inv(n), gcd(n);
          int symbol = ModInverseJacobi(a.data(), &rec, inv.data(), gcd.data());
          Mpz wantGcd, wantInv;
          mpz_gcd(wantGcd, va, zm);
          EXPECT_EQ(mpz_cmp(Mpz(gcd), wantGcd), 0);
          if (mpz_cmp_ui(wantGcd.z, 1) == 0) {
            EXPECT_EQ(symbol, mpz_jacobi(va, zm)) << "n " << n;
            ASSERT_TRUE(mpz_invert(wantInv, va, zm) || mpz_cmp_ui(zm.z, 1) == 0);
            EXPECT_EQ(inv, Form(rec, wantInv)) << "n " << n << " form " << mont;
          } else {
            EXPECT_EQ(symbol, 0);
            EXPECT_EQ(std::count(inv.begin(), inv.end(), 0u), static_cast<long>(n));
          }
        }
      }
    }
  }
  ExpectNoError();
}

TEST_F(ModularOracle, SquareRootsModuloPrimesOfEachClass) {
  int classes[8] = {};
  for (DWORD n : {1u, 2u, 3u, 5u, 8u, 12u, 17u}) {
    for (int attempt = 0; attempt < 16; ++attempt) {
      Mpz p;
      mpz_urandomb(p, GmpRandom(), 32 * n);
      mpz_setbit(p, 32 * n - 1);
      mpz_nextprime(p, p);
      if (mpz_sizeinbase(p, 2) > 32 * n) continue;
      const unsigned cls = mpz_fdiv_ui(p, 8);
      Num pd = ToDigits(p, n);
      for (BOOL mont : {0, 1}) {
        ModulusRecord rec;
        ASSERT_TRUE(ModulusCreate(pd.data(), n, mont, &rec));
        Mpz x = Below(p), sq;
        mpz_mul(sq, x, x);
        mpz_mod(sq, sq, p);
        Num a = Form(rec, sq), root(n), back(n);
        ASSERT_TRUE(ModSqrt(a.data(), root.data(), &rec)) << p.Hex();
        ASSERT_TRUE(ModMul(root.data(), root.data(), back.data(), &rec, nullptr));
        EXPECT_EQ(back, a) << "root squares back modulo " << p.Hex();
        // A non-residue: the square times one.
        Mpz non;
        do {
          mpz_set(non, Below(p));
        } while (mpz_jacobi(non, p) != -1);
        Num b = Form(rec, non);
        EXPECT_FALSE(ModSqrt(b.data(), root.data(), &rec));
        EXPECT_EQ(std::count(root.begin(), root.end(), 0u), static_cast<long>(n));
        Num zero(n, 0);
        EXPECT_TRUE(ModSqrt(zero.data(), root.data(), &rec));
        EXPECT_EQ(root, zero);
      }
      ++classes[cls];
    }
  }
  for (unsigned c : {1u, 3u, 5u, 7u}) EXPECT_GT(classes[c], 5) << "primes = " << c << " mod 8";
  ExpectNoError();
}

}  // namespace
}  // namespace bntest
