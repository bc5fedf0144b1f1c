// Curve arithmetic on the channel's curve: known answers computed
// independently of this code, the group law's special cases, failures, and
// the heap discipline. Portable: also runs in the i686 build under Wine.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "crypto/bignum/bigalloc.h"
#include "crypto/bignum/bigerror.h"
#include "crypto/bignum/bignum.h"
#include "crypto/ec/batch_queue.h"
#include "crypto/ec/scalar_recoding.h"
#include "platform/localheap.h"
#include "tests/crypto/ec_test_support.h"

namespace {

using ectest::HexPoint;
using ectest::MakeCurve;
using ectest::TestCurve;

const HexPoint kG = {ectest::kChannelGx, ectest::kChannelGy};
const HexPoint kInf = {"inf", "inf"};
const HexPoint k8G = {"542a4f58d4aad0e190cd4722d09c8572291df4ab", "60fc0702d3050b8ef21d9fb46af5f21c67bec463"};
const HexPoint k24G = {"7e3638871774c087cea77cdd2e7887952fd1ec88", "220acb1215ea996f92d7c95f8fad8f146e02cf55"};
const HexPoint kNMinus1G = {"8723947fd6a3a1e53510c07dba38daf0109fa120", "4554895df0adf3399adbcfc15c53de58709a9188"};
const char* const kNMinus1 = "89abcdef012345672716b26eec14904428c2a674";
const char* const kNPlus1 = "89abcdef012345672716b26eec14904428c2a676";

// A small curve with the point (5, 0) of order two: y^2 = x^3 + x + 130941
// over the prime 2^17 - 1.
const char* const kSmallP = "1ffff";
const char* const kTwoTorsionB = "1ff7d";
const HexPoint kTwoTorsion = {"5", "0"};

class ChannelCurve : public ::testing::Test {
 protected:
  void SetUp() override {
    BigErrorResetForTests();
    c_ = MakeCurve(ectest::kChannelP, ectest::kChannelA, ectest::kChannelB);
    ASSERT_NE(c_, nullptr);
    n_ = c_->n;
    liveAtStart_ = BigLiveBlocks();
  }
  void TearDown() override { EXPECT_EQ(BigLiveBlocks(), liveAtStart_); }

  std::vector<Digit> Jacobian(const HexPoint& P) {
    std::vector<Digit> affine = c_->Point(P), J(5 * n_), s(12 * n_);
    EXPECT_TRUE(EcToJacobian(affine.data(), J.data(), &c_->curve, s.data()));
    return J;
  }
  HexPoint Affine(const std::vector<Digit>& J) {
    std::vector<Digit> out(2 * n_), s(12 * n_);
    EXPECT_TRUE(EcToAffine(J.data(), out.data(), &c_->curve, s.data()));
    return c_->Hex2(out.data());
  }
  HexPoint AddSub(const HexPoint& P, const HexPoint& Q, int sign) {
    std::vector<Digit> p = c_->Point(P), q = c_->Point(Q), out(2 * n_);
    EXPECT_TRUE(EcAddSub(p.data(), q.data(), out.data(), sign, &c_->curve));
    return c_->Hex2(out.data());
  }

