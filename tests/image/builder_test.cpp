// The image builder's description and its signature slot, read back through
// the reader (the tool and the demo build their images this way).
#include "image/binutils.h"
#include "image/traverse.h"
#include "tests/image/image_test_util.h"

namespace {

using imagebuilder::Build;
using imagebuilder::BuiltImage;
using imagebuilder::ParseDescription;
using imagebuilder::RomImage;

bool Collect(const BYTE* pbData, DWORD cbData, void* pvContext) {
  static_cast<std::vector<std::vector<uint8_t>>*>(pvContext)->emplace_back(pbData, pbData + cbData);
  return true;
}

constexpr const char* kDescription = R"(
# a small image with a signature slot
start 0x80200000
offset 0x80000000   # virtual addresses start at 0x00200000
seed 7
module nk.exe
section 0x100 0x80
section 0x40 0x40 inplace
section 0x10 0x20 flags=0x80002000
module coredll.dll
section 0x10 0x10
file 0x33 name=boot.txt
file 0
head
ext cat_sig 64 type=2
ext other 8
split 0x00200010
end 0x00201000
)";

class BuilderTest : public imagetest::ImageTest {};

TEST_F(BuilderTest, DescribedImageReadsBackAndItsSignatureSlotFills) {
  RomImage spec;
  std::string error;
  ASSERT_TRUE(ParseDescription(kDescription, &spec, &error)) << error;
  BuiltImage img = Build(spec);
  ASSERT_TRUE(img.partsExact);
  EXPECT_EQ(img.parts.size(), 15u);
  ASSERT_TRUE(img.catSig.has_value());
  EXPECT_EQ(img.catSig->length, 64u);

  ASSERT_TRUE(Open(img, "_empty"));
  std::vector<std::vector<uint8_t>> before;
  ASSERT_TRUE(TraverseImage(Collect, &before));
  CloseImage();

  std::vector<uint8_t> signature(64);
  for (size_t i = 0; i < signature.size(); ++i) signature[i] = static_cast<uint8_t>(0xC0 ^ i);
  ASSERT_TRUE(imagebuilder::FillSpan(img.bytes, *img.catSig, signature));
  ASSERT_TRUE(Open(img, "_signed"));
  EXPECT_EQ(TakeLines()[0], "out: start address = 0x00201000\n");
  DWORD address = 0, length = 0;
  ASSERT_TRUE(FindRomExtension("cat_sig", 8, &address, &length));
  EXPECT_EQ(address, img.catSig->virtualAddress);
  ASSERT_EQ(length, 64u);
  std::vector<uint8_t> payload(length);
  ASSERT_TRUE(ReadRomExtension(address, payload.data(), length));
  EXPECT_EQ(payload, signature);

  // Signing leaves the signed parts alone, and they are what the builder says.
  std::vector<std::vector<uint8_t>> after;
  ASSERT_TRUE(TraverseImage(Collect, &after));
  EXPECT_EQ(after, before);
  ASSERT_EQ(after.size(), img.parts.size());
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i], img.PartBytes(img.parts[i])) << img.parts[i].what;
}

TEST_F(BuilderTest, MalformedDescriptionNamesTheLine) {
  const std::pair<const char*, const char*> cases[] = {
      {"module\nsection 1\n", "line 2: section needs <vsize> <psize>"},
      {"section 1 1", "line 1: section before any module"},
      {"module\nsection 1 1 flags=x", "line 2: bad section option"},
      {"start 0x100000000", "line 1: cannot read \"start 0x100000000\""},
      {"ext a_name_longer_than_24_bytes 1", "line 1: extension name longer than 24 bytes"},
      {"\n\nbogus", "line 3: cannot read \"bogus\""},
  };
  for (const auto& [text, message] : cases) {
    RomImage spec;
    std::string error;
    EXPECT_FALSE(ParseDescription(text, &spec, &error)) << text;
    EXPECT_EQ(error, message);
  }
}

TEST_F(BuilderTest, SameDescriptionSameFile) {
  RomImage spec;
  ASSERT_TRUE(ParseDescription(kDescription, &spec, nullptr));
  const std::vector<uint8_t> bytes = Build(spec).bytes;
  EXPECT_EQ(Build(spec).bytes, bytes);
  spec.seed += 1;
  EXPECT_NE(Build(spec).bytes, bytes);
}

}  // namespace
