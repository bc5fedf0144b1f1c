// Requests through generate and randomBytes over fake sources: when the
// generator re-keys, what it keys with, what it keeps in the registry, and
// what it does with caller entropy and a damaged pool.
#include <gtest/gtest.h>

#include <cstring>

#include "crypto/md4.h"
#include "crypto/random/gather.h"
#include "crypto/random/random.h"
#include "crypto/random/random_state.h"
#include "tests/crypto/random_test_util.h"

namespace {

class RandomGenerate : public ::testing::Test {
 protected:
  void SetUp() override { ResetWorld(); }
  void TearDown() override {
    RandomTestUseSources(nullptr);
    RandomTestReset();
  }

  // A kernel source that answers each gathering with its own key.
  void KernelKeys() {
    World().fKernel = true;
    World().kernelReplies = {Pattern(256, 1, 1), Pattern(256, 3, 2), Pattern(256, 5, 3)};
  }

  static std::vector<BYTE> Request(size_t n) {
    std::vector<BYTE> out(n, 0);
    EXPECT_TRUE(randomBytes(out.data(), static_cast<DWORD>(n)));
    return out;
  }
};

// Output bytes are keystream of the key of the latest gathering; a request
// longer than what is left before the limit is cut into chunks with a
// re-key between them. The first request of a process always re-keys.
TEST_F(RandomGenerate, RekeysAtTheFirstRequestAndAtTheLimit) {
  const struct {
    bool fQuery;
    std::vector<size_t> requests;
    std::vector<size_t> keystreamTaken;  // bytes of output per key, in order
  } cases[] = {
      {false, {1}, {1}},    {false, {4, 4}, {8}},           {false, {600}, {512, 88}}, {false, {500, 100}, {512, 88}},
      {true, {600}, {600}}, {true, {16384, 1}, {16384, 1}},
  };
  for (const auto& c : cases) {
    ResetWorld();
    KernelKeys();
    World().fSystemQuery = c.fQuery;
    UseFakeSources();
    std::vector<BYTE> all;
    for (size_t n : c.requests) {
      std::vector<BYTE> out = Request(n);
      all.insert(all.end(), out.begin(), out.end());
    }
    std::vector<BYTE> expected;
    for (size_t k = 0; k < c.keystreamTaken.size(); ++k) {
      std::vector<BYTE> ks = Keystream(World().kernelReplies[k], c.keystreamTaken[k]);
      expected.insert(expected.end(), ks.begin(), ks.end());
    }
    const std::string what = (c.fQuery ? "with query, " : "") + std::to_string(c.requests[0]) + " first";
    EXPECT_EQ(World().kernelCalls, static_cast<int>(c.keystreamTaken.size())) << what;
    EXPECT_EQ(Hex(all), Hex(expected)) << what;
    EXPECT_TRUE(World().seedWrites.empty()) << what;
  }
}

// The kernel source is asked with the pool bytes, and RC4 is keyed with as
// many bytes as it returned. A reply of no bytes counts as a failure (it
// would key the output with a constant), as does a failing source: the
// bytes are then collected and the registry value written.
TEST_F(RandomGenerate, KernelReplyKeysTheOutput) {
  const struct {
    const char* what;
    bool fFails;
    std::vector<BYTE> reply;
    bool fCollected;
  } cases[] = {
      {"short reply", false, Pattern(5, 9, 9), false},
      {"empty reply", false, {}, true},
      {"failing source", true, Pattern(256, 1, 1), true},
  };
  for (const auto& c : cases) {
    ResetWorld();
    World().fKernel = true;
    World().fKernelFails = c.fFails;
    World().kernelReplies = {c.reply};
    UseFakeSources();
    std::vector<BYTE> out = Request(32);
    ASSERT_EQ(World().kernelCalls, 1) << c.what;
    EXPECT_EQ(World().kernelInputs[0].size(), POOL_SIZE) << c.what;
    EXPECT_EQ(Hex(World().kernelInputs[0]), Hex(RandomStateForTests()->pool.rgbData, POOL_SIZE)) << c.what;
    EXPECT_EQ(World().seedWrites.size(), c.fCollected ? 1u : 0u) << c.what;
    if (!c.fCollected) {
      EXPECT_EQ(Hex(out), Hex(Keystream(c.reply, 32))) << c.what;
    }
  }
}

// Gathering from collected bytes: the registry value unmasks, with the
// keystream of the seed it was read as, to the seed kept in memory, and the
// output key is the keystream of that new seed.
TEST_F(RandomGenerate, CollectedGatheringRenewsTheSeed) {
  World().fSeedPresent = true;
  World().storedSeed = Pattern(RANDOM_SEED_LEN, 7, 3);
  UseFakeSources();
  std::vector<BYTE> out = Request(16);
  ASSERT_EQ(World().seedWrites.size(), 1u);
  std::vector<BYTE> unmasked = World().seedWrites[0];
  std::vector<BYTE> mask = Keystream(World().storedSeed, RANDOM_SEED_LEN);
  for (size_t i = 0; i < unmasked.size(); ++i) unmasked[i] ^= mask[i];
  const std::vector<BYTE> seed(RandomStateForTests()->rgbSeed, RandomStateForTests()->rgbSeed + SEED_LEN);
  EXPECT_EQ(Hex(unmasked), Hex(seed));
  EXPECT_NE(Hex(seed), Hex(World().storedSeed));
  EXPECT_EQ(Hex(out), Hex(Keystream(Keystream(seed, POOL_SIZE), 16)));

  // The seed update hashed the whole collection: the pool as the request's
  // first chunk left it, and every item after it.
  EntropyPool pool;
  std::memset(pool.rgbData, 0, POOL_SIZE);
  PoolInit(&pool);
  const std::vector<BYTE> zeros(16, 0);
  ASSERT_TRUE(PoolStir(&pool, zeros.data(), 16));
  NameCache names{};
  BYTE collected[COLLECT_LEN];
  const DWORD cbCollected = CollectEntropy(FakeSources(), &names, pool.rgbData, collected);
  ASSERT_GT(cbCollected, POOL_SIZE);
  std::vector<BYTE> updated = World().storedSeed;
  SeedUpdate(updated.data(), collected, cbCollected);
  EXPECT_EQ(Hex(seed), Hex(updated));
}

// The registry is read once per process; a missing value leaves the seed
// block as it was (zero in a fresh process).
TEST_F(RandomGenerate, RegistryIsReadOncePerProcess) {
  for (bool fPresent : {true, false}) {
    ResetWorld();
    KernelKeys();  // no gathering changes the seed
    World().fSeedPresent = fPresent;
    World().storedSeed = Pattern(RANDOM_SEED_LEN, 1, 0x80);
    UseFakeSources();
    Request(4);
    Request(600);
    EXPECT_EQ(World().seedReads, 1);
    const std::vector<BYTE> expected = fPresent ? World().storedSeed : std::vector<BYTE>(RANDOM_SEED_LEN, 0);
    EXPECT_EQ(Hex(RandomStateForTests()->rgbSeed, SEED_LEN), Hex(expected)) << fPresent;
  }
}

// Caller entropy is stirred in before the output, and the first
// min(256, length) pool bytes are handed back in the caller's buffer.
TEST_F(RandomGenerate, CallerEntropyIsStirredInAndThePoolCopiedBack) {
  for (size_t cbEntropy : {size_t{10}, size_t{256}, size_t{300}}) {
    ResetWorld();
    KernelKeys();
    UseFakeSources();
    std::vector<BYTE> entropy = Pattern(cbEntropy, 11, 5);
    const std::vector<BYTE> given = entropy;
    BYTE out[4] = {};
    ASSERT_TRUE(generate(entropy.data(), static_cast<DWORD>(cbEntropy), out, sizeof out));

    // A fresh pool is zero: the entropy's digest at 0, then the 4 zero
    // output bytes' digest at 7.
    std::vector<BYTE> pool(POOL_SIZE, 0);
    MD4Context md4;
    MD4Init(&md4);
    MD4Update(&md4, given.data(), static_cast<DWORD>(given.size()));
    MD4Final(&md4);
    for (size_t i = 0; i < MD4_DIGEST_LEN; ++i) pool[i] ^= md4.rgbDigest[i];
    const BYTE zeros[4] = {};
    MD4Init(&md4);
    MD4Update(&md4, zeros, 4);
    MD4Final(&md4);
    for (size_t i = 0; i < MD4_DIGEST_LEN; ++i) pool[7 + i] ^= md4.rgbDigest[i];

    const size_t cbBack = std::min<size_t>(cbEntropy, POOL_SIZE);
    EXPECT_EQ(Hex(entropy.data(), cbBack), Hex(pool.data(), cbBack)) << cbEntropy;
    EXPECT_EQ(Hex(entropy.data() + cbBack, cbEntropy - cbBack), Hex(given.data() + cbBack, cbEntropy - cbBack));
    EXPECT_EQ(Hex(World().kernelInputs[0]), Hex(pool)) << cbEntropy;
  }
}

// Each chunk stirs the bytes of the request that are still to come, as the
// caller's buffer holds them then, before any re-key: a 600-byte request cut
// at 512 stirs all 600 at position 0 and, for its second chunk, the last 88
// at position 7.
TEST_F(RandomGenerate, EachChunkStirsTheBytesStillToCome) {
  KernelKeys();
  UseFakeSources();
  std::vector<BYTE> out = Pattern(600, 7, 1);
  const std::vector<BYTE> given = out;
  ASSERT_TRUE(randomBytes(out.data(), 600));
  ASSERT_EQ(World().kernelCalls, 2);

  EntropyPool expected;
  std::memset(expected.rgbData, 0, POOL_SIZE);  // a fresh pool is zero
  PoolInit(&expected);
  ASSERT_TRUE(PoolStir(&expected, given.data(), 600));
  EXPECT_EQ(Hex(World().kernelInputs[0]), Hex(expected.rgbData, POOL_SIZE)) << "the first gathering's pool";
  ASSERT_TRUE(PoolStir(&expected, given.data() + 512, 88));
  EXPECT_EQ(Hex(World().kernelInputs[1]), Hex(expected.rgbData, POOL_SIZE)) << "the second gathering's pool";
  EXPECT_EQ(Hex(RandomStateForTests()->pool.rgbData, POOL_SIZE), Hex(expected.rgbData, POOL_SIZE));
}

TEST_F(RandomGenerate, RefusedRequests) {
  KernelKeys();
  UseFakeSources();
  BYTE out[8] = {};
  BYTE entropy[4] = {};
  EXPECT_FALSE(generate(nullptr, 4, out, sizeof out)) << "entropy length without a buffer";
  EXPECT_FALSE(randomBytes(nullptr, 8)) << "output length without a buffer";
  EXPECT_EQ(World().kernelCalls, 0);
  EXPECT_TRUE(randomBytes(nullptr, 0));

  ASSERT_TRUE(randomBytes(out, sizeof out));
  RandomStateForTests()->pool.dwMagic = 0;
  EXPECT_FALSE(randomBytes(out, sizeof out)) << "pool without its magic";
  EXPECT_FALSE(generate(entropy, sizeof entropy, out, sizeof out)) << "pool without its magic";
}

// The fixed sources make every run give the same bytes.
TEST_F(RandomGenerate, FixedSourcesAreDeterministic) {
  std::vector<BYTE> runs[2];
  for (auto& run : runs) {
    RandomTestUseSources(RandomTestFixedSources());
    RandomTestReset();
    run = Request(40);
    std::vector<BYTE> more = Request(600);
    run.insert(run.end(), more.begin(), more.end());
  }
  EXPECT_EQ(Hex(runs[0]), Hex(runs[1]));
  EXPECT_NE(Hex(runs[0]), Hex(std::vector<BYTE>(640, 0)));
}

}  // namespace
