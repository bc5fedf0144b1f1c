// Known answers of the generator's building blocks, computed independently:
// the host-order SHA-1, the seed update with its registry value, and where
// stirring puts a digest into the pool.
#include <gtest/gtest.h>

#include <cstring>

#include "crypto/md4.h"
#include "crypto/random/entropy_pool.h"
#include "crypto/random/seed_update.h"
#include "crypto/sha1.h"
#include "tests/crypto/random_test_util.h"

namespace {

std::string HostOrderSha(const std::vector<BYTE>& msg) {
  ShaContext ctx;
  std::memset(&ctx, 0xA5, sizeof ctx);
  ShaInit(&ctx);
  ShaUpdateHostOrder(&ctx, msg.data(), static_cast<DWORD>(msg.size()));
  BYTE digest[SHA1_DIGEST_LEN];
  ShaFinalHostOrder(&ctx, digest);
  return Hex(digest, sizeof digest);
}

TEST(RandomKnownAnswers, HostOrderSha1) {
  struct Case {
    std::vector<BYTE> msg;
    const char* digest;
  };
  const Case cases[] = {
      {{}, "eea339da0d4b6b5eefbf5532901860950907d8af"},
      {{'a', 'b', 'c'}, "3d756230dfd706262b1f6e6a0241d37b0f6315e2"},
      {Pattern(55, 1, 0), "441a0b4e2bbdf143e057c99bae3eaee9277556ee"},
      {Pattern(56, 1, 0), "cf17415d49d3f7415a03e1e21b68af4fdce01291"},
      {Pattern(63, 1, 0), "bc94ad00cc797e46728aba187a3462f9117c6334"},
      {Pattern(64, 1, 0), "70a69b70bee7808c8e12b1115ee01c1fd0fac118"},
      {Pattern(119, 1, 0), "d58cd0605a8424350a1abd5f26d74f64d2ce8800"},
      {Pattern(200, 1, 0), "597fce8f9afd652963394aebf7449efdc83f68ce"},
  };
  for (const Case& c : cases) EXPECT_EQ(HostOrderSha(c.msg), c.digest) << "length " << c.msg.size();
}

// 3587 collected bytes: the last three take no part in the update.
TEST(RandomKnownAnswers, SeedRenewAndRegistryValue) {
  const char kNewSeed[] =
      "1e2db1bd754aa6cf181d200c19f8f1ce03e5b2c8d79b19671b468cd7a115f2f10c4a5892641608e6816d2c12080e2d77"
      "62024747d82b9563695a8568aec0a8312e96edf9e21515b7830060d7cc9e4a5f";
  const char kValue[] =
      "360c1b9abf092cb2a73d64ed8afd3ee0220307cca005fcb7ebbeedc8e7bd98654ff8288bdab52ddc62da68a323806180"
      "c6055e4821daf90a2f5ebd5731425a3ce44d8695f1bfc6cf94484f1f5a457bea";
  std::vector<BYTE> data = Pattern(3587, 13, 1);
  std::vector<BYTE> seed = Pattern(SEED_LEN, 7, 3);
  BYTE value[SEED_LEN];
  SeedRenew(seed.data(), data.data(), static_cast<DWORD>(data.size()), value);
  EXPECT_EQ(Hex(seed), kNewSeed);
  EXPECT_EQ(Hex(value, sizeof value), kValue);

  // Changing one of the left-out bytes changes nothing; one byte of the last
  // quarter changes the seed.
  std::vector<BYTE> other = data;
  other[3586] ^= 1;
  std::vector<BYTE> seed2 = Pattern(SEED_LEN, 7, 3);
  SeedUpdate(seed2.data(), other.data(), static_cast<DWORD>(other.size()));
  EXPECT_EQ(Hex(seed2), kNewSeed);
  other[3583] ^= 1;
  seed2 = Pattern(SEED_LEN, 7, 3);
  SeedUpdate(seed2.data(), other.data(), static_cast<DWORD>(other.size()));
  EXPECT_NE(Hex(seed2), kNewSeed);
}

// The digest goes in at the position and wraps at the end of the pool; the
// position moves by the step, not by the digest length.
TEST(RandomKnownAnswers, StirPlacesTheDigestAtThePosition) {
  const std::vector<BYTE> data = Pattern(100, 3, 9);
  MD4Context md4;
  MD4Init(&md4);
  MD4Update(&md4, data.data(), static_cast<DWORD>(data.size()));
  MD4Final(&md4);
  const struct {
    DWORD position;
    DWORD positionAfter;
  } cases[] = {{0, 7}, {100, 107}, {250, 1}, {255, 6}};
  for (const auto& c : cases) {
    EntropyPool pool;
    std::memset(pool.rgbData, 0x5A, POOL_SIZE);
    PoolInit(&pool);
    pool.dwPosition = c.position;
    ASSERT_TRUE(PoolStir(&pool, data.data(), static_cast<DWORD>(data.size())));
    EXPECT_EQ(pool.dwPosition, c.positionAfter);
    for (DWORD i = 0; i < POOL_SIZE; ++i) {
      const DWORD offset = (i + POOL_SIZE - c.position) % POOL_SIZE;
      const BYTE expected = offset < MD4_DIGEST_LEN ? static_cast<BYTE>(0x5A ^ md4.rgbDigest[offset]) : 0x5A;
      ASSERT_EQ(pool.rgbData[i], expected) << "position " << c.position << ", byte " << i;
    }
  }
}

// With the self flag the pool's own bytes follow the data into the digest,
// for MD4 (16 bytes stirred) and for the other digest kind, the host-order
// SHA-1 (20 bytes).
TEST(RandomKnownAnswers, StirWithSelfDigest) {
  const std::vector<BYTE> data = Pattern(10, 1, 0);
  for (DWORD kind : {POOL_DIGEST_MD4, 2u}) {
    EntropyPool pool;
    std::memset(pool.rgbData, 0, POOL_SIZE);
    PoolInit(&pool);
    pool.dwDigestKind = kind;
    pool.dwFlags = POOL_FLAG_DIGEST_SELF;
    pool.rgbData[200] = 0x42;
    std::vector<BYTE> expectedInput = data;
    expectedInput.insert(expectedInput.end(), pool.rgbData, pool.rgbData + POOL_SIZE);
    std::string digest;
    DWORD cbDigest;
    if (kind == POOL_DIGEST_MD4) {
      MD4Context md4;
      MD4Init(&md4);
      MD4Update(&md4, expectedInput.data(), static_cast<DWORD>(expectedInput.size()));
      MD4Final(&md4);
      digest = Hex(md4.rgbDigest, MD4_DIGEST_LEN);
      cbDigest = MD4_DIGEST_LEN;
    } else {
      digest = HostOrderSha(expectedInput);
      cbDigest = SHA1_DIGEST_LEN;
    }
    ASSERT_TRUE(PoolStir(&pool, data.data(), static_cast<DWORD>(data.size())));
    EXPECT_EQ(Hex(pool.rgbData, cbDigest), digest) << "kind " << kind;
    EXPECT_EQ(pool.rgbData[cbDigest], 0) << "kind " << kind;
  }
}

TEST(RandomKnownAnswers, UnsoundPoolsAreRefused) {
  const struct {
    const char* what;
    DWORD EntropyPool::*field;
    DWORD value;
  } cases[] = {
      {"no magic", &EntropyPool::dwMagic, 0},
      {"other size", &EntropyPool::dwSize, 512},
      {"position past the end", &EntropyPool::dwPosition, 256},
  };
  for (const auto& c : cases) {
    EntropyPool pool{};
    PoolInit(&pool);
    pool.*c.field = c.value;
    EntropyPool before = pool;
    const BYTE b = 1;
    EXPECT_FALSE(PoolStir(&pool, &b, 1)) << c.what;
    EXPECT_EQ(std::memcmp(&pool, &before, sizeof pool), 0) << c.what;
  }
}

}  // namespace