  std::unique_ptr<TestCurve> c_;
  DWORD n_ = 0;
  LONG liveAtStart_ = 0;
};

TEST_F(ChannelCurve, FixedBaseKnownAnswersForEveryWindow) {
  struct Case {
    const char* k;
    HexPoint expected;
  } cases[] = {
      {"0", kInf}, {"1", kG}, {"8", k8G}, {"18", k24G}, {kNMinus1, kNMinus1G}, {ectest::kChannelN, kInf}, {kNPlus1, kG},
  };
  struct Shape {
    DWORD w, t;
  } shapes[] = {{3, ectest::WindowsFor(160, 3)},
                {4, 60},
                {5, ectest::WindowsFor(160, 5)},
                {6, ectest::WindowsFor(160, 6)},
                {7, ectest::WindowsFor(160, 7)}};
  for (const Shape& s : shapes) {
    for (const Case& c : cases) {
      HexPoint got;
      ASSERT_TRUE(c_->Mul(kG, c.k, s.w, s.t, &got)) << "w=" << s.w << " k=" << c.k;
      EXPECT_EQ(got, c.expected) << "w=" << s.w << " k=" << c.k;
    }
  }
}

TEST_F(ChannelCurve, AffineGroupLawSpecialCases) {
  const HexPoint minusG = {kG.x, kNMinus1G.y};
  const HexPoint twoG = AddSub(kG, kG, 1);
  const HexPoint fourG = AddSub(twoG, twoG, 1);
  EXPECT_EQ(AddSub(fourG, fourG, 1), k8G);                // doubling through the tangent
  EXPECT_EQ(AddSub(k8G, AddSub(k8G, k8G, 1), 1), k24G);   // distinct points
  EXPECT_EQ(AddSub(k24G, AddSub(k8G, k8G, 1), -1), k8G);  // subtraction
  EXPECT_EQ(AddSub(kG, kG, -1), kInf);                    // P - P
  EXPECT_EQ(AddSub(kG, minusG, 1), kInf);                 // P + (-P)
  EXPECT_EQ(AddSub(kInf, kG, 1), kG);
  EXPECT_EQ(AddSub(kInf, kG, -1), minusG);
  EXPECT_EQ(AddSub(kG, kInf, -1), kG);
  EXPECT_EQ(AddSub(kInf, kInf, 1), kInf);

  std::vector<Digit> g = c_->Point(kG), out(2 * n_);
  ASSERT_TRUE(EcNegate(g.data(), out.data(), &c_->curve));
  EXPECT_EQ(c_->Hex2(out.data()), minusG);
  // Outputs may be inputs.
  ASSERT_TRUE(EcAddSub(g.data(), g.data(), g.data(), 1, &c_->curve));
  EXPECT_EQ(c_->Hex2(g.data()), twoG);
  std::vector<Digit> inf = c_->Point(kInf);
  ASSERT_TRUE(EcNegate(inf.data(), inf.data(), &c_->curve));
  EXPECT_EQ(c_->Hex2(inf.data()), kInf);
}

TEST_F(ChannelCurve, InfinityIsTheModulusTwiceAndOnTheCurve) {
  std::vector<Digit> inf(2 * n_), p = ectest::DigitsFromHex(ectest::kChannelP, n_);
  ASSERT_TRUE(EcSetInfinity(inf.data(), &c_->curve));
  EXPECT_EQ(std::vector<Digit>(inf.begin(), inf.begin() + n_), p);
  EXPECT_EQ(std::vector<Digit>(inf.begin() + n_, inf.end()), p);
  EXPECT_TRUE(EcIsInfinity(inf.data(), &c_->curve));
  EXPECT_TRUE(EcOnCurve(inf.data(), &c_->curve));

  std::vector<Digit> g = c_->Point(kG);
  EXPECT_TRUE(EcOnCurve(g.data(), &c_->curve));
  EXPECT_FALSE(EcIsInfinity(g.data(), &c_->curve));
  std::vector<Digit> off = c_->Point({kG.x, k8G.y});
  EXPECT_FALSE(EcOnCurve(off.data(), &c_->curve));
  // Only x = p signals infinity together with y = p; a coordinate that is not
  // reduced is no point at all.
  std::vector<Digit> half(g);
  std::copy(p.begin(), p.end(), half.begin());
  EXPECT_FALSE(EcIsInfinity(half.data(), &c_->curve));
  EXPECT_FALSE(EcOnCurve(half.data(), &c_->curve));
}

TEST_F(ChannelCurve, JacobianOperations) {
  std::vector<Digit> s(12 * n_);
  std::vector<Digit> J = Jacobian(kG);
  for (int i = 0; i < 3; i++) ASSERT_TRUE(EcJacobianDouble(J.data(), J.data(), &c_->curve, s.data()));
  EXPECT_EQ(Affine(J), k8G);  // Z is no longer one here
  std::vector<Digit> J8(5 * n_), J24(5 * n_);
  ASSERT_TRUE(EcJacobianDoubleRepeat(Jacobian(kG).data(), 3, J8.data(), &c_->curve, s.data()));
  EXPECT_EQ(Affine(J8), k8G);
  ASSERT_TRUE(EcJacobianDoubleRepeat(J8.data(), 0, J24.data(), &c_->curve, s.data()));
  EXPECT_EQ(Affine(J24), k8G);

  std::vector<Digit> J16(J), sum(5 * n_);
  ASSERT_TRUE(EcJacobianDouble(J16.data(), J16.data(), &c_->curve, s.data()));
  ASSERT_TRUE(EcJacobianAdd(J.data(), J16.data(), sum.data(), &c_->curve, s.data()));
  EXPECT_EQ(Affine(sum), k24G);
  // The same point with other Z values: the addition doubles.
  std::vector<Digit> eight = c_->Point(k8G);
  ASSERT_TRUE(EcJacobianAddAffine(J.data(), eight.data(), sum.data(), &c_->curve, s.data()));
  ASSERT_TRUE(EcJacobianAdd(sum.data(), J.data(), sum.data(), &c_->curve, s.data()));
  EXPECT_EQ(Affine(sum), k24G);
  // P + (-P), and infinity on either side.
  std::vector<Digit> minus8 = c_->Point(k8G);
  ASSERT_TRUE(EcNegate(minus8.data(), minus8.data(), &c_->curve));
  ASSERT_TRUE(EcJacobianAddAffine(J.data(), minus8.data(), sum.data(), &c_->curve, s.data()));
  EXPECT_EQ(Affine(sum), kInf);
  ASSERT_TRUE(EcJacobianAdd(sum.data(), J.data(), sum.data(), &c_->curve, s.data()));
  EXPECT_EQ(Affine(sum), k8G);
  std::vector<Digit> inf = Jacobian(kInf);
  EXPECT_TRUE(EcJacobianIsInfinity(inf.data(), &c_->curve));
  ASSERT_TRUE(EcJacobianDouble(inf.data(), inf.data(), &c_->curve, s.data()));
  EXPECT_EQ(Affine(inf), kInf);
  ASSERT_TRUE(EcJacobianAddAffine(inf.data(), eight.data(), sum.data(), &c_->curve, s.data()));
  EXPECT_EQ(Affine(sum), k8G);
}

TEST_F(ChannelCurve, FieldOperations) {
  const FieldDesc* f = &c_->field;
  std::vector<Digit> one(n_), minus(n_), t(n_), zero(n_, 0);
  ASSERT_TRUE(FieldFromInt(1, one.data(), f));
  EXPECT_EQ(one, std::vector<Digit>(f->rgOne, f->rgOne + n_));
  ASSERT_TRUE(FieldFromInt(-1, minus.data(), f));
  ASSERT_TRUE(FieldAdd(one.data(), minus.data(), t.data(), f));
  EXPECT_TRUE(FieldIsZero(t.data(), f));
  EXPECT_EQ(c_->Hex(minus.data()), "89abcdef012345672718281831415926141424f6");

  // sqrt(Gy^2) is +-Gy; a non-square (here -1, since p = 3 mod 4) has none.
  std::vector<Digit> gy = c_->Element(kG.y), sq(n_), root(n_);
  ASSERT_TRUE(FieldMul(gy.data(), gy.data(), sq.data(), f));
  ASSERT_TRUE(FieldSqrt(sq.data(), root.data(), f));
  EXPECT_TRUE(c_->Hex(root.data()) == kG.y || c_->Hex(root.data()) == kNMinus1G.y);
  EXPECT_FALSE(FieldSqrt(minus.data(), root.data(), f));

  // Division, and no inverse of zero.
  std::vector<Digit> gx = c_->Element(kG.x), q(n_);
  ASSERT_TRUE(FieldDivide(sq.data(), gy.data(), q.data(), f));
  EXPECT_EQ(q, gy);
  ASSERT_TRUE(FieldMulAdd(gx.data(), one.data(), gx.data(), q.data(), f));  // 2 Gx
  ASSERT_TRUE(FieldSub(q.data(), gx.data(), q.data(), f));
  EXPECT_TRUE(FieldEqual(q.data(), gx.data(), f));
  EXPECT_FALSE(FieldInverse(zero.data(), t.data(), f));
  EXPECT_FALSE(FieldDivide(one.data(), zero.data(), t.data(), f));

  // In place: out may be the input for every operation.
  std::vector<Digit> v(gy);
  ASSERT_TRUE(FieldInverse(v.data(), v.data(), f));
  ASSERT_TRUE(FieldMul(v.data(), gy.data(), v.data(), f));
  EXPECT_EQ(v, one);
  v = sq;
  ASSERT_TRUE(FieldSqrt(v.data(), v.data(), f));
  EXPECT_EQ(v, root);
  v = sq;
  ASSERT_TRUE(FieldDivide(v.data(), gy.data(), v.data(), f));
  EXPECT_EQ(v, gy);
}

TEST_F(ChannelCurve, RefusedArguments) {
  std::vector<Digit> g = c_->Point(kG), table(EcFixedBaseTableDigits(60, n_)), out(2 * n_);
  std::vector<Digit> off = c_->Point({kG.x, k8G.y});
  EXPECT_FALSE(EcFixedBaseTable(off.data(), 4, 60, table.data(), &c_->curve));
  EXPECT_FALSE(EcFixedBaseTable(g.data(), 2, 60, table.data(), &c_->curve));
  EXPECT_FALSE(EcFixedBaseTable(g.data(), 8, 60, table.data(), &c_->curve));
  ASSERT_TRUE(EcFixedBaseTable(g.data(), 4, 60, table.data(), &c_->curve));
  const Digit k[1] = {5};
  EXPECT_FALSE(EcFixedBaseMul(table.data(), 2, 60, k, 1, out.data(), &c_->curve));
  EXPECT_FALSE(EcFixedBaseMul(table.data(), 8, 60, k, 1, out.data(), &c_->curve));
}

TEST(CurveSetUp, SingularCurvesAreRefused) {
  BigErrorResetForTests();
  EXPECT_EQ(MakeCurve(ectest::kChannelP, "0", "0"), nullptr);
  // x^3 - 3x + 2 = (x - 1)^2 (x + 2)
  EXPECT_EQ(MakeCurve(ectest::kChannelP, "89abcdef012345672718281831415926141424f4", "2"), nullptr);
  EXPECT_NE(MakeCurve(ectest::kChannelP, "0", "7"), nullptr);
}

TEST(CurveSetUp, PointOfOrderTwoDoublesToInfinity) {
  BigErrorResetForTests();
  auto c = MakeCurve(kSmallP, "1", kTwoTorsionB);
  ASSERT_NE(c, nullptr);
  std::vector<Digit> P = c->Point(kTwoTorsion), out(2), J(5), s(12);
  ASSERT_TRUE(EcOnCurve(P.data(), &c->curve));
  ASSERT_TRUE(EcAddSub(P.data(), P.data(), out.data(), 1, &c->curve));
  EXPECT_EQ(c->Hex2(out.data()), kInf);
  ASSERT_TRUE(EcToJacobian(P.data(), J.data(), &c->curve, s.data()));
  ASSERT_TRUE(EcJacobianDouble(J.data(), J.data(), &c->curve, s.data()));
  EXPECT_TRUE(EcJacobianIsInfinity(J.data(), &c->curve));
  // The table's later points are all infinity; odd multiples are P itself,
  // and bucket sums of P with P meet as doublings to infinity.
  for (DWORD w = 3; w <= 7; w++) {
    for (const char* k : {"0", "1", "2", "3", "8", "11", "ff", "100", "ffff"}) {
      HexPoint got;
      ASSERT_TRUE(c->Mul(kTwoTorsion, k, w, 4, &got)) << "w=" << w << " k=" << k;
      const bool odd = (std::stoul(k, nullptr, 16) & 1) != 0;
      EXPECT_EQ(got, odd ? kTwoTorsion : kInf) << "w=" << w << " k=" << k;
    }
  }
}

// A coordinate equal to p is 0 mod p, so a point on the curve with x = 0 or
// y = 0 still satisfies the equation with that coordinate written as p; only
// the two together mean infinity, and one alone is no point.
TEST(CurveSetUp, CoordinateEqualToThePrimeIsNoPoint) {
  BigErrorResetForTests();
  struct Case {
    const char* b;
    HexPoint P;        // on the curve y^2 = x^3 + x + b over 2^17 - 1
    DWORD coordinate;  // 0 for x, 1 for y: written as p
  } cases[] = {{"4", {"0", "2"}, 0}, {kTwoTorsionB, kTwoTorsion, 1}};
  for (const Case& c : cases) {
    auto curve = MakeCurve(kSmallP, "1", c.b);
    ASSERT_NE(curve, nullptr);
    std::vector<Digit> P = curve->Point(c.P);
    ASSERT_TRUE(EcOnCurve(P.data(), &curve->curve)) << c.b;
    P[c.coordinate] = 0x1ffff;
    EXPECT_FALSE(EcIsInfinity(P.data(), &curve->curve)) << c.b;
    EXPECT_FALSE(EcOnCurve(P.data(), &curve->curve)) << c.b;
  }
}

// Plain residues: the field inverts with the extended gcd instead of the
// Montgomery-form inverse, and everything above it gives the same answers.
TEST(CurveSetUp, PlainFormFieldGivesTheSameAnswers) {
  BigErrorResetForTests();
  auto c = MakeCurve(ectest::kChannelP, ectest::kChannelA, ectest::kChannelB, 0);
  ASSERT_NE(c, nullptr);
  ASSERT_FALSE(c->modulus.fMontgomery);
  const LONG live = BigLiveBlocks();
  for (DWORD w : {3u, 4u}) {
    for (const auto& [k, expected] : {std::pair{"8", k8G}, std::pair{"18", k24G}, std::pair{kNMinus1, kNMinus1G}}) {
      HexPoint got;
      ASSERT_TRUE(c->Mul(kG, k, w, ectest::WindowsFor(160, w), &got)) << "w=" << w << " k=" << k;
      EXPECT_EQ(got, expected) << "w=" << w << " k=" << k;
    }
  }
  std::vector<Digit> g = c->Point(kG), eight = c->Point(k8G), out(2 * c->n), zero(c->n, 0), inv(c->n);
  ASSERT_TRUE(EcAddSub(eight.data(), g.data(), out.data(), -1, &c->curve));  // one field division
  ASSERT_TRUE(EcAddSub(out.data(), g.data(), out.data(), 1, &c->curve));
  EXPECT_EQ(c->Hex2(out.data()), k8G);
  EXPECT_FALSE(FieldInverse(zero.data(), inv.data(), &c->field));
  EXPECT_EQ(BigLiveBlocks(), live);
  BigErrorResetForTests();  // the zero input leaves its code, which later calls honour

  // Over a composite modulus a non-zero element can share a factor with it:
  // the gcd is checked, not only the call's success.
  ModulusRecord rec;
  FieldDesc f;
  const Digit m = 3 * 0x1ffff;
  ASSERT_TRUE(ModulusCreate(&m, 1, 0, &rec));
  ASSERT_TRUE(FieldInitPrime(&rec, nullptr, &f));
  const Digit three = 3, two = 2;
  Digit x = 0;
  EXPECT_FALSE(FieldInverse(&three, &x, &f));
  BigErrorResetForTests();
  ASSERT_TRUE(FieldInverse(&two, &x, &f));
  EXPECT_EQ(2 * x % m, 1u);
  EXPECT_EQ(BigLiveBlocks(), live);
  BigErrorResetForTests();
}

// The recoding's digits add up to the scalar, lie in their ranges and sit at
// the window starts: w bits apart below the narrowing bit, one bit apart
// from it on.
TEST(ScalarRecoding, DigitsAddUpToTheScalar) {
  struct Step {
    DWORD pos;
    LONG d;
  };
  auto Recode = [](const std::vector<Digit>& k, DWORD w, DWORD narrowFrom, std::vector<Step>* steps) {
    EcScalarRecoder r;
    EcRecoderInit(&r, k.data(), static_cast<DWORD>(k.size()), w, narrowFrom);
    for (;;) {
      Step s{};
      const EcRecodeStep step = EcRecoderNext(&r, &s.d, &s.pos);
      if (step != kRecodeDigit) return step;
      steps->push_back(s);
    }
  };
  // Worked by hand: 8 is one digit +8, 24 is -8 then +2, and 255 with one
  // 3-bit window, then single bits: -1 at bit 0, zeros, +1 at bit 8.
  struct Known {
    Digit k;
    DWORD w, narrowFrom;
    std::vector<LONG> digits;
  } known[] = {{8, 4, 240, {8}}, {24, 4, 240, {-8, 2}}, {255, 3, 240, {-1, 0, 4}}, {255, 3, 3, {-1, 0, 0, 0, 0, 0, 1}}};
  for (const Known& c : known) {
    std::vector<Step> steps;
    ASSERT_EQ(Recode({c.k}, c.w, c.narrowFrom, &steps), kRecodeDone);
    std::vector<LONG> digits;
    for (const Step& s : steps) digits.push_back(s.d);
    EXPECT_EQ(digits, c.digits) << c.k << " w=" << c.w;
  }
  // Many scalars of up to 256 bits, every width, narrowing anywhere.
  Digit seed = 12345;
  for (int i = 0; i < 400; i++) {
    std::vector<Digit> k(1 + i % 8);
    for (Digit& d : k) d = seed = seed * 1664525u + 1013904223u;
    if (i % 5 == 0) k.back() = 0xffffffffu;
    const DWORD w = 3 + i % 5, narrowFrom = w * (i % 40);
    std::vector<Step> steps;
    ASSERT_EQ(Recode(k, w, narrowFrom, &steps), kRecodeDone);
    // Sum of d * 2^pos, digit by digit with signed carries.
    std::vector<int64_t> acc(k.size() + 2, 0);
    DWORD expect = 0;
    for (const Step& s : steps) {
      ASSERT_EQ(s.pos, expect);
      const LONG bound = s.pos < narrowFrom ? (1 << (w - 1)) : 1;
      ASSERT_LE(s.d < 0 ? -s.d : s.d, bound) << "pos " << s.pos;
      expect += s.pos < narrowFrom ? w : 1;
      const int64_t v = static_cast<int64_t>(s.d) * (int64_t{1} << (s.pos % 32));
      ASSERT_LT(s.pos / 32 + 1, acc.size());
      acc[s.pos / 32] += v;
    }
    for (size_t j = 0; j + 1 < acc.size(); j++) {
      const int64_t low = acc[j] & 0xffffffff;
      acc[j + 1] += (acc[j] - low) / (int64_t{1} << 32);
      EXPECT_EQ(low, j < k.size() ? k[j] : 0) << "scalar " << i << " digit " << j;
    }
    EXPECT_EQ(acc.back(), 0) << "scalar " << i;
  }
}

// A carry that is negative (which no correct step hands up) stops the
// recoding as inconsistent instead of yielding digits.
TEST(ScalarRecoding, NegativeCarryIsInconsistent) {
  const Digit k = 0;
  for (DWORD w = 3; w <= 7; w++) {
    EcScalarRecoder r;
    EcRecoderInit(&r, &k, 1, w, 240);
    r.lCarry = -(1L << (w + 1));
    LONG d = 0;
    DWORD pos = 0;
    EXPECT_EQ(EcRecoderNext(&r, &d, &pos), kRecodeInconsistent) << "w=" << w;
  }
}

// Points whose order r is 2^4 - 1 or 2^4 + 1 make every table point +-P for
// w = 4, so queued bucket sums keep meeting P itself and -P. The expected
// multiples come from the affine group law, which the native suite checks
// against OpenSSL.
TEST(CurveSetUp, TinyOrderPointsAgreeWithTheAffineGroupLaw) {
  BigErrorResetForTests();
  struct Case {
    const char *a, *b;
    HexPoint P;
    Digit r;
  } cases[] = {{"2517", "1a47f", {"b0e0", "17b33"}, 15}, {"14b55", "127e9", {"1feb0", "1de4b"}, 17}};
  for (const Case& c : cases) {
    auto curve = MakeCurve(kSmallP, c.a, c.b);
    ASSERT_NE(curve, nullptr);
    std::vector<HexPoint> multiples = {kInf};
    std::vector<Digit> P = curve->Point(c.P), acc = curve->Point(kInf);
    for (Digit i = 1; i <= c.r; i++) {
      ASSERT_TRUE(EcAddSub(acc.data(), P.data(), acc.data(), 1, &curve->curve));
      multiples.push_back(curve->Hex2(acc.data()));
    }
    ASSERT_EQ(multiples[c.r], kInf);
    for (DWORD w = 3; w <= 7; w++) {
      for (DWORD t : {2u, 20u}) {
        const std::vector<Digit> table = curve->Table(c.P, w, t);
        for (const char* k :
             {"5", "f", "11", "1e", "ff", "fff0", "123456789abcdef", "ffffffffffffffffffffffffffffffff"}) {
          const DWORD len = static_cast<DWORD>(strlen(k) / 8 + 1);
          std::vector<Digit> kd = ectest::DigitsFromHex(k, len);
          const Digit rem = BigDivRemDigit(kd.data(), len, c.r, nullptr, nullptr);
          HexPoint got;
          ASSERT_TRUE(curve->MulTable(table, k, w, t, &got)) << "r=" << c.r << " w=" << w << " k=" << k;
          EXPECT_EQ(got, multiples[rem]) << "r=" << c.r << " w=" << w << " t=" << t << " k=" << k;
        }
      }
    }
  }
}

// The closing checks of a multiplication: nothing queued or pending, the
// queue sound, and nothing left in the buckets from 5 up.
TEST_F(ChannelCurve, ClosingChecksRefuseAnUnsettledQueue) {
  auto q = std::make_unique<EcBatchQueue>();
  std::vector<Digit> g = c_->Point(kG), eight = c_->Point(k8G);
  auto fresh = [&] {
    EXPECT_TRUE(EcBatchInit(q.get(), &c_->curve, 8));
    return q.get();
  };
  EXPECT_TRUE(EcBatchSettled(fresh()));
  ASSERT_TRUE(EcBatchAddPoint(fresh(), 4, g.data(), 1));
  EXPECT_TRUE(EcBatchSettled(q.get()));  // buckets 1..4 may keep their points
  ASSERT_TRUE(EcBatchAddPoint(fresh(), 5, g.data(), 1));
  EXPECT_FALSE(EcBatchSettled(q.get()));
  ASSERT_TRUE(EcBatchAddPoint(fresh(), 8, g.data(), -1));
  EXPECT_FALSE(EcBatchSettled(q.get()));
  // A queued sum leaves its bucket empty but pending.
  ASSERT_TRUE(EcBatchAddPoint(fresh(), 2, g.data(), 1) && EcBatchAddPoint(q.get(), 2, eight.data(), 1));
  EXPECT_EQ(q->cOps, 1u);
  EXPECT_FALSE(EcBatchSettled(q.get()));
  q->cOps = 0;  // the operation forgotten, its bucket still counted
  EXPECT_FALSE(EcBatchSettled(q.get()));
  ASSERT_TRUE(EcBatchAddPoint(fresh(), 2, g.data(), 1) && EcBatchAddPoint(q.get(), 2, eight.data(), 1));
  ASSERT_TRUE(EcBatchFlush(q.get()));
  EXPECT_TRUE(EcBatchSettled(q.get()));
  q->fOk = 0;
  EXPECT_FALSE(EcBatchSettled(q.get()));
}

#ifndef _WIN32
// The queue holds 20 operations. Windows with digits 1, 2, 3 over and over
// send 15, 15 and 14 points into three buckets, whose pairs make 21 sums:
// the queue fills and flushes once, at the 21st; then the flushes that
// drain it (its 20 results pair off again, and so on) make four more
// inversions in all, and the final conversion a fifth. A queue of 19 would
// flush one time more. Inversions are the only heap users here, so they are
// counted in heap blocks (found by failing the heap after a given number),
// in units of what one inversion takes.
TEST_F(ChannelCurve, QueueHoldsTwentyOperations) {
  constexpr DWORD kWindows = 44, kW = 3;
  std::vector<Digit> k(5, 0);
  for (DWORD j = 0; j < kWindows; j++) {
    const Digit d = j % 3 + 1;
    const DWORD bit = kW * j;
    k[bit / 32] |= d << (bit % 32);
    if (bit % 32 > 32 - kW) k[bit / 32 + 1] |= d >> (32 - bit % 32);
  }
  const std::vector<Digit> table = c_->Table(kG, kW, kWindows + 1);
  std::vector<Digit> out(2 * n_), reference(2 * n_);
  const std::vector<Digit> table4 = c_->Table(kG, 4, 60);
  ASSERT_TRUE(EcFixedBaseMul(table4.data(), 4, 60, k.data(), 5, reference.data(), &c_->curve));
  auto BlocksTaken = [](const std::function<BOOL()>& op) {
    for (int after = 0; after < 64; after++) {
      BigErrorResetForTests();
      TfLocalHeapFailAfter(after);
      const BOOL ok = op();
      TfLocalHeapFailAfter(-1);
      if (ok) return after;
    }
    return -1;
  };
  std::vector<Digit> inv(n_);
  const int perInversion = BlocksTaken([&] { return FieldInverse(table.data(), inv.data(), &c_->field); });
  ASSERT_GT(perInversion, 0);
  const int blocks =
      BlocksTaken([&] { return EcFixedBaseMul(table.data(), kW, kWindows + 1, k.data(), 5, out.data(), &c_->curve); });
  BigErrorResetForTests();
  EXPECT_EQ(blocks, 5 * perInversion);
  EXPECT_EQ(out, reference);
}

// Every heap block comes back, whichever allocation fails; a failed operation
// reports 0, a successful one the right answer.
TEST_F(ChannelCurve, HeapFailuresAreReportedAndLeakNothing) {
  std::vector<Digit> g = c_->Point(kG), table(EcFixedBaseTableDigits(60, n_)), out(2 * n_);
  ASSERT_TRUE(EcFixedBaseTable(g.data(), 4, 60, table.data(), &c_->curve));
  const std::vector<Digit> goodTable = table;
  const std::vector<Digit> k = ectest::DigitsFromHex(kNMinus1, n_);
  bool sawTableSuccess = false, sawMulSuccess = false;
  for (int after = 0; after < 64 && !(sawTableSuccess && sawMulSuccess); after++) {
    BigErrorResetForTests();
    TfLocalHeapFailAfter(after);
    const BOOL tableOk = EcFixedBaseTable(g.data(), 4, 60, table.data(), &c_->curve);
    TfLocalHeapFailAfter(-1);
    EXPECT_EQ(BigLiveBlocks(), liveAtStart_) << "table, failing after " << after;
    if (tableOk) {
      EXPECT_EQ(table, goodTable);
      sawTableSuccess = true;
    }
    BigErrorResetForTests();
    TfLocalHeapFailAfter(after);
    const BOOL mulOk = EcFixedBaseMul(goodTable.data(), 4, 60, k.data(), n_, out.data(), &c_->curve);
    TfLocalHeapFailAfter(-1);
    EXPECT_EQ(BigLiveBlocks(), liveAtStart_) << "mul, failing after " << after;
    if (mulOk) {
      EXPECT_EQ(c_->Hex2(out.data()), kNMinus1G);
      sawMulSuccess = true;
    }
  }
  EXPECT_TRUE(sawTableSuccess);
  EXPECT_TRUE(sawMulSuccess);
  BigErrorResetForTests();
}

// A failure left in the error word by earlier work does not make a later
// table fail.
TEST_F(ChannelCurve, StaleAllocationCodeDoesNotFailTheTable) {
  std::vector<Digit> g = c_->Point(kG), table(EcFixedBaseTableDigits(60, n_));
  BigErrorSet(kBigErrAlloc);
  EXPECT_TRUE(EcFixedBaseTable(g.data(), 4, 60, table.data(), &c_->curve));
  BigErrorResetForTests();
}
#endif

}  // namespace
