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

// A signer that gets only the saved file finds the payload where the reader
// reads it, whatever the record layout.
TEST_F(BuilderTest, ExtensionPayloadLocatedInASavedFileAsTheReaderSeesIt) {
  RomImage base;
  ASSERT_TRUE(ParseDescription(kDescription, &base, nullptr));
  struct Case {
    const char* what;
    std::string description;  // appended to kDescription
    bool found;
  };
  const Case cases[] = {
      {"as described", "", true},
      {"record per item", "records-per-item\n", true},
      {"ROM header first, decoy 84-byte record", "toc-first\nrecord 0 0x70000000 84\n", true},
      {"an earlier record over the payload", "", true},
      {"payload split over two records", "", false},
      {"name not there", "", false},
  };
  for (const Case& c : cases) {
    RomImage spec;
    ASSERT_TRUE(ParseDescription(std::string(kDescription) + c.description, &spec, nullptr)) << c.what;
    if (std::string(c.what) == "payload split over two records") {
      spec.splitAt.push_back(Build(spec).Find("extension 0 data")->virtualAddress + 10);
    }
    if (std::string(c.what) == "an earlier record over the payload") {
      const BuiltImage plain = Build(spec);
      const uint32_t at = plain.Find("extension 0 data")->virtualAddress + plain.romOffset - 8;
      spec.extraRecords.push_back({0, imagebuilder::RawRecord{.address = at, .data = std::vector<uint8_t>(80, 0xEE)}});
    }
    if (std::string(c.what) == "name not there") spec.extensions[0].name = "cat_sih";
    const BuiltImage img = Build(spec);
    std::string error;
    const std::optional<imagebuilder::FileSpan> span =
        imagebuilder::LocateExtensionPayload(img.bytes, "cat_sig", &error);
    ASSERT_EQ(span.has_value(), c.found) << c.what << ": " << error;
    if (!c.found) continue;
    std::vector<uint8_t> bytes = img.bytes;
    std::vector<uint8_t> signature(span->length);
    for (size_t i = 0; i < signature.size(); ++i) signature[i] = static_cast<uint8_t>(0x5A + 3 * i);
    ASSERT_TRUE(imagebuilder::FillSpan(bytes, *span, signature)) << c.what;
    ASSERT_TRUE(Open(bytes)) << c.what;
    DWORD address = 0, length = 0;
    ASSERT_TRUE(FindRomExtension("cat_sig", 8, &address, &length)) << c.what;
    EXPECT_EQ(address, span->virtualAddress) << c.what;
    std::vector<uint8_t> payload(length);
    ASSERT_TRUE(ReadRomExtension(address, payload.data(), length)) << c.what;
    EXPECT_EQ(payload, signature) << c.what;
  }
  EXPECT_FALSE(imagebuilder::LocateExtensionPayload({'B', '0', '0', '0', 'F', 'F'}, "cat_sig").has_value());
}

TEST_F(BuilderTest, FilesRoundTrip) {
  const std::vector<uint8_t> bytes = Build(RomImage{}).bytes;
  const std::string path = PathFor();
  ASSERT_TRUE(imagebuilder::SaveFile(path, bytes));
  std::vector<uint8_t> back;
  ASSERT_TRUE(imagebuilder::LoadFile(path, &back));
  EXPECT_EQ(back, bytes);
  EXPECT_FALSE(imagebuilder::LoadFile(PathFor("_missing"), &back));
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
