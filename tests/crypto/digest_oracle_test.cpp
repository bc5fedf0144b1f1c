// Differential tests of SHA-1, MD5, MD4, the SHA-1 host-order variant and
// the hash-memory interface against OpenSSL's libcrypto (native only).
#define OPENSSL_SUPPRESS_DEPRECATED  // the low-level MD4 and SHA1_Transform
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/md4.h>
#include <openssl/md5.h>
#include <openssl/sha.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "crypto/md4.h"
#include "crypto/md5.h"
#include "crypto/sha1.h"
#include "mincrypt/hashmem.h"
#include "tests/crypto/digests_test_util.h"

namespace {

std::string Evp(const EVP_MD* md, const std::vector<BYTE>& m) {
  BYTE out[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EXPECT_EQ(EVP_Digest(m.data(), m.size(), out, &n, md, nullptr), 1);
  return ToHex(out, n);
}

std::string OpenSslMd4(const std::vector<BYTE>& m) {
  BYTE out[MD4_DIGEST_LENGTH];
  MD4(m.data(), m.size(), out);
  return ToHex(out, sizeof out);
}

// The host-order variant rebuilt from OpenSSL's block transform: whole blocks
// of the message go in with each 32-bit word byte-swapped (so the transform's
// big-endian reading sees host-order words); the tail and a padding whose
// bit count is two little-endian words (high first) go in as they are; the
// state words come out little-endian.
std::string OpenSslHostOrderSha1(const std::vector<BYTE>& m) {
  SHA_CTX c;
  SHA1_Init(&c);
  const size_t whole = m.size() / 64;
  for (size_t b = 0; b < whole; ++b) {
    BYTE block[64];
    for (int i = 0; i < 64; ++i) block[i] = m[b * 64 + (i & ~3) + 3 - (i & 3)];
    SHA1_Transform(&c, block);
  }
  std::vector<BYTE> tail(m.begin() + static_cast<std::ptrdiff_t>(whole * 64), m.end());
  size_t cbPad = 64 - tail.size();
  if (cbPad <= 8) cbPad += 64;
  const uint64_t bits = static_cast<uint64_t>(m.size()) * 8;
  std::vector<BYTE> pad(cbPad, 0);
  pad[0] = 0x80;
  for (int i = 0; i < 4; ++i) {
    pad[cbPad - 8 + i] = static_cast<BYTE>(bits >> (32 + 8 * i));
    pad[cbPad - 4 + i] = static_cast<BYTE>(bits >> (8 * i));
  }
  tail.insert(tail.end(), pad.begin(), pad.end());
  for (size_t off = 0; off < tail.size(); off += 64) SHA1_Transform(&c, &tail[off]);
  const unsigned int h[5] = {c.h0, c.h1, c.h2, c.h3, c.h4};
  BYTE out[20];
  for (int i = 0; i < 5; ++i) {
    for (int k = 0; k < 4; ++k) out[4 * i + k] = static_cast<BYTE>(h[i] >> (8 * k));
  }
  return ToHex(out, sizeof out);
}

using Cuts = std::vector<size_t>;

std::string OurSha1(const std::vector<BYTE>& m, const Cuts& cuts) {
  ShaContext ctx;
  ShaInit(&ctx);
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    ShaUpdate(&ctx, m.data() + cuts[i], static_cast<DWORD>(cuts[i + 1] - cuts[i]));
  }
  BYTE d[SHA1_DIGEST_LEN];
  ShaFinal(&ctx, d);
  return ToHex(d, sizeof d);
}

std::string OurHostOrderSha1(const std::vector<BYTE>& m, const Cuts& cuts) {
  ShaContext ctx;
  ShaInit(&ctx);
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    ShaUpdateHostOrder(&ctx, m.data() + cuts[i], static_cast<DWORD>(cuts[i + 1] - cuts[i]));
  }
  BYTE d[SHA1_DIGEST_LEN];
  ShaFinalHostOrder(&ctx, d);
  return ToHex(d, sizeof d);
}

std::string OurMd5(const std::vector<BYTE>& m, const Cuts& cuts) {
  MD5Context ctx;
  MD5Init(&ctx);
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    MD5Update(&ctx, m.data() + cuts[i], static_cast<DWORD>(cuts[i + 1] - cuts[i]));
  }
  MD5Final(&ctx);
  return ToHex(ctx.rgbDigest, MD5_DIGEST_LEN);
}

std::string OurMd4(const std::vector<BYTE>& m, const Cuts& cuts) {
  MD4Context ctx;
  MD4Init(&ctx);
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    MD4Update(&ctx, m.data() + cuts[i], static_cast<DWORD>(cuts[i + 1] - cuts[i]));
  }
  MD4Final(&ctx);
  return ToHex(ctx.rgbDigest, MD4_DIGEST_LEN);
}

// Mostly short messages (all padding cases many times over), some of a few
// hundred kilobytes.
size_t RandomLength(std::mt19937& rng) {
  return rng() % 8 == 0 ? std::uniform_int_distribution<size_t>(0, 300000)(rng) : rng() % 1200;
}

