// Known-answer tests of SHA-1, MD5 and MD4 and of the SHA-1 host-order
// variant; portable, so they also run on Windows.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "crypto/md4.h"
#include "crypto/md5.h"
#include "crypto/sha1.h"
#include "tests/crypto/digests_test_util.h"

namespace {

// A message fed in pieces: each update gets the bytes between two cut points.
using Pieces = std::vector<size_t>;

// Contexts are pre-filled with a pattern so that a field that init forgets
// shows up as a wrong digest.
constexpr BYTE kGarbage = 0xA5;

std::string Sha1Hex(const std::vector<BYTE>& msg, const Pieces& cuts) {
  ShaContext ctx;
  std::memset(&ctx, kGarbage, sizeof ctx);
  ShaInit(&ctx);
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    ShaUpdate(&ctx, msg.data() + cuts[i], static_cast<DWORD>(cuts[i + 1] - cuts[i]));
  }
  BYTE digest[SHA1_DIGEST_LEN];
  ShaFinal(&ctx, digest);
  return ToHex(digest, sizeof digest);
}

std::string Md5Hex(const std::vector<BYTE>& msg, const Pieces& cuts) {
  MD5Context ctx;
  std::memset(&ctx, kGarbage, sizeof ctx);
  MD5Init(&ctx);
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    MD5Update(&ctx, msg.data() + cuts[i], static_cast<DWORD>(cuts[i + 1] - cuts[i]));
  }
  MD5Final(&ctx);
  return ToHex(ctx.rgbDigest, MD5_DIGEST_LEN);
}

std::string Md4Hex(const std::vector<BYTE>& msg, const Pieces& cuts) {
  MD4Context ctx;
  std::memset(&ctx, kGarbage, sizeof ctx);
  MD4Init(&ctx);
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    MD4Update(&ctx, msg.data() + cuts[i], static_cast<DWORD>(cuts[i + 1] - cuts[i]));
  }
  MD4Final(&ctx);
  return ToHex(ctx.rgbDigest, MD4_DIGEST_LEN);
}

std::string HostOrderHex(const std::vector<BYTE>& msg, const Pieces& cuts) {
  ShaContext ctx;
  std::memset(&ctx, kGarbage, sizeof ctx);
  ShaInit(&ctx);
  for (size_t i = 0; i + 1 < cuts.size(); ++i) {
    ShaUpdateHostOrder(&ctx, msg.data() + cuts[i], static_cast<DWORD>(cuts[i + 1] - cuts[i]));
  }
  BYTE digest[SHA1_DIGEST_LEN];
  ShaFinalHostOrder(&ctx, digest);
  return ToHex(digest, sizeof digest);
}

using DigestFn = std::function<std::string(const std::vector<BYTE>&, const Pieces&)>;

struct Vector {
  const char* source;
  std::vector<BYTE> message;
  const char* expected;
};

std::vector<BYTE> Repeat(char c, size_t n) { return std::vector<BYTE>(n, static_cast<BYTE>(c)); }

const std::string kRfcAlphabet = "abcdefghijklmnopqrstuvwxyz";
const std::string kRfcAlnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
const std::string kRfcDigits = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
const std::string kFips448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

