// The channel's signature verification and key opening against OpenSSL on
// the same curve. The curve context is made once for the process, as the
// operations under test need nothing else from a handshake.
//
// Byte 0 picks the operation (bit 0: verification or key opening) and how its
// operands are made (bit 1):
//   arbitrary    the input's bytes as they are (wire form):
//                verification Q (40) | r, s (40) | message;
//                key opening  d (20) | C1 (40) | C2 (40)
//   constructed  points and signatures that are sound, from the input's
//                scalars, then one change chosen by byte 1:
//                verification d (20) | k (20) | message: Q = d·G and the
//                signature of the message with k; changed to r + n, s + n,
//                n - s, a flipped bit of s, x + p or y + p of Q, or another
//                message;
//                key opening  d (20) | a (20) | b (20): C1 = a·G, C2 = b·G;
//                changed to a coordinate + p or C2 = d·C1.
// OpenSSL decides what the answer must be: a point's coordinates below p and
// the point on the curve; 0 < r, s < n and OpenSSL's verification of the
// digest (given most significant byte first); for the key, d not a multiple
// of n and M = C2 - d·C1 not at infinity, the key being the low 8 bytes of
// M.x.
#define OPENSSL_SUPPRESS_DEPRECATED  // EC_KEY, ECDSA_do_verify
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "channel/curve_lock.h"
#include "channel/ecdsa_elgamal.h"
#include "crypto/bignum/bigalloc.h"
#include "crypto/bignum/bigerror.h"
#include "crypto/random/random_testing.h"
#include "tests/channel/openssl_channel_curve.h"

