// k*P by the fixed-base method against OpenSSL's EC_POINT_mul.
//
// Most executions run on small curves, where a multiplication is cheap and
// coincidences are common: the input gives the curve, the point (by its x;
// the next x on the curve is taken) or a fixed point of tiny order whose
// table points are all +-P, the window width, the table length and the
// scalar. The others run on the channel's curve with one of a few fixed
// points, whose tables (and OpenSSL's precomputed multiples) are kept once
// built.
//
// Input: byte 0 mode and curve, byte 1 window width, byte 2 table length
// (0 up to a table that holds a 384-bit scalar), then (small curves) 3 bytes
// of x and a scalar, or (channel's curve) a scalar; scalars big-endian, of up
// to 48 bytes, so that they reach far past short tables and crowd the
// buckets and the queue.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/bn.h>
#include <openssl/ec.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "crypto/bignum/bigalloc.h"
#include "crypto/bignum/bigerror.h"
#include "tests/crypto/ec_test_support.h"
#include "tests/crypto/openssl_hex.h"

namespace {

using ectest::OpenSslBn;
using ectest::OpenSslHex;

ectest::HexPoint HexOf(const EC_GROUP* g, const EC_POINT* P, BN_CTX* ctx) {
  if (EC_POINT_is_at_infinity(g, P)) return {"inf", "inf"};
  BIGNUM *x = BN_new(), *y = BN_new();
  EC_POINT_get_affine_coordinates(g, P, x, y, ctx);
  ectest::HexPoint h{OpenSslHex(x), OpenSslHex(y)};
  BN_free(x);
  BN_free(y);
  return h;
}

struct Curve {
  EC_GROUP* group;
  std::unique_ptr<ectest::TestCurve> ours;
  ectest::HexPoint fixed;  // a point of tiny order, or none ("")
};

// The channel's curve with one point as OpenSSL's generator.
struct Base {
  EC_GROUP* group;
  ectest::HexPoint P;
};

constexpr size_t kMaxScalarBytes = 48;
// Table lengths 0 .. one past a table holding kMaxScalarBytes of scalar.
DWORD TableLength(uint8_t byte, DWORD w) { return byte % (8 * kMaxScalarBytes / w + 2); }

struct World {
  BN_CTX* ctx = BN_CTX_new();
  std::vector<Curve> small;
  std::unique_ptr<ectest::TestCurve> channel;
  std::vector<Base> bases;
  std::map<std::tuple<size_t, DWORD, DWORD>, std::vector<Digit>> tables;

  EC_GROUP* Group(const std::string& p, const std::string& a, const std::string& b) {
    BIGNUM *bp = OpenSslBn(p), *ba = OpenSslBn(a), *bb = OpenSslBn(b);
    EC_GROUP* g = EC_GROUP_new_curve_GFp(bp, ba, bb, ctx);
    for (BIGNUM* v : {bp, ba, bb}) BN_free(v);
    if (!g) abort();
    return g;
  }
  void AddSmall(const std::string& p, const std::string& a, const std::string& b, ectest::HexPoint fixed) {
    small.push_back({Group(p, a, b), ectest::MakeCurve(p, a, b), fixed});
    if (!small.back().ours) abort();
  }

  World() {
    // Points of order 15, 17, 31, 129 over 2^17 - 1 (see the oracle suite),
    // a point of order two, and a curve over 2^61 - 1.
    AddSmall("1ffff", "2517", "1a47f", {"b0e0", "17b33"});
    AddSmall("1ffff", "14b55", "127e9", {"1feb0", "1de4b"});
    AddSmall("1ffff", "1f3d8", "7132", {"1d08e", "11566"});
    AddSmall("1ffff", "8e8e", "169ad", {"1bfd3", "5257"});
    AddSmall("1ffff", "1", "1ff7d", {"5", "0"});
    AddSmall("1fffffffffffffff", "3", "5", {"", ""});

    channel = ectest::MakeCurve(ectest::kChannelP, ectest::kChannelA, ectest::kChannelB);
    if (!channel) abort();
    BIGNUM *x = OpenSslBn(ectest::kChannelGx), *y = OpenSslBn(ectest::kChannelGy), *n = OpenSslBn(ectest::kChannelN);
    for (const char* k0 : {"1", "2", "1234567", "deadbeefcafef00d", "89abcdef0123456727"}) {
      EC_GROUP* g = Group(ectest::kChannelP, ectest::kChannelA, ectest::kChannelB);
      EC_POINT *G = EC_POINT_new(g), *P = EC_POINT_new(g);
      BIGNUM* k = OpenSslBn(k0);
      EC_POINT_set_affine_coordinates(g, G, x, y, ctx);
      EC_POINT_mul(g, P, nullptr, G, k, ctx);
      if (!EC_GROUP_set_generator(g, P, n, nullptr) || !EC_GROUP_precompute_mult(g, ctx)) abort();
      bases.push_back({g, HexOf(g, P, ctx)});
      EC_POINT_free(G);
      EC_POINT_free(P);
      BN_free(k);
    }
    for (BIGNUM* v : {x, y, n}) BN_free(v);
  }
  ~World() {
    for (Curve& c : small) EC_GROUP_free(c.group);
    for (Base& b : bases) EC_GROUP_free(b.group);
    BN_CTX_free(ctx);
  }

