// Named ROM extensions: the chain after its head, compared over the given length.
#include <cstring>

#include "image/binutils.h"
#include "tests/image/image_test_util.h"

namespace {

using imagebuilder::Build;
using imagebuilder::BuiltImage;
using imagebuilder::Extension;
using imagebuilder::RomImage;

std::vector<uint8_t> Bytes(size_t n, uint8_t first) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(first + i);
  return v;
}

class RomExtensionTest : public imagetest::ImageTest {};

TEST_F(RomExtensionTest, HeadNeverMatchesAndNamesCompareOverTheGivenLength) {
  RomImage spec;
  spec.headName = "cat_sig";
  spec.extensions = {Extension{.name = "cat_sigs", .data = Bytes(16, 0x10)},
                     Extension{.name = "cat_sig", .data = Bytes(32, 0x40)},
                     Extension{.name = "other", .data = Bytes(8, 0x80)}};
  const BuiltImage img = Build(spec);
  ASSERT_TRUE(Open(img));
  TakeLines();
  struct Case {
    std::string name;  // compared bytes: the text, then NULs up to cbName
    DWORD cbName;
    int found;  // extension index, -1 for none
  };
  const Case cases[] = {
      {"cat_sig", 8, 1},    // the head has this name but is never matched; "cat_sigs" differs at the NUL
      {"cat_sig", 7, 0},    // a prefix matches the first record that starts with it
      {"cat_sigs", 9, 0},   // its NUL pad is compared too
      {"cat_sig", 24, 1},   // the whole name field
      {"cat_sig", 25, -1},  // longer than the name field: nothing matches
      {"", 0, 0},           // nothing compared: the first record after the head
      {"other", 6, 2},     {"missing", 8, -1},
  };
  for (const Case& c : cases) {
    char name[32] = {};
    std::memcpy(name, c.name.data(), c.name.size());
    DWORD address = 0xDEAD, length = 0xBEEF;
    ASSERT_EQ(FindRomExtension(name, c.cbName, &address, &length), c.found >= 0) << c.name << " " << c.cbName;
    if (c.found < 0) continue;
    const std::string what = "extension " + std::to_string(c.found) + " data";
    EXPECT_EQ(address, img.Find(what)->virtualAddress) << c.name << " " << c.cbName;
    ASSERT_EQ(length, spec.extensions[c.found].data->size());
    std::vector<uint8_t> payload(length);
    ASSERT_TRUE(ReadRomExtension(address, payload.data(), length));
    EXPECT_EQ(payload, *spec.extensions[c.found].data);
  }
  EXPECT_TRUE(TakeLines().empty());
}

TEST_F(RomExtensionTest, NotFoundWithoutChainOrWithHeadOnly) {
  for (const bool head : {false, true}) {
    RomImage spec;
    if (head) spec.headName = "cat_sig";
    ASSERT_TRUE(Open(Build(spec)));
    TakeLines();
    DWORD address = 0, length = 0;
    EXPECT_FALSE(FindRomExtension("cat_sig", 8, &address, &length)) << head;
    EXPECT_TRUE(TakeLines().empty());
  }
}

TEST_F(RomExtensionTest, UnreadableHeadIsNotFound) {
  RomImage spec;
  spec.romHeaderWords = {{72, 0x00001230}};
  ASSERT_TRUE(Open(Build(spec)));
  TakeLines();
  DWORD address = 0, length = 0;
  EXPECT_FALSE(FindRomExtension("cat_sig", 8, &address, &length));
  EXPECT_EQ(TakeLines(), std::vector<std::string>{"err: failed to read data of size 44 at 40001230\n"});
}

TEST_F(RomExtensionTest, CycleEndsTheSearch) {
  RomImage spec;
  spec.extensions = {Extension{.name = "a", .length = 4}, Extension{.name = "b", .length = 4, .next = 0}};
  ASSERT_TRUE(Open(Build(spec)));
  TakeLines();
  DWORD address = 0, length = 0;
  EXPECT_FALSE(FindRomExtension("cat_sig", 8, &address, &length));
  EXPECT_EQ(TakeLines(), std::vector<std::string>{"out: ROM extension chain longer than 1024 records\n"});
  EXPECT_TRUE(FindRomExtension("b", 2, &address, &length));  // a cycle does not hide what it passes
}

TEST_F(RomExtensionTest, ChainLengthBound) {
  for (const DWORD records : {kMaxRomExtensions, kMaxRomExtensions + 1}) {
    RomImage spec;
    for (DWORD k = 0; k + 1 < records; ++k) spec.extensions.push_back(Extension{.name = "filler", .length = 0});
    spec.extensions.push_back(Extension{.name = "cat_sig", .length = 12});
    ASSERT_TRUE(Open(Build(spec)));
    TakeLines();
    DWORD address = 0, length = 0;
    EXPECT_EQ(FindRomExtension("cat_sig", 8, &address, &length), records == kMaxRomExtensions) << records;
    EXPECT_EQ(TakeLines().size(), records == kMaxRomExtensions ? 0u : 1u);
    ResetImageReaderForTest();
  }
}

}  // namespace