namespace {

struct Oracle {
  EC_GROUP* group;
  BIGNUM *p, *n;
  BN_CTX* ctx;
  ChannelCurve* ours;
  LONG liveBlocks;  // the context's own
};

Oracle& TheOracle() {
  static Oracle o = [] {
    Oracle x;
    x.group = channeltest::OpenSslChannelGroup();
    x.p = channeltest::OpenSslBn("89abcdef012345672718281831415926141424f7");
    x.n = channeltest::OpenSslBn("89abcdef012345672716b26eec14904428c2a675");
    x.ctx = BN_CTX_new();
    RandomTestUseSources(RandomTestFixedSources());
    RandomTestReset();
    ChannelLockJoin();
    x.ours = ChannelCurveCreate();
    if (x.group == nullptr || x.ours == nullptr) std::abort();
    x.liveBlocks = BigLiveBlocks();
    return x;
  }();
  return o;
}

// Owns the numbers and points of one input.
struct Scope {
  ~Scope() {
    for (BIGNUM* b : numbers) BN_free(b);
    for (EC_POINT* q : points) EC_POINT_free(q);
  }
  BIGNUM* number(const BYTE* wire = nullptr) {
    BIGNUM* b = wire != nullptr ? BN_lebin2bn(wire, 20, nullptr) : BN_new();
    numbers[count++] = b;
    return b;
  }
  EC_POINT* point() {
    EC_POINT* q = EC_POINT_new(TheOracle().group);
    points[pointCount++] = q;
    return q;
  }
  BIGNUM* numbers[16] = {};
  int count = 0;
  EC_POINT* points[8] = {};
  int pointCount = 0;
};

// False when b does not fit 20 bytes.
bool ToWire(const BIGNUM* b, BYTE* wire) { return BN_bn2lebinpad(b, wire, 20) == 20; }

bool PointToWire(const EC_POINT* q, BYTE* wire, Scope& s) {
  Oracle& o = TheOracle();
  BIGNUM *x = s.number(), *y = s.number();
  return EC_POINT_get_affine_coordinates(o.group, q, x, y, o.ctx) == 1 && ToWire(x, wire) && ToWire(y, wire + 20);
}

// The point of a wire form, or null when a coordinate is not below p or it
// is not on the curve.
EC_POINT* PointFromWire(const BYTE* wire, Scope& s) {
  Oracle& o = TheOracle();
  BIGNUM *x = s.number(wire), *y = s.number(wire + 20);
  if (BN_cmp(x, o.p) >= 0 || BN_cmp(y, o.p) >= 0) return nullptr;
  EC_POINT* q = s.point();
  return EC_POINT_set_affine_coordinates(o.group, q, x, y, o.ctx) == 1 ? q : nullptr;
}

// wire := wire + v (20 bytes); false when it does not fit.
bool AddTo(BYTE* wire, const BIGNUM* v, Scope& s) {
  BIGNUM* sum = s.number(wire);
  return BN_add(sum, sum, v) == 1 && ToWire(sum, wire);
}

bool ExpectedVerify(const BYTE* q, const BYTE* signature, const BYTE* message, size_t length, Scope& s) {
  Oracle& o = TheOracle();
  EC_POINT* point = PointFromWire(q, s);
  if (point == nullptr) return false;
  BYTE digest[20];
  SHA1(message, length, digest);
  std::reverse(digest, digest + 20);
  ECDSA_SIG* sig = ECDSA_SIG_new();
  ECDSA_SIG_set0(sig, BN_lebin2bn(signature, 20, nullptr), BN_lebin2bn(signature + 20, 20, nullptr));
  EC_KEY* key = EC_KEY_new();
  EC_KEY_set_group(key, o.group);
  EC_KEY_set_public_key(key, point);
  const bool valid = ECDSA_do_verify(digest, 20, sig, key) == 1;
  EC_KEY_free(key);
  ECDSA_SIG_free(sig);
  return valid;
}

// Q = d·G and the signature (r, s) of the message with k, changed as `change`
// says; false when there is nothing to check (a zero scalar, a change that
// does not fit 20 bytes).
bool Construct(const BYTE* d, const BYTE* k, const BYTE* message, size_t length, BYTE change, BYTE q[40],
               BYTE signature[40], Scope& s) {
  Oracle& o = TheOracle();
  BIGNUM *dn = s.number(d), *kn = s.number(k), *r = s.number(), *sn = s.number(), *e = s.number();
  BN_mod(dn, dn, o.n, o.ctx);
  BN_mod(kn, kn, o.n, o.ctx);
  if (BN_is_zero(dn) || BN_is_zero(kn)) return false;
  EC_POINT *Q = s.point(), *R = s.point();
  EC_POINT_mul(o.group, Q, dn, nullptr, nullptr, o.ctx);
  EC_POINT_mul(o.group, R, kn, nullptr, nullptr, o.ctx);
  BIGNUM* rx = s.number();
  EC_POINT_get_affine_coordinates(o.group, R, rx, nullptr, o.ctx);
  BN_mod(r, rx, o.n, o.ctx);
  BYTE digest[20];
  SHA1(message, length, digest);
  BN_lebin2bn(digest, 20, e);
  // s = k^-1 (e + d·r) mod n
  BIGNUM* t = s.number();
  BN_mod_mul(t, dn, r, o.n, o.ctx);
  BN_mod_add(t, t, e, o.n, o.ctx);
  BN_mod_inverse(kn, kn, o.n, o.ctx);
  BN_mod_mul(sn, kn, t, o.n, o.ctx);
  if (BN_is_zero(r) || BN_is_zero(sn)) return false;
  if (!PointToWire(Q, q, s) || !ToWire(r, signature) || !ToWire(sn, signature + 20)) return false;
  switch (change % 8) {
    case 1:
      return AddTo(signature, o.n, s);
    case 2:
      return AddTo(signature + 20, o.n, s);
    case 3:
      BN_sub(sn, o.n, sn);
      return ToWire(sn, signature + 20);
    case 4:
      signature[20 + (change >> 3) % 20] ^= static_cast<BYTE>(1u << (change >> 5));
      return true;
    case 5:
      return AddTo(q, o.p, s);
    case 6:
      return AddTo(q + 20, o.p, s);
    default:
      return true;  // 0 as it is; 7 checked against another message by the caller
  }
}

void Verify(const uint8_t* data, size_t size, bool constructed) {
  Oracle& o = TheOracle();
  Scope s;
  BYTE q[40], signature[40];
  const BYTE* message;
  size_t length;
  if (!constructed) {
    if (size < 81) return;
    std::memcpy(q, data + 1, 40);
    std::memcpy(signature, data + 41, 40);
    message = data + 81;
    length = size - 81;
  } else {
    if (size < 42) return;
    message = data + 42;
    length = size - 42;
    if (!Construct(data + 2, data + 22, message, length, data[1], q, signature, s)) return;
    if (data[1] % 8 == 7 && length > 0) ++message, --length;  // the signature was made over one more byte
  }
  const bool expected = ExpectedVerify(q, signature, message, length, s);
  const bool ours = ChannelVerify(o.ours, q, message, static_cast<DWORD>(length), signature);
  if (std::getenv("CHANNEL_FUZZ_TRACE") != nullptr) std::printf("verification: %d\n", ours);
  if (ours != expected) {
    std::fprintf(stderr, "verification: ours %d, OpenSSL %d\n", ours, expected);
    std::abort();
  }
}

void OpenKey(const uint8_t* data, size_t size, bool constructed) {
  Oracle& o = TheOracle();
  Scope s;
  BYTE d[20], c1[40], c2[40];
  if (!constructed) {
    if (size < 101) return;
    std::memcpy(d, data + 1, 20);
    std::memcpy(c1, data + 21, 40);
    std::memcpy(c2, data + 61, 40);
  } else {
    if (size < 62) return;
    std::memcpy(d, data + 2, 20);
    BIGNUM *a = s.number(data + 22), *b = s.number(data + 42), *dn = s.number(d);
    EC_POINT *C1 = s.point(), *C2 = s.point();
    EC_POINT_mul(o.group, C1, a, nullptr, nullptr, o.ctx);
    EC_POINT_mul(o.group, C2, b, nullptr, nullptr, o.ctx);
    if (data[1] % 6 == 5) EC_POINT_mul(o.group, C2, nullptr, C1, dn, o.ctx);
    if (!PointToWire(C1, c1, s) || !PointToWire(C2, c2, s)) return;  // at infinity
    BYTE* coordinate[4] = {c1, c1 + 20, c2, c2 + 20};
    if (data[1] % 6 >= 1 && data[1] % 6 <= 4 && !AddTo(coordinate[data[1] % 6 - 1], o.p, s)) return;
  }
  bool expected = false;
  BYTE expectedKey[8] = {};
  EC_POINT *C1 = PointFromWire(c1, s), *C2 = C1 != nullptr ? PointFromWire(c2, s) : nullptr;
  BIGNUM* dn = s.number(d);
  BN_mod(dn, dn, o.n, o.ctx);
  if (C2 != nullptr && !BN_is_zero(dn)) {
    EC_POINT* M = s.point();
    EC_POINT_mul(o.group, M, nullptr, C1, dn, o.ctx);
    EC_POINT_invert(o.group, M, o.ctx);
    EC_POINT_add(o.group, M, M, C2, o.ctx);
    BYTE m[40];
    if (!EC_POINT_is_at_infinity(o.group, M) && PointToWire(M, m, s)) {
      expected = true;
      std::memcpy(expectedKey, m, 8);
    }
  }
  BYTE key[8] = {};
  const bool ours = ChannelKeyOpen(o.ours, d, c1, c2, key);
  if (std::getenv("CHANNEL_FUZZ_TRACE") != nullptr) std::printf("key opening: %d\n", ours);
  if (ours != expected || (ours && std::memcmp(key, expectedKey, 8) != 0)) {
    std::fprintf(stderr, "key opening: ours %d, OpenSSL %d (or another key)\n", ours, expected);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const LONG liveBlocks = TheOracle().liveBlocks;
  BigErrorResetForTests();
  {
    ChannelLockHeld held;
    const bool constructed = (data[0] & 2) != 0;
    if ((data[0] & 1) == 0) {
      Verify(data, size, constructed);
    } else {
      OpenKey(data, size, constructed);
    }
  }
  if (BigLiveBlocks() != liveBlocks) {
    std::fprintf(stderr, "an arithmetic block is still live\n");
    std::abort();
  }
  return 0;
}