TEST(DigestOracle, RandomMessagesAndCutPointsMatchOpenSsl) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 300; ++round) {
    const size_t n = RandomLength(rng);
    const std::vector<BYTE> m = RandomBytes(rng, n);
    const Cuts cuts = RandomCuts(rng, n, 1 + rng() % 8);
    SCOPED_TRACE(std::to_string(n) + " bytes in " + std::to_string(cuts.size() - 1) + " updates");

    const std::string sha1 = Evp(EVP_sha1(), m);
    ASSERT_EQ(OurSha1(m, cuts), sha1);
    ShaForcePortableTransform(true);
    const std::string portable = OurSha1(m, cuts);
    ShaForcePortableTransform(false);
    ASSERT_EQ(portable, sha1);

    ASSERT_EQ(OurMd5(m, cuts), Evp(EVP_md5(), m));
    ASSERT_EQ(OurMd4(m, cuts), OpenSslMd4(m));
    ASSERT_EQ(OurHostOrderSha1(m, cuts), OpenSslHostOrderSha1(m));
  }
}

TEST(DigestOracle, HashMemoryMatchesOpenSsl) {
  std::mt19937 rng(99);
  for (int round = 0; round < 100; ++round) {
    const size_t n = RandomLength(rng);
    const std::vector<BYTE> m = RandomBytes(rng, n);
    const Cuts cuts = RandomCuts(rng, n, 1 + rng() % 10);
    std::vector<DerBlob> blobs;
    for (size_t i = 0; i + 1 < cuts.size(); ++i) {
      blobs.push_back({static_cast<DWORD>(cuts[i + 1] - cuts[i]), m.data() + cuts[i]});
    }
    BYTE hash[MINCRYPT_MAX_HASH_LEN];
    DWORD cb = 0;
    ASSERT_EQ(MinCryptHashMemory(CALG_SHA1, static_cast<DWORD>(blobs.size()), blobs.data(), hash, &cb), 0);
    ASSERT_EQ(ToHex(hash, cb), Evp(EVP_sha1(), m));
    ASSERT_EQ(MinCryptHashMemory(CALG_MD5, static_cast<DWORD>(blobs.size()), blobs.data(), hash, &cb), 0);
    ASSERT_EQ(ToHex(hash, cb), Evp(EVP_md5(), m));
  }
}

// Messages beyond 2^32 bytes (SHA-1) or 2^32 bits (MD4, MD5) cannot be hashed
// in a test, so both sides start from the same mid-message state with
// counts just below those limits and then take the same tail.
TEST(DigestOracle, LengthCountsBeyond32BitsMatchOpenSsl) {
  std::mt19937 rng(2024);
  const DWORD kByteCountsLow[] = {0xFFFFFFC0, 0xFFFFFF00, 0x1FFFFFC0, 0xE0000000, 0x20000000};
  const DWORD kByteCountsHigh[] = {0, 1, 0x1FFFFFFF};
  for (DWORD low : kByteCountsLow) {
    for (DWORD high : kByteCountsHigh) {
      const std::vector<BYTE> tail = RandomBytes(rng, rng() % 300);
      DWORD state[5];
      for (DWORD& w : state) w = static_cast<DWORD>(rng());

      ShaContext ours;
      std::memcpy(ours.dwState, state, sizeof state);
      ours.dwCountLow = low;
      ours.dwCountHigh = high;
      SHA_CTX theirs;
      SHA1_Init(&theirs);
      theirs.h0 = state[0], theirs.h1 = state[1], theirs.h2 = state[2], theirs.h3 = state[3], theirs.h4 = state[4];
      theirs.Nl = low << 3;
      theirs.Nh = (high << 3) | (low >> 29);
      ShaUpdate(&ours, tail.data(), static_cast<DWORD>(tail.size()));
      SHA1_Update(&theirs, tail.data(), tail.size());
      BYTE a[20], b[20];
      ShaFinal(&ours, a);
      SHA1_Final(b, &theirs);
      EXPECT_EQ(ToHex(a, 20), ToHex(b, 20)) << std::hex << high << ":" << low;

      // The MD family counts bits; reuse the same words as a bit count, cut
      // to a whole number of blocks (OpenSSL keeps its buffer fill apart).
      const DWORD bitsLow = low & ~DWORD{0x1FF};
      MD5Context md5;
      std::memcpy(md5.dwState, state, 16);
      md5.dwBitsLow = bitsLow;
      md5.dwBitsHigh = high;
      MD5_CTX md5Theirs;
      MD5_Init(&md5Theirs);
      md5Theirs.A = state[0], md5Theirs.B = state[1], md5Theirs.C = state[2], md5Theirs.D = state[3];
      md5Theirs.Nl = bitsLow;
      md5Theirs.Nh = high;
      MD5Update(&md5, tail.data(), static_cast<DWORD>(tail.size()));
      MD5_Update(&md5Theirs, tail.data(), tail.size());
      MD5Final(&md5);
      MD5_Final(b, &md5Theirs);
      EXPECT_EQ(ToHex(md5.rgbDigest, 16), ToHex(b, 16)) << std::hex << high << ":" << low;

      MD4Context md4;
      std::memcpy(md4.dwState, state, 16);
      md4.dwBitsLow = bitsLow;
      md4.dwBitsHigh = high;
      MD4_CTX md4Theirs;
      MD4_Init(&md4Theirs);
      md4Theirs.A = state[0], md4Theirs.B = state[1], md4Theirs.C = state[2], md4Theirs.D = state[3];
      md4Theirs.Nl = bitsLow;
      md4Theirs.Nh = high;
      MD4Update(&md4, tail.data(), static_cast<DWORD>(tail.size()));
      MD4_Update(&md4Theirs, tail.data(), tail.size());
      MD4Final(&md4);
      MD4_Final(b, &md4Theirs);
      EXPECT_EQ(ToHex(md4.rgbDigest, 16), ToHex(b, 16)) << std::hex << high << ":" << low;
    }
  }
}

}  // namespace
