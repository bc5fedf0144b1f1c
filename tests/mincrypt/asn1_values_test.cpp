#include <gtest/gtest.h>

#include <vector>

#include "mincrypt/asn1util.h"
#include "tests/mincrypt/asn1_test_util.h"
#include "tests/support/der_builder.h"

using namespace der;
using asn1test::Blob;
using asn1test::Hex;
using asn1test::IsAbsent;

namespace {

const BYTE kSeqTag[] = {0x30, 0};
const BYTE kIntTag[] = {0x02, 0};
const BYTE kOctTag[] = {0x04, 0};
const BYTE kBitTag[] = {0x03, 0};
const BYTE kTimeTags[] = {0x17, 0x18, 0};

constexpr DWORD kOver = MINASN1_STEP_OVER_VALUE_OP;
constexpr DWORD kOptOver = MINASN1_OPTIONAL_STEP_OVER_VALUE_OP;
constexpr DWORD kInto = MINASN1_STEP_INTO_VALUE_OP;
constexpr DWORD kOptInto = MINASN1_OPTIONAL_STEP_INTO_VALUE_OP;
constexpr DWORD kOut = MINASN1_STEP_OUT_VALUE_OP;
constexpr DWORD kWhole = MINASN1_RETURN_VALUE_BLOB_FLAG;
constexpr DWORD kContent = MINASN1_RETURN_CONTENT_BLOB_FLAG;

struct Outcome {
  LONG result;
  DWORD cEntries;
  std::vector<DerBlob> slots;
};

// Runs a table with a poisoned result array of cSlots.
Outcome Parse(const Bytes& in, const std::vector<MinAsn1ValueEntry>& table, DWORD cSlots = 8) {
  Outcome run{0, static_cast<DWORD>(table.size()), std::vector<DerBlob>(cSlots, DerBlob{0xDEAD, asn1test::kPoison})};
  run.result = MinAsn1ParseValues(in.data(), static_cast<DWORD>(in.size()), &run.cEntries, table.data(), cSlots,
                                  run.slots.data());
  return run;
}

TEST(Asn1ParseValues, StoresWholeOrContentAndReportsBytesConsumed) {
  const Bytes in = Cat({Seq({Integer(5), OctetString(FromHex("aabb"))}), FromHex("ffff")});
  const Outcome run = Parse(in, {{kInto | kWhole, 1, kSeqTag},
                                 {kOver | kContent, 2, kIntTag},
                                 {kOver | kWhole | kContent, 3, kOctTag},  // content wins
                                 {kOut, 0, nullptr}});
  EXPECT_EQ(run.result, 9);  // position after the step-out: the trailing bytes are not consumed
  EXPECT_EQ(run.cEntries, 4u);
  EXPECT_EQ(run.slots[1].pbData, in.data());
  EXPECT_EQ(run.slots[1].cbData, 9u);
  EXPECT_EQ(Hex(run.slots[2]), "05");
  EXPECT_EQ(Hex(run.slots[3]), "aabb");
  EXPECT_EQ(run.slots[3].pbData, in.data() + 7);
  EXPECT_EQ(run.slots[0].cbData, 0xDEADu) << "slot 0 untouched";
}

TEST(Asn1ParseValues, ResultIsThePositionAfterTheLastEntryNotTheStructureEnd) {
  const Bytes in = Seq({Integer(5), OctetString(FromHex("aabb"))});
  EXPECT_EQ(Parse(in, {{kInto, 0, kSeqTag}, {kOver, 0, kIntTag}}).result, 5);
  EXPECT_EQ(Parse(in, {{kInto, 0, kSeqTag}}).result, 2);
  EXPECT_EQ(Parse(in, {}).result, 0);
}

TEST(Asn1ParseValues, FailureOffsetAndEntryCount) {
  // SEQUENCE header (2) + OCTET STRING of 6 (8): the INTEGER is expected at byte 10.
  const Bytes in = Seq({OctetString(Bytes(6, 1)), OctetString(FromHex("00"))});
  const Outcome run =
      Parse(in, {{kInto, 0, kSeqTag}, {kOver | kWhole, 1, kOctTag}, {kOver | kWhole, 2, kIntTag}, {kOver, 0, nullptr}});
  EXPECT_EQ(run.result, -11);
  EXPECT_EQ(run.cEntries, 2u);
  EXPECT_EQ(run.slots[1].cbData, 8u) << "slots stored before the failure stay";
  EXPECT_EQ(run.slots[2].cbData, 0xDEADu);
}

TEST(Asn1ParseValues, RequiredElementMissingFailsAtItsPosition) {
  struct Case {
    const char* name;
    Bytes in;
    std::vector<MinAsn1ValueEntry> table;
    LONG result;
    DWORD cEntries;
  };
  const Case cases[] = {
      {"empty input", {}, {{kOver, 0, nullptr}}, -1, 0},
      {"wrong tag", Integer(1), {{kOver, 0, kOctTag}}, -1, 0},
      {"nothing left in level",
       Seq({Integer(1)}),
       {{kInto, 0, kSeqTag}, {kOver, 0, kIntTag}, {kOver, 0, nullptr}},
       -6,
       2},
      {"step-into absent", Integer(1), {{kOver, 0, kIntTag}, {kInto, 0, kSeqTag}}, -4, 1},
      {"header does not decode", FromHex("30 03 02 80 00"), {{kInto, 0, kSeqTag}, {kOver, 0, kIntTag}}, -3, 1},
      {"child overruns its parent",
       Cat({FromHex("30 03 04 05 00"), Bytes(8, 0)}),
       {{kInto, 0, kSeqTag}, {kOver, 0, kOctTag}},
       -3,
       1},
      {"unknown operation at a present element", Integer(1), {{0, 0, nullptr}}, -1, 0},
      {"operation 6 at a present element", Integer(1), {{6, 0, nullptr}}, -1, 0},
      {"unknown operation with nothing left", {}, {{7, 0, nullptr}}, -1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome run = Parse(c.in, c.table);
    EXPECT_EQ(run.result, c.result);
    EXPECT_EQ(run.cEntries, c.cEntries);
  }
}

TEST(Asn1ParseValues, TagListsAcceptAnyListedOctetOrAnythingWhenNull) {
  for (const Bytes& in : {UtcTime("250101000000Z"), GeneralizedTime("20250101000000Z")}) {
    EXPECT_EQ(Parse(in, {{kOver, 0, kTimeTags}}).result, static_cast<LONG>(in.size()));
    EXPECT_EQ(Parse(in, {{kOver, 0, nullptr}}).result, static_cast<LONG>(in.size()));
  }
  EXPECT_EQ(Parse(Integer(0), {{kOver, 0, kTimeTags}}).result, -1);
  // Only the first identifier octet is compared: a high tag number starting
  // with 0x1f matches a list containing 0x1f whatever follows.
  const BYTE kHighTag[] = {0x1f, 0};
  EXPECT_EQ(Parse(FromHex("1f 81 01 00"), {{kOver, 0, kHighTag}}).result, 4);
}

TEST(Asn1ParseValues, OptionalElementsAbsentAtEndOfLevelOrMismatchedStayPut) {
  const Bytes in = Cat({Seq({Integer(7)}), OctetString(FromHex("01"))});
  const Outcome run = Parse(in, {{kInto, 0, kSeqTag},
                                 {kOver | kContent, 1, kIntTag},
                                 {kOptOver | kWhole, 2, nullptr},  // nothing left in the SEQUENCE
                                 {kOut, 0, nullptr},
                                 {kOptOver | kWhole, 3, kIntTag},  // identifier 04 is not 02
                                 {kOver | kContent, 4, kOctTag}});
  EXPECT_EQ(run.result, static_cast<LONG>(in.size()));
  EXPECT_EQ(Hex(run.slots[1]), "07");
  EXPECT_TRUE(IsAbsent(run.slots[2]));
  EXPECT_TRUE(IsAbsent(run.slots[3]));
  EXPECT_EQ(Hex(run.slots[4]), "01");
}

TEST(Asn1ParseValues, AbsentOptionalStepIntoSkipsItsWholeLevel) {
  // [0] { INTEGER } is absent: everything up to its step-out is stored empty,
  // even required entries, nested levels and unknown operations; parsing then
  // resumes at the same position.
  const Bytes in = Seq({Integer(9), OctetString(FromHex("cc"))});
  const BYTE kContext0[] = {0xA0, 0};
  const Outcome run = Parse(in, {{kInto, 0, kSeqTag},
                                 {kOptInto | kWhole, 1, kContext0},
                                 {kOver | kContent, 2, kIntTag},
                                 {kInto | kWhole, 3, kSeqTag},
                                 {kOver | kWhole, 4, nullptr},
                                 {9, 5, nullptr},
                                 {kOut, 0, nullptr},
                                 {kOut, 0, nullptr},
                                 {kOver | kContent, 6, kIntTag},
                                 {kOver | kContent, 7, kOctTag}});
  EXPECT_EQ(run.result, static_cast<LONG>(in.size()));
  for (DWORD i = 1; i <= 4; i++) EXPECT_TRUE(IsAbsent(run.slots[i])) << i;
  EXPECT_EQ(run.slots[5].cbData, 0xDEADu) << "operation 9 has no store flag";
  EXPECT_EQ(Hex(run.slots[6]), "09");
  EXPECT_EQ(Hex(run.slots[7]), "cc");
}

TEST(Asn1ParseValues, PresentOptionalStepIntoDescends) {
  const Bytes in = Seq({Explicit(0, {Integer(2)}), Integer(9)});
  const BYTE kContext0[] = {0xA0, 0};
  const Outcome run = Parse(in, {{kInto, 0, kSeqTag},
                                 {kOptInto | kContent, 1, kContext0},
                                 {kOver | kContent, 2, kIntTag},
                                 {kOut, 0, nullptr},
                                 {kOver | kContent, 3, kIntTag}});
  EXPECT_EQ(run.result, static_cast<LONG>(in.size()));
  EXPECT_EQ(Hex(run.slots[1]), "020102");
  EXPECT_EQ(Hex(run.slots[2]), "02");
  EXPECT_EQ(Hex(run.slots[3]), "09");
}

TEST(Asn1ParseValues, BitStringContentDropsTheUnusedBitsOctet) {
  struct Case {
    Bytes in;
    DWORD flags;
    const char* stored;
  };
  const Case cases[] = {
      {BitString(FromHex("a1b2")), kContent, "a1b2"},
      {BitString(FromHex("a1b2"), 4), kContent, "a1b2"},
      {FromHex("03 00"), kContent, ""},  // empty content stays empty
      {BitString(FromHex("a1b2")), kWhole, "030300a1b2"},
      {Implicit(1, FromHex("00a1b2")), kContent, "00a1b2"},  // not identifier 03
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(ToHex(c.in));
    const Outcome run = Parse(c.in, {{kOver | c.flags, 1, nullptr}});
    EXPECT_EQ(run.result, static_cast<LONG>(c.in.size()));
    EXPECT_EQ(Hex(run.slots[1]), c.stored);
  }
  // The empty BIT STRING still points at its (empty) content.
  const Bytes empty = FromHex("03 00");
  const Outcome run = Parse(empty, {{kOver | kContent, 1, kBitTag}});
  EXPECT_EQ(run.slots[1].pbData, empty.data() + 2);
}

TEST(Asn1ParseValues, StoresOnlyIntoSlotsBelowTheCountOfAGivenArray) {
  const Bytes in = Seq({Integer(1), Integer(2)});
  const std::vector<MinAsn1ValueEntry> table = {
      {kInto | kWhole, 1, kSeqTag}, {kOver | kContent, 2, kIntTag}, {kOver | kContent, 3, kIntTag}};
  DerBlob slots[4];
  asn1test::Poison(slots);
  DWORD cEntries = 3;
  EXPECT_EQ(MinAsn1ParseValues(in.data(), static_cast<DWORD>(in.size()), &cEntries, table.data(), 3, slots), 8);
  EXPECT_EQ(Hex(slots[2]), "01");
  EXPECT_EQ(slots[3].cbData, 0xDEADu);
  // No array at all: the walk is the same.
  EXPECT_EQ(MinAsn1ParseValues(in.data(), static_cast<DWORD>(in.size()), &cEntries, table.data(), 4, nullptr), 8);
  // No store flag: the slot keeps its old value.
  const Outcome run = Parse(in, {{kInto, 1, kSeqTag}});
  EXPECT_EQ(run.slots[1].cbData, 0xDEADu);
}

// Nesting depth: n SEQUENCEs inside each other.
Bytes Nested(int n) {
  Bytes inner = Null();
  for (int i = 0; i < n; i++) inner = Seq({inner});
  return inner;
}

TEST(Asn1ParseValues, EightLevelsNestAndANinthFailsAtItsEntry) {
  const Bytes in = Nested(9);
  std::vector<MinAsn1ValueEntry> table(8, MinAsn1ValueEntry{kInto, 0, kSeqTag});
  EXPECT_EQ(Parse(in, table).result, 16);
  table.push_back({kInto, 0, kSeqTag});
  const Outcome run = Parse(in, table);
  EXPECT_EQ(run.result, -17);
  EXPECT_EQ(run.cEntries, 8u);

  // Skipped levels count the same.
  std::vector<MinAsn1ValueEntry> skipped(8, MinAsn1ValueEntry{kOptInto, 0, kOctTag});
  EXPECT_EQ(Parse(in, skipped).result, 0);
  skipped.push_back({kOptInto, 0, kOctTag});
  const Outcome skippedRun = Parse(in, skipped);
  EXPECT_EQ(skippedRun.result, -1);
  EXPECT_EQ(skippedRun.cEntries, 8u);

  // Stepping out frees a level for the next step-in.
  std::vector<MinAsn1ValueEntry> outAndIn(8, MinAsn1ValueEntry{kInto, 0, kSeqTag});
  outAndIn.push_back({kOut, 0, nullptr});
  outAndIn.push_back({kOptInto, 0, kSeqTag});
  EXPECT_EQ(Parse(in, outAndIn).result, 20);
}

TEST(Asn1ParseValues, StepOutWithNothingToLeaveFails) {
  const Bytes in = Seq({Integer(1)});
  Outcome run = Parse(in, {{kOut, 0, nullptr}});
  EXPECT_EQ(run.result, -1);
  EXPECT_EQ(run.cEntries, 0u);
  run = Parse(in, {{kInto, 0, kSeqTag}, {kOut, 0, nullptr}, {kOut, 0, nullptr}});
  EXPECT_EQ(run.result, -6);  // back at the end of the SEQUENCE
  EXPECT_EQ(run.cEntries, 2u);
}

}  // namespace
