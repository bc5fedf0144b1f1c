// The credential formats: key containers (the scatter and its bounds), the
// certificate fields, and the built-in arrays against the files they come
// from.
#include "channel/credentials.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "channel/certificate.h"
#include "channel/key_container.h"

namespace {

std::vector<BYTE> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<BYTE>(std::istreambuf_iterator<char>(in), {});
}

std::string KeyDir() {
  const char* root = std::getenv("TF_SOURCE_DIR");
  return std::string(root != nullptr ? root : ".") + "/keys/dev/channel/";
}

// 40 hex digits, most significant first, as 20 bytes least significant first.
std::vector<BYTE> LittleEndian(const std::string& hex) {
  std::vector<BYTE> out(20);
  for (int i = 0; i < 20; ++i) out[19 - i] = static_cast<BYTE>(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
  return out;
}

TEST(KeyContainer, WrapAndExtractRoundTripForEverySeedShape) {
  BYTE key[20];
  for (int i = 0; i < 20; ++i) key[i] = static_cast<BYTE>(0xA0 + i);
  for (WORD seed : {0x0000, 0x0001, 0x7FFF, 0x8000, 0xFFFF, 0x1234}) {
    std::vector<BYTE> container(kKeyContainerLength, 0x00);
    KeyContainerWrap(key, seed, container.data());
    EXPECT_EQ(container[4092], seed >> 8);
    EXPECT_EQ(container[4093], seed & 0xFF);
    EXPECT_EQ(container[4094], 0);
    EXPECT_EQ(container[4095], 20);
    size_t changed = 0;
    for (size_t i = 0; i < 4092; ++i) changed += container[i] != 0;
    EXPECT_EQ(changed, 20u) << "twenty distinct positions below the seed, seed " << seed;
    BYTE out[20];
    ASSERT_EQ(KeyContainerExtract(container.data(), kKeyContainerLength, out), S_OK);
    EXPECT_EQ(std::memcmp(out, key, 20), 0) << "seed " << seed;
  }
}

// Where the key bytes sit, written down by tests/channel/key_positions.py
// from the sequence that key_container.h documents: seed 0 (and 0x8000,
// whose low 15 bits are 0) starts the sequence at 0x7FFF. A container laid
// out by hand at these positions gives its key, and wrapping puts each key
// byte there, complemented.
TEST(KeyContainer, KeyBytesSitWhereTheSequenceSays) {
  const struct {
    WORD seed;
    DWORD positions[20];
  } cases[] = {
      {0x0000, {3964, 3836, 3708, 3580, 3452, 3324, 3196, 3132, 3100, 3084,
                3076, 3072, 3070, 3069, 3068, 3067, 3066, 3065, 3064, 3063}},
      {0x8000, {3964, 3836, 3708, 3580, 3452, 3324, 3196, 3132, 3100, 3084,
                3076, 3072, 3070, 3069, 3068, 3067, 3066, 3065, 3064, 3063}},
      {0x1234, {4065, 4051, 3980, 3944, 3926, 3853, 3816, 3797, 3787, 3718,
                3619, 3505, 3448, 3355, 3308, 3284, 3208, 3106, 3055, 2965}},
      {0xBEEF, {3972, 3912, 3818, 3707, 3587, 3463, 3337, 3210, 3146, 3114,
                3098, 3026, 2926, 2876, 2851, 2774, 2671, 2619, 2593, 2580}},
  };
  BYTE key[20];
  for (int i = 0; i < 20; ++i) key[i] = static_cast<BYTE>(0x31 + 7 * i);
  for (const auto& c : cases) {
    std::vector<BYTE> byHand(kKeyContainerLength, 0x5A);
    byHand[4092] = static_cast<BYTE>(c.seed >> 8);
    byHand[4093] = static_cast<BYTE>(c.seed);
    byHand[4094] = 0;
    byHand[4095] = 20;
    for (int i = 0; i < 20; ++i) byHand[c.positions[i]] = static_cast<BYTE>(~key[i]);
    BYTE out[20];
    ASSERT_EQ(KeyContainerExtract(byHand.data(), kKeyContainerLength, out), S_OK);
    EXPECT_EQ(std::vector<BYTE>(out, out + 20), std::vector<BYTE>(key, key + 20)) << "seed " << c.seed;

    std::vector<BYTE> wrapped(kKeyContainerLength, 0x5A);
    KeyContainerWrap(key, c.seed, wrapped.data());
    EXPECT_EQ(wrapped, byHand) << "seed " << c.seed;
  }
}

TEST(KeyContainer, KeyLengthDecidesHowManyBytesAreTaken) {
  BYTE key[20];
  for (int i = 0; i < 20; ++i) key[i] = static_cast<BYTE>(i + 1);
  std::vector<BYTE> container(kKeyContainerLength, 0);
  KeyContainerWrap(key, 0x4242, container.data());
  BYTE out[20];
  container[4095] = 5;
  ASSERT_EQ(KeyContainerExtract(container.data(), kKeyContainerLength, out), S_OK);
  const BYTE five[20] = {1, 2, 3, 4, 5};
  EXPECT_EQ(std::memcmp(out, five, 20), 0) << "the rest of the key is zero";
  container[4095] = 21;
  EXPECT_EQ(KeyContainerExtract(container.data(), kKeyContainerLength, out), E_FAIL);
  container[4094] = 1;
  container[4095] = 20;
  EXPECT_EQ(KeyContainerExtract(container.data(), kKeyContainerLength, out), E_FAIL) << "length 276";
  EXPECT_EQ(KeyContainerExtract(container.data(), 4095, out), E_FAIL);
  EXPECT_EQ(KeyContainerExtract(nullptr, kKeyContainerLength, out), E_FAIL);
}

TEST(ChannelCertificate, FieldsAndFormatWords) {
  BYTE key[40];
  for (int i = 0; i < 40; ++i) key[i] = static_cast<BYTE>(i);
  BYTE certificate[100];
  CertificateLayout(key, 0x01020304, 0, certificate);
  EXPECT_TRUE(CertificateFormatOk(certificate));
  EXPECT_EQ(CertificateSignedLength(certificate), 52u);
  EXPECT_EQ(CertificateSecurityLevel(certificate), 0x01020304u);
  EXPECT_EQ(certificate[92], 1) << "the level is big-endian";
  EXPECT_EQ(std::memcmp(certificate + 48, key, 40), 0);
  for (size_t offset : {0u, 1u, 88u, 89u}) {
    BYTE broken[100];
    std::memcpy(broken, certificate, 100);
    broken[offset] ^= 1;
    EXPECT_FALSE(CertificateFormatOk(broken)) << offset;
  }
}

TEST(BuiltInCredentials, AreTheDevelopmentFiles) {
  const std::vector<BYTE> certificate = ReadFile(KeyDir() + "program.cert");
  const std::vector<BYTE> container = ReadFile(KeyDir() + "program.keycontainer");
  ASSERT_EQ(certificate.size(), 100u);
  ASSERT_EQ(container.size(), 4096u);
  EXPECT_EQ(std::memcmp(kBuiltinChannelCertificate, certificate.data(), 100), 0);
  EXPECT_EQ(std::memcmp(kBuiltinKeyContainer, container.data(), 4096), 0);

  std::ifstream pub(KeyDir() + "root.pub");
  std::string x, y;
  pub >> x >> y;
  std::vector<BYTE> root = LittleEndian(x), ry = LittleEndian(y);
  root.insert(root.end(), ry.begin(), ry.end());
  EXPECT_EQ(std::memcmp(kChannelRootPublicKey, root.data(), 40), 0);

  std::ifstream keyFile(KeyDir() + "program.key");
  std::string keyHex;
  keyFile >> keyHex;
  BYTE key[20];
  ASSERT_EQ(KeyContainerExtract(kBuiltinKeyContainer, 4096, key), S_OK);
  EXPECT_EQ(std::vector<BYTE>(key, key + 20), LittleEndian(keyHex)) << "the container hides program.key";
}

}  // namespace
