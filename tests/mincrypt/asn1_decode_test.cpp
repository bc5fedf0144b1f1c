#include <gtest/gtest.h>

#include "mincrypt/asn1util.h"
#include "tests/support/der_builder.h"

namespace {

struct LengthCase {
  const char* hex;
  LONG expected;
  DWORD cbLength;  // meaningful when expected > 0
};

TEST(Asn1DecodeLength, ShortLongAndBrokenForms) {
  const LengthCase cases[] = {
      {"", -2, 0},
      {"00", 1, 0},
      {"7f", 1, 127},
      {"80", -3, 0},        // indefinite form
      {"80 00 00", -3, 0},  // even with bytes after it
      {"81", -2, 0},        // long form with no octet after it
      {"81 80", 2, 0x80},
      {"81 05 aa", 2, 5},  // octets after the length are not looked at
      {"82 01", -2, 0},
      {"82 01 00", 3, 0x100},
      {"83 01 02 03", 4, 0x010203},
      {"84 00 00 00 05", 5, 5},  // non-minimal, accepted
      {"84 ff ff ff ff", 5, 0xffffffff},
      {"84 ff ff ff", -2, 0},
      {"85", -1, 0},  // too many octets wins over too few bytes
      {"85 00 00 00 00 01", -1, 0},
      {"ff", -1, 0},
  };
  for (const LengthCase& c : cases) {
    SCOPED_TRACE(c.hex);
    const der::Bytes in = der::FromHex(c.hex);
    DWORD cbLength = 0x12345678;
    const LONG result = MinAsn1DecodeLength(&cbLength, in.data(), static_cast<DWORD>(in.size()));
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(cbLength, c.expected > 0 ? c.cbLength : 0x12345678u);
  }
}

struct TagLengthCase {
  const char* hex;
  LONG expected;  // header length or failure
  DWORD cbContent;
};

TEST(Asn1ParseTagLength, HeaderLengthContentAndFailures) {
  const TagLengthCase cases[] = {
      {"", -2, 0},
      {"30", -2, 0},
      {"30 00", 2, 0},
      {"04 03 01 02 03", 2, 3},
      {"04 03 01 02 03 ff ff", 2, 3},  // trailing bytes are the caller's business
      {"04 03 01 02", -2, 0},          // content longer than what follows
      {"04 80 00 00", -3, 0},
      {"04 85 00 00 00 00 01", -1, 0},
      {"04 81 80", -2, 0},
      {"04 84 00 00 00 02 aa bb", 6, 2},
      {"04 84 ff ff ff ff 00", -2, 0},
      {"04 84 ff ff ff fa", -2, 0},  // header + length wraps to 0 in 32 bits
      // High tag numbers: continuation octets carry bit 8.
      {"1f 81 01 02 aa bb", 4, 2},
      {"bf 81 01 82 00 02 aa bb", 6, 2},
      {"1f 05 00", 3, 0},
      {"1f 81", -2, 0},  // identifier runs off the end
      {"1f 81 81", -2, 0},
      {"1f 01", -2, 0},  // no length octet
      {"df 80 80 80 80 01 01 aa", 7, 1},
  };
  for (const TagLengthCase& c : cases) {
    SCOPED_TRACE(c.hex);
    const der::Bytes in = der::FromHex(c.hex);
    DWORD cbContent = 0x12345678;
    const BYTE* pbContent = nullptr;
    const LONG result = MinAsn1ParseTagLength(in.data(), static_cast<DWORD>(in.size()), &cbContent, &pbContent);
    EXPECT_EQ(result, c.expected);
    if (c.expected > 0) {
      EXPECT_EQ(cbContent, c.cbContent);
      EXPECT_EQ(pbContent, in.data() + c.expected);
    } else {
      EXPECT_EQ(cbContent, 0x12345678u);
      EXPECT_EQ(pbContent, nullptr);
    }
  }
}

TEST(Asn1ParseTagLength, NeverReadsPastTheGivenLength) {
  // Every prefix of a valid element is handed over in a buffer of exactly
  // that size, so ASan sees any read beyond it.
  const der::Bytes element = der::Tlv(der::Identifier(0xA0, 1000), der::Bytes(300, 0x5A));
  for (size_t cb = 0; cb <= element.size(); cb++) {
    std::vector<BYTE> exact(element.begin(), element.begin() + static_cast<std::ptrdiff_t>(cb));
    DWORD cbContent = 0;
    const BYTE* pbContent = nullptr;
    const LONG result = MinAsn1ParseTagLength(exact.data(), static_cast<DWORD>(cb), &cbContent, &pbContent);
    if (cb == element.size()) {
      EXPECT_EQ(result, 6);  // bf 87 68 82 01 2c
      EXPECT_EQ(cbContent, 300u);
    } else {
      EXPECT_EQ(result, -2) << cb;
    }
  }
}

}  // namespace
