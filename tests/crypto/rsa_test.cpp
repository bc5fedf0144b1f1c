// Portable RSA suite: fixed vectors computed by OpenSSL (see
// rsa_known_answers.h for how), the range and magic checks, and the heap
// discipline. Runs natively and under wine64.
#include "crypto/rsa.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "crypto/rsa_digits.h"
#include "platform/localheap.h"
#include "tests/crypto/rsa_known_answers.h"
#include "tests/crypto/rsa_test_support.h"

namespace {

using rsatest::BigEndianFromDigits;
using rsatest::DigitsFromBigEndian;
using rsatest::FromHex;
using rsatest::MakeKeyRecord;
using rsatest::PublicOpBigEndian;
using rsatest::ToHex;

constexpr Digit kPattern = 0xA5A5A5A5u;

// Blocks still held, as counted by the Linux heap stand-in; the real Windows
// heap keeps no such count.
long OutstandingBlocks() {
#ifdef _WIN32
  return 0;
#else
  return TfLocalHeapOutstanding();
#endif
}

// Runs RsaPublicOp on 528-byte buffers whose unused digits carry a pattern.
struct PublicOpRun {
  BOOL ok;
  std::vector<Digit> out;  // all 132 digits
};

PublicOpRun RunPublicOp(const RsaPublicKeyRecord& key, const std::vector<Digit>& input) {
  std::vector<Digit> in(RSA_MAX_OPERAND_DIGITS, 0);
  std::copy(input.begin(), input.end(), in.begin());
  PublicOpRun run{0, std::vector<Digit>(RSA_MAX_OPERAND_DIGITS, kPattern)};
  run.ok = RsaPublicOp(&key, in.data(), run.out.data());
  return run;
}

class RsaPublicKnownAnswerTest : public ::testing::TestWithParam<RsaPublicKnownAnswer> {};

TEST_P(RsaPublicKnownAnswerTest, MatchesOpenSsl) {
  const RsaPublicKnownAnswer& v = GetParam();
  const std::vector<uint8_t> modulus = FromHex(v.modulus);
  const RsaPublicKeyRecord key = MakeKeyRecord(modulus, v.exponent);
  const DWORD n = RsaOperandDigits(key.dwBitLength);
  const PublicOpRun run = RunPublicOp(key, DigitsFromBigEndian(FromHex(v.input), n));
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(ToHex(BigEndianFromDigits(run.out, modulus.size())), v.output);
  // Zeros up to the operand length, and nothing written beyond it.
  const size_t a = (modulus.size() + 3) / 4;
  for (size_t i = a; i < n; ++i) EXPECT_EQ(run.out[i], 0u) << "digit " << i;
  for (size_t i = n; i < run.out.size(); ++i) EXPECT_EQ(run.out[i], kPattern) << "digit " << i;
  EXPECT_EQ(OutstandingBlocks(), 0);
}

INSTANTIATE_TEST_SUITE_P(OpenSsl, RsaPublicKnownAnswerTest, ::testing::ValuesIn(kRsaPublicKnownAnswers),
                         [](const auto& info) { return std::string(info.param.name); });

// Private exponents drive the largest window table (32 odd powers).
TEST(RsaModExpKnownAnswer, PrivateExponentsMatchOpenSsl) {
  for (const RsaModExpKnownAnswer& v : kRsaModExpKnownAnswers) {
    const std::vector<uint8_t> modulus = FromHex(v.modulus);
    const size_t n = (modulus.size() + 3) / 4 + 2;
    const std::vector<Digit> m = DigitsFromBigEndian(modulus, n);
    const std::vector<Digit> e = DigitsFromBigEndian(FromHex(v.exponent), n);
    const std::vector<Digit> base = DigitsFromBigEndian(FromHex(v.base), n);
    std::vector<Digit> out(n, kPattern);
    ASSERT_TRUE(RsaModExp(out.data(), base.data(), e.data(), m.data(), static_cast<DWORD>(n))) << v.name;
    EXPECT_EQ(ToHex(BigEndianFromDigits(out, modulus.size())), v.result) << v.name;
    EXPECT_EQ(out[n - 1], 0u);
    EXPECT_EQ(out[n - 2], 0u);
  }
}

TEST(RsaOperandDigits, LengthsOfTheCommonKeySizes) {
  struct Case {
    DWORD bits, digits;
  } cases[] = {{512, 18}, {520, 20}, {1024, 34}, {2048, 66}, {4096, 130}};
  for (const Case& c : cases) EXPECT_EQ(RsaOperandDigits(c.bits), c.digits) << c.bits;
}

// A fixed 1024-bit key from the vectors, with an exponent chosen per test.
RsaPublicKeyRecord Key1024(DWORD exponent) {
  for (const RsaPublicKnownAnswer& v : kRsaPublicKnownAnswers) {
    if (std::string(v.name) == "Sha1Pkcs1_1024_e65537") return MakeKeyRecord(FromHex(v.modulus), exponent);
  }
  ADD_FAILURE() << "vector missing";
  return {};
}

std::vector<Digit> ModulusDigits(const RsaPublicKeyRecord& key) {
  const DWORD n = RsaOperandDigits(key.dwBitLength);
  std::vector<Digit> m(n);
  std::memcpy(m.data(), key.rgbModulus, n * sizeof(Digit));
  return m;
}

TEST(RsaPublicOp, ExponentOneCopiesTheInputWithoutARangeCheck) {
  const RsaPublicKeyRecord key = Key1024(1);
  const std::vector<Digit> big(34, 0xFFFFFFFFu);  // far above the modulus
  const PublicOpRun run = RunPublicOp(key, big);
  ASSERT_TRUE(run.ok);
  EXPECT_EQ(std::vector<Digit>(run.out.begin(), run.out.begin() + 34), big);
  EXPECT_EQ(run.out[34], kPattern);
}

TEST(RsaPublicOp, InputMustBeBelowTheModulus) {
  const RsaPublicKeyRecord key = Key1024(65537);
  const std::vector<Digit> m = ModulusDigits(key);
  std::vector<Digit> minusOne = m;
  minusOne[0] -= 1;  // the modulus is odd
  std::vector<Digit> highDigit(34, 0);
  highDigit[32] = 1;  // above every 1024-bit modulus, in a digit above it
  struct Case {
    const char* what;
    std::vector<Digit> input;
    bool accepted;
  } cases[] = {{"modulus", m, false}, {"modulus - 1", minusOne, true}, {"2^1024", highDigit, false}};
  for (const Case& c : cases) {
    const PublicOpRun run = RunPublicOp(key, c.input);
    EXPECT_EQ(run.ok != 0, c.accepted) << c.what;
    if (!c.accepted) {
      EXPECT_EQ(run.out[0], kPattern) << c.what << ": output written on refusal";
    }
  }
  // (m - 1)^e = (-1)^e = m - 1 for odd e.
  const PublicOpRun run = RunPublicOp(key, minusOne);
  EXPECT_EQ(std::vector<Digit>(run.out.begin(), run.out.begin() + 34), minusOne);
  EXPECT_EQ(OutstandingBlocks(), 0);
}

TEST(RsaPublicOp, RefusesBadRecords) {
  RsaPublicKeyRecord wrongMagic = Key1024(65537);
  wrongMagic.dwMagic = 0x32415352u;  // "RSA2"
  // The magic is checked before the exponent-1 shortcut copies the input.
  RsaPublicKeyRecord wrongMagicE1 = Key1024(1);
  wrongMagicE1.dwMagic = 0x32415352u;
  RsaPublicKeyRecord tooLong = Key1024(65537);
  tooLong.dwBitLength = 8 * 1024;  // more digits than the modulus field holds
  for (const RsaPublicKeyRecord* key : {&wrongMagic, &wrongMagicE1, &tooLong}) {
    const PublicOpRun run = RunPublicOp(*key, std::vector<Digit>{2});
    EXPECT_FALSE(run.ok);
    EXPECT_EQ(run.out[0], kPattern);
  }
}

TEST(RsaPublicOp, ExponentZeroGivesOne) {
  const PublicOpRun run = RunPublicOp(Key1024(0), std::vector<Digit>{12345, 678});
  ASSERT_TRUE(run.ok);
  std::vector<Digit> one(34, 0);
  one[0] = 1;
  EXPECT_EQ(std::vector<Digit>(run.out.begin(), run.out.begin() + 34), one);
}

TEST(RsaPublicOp, SmallInputsRaiseExactly) {
  // 2^65537 needs real reduction; 0 and 1 are fixed points.
  const RsaPublicKeyRecord key = Key1024(3);
  for (Digit x : {0u, 1u}) {
    const PublicOpRun run = RunPublicOp(key, std::vector<Digit>{x});
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.out[0], x);
    for (size_t i = 1; i < 34; ++i) EXPECT_EQ(run.out[i], 0u);
  }
  const PublicOpRun cube = RunPublicOp(key, std::vector<Digit>{0x10000});
  ASSERT_TRUE(cube.ok);
  std::vector<Digit> expected(34, 0);
  expected[1] = 0x10000;  // (2^16)^3 = 2^48, below the modulus
  EXPECT_EQ(std::vector<Digit>(cube.out.begin(), cube.out.begin() + 34), expected);
}

