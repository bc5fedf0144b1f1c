// The channel's ECDSA and buffer encryption against OpenSSL on the same curve
// and cipher. OpenSSL reads a digest most significant byte first and the
// channel least significant first, so OpenSSL is handed the digest reversed.
#define OPENSSL_SUPPRESS_DEPRECATED  // the EC_KEY and low-level DES interfaces
#include <gtest/gtest.h>
#include <openssl/bn.h>
#include <openssl/des.h>
#include <openssl/ec.h>
#include <openssl/ecdsa.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "channel/curve_lock.h"
#include "channel/ecdsa_elgamal.h"
#include "channel/initiator.h"
#include "crypto/bignum/bigerror.h"
#include "tests/channel/channel_test_support.h"
#include "tests/channel/openssl_channel_curve.h"

namespace {

// Wire form (least significant byte first) of an OpenSSL number.
void ToWire(const BIGNUM* b, BYTE out[20]) {
  BYTE be[20];
  BN_bn2binpad(b, be, 20);
  for (int i = 0; i < 20; ++i) out[i] = be[19 - i];
}

BIGNUM* FromWire(const BYTE in[20]) {
  BYTE be[20];
  for (int i = 0; i < 20; ++i) be[i] = in[19 - i];
  return BN_bin2bn(be, 20, nullptr);
}

class OpenSslCurve : public ::testing::Test {
 protected:
  void SetUp() override {
    BigErrorResetForTests();
    group_ = channeltest::OpenSslChannelGroup();
    ASSERT_NE(group_, nullptr);
    curve_ = channeltest::OpenHeldCurve();
    ASSERT_NE(curve_, nullptr);
  }
  void TearDown() override {
    channeltest::CloseHeldCurve(curve_);
    EC_GROUP_free(group_);
  }

  // A fresh key pair from OpenSSL: private key and public point, wire form.
  EC_KEY* NewKey(BYTE d[20], BYTE q[40]) {
    EC_KEY* key = EC_KEY_new();
    EC_KEY_set_group(key, group_);
    EXPECT_EQ(EC_KEY_generate_key(key), 1);
    ToWire(EC_KEY_get0_private_key(key), d);
    BIGNUM *x = BN_new(), *y = BN_new();
    EC_POINT_get_affine_coordinates(group_, EC_KEY_get0_public_key(key), x, y, nullptr);
    ToWire(x, q);
    ToWire(y, q + 20);
    BN_free(x);
    BN_free(y);
    return key;
  }

  static void ReversedDigest(const std::string& message, BYTE out[20]) {
    SHA1(reinterpret_cast<const unsigned char*>(message.data()), message.size(), out);
    std::reverse(out, out + 20);
  }

