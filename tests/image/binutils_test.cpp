// Opening images, the record table, the ROM header search and reads.
#include "image/binutils.h"

#include "tests/image/image_test_util.h"

namespace {

using imagebuilder::Build;
using imagebuilder::BuiltImage;
using imagebuilder::File;
using imagebuilder::Module;
using imagebuilder::RawRecord;
using imagebuilder::RomImage;
using imagebuilder::Section;
using imagetest::Hex8;
using imagetest::OpenLines;

constexpr uint32_t kBase = 0x40200000;  // default image start minus default ROM offset

RomImage SmallImage() {
  RomImage r;
  r.modules.push_back(Module{.name = {}, .sections = {Section{.virtualSize = 0x40, .physicalSize = 0x40}}});
  r.files.push_back(File{.name = {}, .storedSize = 0x30});
  return r;
}

std::string ErrLine(uint32_t size, uint32_t address) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "err: failed to read data of size %d at %08x\n", static_cast<int>(size), address);
  return buf;
}

class OpenImageTest : public imagetest::ImageTest {};

TEST_F(OpenImageTest, OpensRecordsPointerAndOffset) {
  const BuiltImage img = Build(SmallImage());
  ASSERT_TRUE(Open(img));
  EXPECT_EQ(TakeLines(), OpenLines(img, kBase, 1));
  const ImageReader& r = CurrentImage();
  EXPECT_NE(r.hFile, INVALID_HANDLE_VALUE);
  EXPECT_EQ(r.dwImageStart, img.imageStart);
  EXPECT_EQ(r.dwImageLength, img.imageLength);
  EXPECT_EQ(r.pTOC, img.pTOC);
  EXPECT_EQ(r.dwRomOffset, img.romOffset);
  ASSERT_EQ(r.cRecords, img.records.size());
  for (size_t i = 0; i < img.records.size(); ++i) {
    EXPECT_EQ(r.records[i].dwAddress, img.records[i].address) << i;
    EXPECT_EQ(r.records[i].dwLength, img.records[i].data.size()) << i;
    EXPECT_EQ(r.records[i].dwDataOffset, img.dataOffsets[i]) << i;
  }
  CloseImage();
  EXPECT_EQ(CurrentImage().hFile, INVALID_HANDLE_VALUE);
}

TEST_F(OpenImageTest, RefusesBadFileHeaders) {
  const std::vector<uint8_t> sig = {0x42, 0x30, 0x30, 0x30, 0x46, 0x46, 0x0A};
  struct Case {
    std::string what;
    std::vector<uint8_t> bytes;
    std::string line;
  };
  std::vector<Case> cases = {
      {"empty", {}, "out: failed reading bin header: 38\n"},
      {"six bytes", {sig.begin(), sig.end() - 1}, "out: failed reading bin header: 38\n"},
      {"no image start", sig, "out: failed reading image start: 38\n"},
      {"short image start",
       {0x42, 0x30, 0x30, 0x30, 0x46, 0x46, 0x0A, 1, 2, 3},
       "out: failed reading image start: 38\n"},
      {"no image length",
       {0x42, 0x30, 0x30, 0x30, 0x46, 0x46, 0x0A, 1, 2, 3, 4},
       "out: failed reading image length: 38\n"},
  };
  for (size_t i = 0; i < sig.size(); ++i) {
    std::vector<uint8_t> bad = Build(SmallImage()).bytes;
    bad[i] ^= 0x01;
    cases.push_back({"signature byte " + std::to_string(i), bad, "out: invalid bin header\n"});
  }
  for (const Case& c : cases) {
    EXPECT_FALSE(Open(c.bytes)) << c.what;
    EXPECT_EQ(TakeLines(), std::vector<std::string>{c.line}) << c.what;
    EXPECT_EQ(CurrentImage().hFile, INVALID_HANDLE_VALUE) << c.what;
  }
}

TEST_F(OpenImageTest, MissingFileNamesPathAndError) {
  const std::string path = PathFor("_missing");
  EXPECT_FALSE(OpenImage(WidenUtf8(path).c_str()));
  EXPECT_EQ(TakeLines(), std::vector<std::string>{"out: failed opening " + path + ": 2\n"});
}

TEST_F(OpenImageTest, RecordListWithoutEndRecordEndsAtEndOfFile) {
  RomImage spec = SmallImage();
  spec.endRecord = false;
  const BuiltImage img = Build(spec);
  ASSERT_TRUE(Open(img));
  EXPECT_EQ(TakeLines(), OpenLines(img, 0, 1));  // the empty read leaves a zero entry: an end record
  EXPECT_EQ(CurrentImage().cRecords, 3u);
}

