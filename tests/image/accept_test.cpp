// Acceptance refusals that need no signed catalog, and what the image digest
// covers. Portable: also runs under wine64.
#include "image/accept.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "image/romimage.h"
#include "mincrypt/rootlevel.h"
#include "platform/localheap.h"
#include "tests/image/image_test_util.h"

namespace {

using imagebuilder::BuiltImage;
using imagebuilder::RomImage;
using imagetest::FlipInPart;
using imagetest::ImageTest;

class AcceptTest : public ImageTest {
 protected:
  void TearDown() override {
    ResetExpectedDeviceForTest();
    ImageTest::TearDown();
  }

  // A small image: one module with two sections, one file, and the given chain.
  static RomImage Layout(std::vector<imagebuilder::Extension> extensions, bool chain = true) {
    RomImage image;
    imagebuilder::Module m;
    m.sections = {{.virtualSize = 0x300, .physicalSize = 0x300}, {.virtualSize = 0x80, .physicalSize = 0x40}};
    image.modules = {m};
    image.files = {{.storedSize = 0x120}};
    image.extensions = std::move(extensions);
    if (chain) image.headName = "chain";
    return image;
  }

  // The lines of AcceptImage on `image` (opened here), after the reader's.
  std::vector<std::string> AcceptLines(const BuiltImage& image, bool* accepted, AcceptReport* report = nullptr) {
    EXPECT_TRUE(Open(image));
    TakeLines();
    AcceptReport local;
    *accepted = AcceptImageWithReport(report != nullptr ? report : &local);
    return TakeLines();
  }
};

// Section data that no record holds: hashing this image would print the
// reader's read failure, so a refusal without that line hashed nothing.
imagebuilder::Section UnreadableSection() {
  return {.virtualSize = 0x40, .physicalSize = 0x40, .dataAddress = 0x10000000};
}

TEST_F(AcceptTest, RefusesBeforeHashingWithoutCatalogOrWithAnEmptyOne) {
  const std::string noCatalog = "out: ERROR: Could not find the cat_sig extension in the image.\r\n";
  const std::string empty = "out: ERROR: Signature length is zero. Was this image stamped with a signature?\r\n";
  struct Case {
    const char* name;
    std::vector<imagebuilder::Extension> extensions;
    bool chain;
    std::string line;
    AcceptStage stage;
  } cases[] = {
      {"no chain", {}, false, noCatalog, AcceptStage::kNoCatalog},
      {"chain without cat_sig", {{.name = "other", .length = 16}}, true, noCatalog, AcceptStage::kNoCatalog},
      // The name is compared with its NUL: a longer name is another extension.
      {"cat_sig2", {{.name = "cat_sig2", .length = 16}}, true, noCatalog, AcceptStage::kNoCatalog},
      {"zero length", {{.name = "cat_sig", .length = 0}}, true, empty, AcceptStage::kEmptyCatalog},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RomImage layout = Layout(c.extensions, c.chain);
    layout.modules[0].sections.push_back(UnreadableSection());
    bool accepted = true;
    AcceptReport report;
    EXPECT_EQ(AcceptLines(imagebuilder::Build(layout), &accepted, &report), std::vector<std::string>{c.line});
    EXPECT_FALSE(accepted);
    EXPECT_EQ(report.stage, c.stage);
    EXPECT_FALSE(report.fDigest);
    CloseImage();
  }
}

// A program that only calls AcceptImage (through the transfer) learns why
// afterwards; AcceptImageWithReport leaves that record alone.
TEST_F(AcceptTest, LatestAcceptImageIsKeptForItsCallers) {
  ForgetLastAcceptReport();
  AcceptReport report = {};
  EXPECT_FALSE(LastAcceptReport(&report));
  ASSERT_TRUE(Open(imagebuilder::Build(Layout({{.name = "cat_sig", .length = 0}}))));
  EXPECT_FALSE(AcceptImage());
  CloseImage();
  ASSERT_TRUE(LastAcceptReport(&report));
  EXPECT_EQ(report.stage, AcceptStage::kEmptyCatalog);
  EXPECT_EQ(AcceptRefusalReason(report), "the cat_sig extension is empty (the image is not stamped)");

  bool accepted = true;
  AcceptLines(imagebuilder::Build(Layout({})), &accepted);
  CloseImage();
  ASSERT_TRUE(LastAcceptReport(&report));
  EXPECT_EQ(report.stage, AcceptStage::kEmptyCatalog);
  ForgetLastAcceptReport();
  EXPECT_FALSE(LastAcceptReport(&report));
  TakeLines();
}

TEST_F(AcceptTest, ChainHeadNamedCatSigIsNotTheCatalog) {
  RomImage layout = Layout({});
  layout.headName = "cat_sig";
  bool accepted = true;
  EXPECT_EQ(AcceptLines(imagebuilder::Build(layout), &accepted),
            std::vector<std::string>{"out: ERROR: Could not find the cat_sig extension in the image.\r\n"});
}

TEST_F(AcceptTest, CatalogLongerThanItsRecordIsRefusedWithoutHashing) {
  RomImage layout = Layout({{.name = "cat_sig", .length = 0x40}});
  layout.modules[0].sections.push_back(UnreadableSection());
  const BuiltImage built = imagebuilder::Build(layout);
  // Claim more bytes than the record holds: nothing can be read, nothing is
  // allocated for the claim, nothing is hashed.
  std::vector<uint8_t> bytes = built.bytes;
  const imagebuilder::Placed* record = built.Find("extension 0");
  ASSERT_NE(record, nullptr);
  const uint64_t at = *built.FileOffsetOf(record->virtualAddress) + romimage::kExtensionLength;
  const uint32_t huge = 0xFFFFFF00u;
  std::memcpy(bytes.data() + at, &huge, 4);  // little-endian host in both builds
  ASSERT_TRUE(Open(bytes));
  TakeLines();
  AcceptReport report;
  EXPECT_FALSE(AcceptImageWithReport(&report));
  const std::vector<std::string> lines = TakeLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("err: failed to read data of size -256 at ", 0), 0u) << lines[0];
  EXPECT_EQ(report.stage, AcceptStage::kCatalogRead);
}