  EC_GROUP* group_ = nullptr;
  ChannelCurve* curve_ = nullptr;
};

const std::string kMessages[] = {"", "abc", std::string(8, '\0'), std::string(52, '\xA5'), std::string(1000, 'x')};

TEST_F(OpenSslCurve, OurPublicKeyIsTheirs) {
  BYTE d[20], q[40], ours[40];
  EC_KEY* key = NewKey(d, q);
  ASSERT_TRUE(ChannelPublicKey(curve_, d, ours));
  EXPECT_EQ(channeltest::Hex(ours, 40), channeltest::Hex(q, 40));
  EC_KEY_free(key);
}

TEST_F(OpenSslCurve, OurSignaturesVerifyWithOpenSsl) {
  BYTE d[20], q[40];
  EC_KEY* key = NewKey(d, q);
  for (const std::string& message : kMessages) {
    BYTE signature[40], digest[20];
    ASSERT_TRUE(ChannelSign(curve_, d, reinterpret_cast<const BYTE*>(message.data()),
                            static_cast<DWORD>(message.size()), signature));
    ReversedDigest(message, digest);
    ECDSA_SIG* sig = ECDSA_SIG_new();
    ECDSA_SIG_set0(sig, FromWire(signature), FromWire(signature + 20));
    EXPECT_EQ(ECDSA_do_verify(digest, 20, sig, key), 1) << message.size();
    ECDSA_SIG_free(sig);
  }
  EC_KEY_free(key);
}

TEST_F(OpenSslCurve, OpenSslSignaturesVerifyWithOurs) {
  BYTE d[20], q[40];
  EC_KEY* key = NewKey(d, q);
  for (const std::string& message : kMessages) {
    BYTE digest[20], signature[40];
    ReversedDigest(message, digest);
    ECDSA_SIG* sig = ECDSA_do_sign(digest, 20, key);
    ASSERT_NE(sig, nullptr);
    ToWire(ECDSA_SIG_get0_r(sig), signature);
    ToWire(ECDSA_SIG_get0_s(sig), signature + 20);
    ECDSA_SIG_free(sig);
    const BYTE* bytes = reinterpret_cast<const BYTE*>(message.data());
    const DWORD length = static_cast<DWORD>(message.size());
    EXPECT_TRUE(ChannelVerify(curve_, q, bytes, length, signature)) << message.size();
    signature[39] ^= 0x40;
    EXPECT_FALSE(ChannelVerify(curve_, q, bytes, length, signature)) << message.size();
  }
  EC_KEY_free(key);
}

// The key transport opened with OpenSSL: M = C2 - d·C1 has as x the session
// key, eight zero bytes and a 32-bit counter, and the counter is the first
// for which x^3 + a·x + b is a square modulo p. Among these keys some need
// a counter above 0.
TEST_F(OpenSslCurve, KeyTransportCarriesTheKeyZerosAndTheFirstCounterWithARoot) {
  BYTE d[20], q[40];
  EC_KEY* key = NewKey(d, q);
  BN_CTX* ctx = BN_CTX_new();
  BIGNUM *p = BN_new(), *a = BN_new(), *b = BN_new(), *half = BN_new(), *pMinus1 = BN_new();
  EC_GROUP_get_curve(group_, p, a, b, ctx);
  BN_sub(pMinus1, p, BN_value_one());
  BN_rshift1(half, pMinus1);
  // x^3 + a·x + b is a square (or 0) unless its (p-1)/2-th power is p - 1.
  auto hasRoot = [&](const BYTE x[20]) {
    BIGNUM *xn = FromWire(x), *rhs = BN_new(), *t = BN_new();
    BN_mod_sqr(rhs, xn, p, ctx);
    BN_mod_add(rhs, rhs, a, p, ctx);
    BN_mod_mul(rhs, rhs, xn, p, ctx);
    BN_mod_add(rhs, rhs, b, p, ctx);
    BN_mod_exp(t, rhs, half, p, ctx);
    const bool root = BN_cmp(t, pMinus1) != 0;
    for (BIGNUM* v : {xn, rhs, t}) BN_free(v);
    return root;
  };
  DWORD largest = 0;
  for (BYTE first = 0; first < 12; ++first) {
    const BYTE sessionKey[8] = {first, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, static_cast<BYTE>(0xF0 ^ first)};
    BYTE sealed[80];
    ASSERT_TRUE(ChannelKeySeal(curve_, q, sessionKey, sealed));
    EC_POINT *c1 = EC_POINT_new(group_), *c2 = EC_POINT_new(group_), *m = EC_POINT_new(group_);
    BIGNUM *x1 = FromWire(sealed), *y1 = FromWire(sealed + 20), *x2 = FromWire(sealed + 40),
           *y2 = FromWire(sealed + 60), *mx = BN_new();
    ASSERT_EQ(EC_POINT_set_affine_coordinates(group_, c1, x1, y1, ctx), 1) << "C1 on the curve";
    ASSERT_EQ(EC_POINT_set_affine_coordinates(group_, c2, x2, y2, ctx), 1) << "C2 on the curve";
    EC_POINT_mul(group_, m, nullptr, c1, EC_KEY_get0_private_key(key), ctx);
    EC_POINT_invert(group_, m, ctx);
    EC_POINT_add(group_, m, m, c2, ctx);
    ASSERT_EQ(EC_POINT_get_affine_coordinates(group_, m, mx, nullptr, ctx), 1);
    BYTE x[20];
    ToWire(mx, x);
    EXPECT_EQ(channeltest::Hex(x, 8), channeltest::Hex(sessionKey, 8));
    EXPECT_EQ(channeltest::Hex(x + 8, 8), "0000000000000000");
    const DWORD counter = x[16] | x[17] << 8 | x[18] << 16 | static_cast<DWORD>(x[19]) << 24;
    EXPECT_LT(counter, 100u);
    for (DWORD earlier = 0; earlier < counter; ++earlier) {
      BYTE tried[20];
      std::memcpy(tried, x, 16);
      for (int i = 0; i < 4; ++i) tried[16 + i] = static_cast<BYTE>(earlier >> (8 * i));
      EXPECT_FALSE(hasRoot(tried)) << "counter " << earlier << " already had a root, key " << int{first};
    }
    largest = std::max(largest, counter);
    for (BIGNUM* v : {x1, y1, x2, y2, mx}) BN_free(v);
    for (EC_POINT* v : {c1, c2, m}) EC_POINT_free(v);
  }
  EXPECT_GE(largest, 2u) << "no key here needed more than one counter";
  for (BIGNUM* v : {p, a, b, half, pMinus1}) BN_free(v);
  BN_CTX_free(ctx);
  EC_KEY_free(key);
}

TEST(ChannelBufferOracle, EncryptionIsDesCbcFromAZeroVector) {
  const BYTE key[8] = {0x13, 0x34, 0x57, 0x79, 0x9b, 0xbc, 0xdf, 0xf1};
  ChannelInitiator channel;
  ASSERT_EQ(channel.setSessionKey(key), S_OK);
  DES_cblock theirKey;
  std::memcpy(theirKey, key, 8);
  DES_key_schedule schedule;
  DES_set_key_unchecked(&theirKey, &schedule);
  for (size_t length : {8u, 16u, 29u, 64u}) {
    std::vector<BYTE> plain(length);
    for (size_t i = 0; i < length; ++i) plain[i] = static_cast<BYTE>(i * 37 + 11);
    const size_t whole = length / 8 * 8;
    std::vector<BYTE> expected(plain);
    DES_cblock iv = {};
    DES_ncbc_encrypt(plain.data(), expected.data(), static_cast<long>(whole), &schedule, &iv, DES_ENCRYPT);
    std::vector<BYTE> ours(plain);
    ASSERT_EQ(channel.encryptBuffer(ours.data(), static_cast<DWORD>(length)), S_OK);
    EXPECT_EQ(ours, expected) << length;
    ASSERT_EQ(channel.decryptBuffer(ours.data(), static_cast<DWORD>(length)), S_OK);
    EXPECT_EQ(ours, plain) << length;
  }
}

}  // namespace
