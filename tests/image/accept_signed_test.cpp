// Acceptance of images stamped with catalogs signed through the development
// chains (keys/dev, or TF_DEV_KEY_DIR): trust levels, make and model checks,
// tampering, and the exact lines of each outcome. Native: OpenSSL signs.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <array>
#include <cstdlib>
#include <map>
#include <memory>
#include <optional>

#include "authoring/catalog_builder.h"
#include "authoring/image_stamp.h"
#include "image/accept.h"
#include "image/romimage.h"
#include "image/traverse.h"
#include "mincrypt/rootlevel.h"
#include "tests/image/image_test_util.h"
#include "tests/support/signed_image.h"

namespace {

using catalog::Bytes;
using imagebuilder::BuiltImage;
using imagebuilder::RomImage;
using imagetest::FlipInPart;
using imagetest::ImageTest;

using signedimage::DevSigner;

// What a catalog says about the device: the stored attribute values.
struct Device {
  Bytes make;
  Bytes model;
};
Device Values(std::u16string_view make = u"Corvane", std::u16string_view model = u"ZR-410") {
  return {catalog::Utf16LeWithTerminator(make), catalog::Utf16LeWithTerminator(model)};
}

const WCHAR* W(const char16_t* text) { return reinterpret_cast<const WCHAR*>(text); }
static_assert(sizeof(WCHAR) == sizeof(char16_t));

class AcceptSignedTest : public ImageTest {
 protected:
  void TearDown() override {
    ResetExpectedDeviceForTest();
    ImageTest::TearDown();
  }

  static RomImage Layout(bool placeholder = true) {
    RomImage image;
    imagebuilder::Module m;
    m.name = "nk.exe";
    m.sections = {{.virtualSize = 0x400, .physicalSize = 0x400}, {.virtualSize = 0x100, .physicalSize = 0x80}};
    image.modules = {m};
    image.files = {{.name = "readme.txt", .storedSize = 0x90}};
    image.headName = "chain";
    if (placeholder) image.extensions = {{.name = "cat_sig", .length = 0x1000}};
    return image;
  }

  // Signs a catalog for `built` through `chain` naming `device`, and returns
  // the file stamped with it.
  std::vector<uint8_t> Stamp(const BuiltImage& built, const std::string& chain, const Device& device) {
    EXPECT_TRUE(Open(built, "_unsigned"));
    Bytes digest(kImageDigestSize);
    EXPECT_TRUE(ComputeImageDigest(digest.data()));
    const Bytes ctl = catalog::MakeCtl({catalog::Member("image", {catalog::MemberHashAttribute(digest)})},
                                       {catalog::NameValueExtension(u"Manufacturer", device.make),
                                        catalog::NameValueExtension(u"Model", device.model)});
    const Bytes signedCatalog = catalog::MakeSignedData(catalog::SignedDataFor(DevSigner(chain), ctl));
    imagestamp::StampResult stamped;
    std::string error;
    EXPECT_TRUE(imagestamp::StampCatalog(built.bytes, signedCatalog, &stamped, &error)) << error;
    CloseImage();
    TakeLines();
    return stamped.bytes;
  }

  // Opens `bytes`, runs the acceptance and returns its lines (the reader's
  // opening lines left out).
  std::vector<std::string> Accept(const std::vector<uint8_t>& bytes, const WCHAR* make, const WCHAR* model,
                                  bool* accepted, AcceptReport* report = nullptr) {
    EXPECT_TRUE(Open(bytes));
    TakeLines();
    SetExpectedDevice(make, model);
    AcceptReport local;
    *accepted = AcceptImageWithReport(report != nullptr ? report : &local);
    CloseImage();
    return TakeLines();
  }

