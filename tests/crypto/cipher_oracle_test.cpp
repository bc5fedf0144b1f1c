// Differential tests of DES (block and CBC) and RC4 against OpenSSL's
// libcrypto (native only).
#define OPENSSL_SUPPRESS_DEPRECATED  // the low-level DES and RC4 interfaces
#include <gtest/gtest.h>
#include <openssl/des.h>
#include <openssl/rc4.h>

#include <cstring>
#include <random>
#include <vector>

#include "crypto/des.h"
#include "crypto/rc4.h"
#include "tests/crypto/digests_test_util.h"

namespace {

TEST(CipherOracle, DesBlocksMatchOpenSsl) {
  std::mt19937 rng(81);
  for (int round = 0; round < 2000; ++round) {
    const std::vector<BYTE> key = RandomBytes(rng, 8);
    const std::vector<BYTE> in = RandomBytes(rng, 8);
    DesKeySchedule ours;
    DesKeySetup(&ours, key.data());
    DES_cblock theirKey;
    std::memcpy(theirKey, key.data(), 8);
    DES_key_schedule theirs;
    DES_set_key_unchecked(&theirKey, &theirs);

    for (int enc : {DES_ENCRYPT, DES_DECRYPT}) {
      BYTE a[8];
      DES_cblock theirIn, b;
      std::memcpy(theirIn, in.data(), 8);
      DesBlock(a, in.data(), &ours, enc);
      DES_ecb_encrypt(&theirIn, &b, &theirs, enc);
      ASSERT_EQ(ToHex(a, 8), ToHex(b, 8)) << "key " << ToHex(key.data(), 8) << " enc " << enc;
    }
  }
}

TEST(CipherOracle, DesCbcRunsMatchOpenSsl) {
  std::mt19937 rng(82);
  for (int round = 0; round < 200; ++round) {
    const std::vector<BYTE> key = RandomBytes(rng, 8);
    const std::vector<BYTE> iv = RandomBytes(rng, 8);
    const std::vector<BYTE> plain = RandomBytes(rng, 8 * (1 + rng() % 64));
    DesKeySchedule ours;
    DesKeySetup(&ours, key.data());
    DES_cblock theirKey, theirIv;
    std::memcpy(theirKey, key.data(), 8);
    DES_key_schedule theirs;
    DES_set_key_unchecked(&theirKey, &theirs);

    std::vector<BYTE> expected(plain.size());
    std::memcpy(theirIv, iv.data(), 8);
    DES_ncbc_encrypt(plain.data(), expected.data(), static_cast<long>(plain.size()), &theirs, &theirIv, DES_ENCRYPT);

    std::vector<BYTE> buf = plain;
    BYTE feedback[8];
    std::memcpy(feedback, iv.data(), 8);
    for (size_t off = 0; off < buf.size(); off += 8) DesCbcStep(&buf[off], &buf[off], &ours, DES_ENCRYPT, feedback);
    ASSERT_EQ(buf, expected);
    ASSERT_EQ(ToHex(feedback, 8), ToHex(theirIv, 8));  // both leave the last ciphertext block

    std::memcpy(feedback, iv.data(), 8);
    for (size_t off = 0; off < buf.size(); off += 8) DesCbcStep(&buf[off], &buf[off], &ours, DES_DECRYPT, feedback);
    ASSERT_EQ(buf, plain);
  }
}

TEST(CipherOracle, Rc4KeystreamsMatchOpenSslAcrossSplitApplies) {
  std::mt19937 rng(6229);
  for (int round = 0; round < 300; ++round) {
    const std::vector<BYTE> key = RandomBytes(rng, 1 + rng() % 300);  // beyond 256 too
    const size_t n = rng() % 3000;
    const std::vector<BYTE> data = RandomBytes(rng, n);

    RC4_KEY theirs;
    RC4_set_key(&theirs, static_cast<int>(key.size()), key.data());
    std::vector<BYTE> expected(n);
    RC4(&theirs, n, data.data(), expected.data());

    Rc4State ours;
    Rc4KeySetup(&ours, key.data(), static_cast<DWORD>(key.size()));
    std::vector<BYTE> buf = data;
    const std::vector<size_t> cuts = RandomCuts(rng, n, 1 + rng() % 6);
    for (size_t i = 0; i + 1 < cuts.size(); ++i) {
      Rc4Apply(&ours, buf.data() + cuts[i], static_cast<DWORD>(cuts[i + 1] - cuts[i]));
    }
    ASSERT_EQ(buf, expected) << key.size() << "-byte key, " << n << " bytes";
  }
}

}  // namespace