TEST_F(OpenImageTest, HeaderCutMidwayIsNoRecord) {
  RomImage spec = SmallImage();
  spec.endRecord = false;
  BuiltImage img = Build(spec);
  img.bytes.insert(img.bytes.end(), {0x11, 0x22, 0x33, 0x44, 0x55});
  ASSERT_TRUE(Open(img));
  std::vector<std::string> expected = OpenLines(img, 0, 1);
  expected.erase(expected.begin());  // no end record either
  EXPECT_EQ(TakeLines(), expected);
  EXPECT_EQ(CurrentImage().cRecords, 3u);
}

TEST_F(OpenImageTest, RecordTableHoldsAtMost1024Records) {
  RomImage spec = SmallImage();
  constexpr uint32_t kExtraBase = 0x10000000;
  for (uint32_t k = 0; k < 1100; ++k)
    spec.extraRecords.push_back(
        {9999, RawRecord{.address = kExtraBase + 0x10 * k, .data = {1, 2, 3, static_cast<uint8_t>(k)}}});
  const BuiltImage img = Build(spec);
  ASSERT_TRUE(Open(img));
  std::vector<std::string> expected = OpenLines(img, 0, 1);
  expected.erase(expected.begin());  // reading stops before the end record
  EXPECT_EQ(TakeLines(), expected);
  EXPECT_EQ(CurrentImage().cRecords, 1024u);
  // The three laid-out records come first, so extra record 1020 is the last one kept.
  uint8_t buf[4] = {};
  EXPECT_TRUE(ReadImage(buf, kExtraBase + 0x10 * 1020, 4, false));
  EXPECT_EQ(buf[3], static_cast<uint8_t>(1020));
  EXPECT_FALSE(ReadImage(buf, kExtraBase + 0x10 * 1021, 4, false));
  EXPECT_EQ(TakeLines(), std::vector<std::string>{ErrLine(4, kExtraBase + 0x10 * 1021)});
}

// ---------------------------------------------------------------------------
// The ROM header search

class FindTocTest : public imagetest::ImageTest {};

TEST_F(FindTocTest, AllFourConditionsDecide) {
  const uint32_t len = Build(SmallImage()).imageLength;
  struct Case {
    uint32_t offset;  // ROM header word
    uint32_t value;
    bool found;
  };
  const Case cases[] = {
      {8, kBase - 1, false},        {8, kBase + 1, false},
      {12, kBase + len - 1, false}, {12, kBase + len + 1, false},  // physical range
      {0, 0x02100000, true},        {0, 0x02110000, false},        // first DLL, high half against the last DLL
      {0, 0x00000210, true},        {0, 0x00000211, false},        // first DLL, low half shifted up
      {4, 0x02000000, true},        {4, 0x01FFFFFF, false},        // the last DLL word against both
  };
  for (const Case& c : cases) {
    RomImage spec = SmallImage();
    spec.romHeaderWords = {{c.offset, c.value}};
    const BuiltImage img = Build(spec);
    EXPECT_EQ(Open(img), c.found) << c.offset << " " << std::hex << c.value;
    std::vector<std::string> expected = OpenLines(img, kBase, 1);
    if (!c.found) {
      expected.back() = "out: ROM offset = 0x00000000\n";
      expected.push_back("out: Failed to find the rom offset 80200000\n");
    }
    EXPECT_EQ(TakeLines(), expected) << c.offset << " " << std::hex << c.value;
    EXPECT_EQ(CurrentImage().hFile != INVALID_HANDLE_VALUE, c.found);
    ResetImageReaderForTest();
  }
}

TEST_F(FindTocTest, FileHeaderLengthMustMatchRomHeader) {
  for (int delta : {-1, 1}) {
    RomImage spec = SmallImage();
    spec.imageLength = Build(spec).imageLength + delta;
    EXPECT_FALSE(Open(Build(spec))) << delta;
    EXPECT_EQ(TakeLines().back(), "out: Failed to find the rom offset 80200000\n");
  }
}

