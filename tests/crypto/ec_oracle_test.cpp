// Fixed-base multiplication and the group operations against OpenSSL's
// libcrypto on the channel's curve, on a standard curve of another size, and
// on small curves whose points of tiny order make bucket sums meet their own
// negatives and themselves.
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/obj_mac.h>
#include <openssl/rand.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "crypto/bignum/bigalloc.h"
#include "crypto/bignum/bigerror.h"
#include "tests/crypto/ec_test_support.h"
#include "tests/crypto/openssl_hex.h"

namespace {

using ectest::OpenSslBn;
using ectest::OpenSslHex;

using ectest::HexPoint;

// One curve on both sides: OpenSSL's group built from the same p, a and b,
// and ours.
struct Oracle {
  BN_CTX* ctx = BN_CTX_new();
  EC_GROUP* group = nullptr;
  std::unique_ptr<ectest::TestCurve> ours;
  std::string p;

  Oracle(const std::string& ph, const std::string& ah, const std::string& bh) : p(ph) {
    BIGNUM *bp = OpenSslBn(ph), *ba = OpenSslBn(ah), *bb = OpenSslBn(bh);
    group = EC_GROUP_new_curve_GFp(bp, ba, bb, ctx);
    BN_free(bp);
    BN_free(ba);
    BN_free(bb);
    ours = ectest::MakeCurve(ph, ah, bh);
  }
  ~Oracle() {
    EC_GROUP_free(group);
    BN_CTX_free(ctx);
  }

