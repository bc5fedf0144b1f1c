#include "platform/text.h"

#include <gtest/gtest.h>

TEST(Text, RoundTripsAcrossAllEncodedLengths) {
  const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // A é € 😀
  const WString wide = WidenUtf8(utf8);
  ASSERT_EQ(wide.size(), 5u);  // the emoji is a surrogate pair
  EXPECT_EQ(wide[0], u'A');
  EXPECT_EQ(wide[1], 0xE9);
  EXPECT_EQ(wide[2], 0x20AC);
  EXPECT_EQ(wide[3], 0xD83D);
  EXPECT_EQ(wide[4], 0xDE00);
  EXPECT_EQ(NarrowToUtf8(wide), utf8);
}

TEST(Text, IllFormedInputBecomesReplacementCharacters) {
  struct Case {
    std::string in;
    size_t units;
  } cases[] = {
      {"\xC3", 1},  // cut short
      {"\xE2"
       "a",
       2},                  // cut short by a byte that stands on its own
      {"\xC0\x80", 2},      // overlong NUL
      {"\xED\xA0\x80", 3},  // encoded surrogate
      {"\xFF"
       "a",
       2},  // invalid lead byte
  };
  for (const Case& c : cases) {
    const WString w = WidenUtf8(c.in);
    EXPECT_EQ(w.size(), c.units) << c.in;
    EXPECT_EQ(w[0], 0xFFFD) << c.in;
  }
  const WCHAR lone[] = {0xD800, u'x'};
  EXPECT_EQ(NarrowToUtf8(WStringView(lone, 2)), "\xEF\xBF\xBDx");
}

TEST(Text, JsonQuoteEscapesQuotesBackslashesAndControlCharacters) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"", "\"\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {std::string("\x00\x01\n\x1f", 4), "\"\\u0000\\u0001\\u000a\\u001f\""},
      {" ~\x7f", "\" ~\x7f\""},                              // printable and DEL stay
      {"\xC3\xA9\xF0\x9F\x98\x80", "\"\xC3\xA9\xF0\x9F\x98\x80\""},  // UTF-8 passes through
  };
  for (const auto& c : cases) EXPECT_EQ(JsonQuote(c.in), c.out) << c.out;
}