#ifndef _WIN32
// The exponent's length picks the table of odd powers: one entry up to 17
// bits (65537 is plain square-and-multiply), doubling at 18, 33, 65, 129 and
// 257 bits. Results cannot tell; the size of the table block can. With a
// 1024-bit modulus the table is the second block, after the modulus record.
TEST(RsaModExp, WindowTableFollowsExponentLength) {
  constexpr DWORD n = 34;
  constexpr DWORD a = 32;
  std::vector<Digit> modulus(n, 0);
  for (DWORD i = 0; i < a; ++i) modulus[i] = 0x9E3779B9u * (i + 1);
  modulus[0] |= 1;
  modulus[a - 1] |= 0x80000000u;
  std::vector<Digit> base(n, 0);
  base[0] = 2;
  struct Case {
    DWORD bits;
    DWORD entries;
  } cases[] = {{1, 1},  {17, 1},  {18, 2},   {32, 2},   {33, 4},   {64, 4},
               {65, 8}, {128, 8}, {129, 16}, {256, 16}, {257, 32}, {1024, 32}};
  for (const Case& c : cases) {
    std::vector<Digit> exponent(n, 0);
    exponent[(c.bits - 1) / 32] = 1u << ((c.bits - 1) % 32);
    std::vector<Digit> out(n, 0);
    TfLocalHeapFailAfter(1);
    EXPECT_FALSE(RsaModExp(out.data(), base.data(), exponent.data(), modulus.data(), n)) << c.bits;
    TfLocalHeapFailAfter(-1);
    EXPECT_EQ(TfLocalHeapLastRequest(), (c.entries + 1) * a * sizeof(Digit)) << c.bits << " bits";
    EXPECT_EQ(TfLocalHeapOutstanding(), 0);
  }
}

