// Known-answer tests of DES (block and CBC step) and RC4; portable.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "crypto/des.h"
#include "crypto/rc4.h"
#include "tests/crypto/digests_test_util.h"

namespace {

struct DesVector {
  const char* key;
  const char* plain;
  const char* cipher;
};

// NIST SP 800-17 appendix B: the substitution-table test (all 19 rows), the
// first rows of the variable-plaintext and variable-key tests (one input bit
// walking through the first byte), and the FIPS 81 appendix B ECB example.
const DesVector kDesVectors[] = {
    {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
    {"07A1133E4A0B2686", "0248D43806F67172", "868EBB51CAB4599A"},
    {"3849674C2602319E", "51454B582DDF440A", "7178876E01F19B2A"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "AF37FB421F8C4095"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "86A560F10EC6D85B"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "0CD3DA020021DC09"},
    {"43297FAD38E373FE", "762514B829BF486A", "EA676B2CB7DB2B7A"},
    {"07A7137045DA2A16", "3BDD119049372802", "DFD64A815CAF1A0F"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "5C513C9C4886C088"},
    {"37D06BB516CB7546", "164D5E404F275232", "0A2AEEAE3FF4AB77"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "EF1BF03E5DFA575A"},
    {"584023641ABA6176", "004BD6EF09176062", "88BF0DB6D70DEE56"},
    {"025816164629B007", "480D39006EE762F2", "A1F9915541020B56"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "6FBF1CAFCFFD0556"},
    {"4FB05E1515AB73A7", "072D43A077075292", "2F22E49BAB7CA1AC"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "5A6B612CC26CCE4A"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "5F4C038ED12B2E41"},
    {"1C587F1C13924FEF", "305532286D6F295A", "63FAC0D034D9F793"},
    {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
    {"0101010101010101", "4000000000000000", "DD7F121CA5015619"},
    {"0101010101010101", "2000000000000000", "2E8653104F3834EA"},
    {"0101010101010101", "1000000000000000", "4BD388FF6CD81D4F"},
    {"0101010101010101", "0800000000000000", "20B9E767B2FB1456"},
    {"0101010101010101", "0400000000000000", "55579380D77138EF"},
    {"0101010101010101", "0200000000000000", "6CC5DEFAAF04512F"},
    {"0101010101010101", "0100000000000000", "0D9F279BA5D87260"},
    {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
    {"4001010101010101", "0000000000000000", "0EEC1487DD8C26D5"},
    {"2001010101010101", "0000000000000000", "7AD16FFB79C45926"},
    {"1001010101010101", "0000000000000000", "D3746294CA6A6CF3"},
    {"0801010101010101", "0000000000000000", "809F5F873C1FD761"},
    {"0401010101010101", "0000000000000000", "C02FAFFEC989D1FC"},
    {"0201010101010101", "0000000000000000", "4615AA1D33E72F10"},
    {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
};

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(Des, PublishedVectorsInBothDirections) {
  for (const DesVector& v : kDesVectors) {
    SCOPED_TRACE(std::string(v.key) + " " + v.plain);
    const std::vector<BYTE> key = FromHex(v.key), plain = FromHex(v.plain), cipher = FromHex(v.cipher);
    DesKeySchedule schedule;
    std::memset(&schedule, 0xA5, sizeof schedule);
    DesKeySetup(&schedule, key.data());
    BYTE out[DES_BLOCK_LEN];
    DesBlock(out, plain.data(), &schedule, DES_ENCRYPT);
    EXPECT_EQ(Upper(ToHex(out, 8)), v.cipher);
    DesBlock(out, cipher.data(), &schedule, DES_DECRYPT);
    EXPECT_EQ(Upper(ToHex(out, 8)), v.plain);
    // In place.
    std::memcpy(out, plain.data(), 8);
    DesBlock(out, out, &schedule, DES_ENCRYPT);
    EXPECT_EQ(Upper(ToHex(out, 8)), v.cipher);
  }
}

TEST(Des, ParityBitsOfTheKeyAreIgnored) {
  const std::vector<BYTE> key = FromHex("7CA110454A1A6E57");
  const std::vector<BYTE> plain = FromHex("01A1D6D039776742");
  std::vector<BYTE> flipped = key;
  for (BYTE& b : flipped) b ^= 0x01;
  DesKeySchedule a, b;
  DesKeySetup(&a, key.data());
  DesKeySetup(&b, flipped.data());
  EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a));
  BYTE out[DES_BLOCK_LEN];
  DesBlock(out, plain.data(), &b, DES_ENCRYPT);
  EXPECT_EQ(Upper(ToHex(out, 8)), "690F5B0D9A26939B");
}

// FIPS 81 appendix C: "Now is the time for all " under key 0123456789abcdef
// with IV 1234567890abcdef.
TEST(DesCbc, Fips81ExampleBothDirectionsInPlace) {
  const std::vector<BYTE> key = FromHex("0123456789abcdef");
  const std::vector<BYTE> iv = FromHex("1234567890abcdef");
  const std::vector<BYTE> plain = Bytes("Now is the time for all ");
  const std::string cipher = "e5c7cdde872bf27c43e934008c389c0f683788499a7c05f6";
  DesKeySchedule schedule;
  DesKeySetup(&schedule, key.data());

  std::vector<BYTE> buf = plain;
  BYTE feedback[DES_BLOCK_LEN];
  std::memcpy(feedback, iv.data(), 8);
  for (size_t off = 0; off < buf.size(); off += 8) DesCbcStep(&buf[off], &buf[off], &schedule, DES_ENCRYPT, feedback);
  EXPECT_EQ(ToHex(buf.data(), buf.size()), cipher);
  EXPECT_EQ(ToHex(feedback, 8), cipher.substr(32));  // the last ciphertext block

  std::memcpy(feedback, iv.data(), 8);
  for (size_t off = 0; off < buf.size(); off += 8) DesCbcStep(&buf[off], &buf[off], &schedule, DES_DECRYPT, feedback);
  EXPECT_EQ(buf, plain);
  EXPECT_EQ(ToHex(feedback, 8), cipher.substr(32));
}

// Every other plaintext block is the same block: under chaining no two of
// their ciphertext blocks are alike, and the run decrypts back.
TEST(DesCbc, RunOfBlocksRoundTripsFromZeroFeedback) {
  std::mt19937 rng(3);
  for (int round = 0; round < 20; ++round) {
    const std::vector<BYTE> key = RandomBytes(rng, 8);
    std::vector<BYTE> plain = RandomBytes(rng, 8 * (3 + rng() % 40));
    for (size_t off = 16; off < plain.size(); off += 16) std::copy(plain.begin(), plain.begin() + 8, &plain[off]);
    DesKeySchedule schedule;
    DesKeySetup(&schedule, key.data());
    std::vector<BYTE> cipher(plain.size()), back(plain.size());
    BYTE feedback[DES_BLOCK_LEN] = {};
    for (size_t off = 0; off < plain.size(); off += 8) {
      DesCbcStep(&cipher[off], &plain[off], &schedule, DES_ENCRYPT, feedback);
    }
    std::memset(feedback, 0, sizeof feedback);
    for (size_t off = 0; off < plain.size(); off += 8) {
      DesCbcStep(&back[off], &cipher[off], &schedule, DES_DECRYPT, feedback);
    }
    ASSERT_EQ(back, plain);
    // Blocks compared as 64-bit words: a set of byte vectors trips a false
    // overread warning of the i686 compiler at -O2.
    std::set<uint64_t> seen;
    for (size_t off = 0; off < plain.size(); off += 16) {
      uint64_t block;
      std::memcpy(&block, &cipher[off], sizeof block);
      ASSERT_TRUE(seen.insert(block).second)
          << "round " << round << ": the ciphertext block at " << off << " repeats an earlier one";
    }
  }
}

struct Rc4Vector {
  const char* key;
  size_t offset;
  const char* keystream;
};

// RFC 6229 section 2 (keystream of the plain key, read by XOR into zeros).
const Rc4Vector kRc4Vectors[] = {
    {"0102030405", 0, "b2396305f03dc027ccc3524a0a1118a8 6982944f18fc82d589c403a47a0d0919"},
    {"0102030405", 240, "28cb1132c96ce286421dcaadb8b69eae 1cfcf62b03eddb641d77dfcf7f8d8c93"},
    {"0102030405060708", 0, "97ab8a1bf0afb96132f2f67258da15a8 8263efdb45c4a18684ef87e6b19e5b09"},
    {"0102030405060708090a0b0c0d0e0f10", 0, "9ac7cc9a609d1ef7b2932899cde41b97 5248c4959014126a6e8a84f11d1a9e1c"},
};

TEST(Rc4, Rfc6229Keystreams) {
  for (const Rc4Vector& v : kRc4Vectors) {
    SCOPED_TRACE(std::string(v.key) + " @" + std::to_string(v.offset));
    const std::vector<BYTE> key = FromHex(v.key);
    const std::vector<BYTE> expected = FromHex(v.keystream);
    Rc4State state;
    std::memset(&state, 0xA5, sizeof state);
    Rc4KeySetup(&state, key.data(), static_cast<DWORD>(key.size()));
    std::vector<BYTE> skip(v.offset);
    Rc4Apply(&state, skip.data(), static_cast<DWORD>(skip.size()));
    // Applied in two uneven pieces: the state carries over between calls.
    std::vector<BYTE> out(expected.size());
    Rc4Apply(&state, out.data(), 5);
    Rc4Apply(&state, out.data() + 5, static_cast<DWORD>(out.size() - 5));
    EXPECT_EQ(out, expected);
  }
}

TEST(Rc4, ApplyIsItsOwnInverse) {
  const std::vector<BYTE> key = Bytes("Secret");
  const std::vector<BYTE> text = Bytes("Attack at dawn");
  std::vector<BYTE> buf = text;
  Rc4State state;
  Rc4KeySetup(&state, key.data(), static_cast<DWORD>(key.size()));
  Rc4Apply(&state, buf.data(), static_cast<DWORD>(buf.size()));
  EXPECT_NE(buf, text);
  Rc4KeySetup(&state, key.data(), static_cast<DWORD>(key.size()));
  Rc4Apply(&state, buf.data(), static_cast<DWORD>(buf.size()));
  EXPECT_EQ(buf, text);
}

TEST(Rc4, ZeroLengthApplyLeavesTheStateUnchanged) {
  const std::vector<BYTE> key = FromHex("0102030405");
  Rc4State state;
  Rc4KeySetup(&state, key.data(), 5);
  BYTE first = 0;
  Rc4Apply(&state, &first, 1);
  const Rc4State before = state;
  Rc4Apply(&state, nullptr, 0);
  EXPECT_EQ(0, std::memcmp(&before, &state, sizeof state));
  BYTE second = 0;
  Rc4Apply(&state, &second, 1);
  EXPECT_EQ(second, 0x39);  // RFC 6229: the key's second keystream byte
}

TEST(Rc4, EmptyKeyActsAsOneZeroByte) {
  const BYTE zero = 0;
  Rc4State empty, one;
  Rc4KeySetup(&empty, nullptr, 0);
  Rc4KeySetup(&one, &zero, 1);
  EXPECT_EQ(0, std::memcmp(&empty, &one, sizeof empty));
}

}  // namespace