#ifndef _WIN32
TEST_F(AcceptTest, CatalogAllocationFailureIsRefused) {
  ASSERT_TRUE(Open(imagebuilder::Build(Layout({{.name = "cat_sig", .length = 0x2A0}}))));
  TakeLines();
  TfLocalHeapFailAfter(0);
  const bool accepted = AcceptImage();
  TfLocalHeapFailAfter(-1);
  EXPECT_FALSE(accepted);
  EXPECT_EQ(TakeLines(),
            std::vector<std::string>{"out: ERROR: Catalog blob allocation failed (requested size: 672)\r\n"});
  EXPECT_EQ(TfLocalHeapOutstanding(), 0);
}
#endif

TEST_F(AcceptTest, UnsignedCatalogFailsTheSignatureCheckAndLeavesNoTrustLevel) {
  std::vector<uint8_t> junk(0x80);
  for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(0x30 + i);
  RootLevel = ROOT_LEVEL_PRODUCT;  // whatever an earlier verification left
  const WCHAR make[] = {'C', 0};
  SetExpectedDevice(make, make);
  bool accepted = true;
  AcceptReport report;
  EXPECT_EQ(AcceptLines(imagebuilder::Build(Layout({{.name = "cat_sig", .data = junk}})), &accepted, &report),
            (std::vector<std::string>{"out: Verifying Signature...\r\n",
                                      "out: ERROR: Signature validatation test FAILED. Status: 0, ErrorCode: 2\r\n"}));
  EXPECT_FALSE(accepted);
  EXPECT_EQ(report.stage, AcceptStage::kSignature);
  EXPECT_TRUE(report.fDigest);
  EXPECT_EQ(report.lMakeResult, kAttributeNotChecked);
  EXPECT_EQ(RootLevel, static_cast<DWORD>(ROOT_LEVEL_NONE));
}

TEST_F(AcceptTest, DigestFailureEndsTheCheckWithoutFurtherLines) {
  RomImage layout = Layout({{.name = "cat_sig", .length = 0x40}});
  layout.modules[0].sections.push_back(UnreadableSection());
  bool accepted = true;
  AcceptReport report;
  const std::vector<std::string> lines = AcceptLines(imagebuilder::Build(layout), &accepted, &report);
  EXPECT_FALSE(accepted);
  EXPECT_EQ(report.stage, AcceptStage::kDigest);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "err: failed to read data of size 64 at 50000000\n");
}

// Which bytes the digest covers: every byte that the traversal hands out, and
// none of the record framing around them.
TEST_F(AcceptTest, DigestCoversTheHandedOutPartsAndNotTheRecordFraming) {
  RomImage layout = Layout({{.name = "cat_sig", .length = 0x40}});
  layout.recordPerItem = true;  // a record of its own for every item
  const BuiltImage built = imagebuilder::Build(layout);
  auto digestOf = [&](const std::vector<uint8_t>& bytes, std::array<BYTE, 20>* digest) {
    CloseImage();
    if (!Open(bytes)) return false;
    return ComputeImageDigest(digest->data());
  };
  std::array<BYTE, 20> original{};
  ASSERT_TRUE(digestOf(built.bytes, &original));

  // One byte inside each kind of part; offsets avoid the words that locate
  // other parts (counts, addresses, sizes), so the walk itself is unchanged.
  const struct {
    const char* part;
    uint32_t offset;
  } hashed[] = {
      {"rom header", 20},
      {"module 0 entry", 4},
      {"module 0 header", 8},
      {"module 0 section 0 header", 4},
      {"module 0 section 0 data", 0x17},
      {"module 0 section 1 data", 0x3F},
      {"file 0 entry", 4},
      {"file 0 data", 0x11F},
  };
  for (const auto& h : hashed) {
    SCOPED_TRACE(h.part);
    const auto bytes = FlipInPart(built, built.bytes, h.part, h.offset, 0x01);
    ASSERT_TRUE(bytes);
    std::array<BYTE, 20> changed{};
    ASSERT_TRUE(digestOf(*bytes, &changed));
    EXPECT_NE(changed, original);
  }

  // Record checksums, the end record's entry address and the extension
  // chain's bytes are not handed out.
  std::vector<std::vector<uint8_t>> unhashed;
  for (size_t r = 0; r < built.records.size(); ++r) {
    std::vector<uint8_t> bytes = built.bytes;
    bytes[built.dataOffsets[r] - romimage::kRecordHeaderSize + romimage::kRecordChecksum] ^= 0x5A;
    unhashed.push_back(bytes);
  }
  std::vector<uint8_t> entry = built.bytes;
  entry[entry.size() - 8] ^= 0x10;  // the end record's length field: the entry address
  unhashed.push_back(entry);
  std::vector<uint8_t> extension = built.bytes;
  extension[*built.FileOffsetOf(built.Find("extension 0 data")->virtualAddress)] ^= 0xFF;
  unhashed.push_back(extension);
  for (size_t i = 0; i < unhashed.size(); ++i) {
    SCOPED_TRACE(i);
    std::array<BYTE, 20> same{};
    ASSERT_TRUE(digestOf(unhashed[i], &same));
    EXPECT_EQ(same, original);
  }
}

}  // namespace