// The 'a' * n rows sit on the padding edges (remainders 55, 56, 63, 0 of one
// and two blocks); their digests come from the openssl command line.
const std::vector<Vector> kSha1Vectors = {
    {"FIPS 180-1 A", Bytes("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {"FIPS 180-1 B", Bytes(kFips448), "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {"openssl dgst", {}, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {"openssl dgst", Repeat('a', 55), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
    {"openssl dgst", Repeat('a', 56), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
    {"openssl dgst", Repeat('a', 63), "03f09f5b158a7a8cdad920bddc29b81c18a551f5"},
    {"openssl dgst", Repeat('a', 64), "0098ba824b5c16427bd7a1122a5a442a25ec644d"},
    {"openssl dgst", Repeat('a', 119), "ee971065aaa017e0632a8ca6c77bb3bf8b1dfc56"},
    {"openssl dgst", Repeat('a', 120), "f34c1488385346a55709ba056ddd08280dd4c6d6"},
    {"openssl dgst", Repeat('a', 127), "89d95fa32ed44a7c610b7ee38517ddf57e0bb975"},
    {"openssl dgst", Repeat('a', 128), "ad5b3fdbcb526778c2839d2f151ea753995e26a0"},
};

const std::vector<Vector> kMd5Vectors = {
    {"RFC 1321 A.5", {}, "d41d8cd98f00b204e9800998ecf8427e"},
    {"RFC 1321 A.5", Bytes("a"), "0cc175b9c0f1b6a831c399e269772661"},
    {"RFC 1321 A.5", Bytes("abc"), "900150983cd24fb0d6963f7d28e17f72"},
    {"RFC 1321 A.5", Bytes("message digest"), "f96b697d7cb7938d525a2f31aaf161d0"},
    {"RFC 1321 A.5", Bytes(kRfcAlphabet), "c3fcd3d76192e4007dfb496cca67e13b"},
    {"RFC 1321 A.5", Bytes(kRfcAlnum), "d174ab98d277d9f5a5611c2c9f419d9f"},
    {"RFC 1321 A.5", Bytes(kRfcDigits), "57edf4a22be3c955ac49da2e2107b67a"},
    {"openssl dgst", Repeat('a', 55), "ef1772b6dff9a122358552954ad0df65"},
    {"openssl dgst", Repeat('a', 56), "3b0c8ac703f828b04c6c197006d17218"},
    {"openssl dgst", Repeat('a', 63), "b06521f39153d618550606be297466d5"},
    {"openssl dgst", Repeat('a', 64), "014842d480b571495a4a0363793f7367"},
    {"openssl dgst", Repeat('a', 119), "8a7bd0732ed6a28ce75f6dabc90e1613"},
    {"openssl dgst", Repeat('a', 120), "5f61c0ccad4cac44c75ff505e1f1e537"},
};

const std::vector<Vector> kMd4Vectors = {
    {"RFC 1320 A.5", {}, "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {"RFC 1320 A.5", Bytes("a"), "bde52cb31de33e46245e05fbdbd6fb24"},
    {"RFC 1320 A.5", Bytes("abc"), "a448017aaf21d8525fc10ae87aa6729d"},
    {"RFC 1320 A.5", Bytes("message digest"), "d9130a8164549fe818874806e1c7014b"},
    {"RFC 1320 A.5", Bytes(kRfcAlphabet), "d79e1c308aa5bbcdeea8ed63df412da9"},
    {"RFC 1320 A.5", Bytes(kRfcAlnum), "043f8582f241db351ce627e153e7f0e4"},
    {"RFC 1320 A.5", Bytes(kRfcDigits), "e33b4ddc9c38f2199c3e7b164fcc0536"},
    {"openssl dgst", Repeat('a', 55), "c889c81dd86c4d2e025778944ea02881"},
    {"openssl dgst", Repeat('a', 56), "d5f9a9e9257077a5f08b0b92f348b0ad"},
    {"openssl dgst", Repeat('a', 63), "7ea3da77432d44c323671097d1348fc8"},
    {"openssl dgst", Repeat('a', 64), "52f5076fabd22680234a3fa9f9dc5732"},
    {"openssl dgst", Repeat('a', 119), "e65dd227ccef97fa1d34d70189120f76"},
    {"openssl dgst", Repeat('a', 120), "b03ddbd470b47c013e0c7ab2ddd763db"},
};

// Message bytes i * 7 + 1. The digests were computed with OpenSSL's
// SHA1_Transform fed the message's whole blocks with each word byte-swapped,
// then the tail and a padding whose bit count is stored as two little-endian
// words (high first) in ordinary blocks, the five state words stored
// little-endian (the same oracle as digest_oracle_test.cpp).
std::vector<BYTE> HostOrderMessage(size_t n) {
  std::vector<BYTE> m(n);
  for (size_t i = 0; i < n; ++i) m[i] = static_cast<BYTE>(i * 7 + 1);
  return m;
}

const std::vector<Vector> kHostOrderVectors = {
    {"OpenSSL", HostOrderMessage(0), "eea339da0d4b6b5eefbf5532901860950907d8af"},
    {"OpenSSL", HostOrderMessage(3), "ec8064a58c32f4215058bb42a20a290e297c3d61"},
    {"OpenSSL", HostOrderMessage(55), "75e035cc5bc56d3c8b9555a4dbd49c89b05f787e"},
    {"OpenSSL", HostOrderMessage(56), "a641ce86a8a6e91f917116c71574e75ab54f164b"},
    {"OpenSSL", HostOrderMessage(63), "3726f18c8658f10c880c8a61cd70bdd1850d3c0b"},
    {"OpenSSL", HostOrderMessage(64), "2928a2b2cefcbb2533f31eceae0f9266a64740a6"},
    {"OpenSSL", HostOrderMessage(100), "94c908dddba135738a82379f12b226c1cc69cac5"},
    {"OpenSSL", HostOrderMessage(128), "d70cfd1748a44f1cb65f7b39d346b964e6d7309a"},
    {"OpenSSL", HostOrderMessage(200), "ab77bf9c84eec90069d9681ddf1940e9391b5cfc"},
    {"OpenSSL", HostOrderMessage(1000), "add9eed30fddb47572f7fe9797dee60985936f36"},
};

struct Suite {
  const char* name;
  DigestFn digest;
  const std::vector<Vector>* vectors;
};

const Suite kSuites[] = {
    {"SHA-1", Sha1Hex, &kSha1Vectors},
    {"MD5", Md5Hex, &kMd5Vectors},
    {"MD4", Md4Hex, &kMd4Vectors},
    {"SHA-1 host order", HostOrderHex, &kHostOrderVectors},
};

// Each vector in one call, byte by byte, split in two at every offset, and
// from every alignment of the caller's buffer.
TEST(DigestVectors, EveryWayOfFeedingGivesThePublishedDigest) {
  for (const Suite& suite : kSuites) {
    for (const Vector& v : *suite.vectors) {
      const std::vector<BYTE>& m = v.message;
      const size_t n = m.size();
      SCOPED_TRACE(std::string(suite.name) + " " + v.source + ", " + std::to_string(n) + " bytes");
      EXPECT_EQ(suite.digest(m, {0, n}), v.expected);

      Pieces bytewise;
      for (size_t i = 0; i <= n; ++i) bytewise.push_back(i);
      EXPECT_EQ(suite.digest(m, bytewise), v.expected);

      for (size_t cut = 0; cut <= n; ++cut) {
        ASSERT_EQ(suite.digest(m, {0, cut, n}), v.expected) << "cut at " << cut;
      }

      for (size_t shift = 1; shift < 8; ++shift) {
        std::vector<BYTE> shifted(shift, 0xEE);
        shifted.insert(shifted.end(), m.begin(), m.end());
        EXPECT_EQ(suite.digest(shifted, {shift, shift + n}), v.expected) << "at offset " << shift;
      }
    }
  }
}

TEST(DigestVectors, MillionAsInUnevenUpdates) {
  // FIPS 180-1 C; 1000 updates of 1000 bytes leave a different remainder in
  // the pending block after almost every call.
  const std::vector<BYTE> million = Repeat('a', 1000000);
  Pieces cuts;
  for (size_t i = 0; i <= 1000; ++i) cuts.push_back(i * 1000);
  EXPECT_EQ(Sha1Hex(million, cuts), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(ShaContext, FinalLeavesAFreshContext) {
  ShaContext ctx;
  std::memset(&ctx, kGarbage, sizeof ctx);
  ShaInit(&ctx);
  const std::vector<BYTE> junk = Repeat('x', 100);
  ShaUpdate(&ctx, junk.data(), static_cast<DWORD>(junk.size()));
  BYTE digest[SHA1_DIGEST_LEN];
  ShaFinal(&ctx, digest);

  ShaContext fresh;
  std::memset(&fresh, kGarbage, sizeof fresh);
  ShaInit(&fresh);
  EXPECT_EQ(0, std::memcmp(ctx.dwState, fresh.dwState, sizeof ctx.dwState));
  EXPECT_EQ(ctx.dwCountHigh, 0u);
  EXPECT_EQ(ctx.dwCountLow, 0u);

  // ...so the next message needs no ShaInit.
  const std::vector<BYTE> abc = Bytes("abc");
  ShaUpdate(&ctx, abc.data(), 3);
  ShaFinal(&ctx, digest);
  EXPECT_EQ(ToHex(digest, sizeof digest), "a9993e364706816aba3e25717850c26c9cd0d89d");

  // The host-order final resets the same way.
  ShaUpdateHostOrder(&ctx, junk.data(), static_cast<DWORD>(junk.size()));
  ShaFinalHostOrder(&ctx, digest);
  EXPECT_EQ(ctx.dwCountLow, 0u);
  EXPECT_EQ(ctx.dwState[0], 0x67452301u);
}

TEST(ShaContext, ByteCountCarriesIntoTheHighWord) {
  ShaContext ctx;
  ShaInit(&ctx);
  ctx.dwCountLow = 0xFFFFFFC0;  // a whole number of blocks, 64 bytes short of 2^32
  const std::vector<BYTE> block = Repeat('b', 64 + 5);
  ShaUpdate(&ctx, block.data(), static_cast<DWORD>(block.size()));
  EXPECT_EQ(ctx.dwCountHigh, 1u);
  EXPECT_EQ(ctx.dwCountLow, 5u);
}

// The MD family keeps its finished state: the digest stays in the context,
// the bit count includes the padding, and the chaining state is the digest.
TEST(MdContexts, FinalLeavesTheDigestInPlaceWithoutResetting) {
  const std::vector<BYTE> abc = Bytes("abc");

  MD5Context md5;
  MD5Init(&md5);
  MD5Update(&md5, abc.data(), 3);
  MD5Final(&md5);
  EXPECT_EQ(ToHex(md5.rgbDigest, MD5_DIGEST_LEN), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5.dwBitsLow, 512u);
  EXPECT_EQ(md5.dwBitsHigh, 0u);
  EXPECT_EQ(md5.dwState[0], 0x98500190u);

  MD4Context md4;
  MD4Init(&md4);
  MD4Update(&md4, abc.data(), 3);
  MD4Final(&md4);
  EXPECT_EQ(ToHex(md4.rgbDigest, MD4_DIGEST_LEN), "a448017aaf21d8525fc10ae87aa6729d");
  EXPECT_EQ(md4.dwBitsLow, 512u);
  EXPECT_EQ(md4.dwState[0], 0x7A0148A4u);
}

TEST(MdContexts, BitCountCarriesIntoTheHighWord) {
  const std::vector<BYTE> data = Repeat('c', 64 + 3);

  MD5Context md5;
  MD5Init(&md5);
  md5.dwBitsLow = 0xFFFFFE00;  // a whole number of blocks, 512 bits short of 2^32
  MD5Update(&md5, data.data(), static_cast<DWORD>(data.size()));
  EXPECT_EQ(md5.dwBitsHigh, 1u);
  EXPECT_EQ(md5.dwBitsLow, 24u);

  MD4Context md4;
  MD4Init(&md4);
  md4.dwBitsLow = 0xFFFFFE00;
  MD4Update(&md4, data.data(), static_cast<DWORD>(data.size()));
  EXPECT_EQ(md4.dwBitsHigh, 1u);
  EXPECT_EQ(md4.dwBitsLow, 24u);
}

// Restores automatic transform selection however a test ends.
struct PortableTransformScope {
  PortableTransformScope() { ShaForcePortableTransform(true); }
  ~PortableTransformScope() { ShaForcePortableTransform(false); }
};

TEST(ShaTransforms, ShaExtensionsAndPortableAgree) {
  if (!ShaCpuHasShaExtensions()) GTEST_SKIP() << "this CPU (or build) has no SHA extensions";
  EXPECT_EQ(ShaActiveTransform(), ShaTransform::ShaExtensions);

  std::mt19937 rng(20240611);
  for (int round = 0; round < 200; ++round) {
    const size_t n = std::uniform_int_distribution<size_t>(0, 5000)(rng);
    const std::vector<BYTE> m = RandomBytes(rng, n);
    const Pieces cuts = RandomCuts(rng, n, 1 + rng() % 6);
    const std::string fast = Sha1Hex(m, cuts);
    std::string portable;
    {
      PortableTransformScope scope;
      EXPECT_EQ(ShaActiveTransform(), ShaTransform::Portable);
      portable = Sha1Hex(m, cuts);
    }
    ASSERT_EQ(fast, portable) << n << " bytes";
  }
  EXPECT_EQ(ShaActiveTransform(), ShaTransform::ShaExtensions);
}

// The vectors above ran on whichever transform the CPU picked; run the SHA-1
// ones on the portable transform as well.
TEST(ShaTransforms, PortableTransformGivesThePublishedDigests) {
  PortableTransformScope scope;
  for (const Vector& v : kSha1Vectors) {
    EXPECT_EQ(Sha1Hex(v.message, {0, v.message.size()}), v.expected) << v.message.size() << " bytes";
  }
}

}  // namespace
