// Shared fixture of the image reader suites: every test starts and ends with
// no image open and a fresh reader, captures the diagnostic lines, and writes
// its images to a file of its own.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "image/binutils.h"
#include "platform/diag.h"
#include "platform/text.h"
#include "authoring/image_builder.h"

namespace imagetest {

// One entry per diagnostic call: "out: <text>" or "err: <text>".
inline void CaptureLine(DiagStream stream, const char* text, void* context) {
  static_cast<std::vector<std::string>*>(context)->push_back((stream == DiagStream::Err ? "err: " : "out: ") +
                                                             std::string(text));
}

class ImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetImageReaderForTest();
    DiagSetSink(CaptureLine, &lines);
  }
  void TearDown() override {
    ResetImageReaderForTest();
    DiagSetSink(nullptr, nullptr);
    // The files this test wrote all start with its own prefix.
    const std::string prefix = PathFor("").substr(::testing::TempDir().size());
    const std::string stem = prefix.substr(0, prefix.size() - 4);  // without ".bin"
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(::testing::TempDir(), ec)) {
      const std::string name = entry.path().filename().string();
      if (name.starts_with(stem + ".") || name.starts_with(stem + "_")) std::filesystem::remove(entry.path(), ec);
    }
  }

  // A file path unique to the running test.
  std::string PathFor(const char* suffix = "") const {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("tf_image_") + info->test_suite_name() + "_" + info->name() + suffix + ".bin";
    for (char& c : name)
      if (c == '/') c = '_';
    return ::testing::TempDir() + name;
  }

  // Writes `bytes` to this test's file and opens it. Any open image is closed
  // first: Windows does not let a file be rewritten while it is open.
  bool Open(const std::vector<uint8_t>& bytes, const char* suffix = "") {
    CloseImage();
    const std::string path = PathFor(suffix);
    EXPECT_TRUE(imagebuilder::SaveFile(path, bytes)) << path;
    return OpenImage(WidenUtf8(path).c_str());
  }
  bool Open(const imagebuilder::BuiltImage& image, const char* suffix = "") { return Open(image.bytes, suffix); }

  // The lines printed since the last call, then forgotten.
  std::vector<std::string> TakeLines() {
    std::vector<std::string> taken;
    taken.swap(lines);
    return taken;
  }

  std::vector<std::string> lines;
};

// A copy of `bytes` (a file laid out as `built`) with `mask` flipped in the
// byte at `offset` into the part named `what`; nullopt when the image has no
// such part or the byte lies in no record.
inline std::optional<std::vector<uint8_t>> FlipInPart(const imagebuilder::BuiltImage& built, std::vector<uint8_t> bytes,
                                                      std::string_view what, uint32_t offset, uint8_t mask) {
  for (const imagebuilder::Part& p : built.parts) {
    if (p.what != what) continue;
    const std::optional<uint64_t> at = built.FileOffsetOf(p.virtualAddress + offset);
    if (!at || *at >= bytes.size()) return std::nullopt;
    bytes[*at] ^= mask;
    return bytes;
  }
  return std::nullopt;
}

inline std::string Hex8(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return buf;
}

// The lines of a successful open of a builder image whose ROM header is
// record `tocRecord` and the only 84-byte record.
inline std::vector<std::string> OpenLines(const imagebuilder::BuiltImage& image, uint32_t entry, int tocRecord) {
  return {"out: start address = 0x" + Hex8(entry) + "\n", "out: found pTOC  = 0x" + Hex8(image.pTOC) + "\n",
          "out: Checking record #" + std::to_string(tocRecord) + " for potential TOC (ROMOFFSET = 0x" +
              Hex8(image.romOffset) + ")\n",
          "out: ROM offset = 0x" + Hex8(image.romOffset) + "\n"};
}

}  // namespace imagetest
