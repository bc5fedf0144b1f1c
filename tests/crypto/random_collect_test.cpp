// What the gatherer collects when the kernel source does not answer: the
// items in their order and sizes, each on a 4-byte boundary, the system
// queries and where the collection ends.
#include <gtest/gtest.h>

#include <cstring>

#include "crypto/random/gather.h"
#include "tests/crypto/random_test_util.h"

namespace {

struct Item {
  DWORD offset;
  std::vector<BYTE> bytes;
};

std::vector<BYTE> Repeat(BYTE b, size_t n) { return std::vector<BYTE>(n, b); }
std::vector<BYTE> Text(const std::string& s) { return std::vector<BYTE>(s.begin(), s.end()); }

class RandomCollect : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetWorld();
    pool_ = Pattern(POOL_SIZE, 1, 0);
    std::memset(&names_, 0, sizeof names_);
  }

  DWORD Collect() {
    std::memset(buffer_, 0xCC, sizeof buffer_);
    return CollectEntropy(FakeSources(), &names_, pool_.data(), buffer_);
  }

  void ExpectItems(const std::vector<Item>& items, DWORD used) {
    std::vector<BYTE> expected(used, 0);  // padding is zero
    for (const Item& it : items) std::memcpy(expected.data() + it.offset, it.bytes.data(), it.bytes.size());
    EXPECT_EQ(Hex(buffer_, used), Hex(expected));
  }

  // The fixed items of the fake sources with a 4-byte computer name and a
  // 7-byte user name; 348 bytes without padding, 356 with.
  std::vector<Item> FixedItems() const {
    return {{0, pool_},
            {256, Repeat(0x11, 4)},
            {260, Repeat(0x22, 4)},
            {264, Repeat(0x33, 4)},
            {268, Repeat(0x44, 16)},
            {284, Repeat(0x55, 8)},
            {292, Repeat(0x66, 32)},
            {324, Repeat(0x77, 16)},
            {340, Text("HOST")},
            {344, Text("someone")}};
  }

  std::vector<BYTE> pool_;
  NameCache names_;
  BYTE buffer_[COLLECT_LEN];
};

TEST_F(RandomCollect, ItemsInOrderWithoutSystemQuery) {
  const DWORD used = Collect();
  ASSERT_EQ(used, 351u);
  ExpectItems(FixedItems(), used);
}

TEST_F(RandomCollect, CursorAndMessageTimeEndItWhereThereIsNoQuery) {
  World().fCursor = true;
  World().computerName = "PC";  // padding after odd lengths: 340+2 -> 344, 344+7 -> 352
  const DWORD used = Collect();
  ASSERT_EQ(used, 364u);
  std::vector<Item> items = FixedItems();
  items[8].bytes = Text("PC");
  items.push_back({352, Repeat(0xC8, 8)});
  items.push_back({360, Repeat(0xC4, 4)});
  ExpectItems(items, used);
}

// Each query is offered its size (the last two all that is left) and adds
// what it returns; a failing one adds nothing, and neither its scribbles nor
// the unreturned part of an answer are kept.
TEST_F(RandomCollect, SystemQueriesAddWhatTheyReturn) {
  World().fSystemQuery = true;
  World().fCursor = true;  // not used where the query exists
  World().dwFailingClass = 2;
  const DWORD used = Collect();
  // 352 after the names; class 8: 24 of 48; class 2 fails; 0x21: 8 of 16;
  // 0x2d: 16 of 32; 0x17: half of 3584 - 400; 5: half of what is left then.
  const DWORD after17 = 400 + (COLLECT_LEN - 400) / 2;
  const DWORD offer5 = COLLECT_LEN - after17;
  const std::vector<std::pair<DWORD, DWORD>> expectedQueries = {{8, 48},    {2, 312},     {0x21, 16},
                                                                {0x2d, 32}, {0x17, 3184}, {5, offer5}};
  EXPECT_EQ(World().queries, expectedQueries);
  ASSERT_EQ(used, after17 + offer5 / 2);
  std::vector<Item> items = FixedItems();
  items.push_back({352, Repeat(0xA8, 24)});
  items.push_back({376, Repeat(0xC1, 8)});
  items.push_back({384, Repeat(0xCD, 16)});
  items.push_back({400, Repeat(0xB7, (COLLECT_LEN - 400) / 2)});
  items.push_back({after17, Repeat(0xA5, offer5 / 2)});
  ExpectItems(items, used);
}

// A query writes over all it was offered but reports 5 bytes: the 3 bytes
// of padding after each answer are zero, not what the query left there.
TEST_F(RandomCollect, WhatAQueryWritesBeyondItsLengthIsNotKept) {
  World().fSystemQuery = true;
  World().dwQueryReturns = 5;
  const DWORD used = Collect();
  std::vector<Item> items = FixedItems();
  const DWORD classes[] = {8, 2, 0x21, 0x2d, 0x17, 5};
  for (DWORD i = 0; i < 6; ++i) items.push_back({352 + 8 * i, Repeat(static_cast<BYTE>(0xA0 + classes[i]), 5)});
  ASSERT_EQ(used, 352u + 8 * 5 + 5);
  ExpectItems(items, used);
}

// A query that takes all that is left leaves nothing for the next one,
// which is not asked: the collection ends there, full.
TEST_F(RandomCollect, AnItemThatDoesNotFitEndsTheCollection) {
  World().fSystemQuery = true;
  World().fQueryFillsAll = true;
  EXPECT_EQ(Collect(), COLLECT_LEN);
  ASSERT_EQ(World().queries.size(), 5u);
  EXPECT_EQ(World().queries.back().first, 0x17u);
}

// The names are taken once; later collections reuse them.
TEST_F(RandomCollect, NamesAreTakenOnce) {
  Collect();
  World().computerName = "OTHER";
  Collect();
  EXPECT_EQ(World().computerNameCalls, 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer_) + 340, 4), "HOST");
}

}  // namespace