  // Tables of the channel's points and of the small curves' fixed points.
  const std::vector<Digit>& Table(size_t base, DWORD w, DWORD t) {
    auto key = std::make_tuple(base, w, t);
    auto it = tables.find(key);
    if (it != tables.end()) return it->second;
    std::vector<Digit> table = base < bases.size()
                                   ? channel->Table(bases[base].P, w, t)
                                   : small[base - bases.size()].ours->Table(small[base - bases.size()].fixed, w, t);
    if (table.empty()) abort();
    return tables[key] = std::move(table);
  }
};

void Check(const ectest::TestCurve& ours, const std::vector<Digit>& table, const BIGNUM* k, DWORD w, DWORD t,
           const ectest::HexPoint& expected) {
  BigErrorResetForTests();
  const LONG live = BigLiveBlocks();
  ectest::HexPoint got;
  if (!ours.MulTable(table, OpenSslHex(k), w, t, &got)) abort();
  if (!(got == expected) || BigLiveBlocks() != live || BigError() != 0) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World world;
  if (size < 3) return 0;
  const DWORD w = 3 + data[1] % 5;
  BN_CTX* ctx = world.ctx;

  if ((data[0] & 15) == 0) {
    const size_t base = (data[0] >> 3) % world.bases.size();
    const DWORD t = TableLength(data[2], w);
    BIGNUM* k = BN_bin2bn(data + 3, static_cast<int>(std::min<size_t>(size - 3, kMaxScalarBytes)), nullptr);
    const Base& b = world.bases[base];
    EC_POINT* R = EC_POINT_new(b.group);
    EC_POINT_mul(b.group, R, k, nullptr, nullptr, ctx);
    Check(*world.channel, world.Table(base, w, t), k, w, t, HexOf(b.group, R, ctx));
    EC_POINT_free(R);
    BN_free(k);
    return 0;
  }

  if (size < 6) return 0;
  const size_t ci = (data[0] >> 4) % world.small.size();
  const Curve& c = world.small[ci];
  const DWORD t = TableLength(data[2], w);
  const bool fixed = (data[0] & 8) != 0 && !c.fixed.x.empty();
  EC_POINT *P = EC_POINT_new(c.group), *R = EC_POINT_new(c.group);
  BIGNUM *x = BN_bin2bn(data + 3, 3, nullptr), *p = BN_new();
  BIGNUM* k = BN_bin2bn(data + 6, static_cast<int>(std::min<size_t>(size - 6, kMaxScalarBytes)), nullptr);
  ectest::HexPoint hp = c.fixed;
  if (!fixed) {
    // The first x from the input's on that lies on the curve.
    EC_GROUP_get_curve(c.group, p, nullptr, nullptr, ctx);
    BN_mod(x, x, p, ctx);
    for (int i = 0; i < 256 && !EC_POINT_set_compressed_coordinates(c.group, P, x, data[0] & 1, ctx); i++) {
      BN_add_word(x, 1);
      BN_mod(x, x, p, ctx);
    }
    hp = HexOf(c.group, P, ctx);
  } else {
    BIGNUM *fx = OpenSslBn(c.fixed.x), *fy = OpenSslBn(c.fixed.y);
    EC_POINT_set_affine_coordinates(c.group, P, fx, fy, ctx);
    BN_free(fx);
    BN_free(fy);
  }
  EC_POINT_mul(c.group, R, nullptr, P, k, ctx);
  if (fixed) {
    Check(*c.ours, world.Table(world.bases.size() + ci, w, t), k, w, t, HexOf(c.group, R, ctx));
  } else {
    const std::vector<Digit> table = c.ours->Table(hp, w, t);
    if (table.empty()) abort();
    Check(*c.ours, table, k, w, t, HexOf(c.group, R, ctx));
  }
  EC_POINT_free(P);
  EC_POINT_free(R);
  for (BIGNUM* v : {x, p, k}) BN_free(v);
  return 0;
}