  static std::vector<std::string> AttributeLines(const std::string& make, bool makeOk, const std::string& model,
                                                 bool modelOk) {
    return {"out: Verifying Device Make Attribute '" + make + "'...\r\n",
            makeOk ? "out: Device Make Attribute passed...\r\n" : "out: Device Make Attribute mismatch!\r\n",
            "out: Verifying Device Model Attribute '" + model + "'...\r\n",
            modelOk ? "out: Device Model Attribute passed...\r\n" : "out: Device Model Attribute mismatch!\r\n"};
  }
};

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

const std::vector<std::string> kSignatureFailed = {
    "out: Verifying Signature...\r\n", "out: ERROR: Signature validatation test FAILED. Status: 0, ErrorCode: 2\r\n"};

TEST_F(AcceptSignedTest, EachDevelopmentChainIsAcceptedWithItsTrustLevel) {
  const struct {
    const char* chain;
    DWORD level;
    const char* line;
  } chains[] = {
      {"test", ROOT_LEVEL_TEST, "out: Test Signature PASSED.\r\n"},
      {"odm", ROOT_LEVEL_ODM, "out: ODM Signature PASSED.\r\n"},
      {"product", ROOT_LEVEL_PRODUCT, "out: Product Signature PASSED.\r\n"},
  };
  const BuiltImage built = imagebuilder::Build(Layout());
  int tocRecord = 0;
  for (size_t r = 0; r < built.records.size(); ++r)
    if (built.records[r].data.size() == romimage::kRomHeaderSize) tocRecord = static_cast<int>(r);
  for (const auto& c : chains) {
    SCOPED_TRACE(c.chain);
    const std::vector<uint8_t> stamped = Stamp(built, c.chain, Values());
    // The whole sequence a transfer prints, the reader's lines included.
    ASSERT_TRUE(Open(stamped));
    SetExpectedDevice(W(u"Corvane"), W(u"ZR-410"));
    AcceptReport report;
    EXPECT_TRUE(AcceptImageWithReport(&report));
    EXPECT_EQ(TakeLines(), Join(Join(imagetest::OpenLines(built, built.imageStart - built.romOffset, tocRecord),
                                     {"out: Verifying Signature...\r\n", c.line}),
                                AttributeLines("Corvane", true, "ZR-410", true)));
    EXPECT_EQ(report.stage, AcceptStage::kAccepted);
    EXPECT_EQ(report.dwRootLevel, c.level);
    EXPECT_EQ(RootLevel, c.level);
    CloseImage();
  }
}

TEST_F(AcceptSignedTest, CatalogAddedAsANewExtensionRecordIsAccepted) {
  const std::vector<uint8_t> stamped = Stamp(imagebuilder::Build(Layout(false)), "odm", Values());
  bool accepted = false;
  EXPECT_EQ(Accept(stamped, W(u"Corvane"), W(u"ZR-410"), &accepted),
            Join({"out: Verifying Signature...\r\n", "out: ODM Signature PASSED.\r\n"},
                 AttributeLines("Corvane", true, "ZR-410", true)));
  EXPECT_TRUE(accepted);
}

TEST_F(AcceptSignedTest, MakeAndModelMustMatchByteForByte) {
  Device withoutNul = Values();
  withoutNul.make.resize(withoutNul.make.size() - 2);
  struct Case {
    const char* name;
    Device catalog;
    std::optional<std::u16string> make, model;  // expected; none: not checked
    std::vector<std::string> lines;             // after the trust level line
    bool accepted;
  };
  const Case cases[] = {
      {"make in another case", Values(), u"CORVANE", u"ZR-410", AttributeLines("CORVANE", false, "ZR-410", true),
       false},
      {"make stored without its NUL", withoutNul, u"Corvane", u"ZR-410",
       AttributeLines("Corvane", false, "ZR-410", true), false},
      {"make with a trailing blank", Values(u"Corvane "), u"Corvane", u"ZR-410",
       AttributeLines("Corvane", false, "ZR-410", true), false},
      {"model in another case", Values(), u"Corvane", u"zr-410", AttributeLines("Corvane", true, "zr-410", false),
       false},
      {"model with a trailing blank", Values(u"Corvane", u"ZR-410 "), u"Corvane", u"ZR-410",
       AttributeLines("Corvane", true, "ZR-410", false), false},
      {"both differ", Values(), u"Corvan", u"ZR-41", AttributeLines("Corvan", false, "ZR-41", false), false},
      // No device connected: both texts are empty, so only values of one NUL
      // unit match.
      {"empty texts against empty values", Values(u"", u""), u"", u"", AttributeLines("", true, "", true), true},
      {"empty texts against real values", Values(), u"", u"", AttributeLines("", false, "", false), false},
      {"make not checked",
       Values(u"Other"),
       std::nullopt,
       u"ZR-410",
       {"out: Verifying Device Model Attribute 'ZR-410'...\r\n", "out: Device Model Attribute passed...\r\n"},
       true},
      {"nothing checked", Values(u"Other", u"Other"), std::nullopt, std::nullopt, {}, true},
      {"non-ASCII make", Values(u"Corvan\u00e9"), u"Corvan\u00e9", u"ZR-410",
       AttributeLines("Corvan\xc3\xa9", true, "ZR-410", true), true},
  };
  const BuiltImage built = imagebuilder::Build(Layout());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> stamped = Stamp(built, "test", c.catalog);
    bool accepted = !c.accepted;
    AcceptReport report;
    EXPECT_EQ(Accept(stamped, c.make ? W(c.make->c_str()) : nullptr, c.model ? W(c.model->c_str()) : nullptr, &accepted,
                     &report),
              Join({"out: Verifying Signature...\r\n", "out: Test Signature PASSED.\r\n"}, c.lines));
    EXPECT_EQ(accepted, c.accepted);
    EXPECT_EQ(report.stage, c.accepted ? AcceptStage::kAccepted : AcceptStage::kAttributes);
  }
}