  HexPoint Hex(const EC_POINT* P) const {
    if (EC_POINT_is_at_infinity(group, P)) return {"inf", "inf"};
    BIGNUM *x = BN_new(), *y = BN_new();
    EC_POINT_get_affine_coordinates(group, P, x, y, ctx);
    HexPoint h{OpenSslHex(x), OpenSslHex(y)};
    BN_free(x);
    BN_free(y);
    return h;
  }
  EC_POINT* Point(const HexPoint& P) const {
    EC_POINT* q = EC_POINT_new(group);
    if (P.x == "inf") {
      EC_POINT_set_to_infinity(group, q);
    } else {
      BIGNUM *x = OpenSslBn(P.x), *y = OpenSslBn(P.y);
      EC_POINT_set_affine_coordinates(group, q, x, y, ctx);
      BN_free(x);
      BN_free(y);
    }
    return q;
  }
  HexPoint Mul(const HexPoint& P, const std::string& k) const {
    EC_POINT *q = Point(P), *r = EC_POINT_new(group);
    BIGNUM* bk = OpenSslBn(k);
    EC_POINT_mul(group, r, nullptr, q, bk, ctx);
    HexPoint h = Hex(r);
    BN_free(bk);
    EC_POINT_free(q);
    EC_POINT_free(r);
    return h;
  }
  HexPoint Add(const HexPoint& P, const HexPoint& Q) const {
    EC_POINT *a = Point(P), *b = Point(Q), *r = EC_POINT_new(group);
    EC_POINT_add(group, r, a, b, ctx);
    HexPoint h = Hex(r);
    EC_POINT_free(a);
    EC_POINT_free(b);
    EC_POINT_free(r);
    return h;
  }
};

std::string RandomHex(int bits) {
  if (bits == 0) return "0";
  BIGNUM* b = BN_new();
  BN_rand(b, bits, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY);
  std::string h = OpenSslHex(b);
  BN_free(b);
  return h;
}

std::string Ones(int bits) {
  BIGNUM* b = BN_new();
  BN_set_bit(b, bits);
  BN_sub_word(b, 1);
  std::string h = OpenSslHex(b);
  BN_free(b);
  return h;
}

// sum(d * 2^(w*j)) over windows j = 0..count-1, all with the same digit d
// (negative digits borrowed from the window above).
std::string RepeatedDigit(DWORD w, int d, int count) {
  BIGNUM *k = BN_new(), *term = BN_new();
  BN_zero(k);
  for (int j = 0; j < count; j++) {
    BN_set_word(term, static_cast<BN_ULONG>(d < 0 ? -d : d));
    BN_lshift(term, term, static_cast<int>(w) * j);
    if (d < 0) BN_set_negative(term, 1);
    BN_add(k, k, term);
  }
  if (BN_is_negative(k)) {
    BN_set_bit(term, static_cast<int>(w) * count + 1);  // keep it positive
    BN_set_negative(term, 0);
    BN_add(k, k, term);
  }
  std::string h = OpenSslHex(k);
  BN_free(k);
  BN_free(term);
  return h;
}

// sum(d_j * 2^(w*j)) for the given digits, each in 1..2^(w-1) (so each
// window recodes to its own digit).
std::string FromDigits(DWORD w, const std::vector<int>& digits) {
  BIGNUM *k = BN_new(), *term = BN_new();
  BN_zero(k);
  for (size_t j = 0; j < digits.size(); j++) {
    BN_set_word(term, static_cast<BN_ULONG>(digits[j]));
    BN_lshift(term, term, static_cast<int>(w * j));
    BN_add(k, k, term);
  }
  std::string h = OpenSslHex(k);
  BN_free(k);
  BN_free(term);
  return h;
}

// Digits 1..top, then 1..top again and so on, count of them.
std::vector<int> Cycling(int top, int count) {
  std::vector<int> d;
  for (int j = 0; j < count; j++) d.push_back(j % top + 1);
  return d;
}

// Scalars that stress the recoding and the buckets for window width w.
std::vector<std::string> StressScalars(DWORD w, const std::string& order) {
  std::vector<std::string> ks = {"0", "1", "2", "8", "18", order};
  BIGNUM *n = OpenSslBn(order), *t = BN_new();
  BN_copy(t, n);
  BN_sub_word(t, 1);
  ks.push_back(OpenSslHex(t));
  BN_add_word(t, 2);
  ks.push_back(OpenSslHex(t));
  BN_free(n);
  BN_free(t);
  const int half = 1 << (w - 1);
  char buf[32];
  snprintf(buf, sizeof buf, "%x", half);  // digit +2^(w-1)
  ks.push_back(buf);
  snprintf(buf, sizeof buf, "%x", 3 * half);  // digits -2^(w-1), +1
  ks.push_back(buf);
  for (int bits : {static_cast<int>(w), static_cast<int>(w) + 1, 31, 32, 64, 159, 160, 161, 200})
    ks.push_back(Ones(bits));                                                             // carry chains
  for (int d : {1, -1, 3, half, -half, half - 1}) ks.push_back(RepeatedDigit(w, d, 40));  // one bucket, many sums
  return ks;
}

class OracleSuite : public ::testing::Test {
 protected:
  void SetUp() override {
    BigErrorResetForTests();
    live_ = BigLiveBlocks();
  }
  void TearDown() override {
    EXPECT_EQ(BigLiveBlocks(), live_);
    EXPECT_EQ(BigError(), 0u);
  }
  LONG live_ = 0;
};

struct NamedCurve {
  std::string name, p, a, b, gx, gy, n;
};

NamedCurve Channel() {
  return {"channel",          ectest::kChannelP,  ectest::kChannelA, ectest::kChannelB,
          ectest::kChannelGx, ectest::kChannelGy, ectest::kChannelN};
}

// A standard curve of another size, its parameters read from OpenSSL and
// used as an explicit curve.
NamedCurve Standard(int nid, const char* name) {
  EC_GROUP* g = EC_GROUP_new_by_curve_name(nid);
  BIGNUM *p = BN_new(), *a = BN_new(), *b = BN_new(), *x = BN_new(), *y = BN_new();
  EC_GROUP_get_curve(g, p, a, b, nullptr);
  EC_POINT_get_affine_coordinates(g, EC_GROUP_get0_generator(g), x, y, nullptr);
  NamedCurve c{name,
               OpenSslHex(p),
               OpenSslHex(a),
               OpenSslHex(b),
               OpenSslHex(x),
               OpenSslHex(y),
               OpenSslHex(EC_GROUP_get0_order(g))};
  for (BIGNUM* v : {p, a, b, x, y}) BN_free(v);
  EC_GROUP_free(g);
  return c;
}

TEST_F(OracleSuite, FixedBaseMulAgreesOnCurvesOfSeveralSizes) {
  for (const NamedCurve& nc : {Channel(), Standard(NID_secp224r1, "P-224"), Standard(NID_secp256k1, "secp256k1")}) {
    Oracle o(nc.p, nc.a, nc.b);
    ASSERT_NE(o.group, nullptr);
    ASSERT_NE(o.ours, nullptr) << nc.name;
    const HexPoint G{nc.gx, nc.gy};
    for (DWORD w = 3; w <= 7; w++) {
      // Tables reaching about 160 bits: the 200-bit scalars go past them.
      const DWORD t = 160 / w;
      std::vector<HexPoint> bases = {G, o.Mul(G, RandomHex(150)), o.Mul(G, RandomHex(40))};
      for (const HexPoint& P : bases) {
        const std::vector<Digit> table = o.ours->Table(P, w, t);
        std::vector<std::string> ks = StressScalars(w, nc.n);
        for (int bits = 0; bits <= 200; bits += 25) ks.push_back(RandomHex(bits));
        for (const std::string& k : ks) {
          HexPoint got;
          ASSERT_TRUE(o.ours->MulTable(table, k, w, t, &got)) << nc.name << " w=" << w << " k=" << k;
          ASSERT_EQ(got, o.Mul(P, k)) << nc.name << " w=" << w << " k=" << k;
        }
      }
    }
  }
}

// Scalars up to 256 bits with tables that end below them: every window
// width, and tables from one point to a few windows short, so that the bits
// past the table are served by doubling its last point. Digits cycling
// through 21 buckets keep many buckets full, so that a flush's results all
// meet occupied buckets and refill the queue (at w = 6 with a one-point
// table this once overran it).
TEST_F(OracleSuite, ScalarsLongerThanTheTableAgree) {
  for (const NamedCurve& nc :
       {Channel(), Standard(NID_X9_62_prime256v1, "P-256"), Standard(NID_secp256k1, "secp256k1")}) {
    Oracle o(nc.p, nc.a, nc.b);
    ASSERT_NE(o.ours, nullptr) << nc.name;
    const HexPoint G{nc.gx, nc.gy};
    for (DWORD w = 3; w <= 7; w++) {
      const int half = 1 << (w - 1);
      std::vector<std::string> ks = {Ones(256),
                                     Ones(246),
                                     RepeatedDigit(w, half, 256 / w),
                                     RepeatedDigit(w, -half, 256 / w - 1),
                                     RepeatedDigit(w, half - 1, 256 / w),
                                     FromDigits(w, Cycling(std::min(half, 21), 256 / w))};
      for (int bits = 240; bits <= 256; bits += 4) ks.push_back(RandomHex(bits));
      for (DWORD t : {0u, 1u, 20u, 160 / w, 256 / w - 3}) {
        const std::vector<Digit> table = o.ours->Table(G, w, t);
        ASSERT_FALSE(table.empty());
        for (const std::string& k : ks) {
          HexPoint got;
          ASSERT_TRUE(o.ours->MulTable(table, k, w, t, &got)) << nc.name << " w=" << w << " t=" << t << " k=" << k;
          ASSERT_EQ(got, o.Mul(G, k)) << nc.name << " w=" << w << " t=" << t << " k=" << k;
        }
      }
    }
    // Longer still, inside the table: buckets 1..21 filled, sums queued for
    // 1..20, those refilled, then 21 again: the flush it needs queues twenty
    // sums once more and has to be followed by another before there is room.
    for (DWORD w : {6u, 7u}) {
      std::vector<int> digits = Cycling(21, 21);
      for (int round = 0; round < 2; round++) {
        for (int d = 1; d <= 20; d++) digits.push_back(d);
      }
      digits.push_back(21);
      const std::string k = FromDigits(w, digits);
      HexPoint got;
      ASSERT_TRUE(o.ours->Mul(G, k, w, 62, &got)) << nc.name << " w=" << w;
      ASSERT_EQ(got, o.Mul(G, k)) << nc.name << " w=" << w;
    }
  }
}

TEST_F(OracleSuite, GroupOperationsAgree) {
  for (const NamedCurve& nc : {Channel(), Standard(NID_secp224r1, "P-224")}) {
    Oracle o(nc.p, nc.a, nc.b);
    ASSERT_NE(o.ours, nullptr);
    const ectest::TestCurve& c = *o.ours;
    const DWORD n = c.n;
    const HexPoint G{nc.gx, nc.gy};
    std::vector<Digit> s(12 * n), J(5 * n), out(2 * n);
    for (int i = 0; i < 20; i++) {
      const HexPoint P = o.Mul(G, RandomHex(160)), Q = o.Mul(G, RandomHex(160));
      std::vector<Digit> p = c.Point(P), q = c.Point(Q);
      ASSERT_TRUE(EcOnCurve(p.data(), &c.curve));
      ASSERT_TRUE(EcAddSub(p.data(), q.data(), out.data(), 1, &c.curve));
      EXPECT_EQ(c.Hex2(out.data()), o.Add(P, Q));
      // 2P + Q in Jacobian coordinates.
      ASSERT_TRUE(EcToJacobian(p.data(), J.data(), &c.curve, s.data()));
      ASSERT_TRUE(EcJacobianDouble(J.data(), J.data(), &c.curve, s.data()));
      ASSERT_TRUE(EcJacobianAddAffine(J.data(), q.data(), J.data(), &c.curve, s.data()));
      ASSERT_TRUE(EcToAffine(J.data(), out.data(), &c.curve, s.data()));
      EXPECT_EQ(c.Hex2(out.data()), o.Add(o.Add(P, P), Q));
    }
  }
}

// Small curves over 2^17 - 1 with a point P whose order r divides 2^w - 1 or
// 2^w + 1 (found by counting the points of random curves): every table point
// is then P or -P, so buckets receive P over and over and their queued sums
// meet P itself (doublings) and -P (infinity).
TEST_F(OracleSuite, TinyOrderBasesMakeBucketSumsMeetThemselves) {
  struct Case {
    DWORD w;
    const char *a, *b;
    HexPoint P;
    int r;
  } cases[] = {
      {3, "b922", "997c", {"17abc", "1094c"}, 7},    {3, "2517", "1a47f", {"42af", "7e7e"}, 9},
      {4, "2517", "1a47f", {"b0e0", "17b33"}, 15},   {4, "14b55", "127e9", {"1feb0", "1de4b"}, 17},
      {5, "1f3d8", "7132", {"1d08e", "11566"}, 31},  {5, "de07", "d61b", {"6c8b", "1a2d4"}, 33},
      {6, "11dbd", "12564", {"1d490", "146ad"}, 63}, {6, "1f3d8", "7132", {"13a39", "2b80"}, 65},
      {7, "b922", "997c", {"19e09", "1589"}, 127},   {7, "8e8e", "169ad", {"1bfd3", "5257"}, 129},
  };
  for (const Case& c : cases) {
    Oracle o("1ffff", c.a, c.b);
    ASSERT_NE(o.ours, nullptr);
    char rhex[16];
    snprintf(rhex, sizeof rhex, "%x", c.r);
    ASSERT_EQ(o.Mul(c.P, rhex), (HexPoint{"inf", "inf"})) << "w=" << c.w;
    std::vector<std::string> ks = StressScalars(c.w, rhex);
    for (int k = 0; k <= 3 * c.r; k++) {
      snprintf(rhex, sizeof rhex, "%x", k);
      ks.push_back(rhex);
    }
    for (int bits = 8; bits <= 200; bits += 16) ks.push_back(RandomHex(bits));
    for (DWORD t : {2u, 60u}) {
      const std::vector<Digit> table = o.ours->Table(c.P, c.w, t);
      for (const std::string& k : ks) {
        HexPoint got;
        ASSERT_TRUE(o.ours->MulTable(table, k, c.w, t, &got)) << "w=" << c.w << " t=" << t << " k=" << k;
        ASSERT_EQ(got, o.Mul(c.P, k)) << "w=" << c.w << " t=" << t << " k=" << k;
      }
    }
  }
}

}  // namespace
