// One firmware image on the whole road: built and signed with a development
// chain, checked by the real reader and acceptance against the held player's
// make and model, and copied to the simulated player, or refused before any
// byte reaches a player it was not made for.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "image/accept.h"
#include "image/binutils.h"
#include "platform/diag.h"
#include "tests/device/sim_fixture.h"
#include "tests/support/signed_image.h"

namespace fs = std::filesystem;

namespace {

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Swallow(DiagStream, const char*, void*) {}

class EndToEnd : public SimDeviceTest {
 protected:
  void SetUp() override {
    SimDeviceTest::SetUp();
    ResetImageReaderForTest();
    DiagSetSink(Swallow, nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(CurrentImage().hFile, INVALID_HANDLE_VALUE) << "the image was left open";
    DiagSetSink(nullptr, nullptr);
    ResetExpectedDeviceForTest();
    ResetImageReaderForTest();
    SimDeviceTest::TearDown();
  }

  // A small ROM image whose cat_sig catalog, signed through the test chain,
  // names `make` and `model`; written to `name` under the test's folder.
  fs::path SignedImage(const std::string& name, std::u16string_view make, std::u16string_view model) {
    imagebuilder::RomImage layout;
    imagebuilder::Module module;
    module.name = "nk.exe";
    module.sections = {{.virtualSize = 0x400, .physicalSize = 0x400}};
    layout.modules = {module};
    layout.headName = "chain";
    layout.extensions = {{.name = "cat_sig", .length = 0x1000}};
    const fs::path path = dir_ / name;
    std::string error;
    EXPECT_TRUE(signedimage::WriteSignedImage(layout, signedimage::DevSigner("test"), {.make = make, .model = model},
                                              path.string(), &error))
        << error;
    return path;
  }
};

TEST_F(EndToEnd, ImageSignedForTheHeldPlayerIsCopiedAndOthersAreRefused) {
  AddPlayer("p1", Player("Corvane", "ZR-410", 1));
  AddPlayer("p2", Player("Corvane", "ZR-400", 1));
  Create();
  const fs::path image = SignedImage("boot.bin", u"Corvane", u"ZR-410");
  ASSERT_LT(fs::file_size(image), 0x80000u);

  Connect("Corvane", "ZR-400");
  const std::vector<std::string> before = Snapshot(dir_ / "players");
  EXPECT_EQ(TransferFile(dm_, WindowsPath(image).c_str(), KIND_BOOTLOADER), NTE_BAD_SIGNATURE);
  EXPECT_EQ(Snapshot(dir_ / "players"), before);

  Connect("Corvane", "ZR-410");
  // Accepted, but a boot loader's size is below the recovery window.
  EXPECT_EQ(TransferFile(dm_, WindowsPath(image).c_str(), KIND_RECOVERY), E_FAIL);
  EXPECT_EQ(Snapshot(dir_ / "players"), before);

  ASSERT_EQ(TransferFile(dm_, WindowsPath(image).c_str(), KIND_BOOTLOADER), S_OK);
  EXPECT_EQ(FilesIn("p1", "Internal"), std::vector<std::string>{"EBoot.bin"});
  EXPECT_EQ(ReadAll(SimStorageFolder("p1", "Internal") / "EBoot.bin"), ReadAll(image));
  EXPECT_TRUE(FilesIn("p2", "Internal").empty());
  EXPECT_EQ(boxes_.boxes().size(), 1u);
}

}  // namespace
