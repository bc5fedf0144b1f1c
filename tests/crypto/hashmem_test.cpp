// The algorithm-keyed hash-memory interface: digests through each form, blob
// and update splitting, the static contexts' life cycle and the error codes.
#include "mincrypt/hashmem.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/crypto/digests_test_util.h"

namespace {

const char kSha1Abc[] = "a9993e364706816aba3e25717850c26c9cd0d89d";  // FIPS 180-1 A
const char kMd5Abc[] = "900150983cd24fb0d6963f7d28e17f72";           // RFC 1321 A.5
const char kSha1Empty[] = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
const char kMd5Empty[] = "d41d8cd98f00b204e9800998ecf8427e";  // RFC 1321 A.5

DerBlob BlobOf(const std::vector<BYTE>& v, size_t from, size_t to) {
  return DerBlob{static_cast<DWORD>(to - from), to > from ? v.data() + from : nullptr};
}

struct Digest {
  LONG status;
  DWORD cb;
  std::string hex;
};

Digest HashOnce(ALG_ID alg, const std::vector<DerBlob>& blobs) {
  BYTE hash[MINCRYPT_MAX_HASH_LEN];
  DWORD cb = 0xDEAD;
  const LONG status = MinCryptHashMemory(alg, static_cast<DWORD>(blobs.size()), blobs.data(), hash, &cb);
  return {status, cb, status == 0 ? ToHex(hash, cb) : ""};
}

struct Algorithm {
  ALG_ID id;
  DWORD cbHash;
  const char* abc;
  const char* empty;
};

const Algorithm kAlgorithms[] = {
    {CALG_SHA1, 20, kSha1Abc, kSha1Empty},
    {CALG_MD5, 16, kMd5Abc, kMd5Empty},
};

TEST(HashMemory, OneShotAndStreamingFormsGiveTheDigest) {
  const std::vector<BYTE> abc = Bytes("abc");
  for (const Algorithm& alg : kAlgorithms) {
    SCOPED_TRACE(alg.id);
    const Digest once = HashOnce(alg.id, {BlobOf(abc, 0, 3)});
    EXPECT_EQ(once.status, 0);
    EXPECT_EQ(once.cb, alg.cbHash);
    EXPECT_EQ(once.hex, alg.abc);

    MinCryptHashHandle h = nullptr;
    ASSERT_EQ(MinCryptInitHashMemory(alg.id, &h), 0);
    ASSERT_NE(h, nullptr);
    const DerBlob a = BlobOf(abc, 0, 1), bc = BlobOf(abc, 1, 3);
    ASSERT_EQ(MinCryptUpdateHashMemory(alg.id, h, 1, &a), 0);
    ASSERT_EQ(MinCryptUpdateHashMemory(alg.id, h, 1, &bc), 0);
    BYTE hash[MINCRYPT_MAX_HASH_LEN];
    DWORD cb = 0;
    ASSERT_EQ(MinCryptFinalHashMemory(alg.id, h, hash, &cb), 0);
    EXPECT_EQ(cb, alg.cbHash);
    EXPECT_EQ(ToHex(hash, cb), alg.abc);
  }
}

TEST(HashMemory, NoBlobsOrOnlyEmptyBlobsHashTheEmptyMessage) {
  const std::vector<DerBlob> empties = {{0, nullptr}, {0, nullptr}, {0, reinterpret_cast<const BYTE*>("x")}};
  for (const Algorithm& alg : kAlgorithms) {
    SCOPED_TRACE(alg.id);
    EXPECT_EQ(HashOnce(alg.id, {}).hex, alg.empty);
    EXPECT_EQ(HashOnce(alg.id, empties).hex, alg.empty);
  }
}

TEST(HashMemory, ManyBlobsOverManyUpdatesEqualOneCall) {
  std::mt19937 rng(7);
  for (const Algorithm& alg : kAlgorithms) {
    for (int round = 0; round < 50; ++round) {
      const size_t n = rng() % 700;
      const std::vector<BYTE> m = RandomBytes(rng, n);
      const Digest whole = HashOnce(alg.id, {BlobOf(m, 0, n)});

      // Random blob boundaries (empty blobs included), grouped into a random
      // number of update calls.
      const std::vector<size_t> cuts = RandomCuts(rng, n, 1 + rng() % 12);
      std::vector<DerBlob> blobs;
      for (size_t i = 0; i + 1 < cuts.size(); ++i) blobs.push_back(BlobOf(m, cuts[i], cuts[i + 1]));
      MinCryptHashHandle h = nullptr;
      ASSERT_EQ(MinCryptInitHashMemory(alg.id, &h), 0);
      for (size_t i = 0; i < blobs.size();) {
        const size_t group = std::min<size_t>(1 + rng() % 3, blobs.size() - i);
        ASSERT_EQ(MinCryptUpdateHashMemory(alg.id, h, static_cast<DWORD>(group), &blobs[i]), 0);
        i += group;
      }
      BYTE hash[MINCRYPT_MAX_HASH_LEN];
      DWORD cb = 0;
      ASSERT_EQ(MinCryptFinalHashMemory(alg.id, h, hash, &cb), 0);
      ASSERT_EQ(ToHex(hash, cb), whole.hex) << n << " bytes in " << blobs.size() << " blobs";
    }
  }
}

TEST(HashMemory, InitRestartsTheSharedContext) {
  const std::vector<BYTE> junk = Bytes("a message that is abandoned half-way");
  const std::vector<BYTE> abc = Bytes("abc");
  for (const Algorithm& alg : kAlgorithms) {
    MinCryptHashHandle h = nullptr;
    ASSERT_EQ(MinCryptInitHashMemory(alg.id, &h), 0);
    const DerBlob j = BlobOf(junk, 0, junk.size());
    ASSERT_EQ(MinCryptUpdateHashMemory(alg.id, h, 1, &j), 0);
    // A second message of the same algorithm takes over the one context.
    EXPECT_EQ(HashOnce(alg.id, {BlobOf(abc, 0, 3)}).hex, alg.abc);
  }
}

TEST(HashMemory, ShaFinalResetsTheContextButMd5FinalDoesNot) {
  const std::vector<BYTE> abc = Bytes("abc");
  const DerBlob blob = BlobOf(abc, 0, 3);
  BYTE hash[MINCRYPT_MAX_HASH_LEN];
  DWORD cb = 0;

  MinCryptHashHandle hSha = nullptr;
  ASSERT_EQ(MinCryptInitHashMemory(CALG_SHA1, &hSha), 0);
  ASSERT_EQ(MinCryptFinalHashMemory(CALG_SHA1, hSha, hash, &cb), 0);
  EXPECT_EQ(ToHex(hash, cb), kSha1Empty);
  // No init: the final step left a fresh context behind.
  ASSERT_EQ(MinCryptUpdateHashMemory(CALG_SHA1, hSha, 1, &blob), 0);
  ASSERT_EQ(MinCryptFinalHashMemory(CALG_SHA1, hSha, hash, &cb), 0);
  EXPECT_EQ(ToHex(hash, cb), kSha1Abc);

  MinCryptHashHandle hMd5 = nullptr;
  ASSERT_EQ(MinCryptInitHashMemory(CALG_MD5, &hMd5), 0);
  ASSERT_EQ(MinCryptFinalHashMemory(CALG_MD5, hMd5, hash, &cb), 0);
  EXPECT_EQ(ToHex(hash, cb), kMd5Empty);
  // Without init the MD5 context carries on from its finished state.
  ASSERT_EQ(MinCryptFinalHashMemory(CALG_MD5, hMd5, hash, &cb), 0);
  EXPECT_NE(ToHex(hash, cb), kMd5Empty);
}

TEST(HashMemory, ErrorCodes) {
  const std::vector<BYTE> abc = Bytes("abc");
  const DerBlob empty = {0, nullptr};
  const DerBlob full = BlobOf(abc, 0, 3);
  const DerBlob emptyThenFull[] = {empty, full};

  MinCryptHashHandle hSha = nullptr, hMd5 = nullptr;
  ASSERT_EQ(MinCryptInitHashMemory(CALG_SHA1, &hSha), 0);
  ASSERT_EQ(MinCryptInitHashMemory(CALG_MD5, &hMd5), 0);
  ASSERT_NE(hSha, hMd5);

  MinCryptHashHandle hBad = &hSha;
  EXPECT_EQ(MinCryptInitHashMemory(0, &hBad), NTE_BAD_ALGID);
  EXPECT_EQ(hBad, nullptr);
  EXPECT_EQ(MinCryptInitHashMemory(0x8002 /* CALG_MD4 */, &hBad), NTE_BAD_ALGID);

  struct UpdateCase {
    ALG_ID alg;
    MinCryptHashHandle h;
    const DerBlob* blobs;
    DWORD cBlob;
    LONG expected;
  } updates[] = {
      {0, hSha, &empty, 1, 0},                     // empty blobs are never checked
      {0, nullptr, nullptr, 0, 0},                 // nor is an empty array
      {0, hSha, &full, 1, NTE_BAD_ALGID},          // a non-empty one is
      {0, hSha, emptyThenFull, 2, NTE_BAD_ALGID},  // even after an empty one
      {CALG_SHA1, hMd5, &empty, 1, 0},             // foreign handle, nothing to hash
      {CALG_SHA1, hMd5, &full, 1, ERROR_NO_DATA},  // foreign handle
      {CALG_MD5, hSha, &full, 1, ERROR_NO_DATA},   // the other way round
      {CALG_SHA1, nullptr, &full, 1, ERROR_NO_DATA},
      {0x8002, nullptr, &full, 1, NTE_BAD_ALGID},  // the algorithm is checked first
  };
  for (const UpdateCase& c : updates) {
    EXPECT_EQ(MinCryptUpdateHashMemory(c.alg, c.h, c.cBlob, c.blobs), c.expected)
        << "alg " << c.alg << ", " << c.cBlob << " blobs";
  }

  // None of the failed updates absorbed anything.
  BYTE hash[MINCRYPT_MAX_HASH_LEN];
  DWORD cb = 0;
  ASSERT_EQ(MinCryptFinalHashMemory(CALG_SHA1, hSha, hash, &cb), 0);
  EXPECT_EQ(ToHex(hash, cb), kSha1Empty);
  ASSERT_EQ(MinCryptFinalHashMemory(CALG_MD5, hMd5, hash, &cb), 0);
  EXPECT_EQ(ToHex(hash, cb), kMd5Empty);

  // Final: an unknown algorithm reports length 0; a foreign handle writes nothing.
  BYTE untouched[MINCRYPT_MAX_HASH_LEN];
  std::memset(untouched, 0x5A, sizeof untouched);
  std::memcpy(hash, untouched, sizeof hash);
  cb = 77;
  EXPECT_EQ(MinCryptFinalHashMemory(0, hSha, hash, &cb), NTE_BAD_ALGID);
  EXPECT_EQ(cb, 0u);
  cb = 77;
  EXPECT_EQ(MinCryptFinalHashMemory(CALG_SHA1, hMd5, hash, &cb), ERROR_NO_DATA);
  EXPECT_EQ(MinCryptFinalHashMemory(CALG_MD5, hSha, hash, &cb), ERROR_NO_DATA);
  EXPECT_EQ(MinCryptFinalHashMemory(CALG_MD5, nullptr, hash, &cb), ERROR_NO_DATA);
  EXPECT_EQ(cb, 77u);
  EXPECT_EQ(0, std::memcmp(hash, untouched, sizeof hash));

  // The one-shot form stops at its first failing step.
  cb = 77;
  EXPECT_EQ(MinCryptHashMemory(0, 1, &full, hash, &cb), NTE_BAD_ALGID);
  EXPECT_EQ(MinCryptHashMemory(0, 0, nullptr, hash, &cb), NTE_BAD_ALGID);
  EXPECT_EQ(cb, 77u);
}

}  // namespace