// Every heap block the operation takes can be refused; each refusal must
// give 0 and leave no block behind. The number of blocks is part of the
// contract: 1024-bit keys keep the exponent on the stack and divide in stack
// work space (modulus record and table only); 2048-bit keys take the exponent
// array, the modulus record, the division work for B^(a+2) mod m, the table
// and the final division's work.
TEST(RsaPublicOp, EveryRefusedHeapBlockFailsCleanly) {
  struct Case {
    const char* name;
    size_t blocks;
  } cases[] = {{"Sha1Pkcs1_1024_e65537", 2}, {"Sha1Pkcs1_2048_e65537", 5}, {"Sha1Pkcs1_512_e3", 2}};
  for (const Case& c : cases) {
    const RsaPublicKnownAnswer* v = nullptr;
    for (const RsaPublicKnownAnswer& k : kRsaPublicKnownAnswers) {
      if (std::string(k.name) == c.name) v = &k;
    }
    ASSERT_NE(v, nullptr);
    const std::vector<uint8_t> modulus = FromHex(v->modulus);
    const RsaPublicKeyRecord key = MakeKeyRecord(modulus, v->exponent);
    const std::vector<uint8_t> input = FromHex(v->input);
    for (size_t allowed = 0; allowed < c.blocks; ++allowed) {
      TfLocalHeapFailAfter(static_cast<int>(allowed));
      EXPECT_TRUE(PublicOpBigEndian(key, input).empty()) << c.name << ": succeeded with " << allowed << " blocks";
      TfLocalHeapFailAfter(-1);
      EXPECT_EQ(TfLocalHeapOutstanding(), 0) << c.name << " after refusing block " << allowed;
    }
    TfLocalHeapFailAfter(static_cast<int>(c.blocks));
    EXPECT_EQ(ToHex(PublicOpBigEndian(key, input)), v->output) << c.name;
    TfLocalHeapFailAfter(-1);
    EXPECT_EQ(TfLocalHeapOutstanding(), 0);
  }
}
#endif

TEST(RsaRemainder, ShortNumeratorIsCopiedAndZeroDivisorFails) {
  const Digit num[2] = {7, 9};
  const Digit div[3] = {1, 2, 3};
  Digit rem[3] = {kPattern, kPattern, kPattern};
  ASSERT_TRUE(RsaRemainder(rem, num, 2, div, 3));
  EXPECT_EQ(rem[0], 7u);
  EXPECT_EQ(rem[1], 9u);
  EXPECT_EQ(rem[2], 0u);

  const Digit zero[2] = {0, 0};
  Digit untouched[2] = {kPattern, kPattern};
  EXPECT_FALSE(RsaRemainder(untouched, num, 2, zero, 2));
  EXPECT_EQ(untouched[0], kPattern);
}

}  // namespace