TEST_F(FindTocTest, SecondCandidateWinsWhenFirstFails) {
  const BuiltImage plain = Build(SmallImage());
  // A verbatim copy of the ROM header elsewhere implies another ROM offset,
  // under which its physical addresses are wrong.
  RomImage spec = SmallImage();
  constexpr uint32_t kDecoy = 0x70000000;
  spec.extraRecords.push_back({0, RawRecord{.address = kDecoy, .data = plain.RomBytes(plain.pTOC, 84)}});
  const BuiltImage img = Build(spec);
  ASSERT_TRUE(Open(img));
  EXPECT_EQ(TakeLines(),
            (std::vector<std::string>{
                "out: start address = 0x" + Hex8(kBase) + "\n",
                "out: found pTOC  = 0x" + Hex8(img.pTOC) + "\n",
                "out: Checking record #0 for potential TOC (ROMOFFSET = 0x" + Hex8(kDecoy - img.pTOC) + ")\n",
                "out: Checking record #2 for potential TOC (ROMOFFSET = 0x40000000)\n",
                "out: ROM offset = 0x40000000\n",
            }));
}

TEST_F(FindTocTest, FirstMatchingCandidateWinsAndDrivesVirtualReads) {
  const BuiltImage plain = Build(SmallImage());
  constexpr uint32_t kDecoy = 0x70000000;
  const uint32_t offset = kDecoy - plain.pTOC;
  std::vector<uint8_t> header = plain.RomBytes(plain.pTOC, 84);
  const uint32_t physFirst = plain.imageStart - offset, physLast = physFirst + plain.imageLength;
  for (int i = 0; i < 4; ++i) {
    header[8 + i] = static_cast<uint8_t>(physFirst >> (8 * i));
    header[12 + i] = static_cast<uint8_t>(physLast >> (8 * i));
  }
  RomImage spec = SmallImage();
  spec.extraRecords.push_back({0, RawRecord{.address = kDecoy, .data = header}});
  const BuiltImage img = Build(spec);
  ASSERT_TRUE(Open(img));
  const std::vector<std::string> got = TakeLines();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[2], "out: Checking record #0 for potential TOC (ROMOFFSET = 0x" + Hex8(offset) + ")\n");
  EXPECT_EQ(got[3], "out: ROM offset = 0x" + Hex8(offset) + "\n");
  uint8_t buf[84];
  ASSERT_TRUE(ReadImage(buf, img.pTOC, 84, true));
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 84), header);
}

TEST_F(FindTocTest, OffsetOutlivesTheImageUntilAnotherIsFound) {
  ASSERT_TRUE(Open(Build(SmallImage()), "_a"));
  CloseImage();
  RomImage spec = SmallImage();
  spec.romOffset = 0x10000000;
  spec.romHeaderWords = {{8, 0}};
  TakeLines();
  EXPECT_FALSE(Open(Build(spec), "_b"));
  const std::vector<std::string> got = TakeLines();
  ASSERT_GE(got.size(), 2u);
  EXPECT_EQ(got[got.size() - 2], "out: ROM offset = 0x40000000\n");
}

TEST_F(FindTocTest, UnreadableHeaderPointer) {
  imagebuilder::BinFile file;
  file.imageStart = 0x1000;
  file.imageLength = 0x100;
  file.entryAddress = 0x1000;
  file.records.push_back(RawRecord{.address = 0x2000, .data = std::vector<uint8_t>(0x100, 7)});
  EXPECT_FALSE(Open(imagebuilder::EncodeBinFile(file)));
  EXPECT_EQ(TakeLines(), (std::vector<std::string>{"out: start address = 0x00001000\n", ErrLine(8, 0x1040),
                                                   "out: Couldn't find pTOC @ image start (0x00001000) + 0x40\n"}));
}

TEST_F(FindTocTest, NoCandidateRecord) {
  imagebuilder::BinFile file;
  file.imageStart = 0x1000;
  file.imageLength = 0x100;
  file.records.push_back(RawRecord{.address = 0x1000, .data = std::vector<uint8_t>(0x100, 0x21)});
  EXPECT_FALSE(Open(imagebuilder::EncodeBinFile(file)));
  EXPECT_EQ(TakeLines(),
            (std::vector<std::string>{"out: start address = 0x00000000\n", "out: found pTOC  = 0x21212121\n",
                                      "out: ROM offset = 0x00000000\n", "out: Failed to find the rom offset 1000\n"}));
}

// ---------------------------------------------------------------------------
// Reads

class ReadImageTest : public imagetest::ImageTest {};

