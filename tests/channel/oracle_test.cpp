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