// Which bytes the digest covers is the acceptance suite's table; here one
// hashed byte and one byte of the framing, through the signature check.
TEST_F(AcceptSignedTest, TamperingWithAHashedByteIsRefusedAndWithTheFramingIsNot) {
  RomImage layout = Layout();
  layout.recordPerItem = true;
  const BuiltImage built = imagebuilder::Build(layout);
  const std::vector<uint8_t> stamped = Stamp(built, "product", Values());
  const WCHAR* make = W(u"Corvane");
  const WCHAR* model = W(u"ZR-410");

  const auto hashed = FlipInPart(built, stamped, "file 0 data", 0x40, 0x80);
  ASSERT_TRUE(hashed);
  bool accepted = true;
  EXPECT_EQ(Accept(*hashed, make, model, &accepted), kSignatureFailed);
  EXPECT_FALSE(accepted);

  std::vector<uint8_t> framing = stamped;
  framing[built.dataOffsets[1] - romimage::kRecordHeaderSize + romimage::kRecordChecksum] ^= 0x33;
  Accept(framing, make, model, &accepted);
  EXPECT_TRUE(accepted);
}

TEST_F(AcceptSignedTest, DamagedCatalogIsRefused) {
  const BuiltImage built = imagebuilder::Build(Layout());
  const std::vector<uint8_t> stamped = Stamp(built, "odm", Values());
  // A byte of the signed trust list, well inside the catalog.
  std::vector<uint8_t> bytes = stamped;
  bytes[built.catSig->fileOffset + 80] ^= 0x01;
  bool accepted = true;
  EXPECT_EQ(Accept(bytes, W(u"Corvane"), W(u"ZR-410"), &accepted), kSignatureFailed);
  EXPECT_FALSE(accepted);
}

TEST_F(AcceptSignedTest, DigestIsSha1OfTheTraversedPartsInOrder) {
  RomImage layout = Layout();
  layout.modules[0].sections.push_back({.virtualSize = 0x20, .physicalSize = 0x20, .realInRom = true});  // in place
  layout.files.push_back({.storedSize = 2 * kTraversalPieceBytes + 3});  // handed out in pieces
  const BuiltImage built = imagebuilder::Build(layout);
  ASSERT_TRUE(built.partsExact);
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> sha(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  ASSERT_EQ(EVP_DigestInit_ex(sha.get(), EVP_sha1(), nullptr), 1);
  for (const imagebuilder::Part& part : built.parts) {
    const std::vector<uint8_t> bytes = built.PartBytes(part);
    EVP_DigestUpdate(sha.get(), bytes.data(), bytes.size());
  }
  std::array<uint8_t, 20> expected{};
  ASSERT_EQ(EVP_DigestFinal_ex(sha.get(), expected.data(), nullptr), 1);
  ASSERT_TRUE(Open(built));
  std::array<uint8_t, 20> digest{};
  ASSERT_TRUE(ComputeImageDigest(digest.data()));
  EXPECT_EQ(digest, expected);
}

}  // namespace