TEST_F(ReadImageTest, ReadsOnlyWithinOneRecord) {
  RomImage spec = SmallImage();
  const uint32_t data = Build(spec).Find("module 0 section 0 data")->virtualAddress;
  spec.splitAt = {data + 0x20};
  const BuiltImage img = Build(spec);
  ASSERT_TRUE(Open(img));
  TakeLines();
  const uint32_t off = img.romOffset;
  struct Case {
    uint32_t address;
    uint32_t size;
    bool fVirtual;
    bool ok;
  };
  const Case cases[] = {
      {data, 0x20, true, true},          // up to the split
      {data + 0x20, 0x20, true, true},   // from the split
      {data + 0x1F, 1, true, true},      // the record's last byte
      {data + 0x1F, 2, true, false},     // one more spans two records
      {data + 0x10, 0x20, true, false},  // contiguous in the ROM, but two records
      {data + off, 0x20, false, true},   // the same bytes by record address
      {data, 0x20, false, false},        // a virtual address is no record address
      {img.pTOC, 84, true, true},        // the ROM header is a record of its own
      {img.pTOC - 1, 84, true, false},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buf(c.size, 0xEE);
    EXPECT_EQ(ReadImage(buf.data(), c.address, c.size, c.fVirtual), c.ok) << std::hex << c.address << " " << c.size;
    if (c.ok) {
      EXPECT_EQ(buf, img.RomBytes(c.fVirtual ? c.address : c.address - off, c.size)) << std::hex << c.address;
      EXPECT_TRUE(TakeLines().empty());
    } else {
      EXPECT_EQ(TakeLines(), std::vector<std::string>{ErrLine(c.size, c.fVirtual ? c.address + off : c.address)});
    }
  }
}

TEST_F(ReadImageTest, RangeCheckDoesNotWrapAround) {
  RomImage spec = SmallImage();
  std::vector<uint8_t> top(0x100);
  for (size_t i = 0; i < top.size(); ++i) top[i] = static_cast<uint8_t>(i);
  spec.extraRecords.push_back({9, RawRecord{.address = 0xFFFFF000, .data = top}});
  spec.extraRecords.push_back({9, RawRecord{.address = 0xFFFFFF80, .data = top}});  // reaches past 2^32
  ASSERT_TRUE(Open(Build(spec)));
  TakeLines();
  uint8_t buf[0x20] = {};
  // The end of this range wraps to just below the record's start: it is not inside.
  EXPECT_FALSE(ReadImage(buf, 0xFFFFF010, 0xFFFFFFF0, false));
  EXPECT_EQ(TakeLines(), std::vector<std::string>{ErrLine(0xFFFFFFF0, 0xFFFFF010)});
  // A record that runs past the top holds the bytes up to its real end.
  ASSERT_TRUE(ReadImage(buf, 0xFFFFFFF0, 0x20, false));
  EXPECT_EQ(buf[0], 0x70);
  EXPECT_EQ(buf[0x1F], 0x8F);
}

TEST_F(ReadImageTest, FirstRecordInTableOrderServesTheRead) {
  RomImage spec = SmallImage();
  const BuiltImage plain = Build(spec);
  const uint32_t header = plain.Find("module 0 header")->virtualAddress + plain.romOffset;
  spec.extraRecords.push_back({0, RawRecord{.address = header, .data = std::vector<uint8_t>(112, 0xAB)}});
  ASSERT_TRUE(Open(Build(spec)));
  uint8_t buf[112];
  ASSERT_TRUE(ReadImage(buf, header, 112, false));
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 112), std::vector<uint8_t>(112, 0xAB));
}

TEST_F(ReadImageTest, DataMissingFromACutFileFails) {
  RomImage spec = SmallImage();
  spec.tocFirst = true;  // the tables stay whole, the data record comes last
  const BuiltImage whole = Build(spec);
  const uint32_t data = whole.Find("file 0 data")->virtualAddress;
  spec.cutAt = *whole.FileOffsetOf(data + 0x10);
  const BuiltImage img = Build(spec);
  ASSERT_TRUE(Open(img));
  TakeLines();
  uint8_t buf[0x30];
  ASSERT_TRUE(ReadImage(buf, data, 0x10, true));
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 0x10), img.RomBytes(data, 0x10));
  EXPECT_FALSE(ReadImage(buf, data, 0x11, true));
  EXPECT_EQ(TakeLines(), std::vector<std::string>{"out: ReadFile failed: 38"});
}

using ReadImageDeathTest = ReadImageTest;

TEST_F(ReadImageDeathTest, ReadWithNoOpenImageAsserts) {
  uint8_t buf[4];
  DiagSetSink(nullptr, nullptr);  // the child must print where the death test can see it
  EXPECT_DEATH(ReadImage(buf, 0, 4, false),
               "Assertion failed: hfile != INVALID_HANDLE_VALUE, file .*binutils\\.cpp, line ");
}

}  // namespace
