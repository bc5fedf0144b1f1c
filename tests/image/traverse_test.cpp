// The traversal: which parts, in which order, with which bytes; where it stops.
#include "image/traverse.h"

#include <algorithm>
#include <limits>

#include "image/binutils.h"
#include "tests/image/image_test_util.h"

namespace {

using imagebuilder::Build;
using imagebuilder::BuiltImage;
using imagebuilder::File;
using imagebuilder::Module;
using imagebuilder::RomImage;
using imagebuilder::Section;

// What the callback received, one entry per call.
struct Capture {
  std::vector<std::vector<uint8_t>> calls;
  size_t stopAfter = std::numeric_limits<size_t>::max();
};

bool Collect(const BYTE* pbData, DWORD cbData, void* pvContext) {
  auto* c = static_cast<Capture*>(pvContext);
  c->calls.emplace_back(pbData, pbData + cbData);
  return c->calls.size() < c->stopAfter;
}

std::string ErrLine(uint32_t size, uint32_t address) {
  char buf[80];
  std::snprintf(buf, sizeof buf, "err: failed to read data of size %d at %08x\n", static_cast<int>(size), address);
  return buf;
}

RomImage MixedImage() {
  RomImage r;
  r.modules = {
      Module{.name = "nk.exe",
             .sections = {Section{.virtualSize = 0x40, .physicalSize = 0x40},
                          Section{.virtualSize = 0x20, .physicalSize = 0x20, .realInRom = true},
                          Section{.virtualSize = 0x10, .physicalSize = 0x30, .flags = 0x80002000}}},
      Module{.name = "coredll.dll", .sections = {Section{.virtualSize = 0x50, .physicalSize = 0x30}}},
  };
  r.files = {File{.storedSize = 0x25}, File{.storedSize = 0}, File{.storedSize = 3}};
  return r;
}

class TraverseTest : public imagetest::ImageTest {
 protected:
  Capture Traverse(bool expected) {
    Capture c;
    EXPECT_EQ(TraverseImage(Collect, &c), expected);
    return c;
  }
  // The first `count` parts of the builder and nothing more, each in one call
  // or, when longer than a piece, in full pieces and then the rest.
  void ExpectParts(const Capture& c, const BuiltImage& img, size_t count) {
    size_t call = 0;
    for (size_t i = 0; i < count; ++i) {
      const std::vector<uint8_t> expected = img.PartBytes(img.parts[i]);
      std::vector<uint8_t> got;
      while (got.size() < expected.size()) {
        ASSERT_LT(call, c.calls.size()) << img.parts[i].what;
        const size_t piece = std::min<size_t>(expected.size() - got.size(), kTraversalPieceBytes);
        ASSERT_EQ(c.calls[call].size(), piece) << img.parts[i].what << " at " << got.size();
        got.insert(got.end(), c.calls[call].begin(), c.calls[call].end());
        ++call;
      }
      EXPECT_EQ(got, expected) << img.parts[i].what;
    }
    EXPECT_EQ(call, c.calls.size());
  }
};

TEST_F(TraverseTest, HandsOutSignedPartsInOrder) {
  const BuiltImage img = Build(MixedImage());
  std::vector<std::string> names;
  for (const auto& p : img.parts) names.push_back(p.what);
  ASSERT_EQ(names, (std::vector<std::string>{
                       "rom header", "module 0 entry", "module 0 header", "module 0 section 0 header",
                       "module 0 section 0 data", "module 0 section 1 header",  // in place: no data
                       "module 0 section 2 header", "module 0 section 2 data",  // both flags: physical size
                       "module 1 entry", "module 1 header", "module 1 section 0 header",
                       "module 1 section 0 data",  // the smaller size
                       "file 0 entry", "file 0 data", "file 1 entry", "file 2 entry", "file 2 data"}));
  EXPECT_EQ(img.parts[7].length, 0x30u);
  EXPECT_EQ(img.parts[11].length, 0x30u);

  ASSERT_TRUE(Open(img));
  TakeLines();
  const Capture c = Traverse(true);
  ExpectParts(c, img, img.parts.size());
  EXPECT_TRUE(TakeLines().empty());
  // The image stays open and can be walked again with the same result.
  EXPECT_EQ(Traverse(true).calls, c.calls);
}

TEST_F(TraverseTest, RecordLayoutDoesNotChangeTheParts) {
  RomImage spec = MixedImage();
  ASSERT_TRUE(Open(Build(spec), "_a"));
  const Capture one = Traverse(true);
  spec.recordPerItem = true;
  spec.romOffset = 0x00100000;
  spec.imageStart = 0x00300000;
  ASSERT_TRUE(Open(Build(spec), "_b"));
  const Capture other = Traverse(true);
  // Only addresses differ between the two (pointers inside the tables move
  // with the ROM offset), so compare the data parts, which carry no addresses.
  ASSERT_EQ(one.calls.size(), other.calls.size());
  for (size_t i : {4u, 7u, 11u, 13u, 16u}) EXPECT_EQ(one.calls[i], other.calls[i]) << i;
}

TEST_F(TraverseTest, SectionDataRule) {
  enum Real { kInRom, kFirst, kLast, kAbove, kBelow };
  struct Case {
    uint32_t vsize, psize, flags;
    Real real;
    uint32_t handedOut;  // data bytes, 0 for none
  };
  const Case cases[] = {
      {0x40, 0x40, 0, kInRom, 0},
      {0x40, 0x40, 0, kFirst, 0},
      {0x40, 0x40, 0, kLast, 0},
      {0x40, 0x40, 0, kAbove, 0x40},
      {0x40, 0x40, 0, kBelow, 0x40},
      {0x48, 0x40, 0, kInRom, 0x40},  // sizes differ: never in place
      {0x40, 0x48, 0, kInRom, 0x40},
      {0x40, 0x48, 0x80002000, kInRom, 0x48},
      {0x40, 0x48, 0x80000000, kAbove, 0x40},
      {0x40, 0x48, 0x00002000, kAbove, 0x40},
      {0x40, 0x48, 0xFFFFFFFF, kAbove, 0x48},
      {0, 0x40, 0, kAbove, 0},
      {0x40, 0, 0, kAbove, 0},
      {0, 0x40, 0x80002000, kAbove, 0x40},
  };
  for (const Case& c : cases) {
    RomImage spec;
    spec.modules = {
        Module{.sections = {Section{
                   .virtualSize = c.vsize, .physicalSize = c.psize, .flags = c.flags, .realInRom = c.real == kInRom}}}};
    const BuiltImage first = Build(spec);
    const uint32_t physFirst = first.imageStart - first.romOffset, physLast = physFirst + first.imageLength;
    const uint32_t real[] = {0, physFirst, physLast, physLast + 1, physFirst - 1};
    if (c.real != kInRom) spec.modules[0].sections[0].realAddress = real[c.real];
    const BuiltImage img = Build(spec);
    ResetImageReaderForTest();
    ASSERT_TRUE(Open(img));
    const Capture got = Traverse(true);
    const std::string what = std::to_string(c.vsize) + "/" + std::to_string(c.psize) + "/" + std::to_string(c.flags) +
                             "/" + std::to_string(c.real);
    ASSERT_EQ(got.calls.size(), c.handedOut != 0 ? 5u : 4u) << what;
    if (c.handedOut != 0) {
      const uint32_t data = img.Find("module 0 section 0 data")->virtualAddress;
      EXPECT_EQ(got.calls[4], img.RomBytes(data, c.handedOut)) << what;
    }
  }
}

// Parts of every size around the reader's small-read and read-ahead limits
// and around the piece size, laid out back to back, in whole and in cut
// files: each part is exactly the builder's bytes, and a cut ends the walk at
// the first part it reaches, before any piece of that part.
TEST_F(TraverseTest, PartsAroundReadAheadLimits) {
  constexpr uint32_t kPiece = kTraversalPieceBytes;
  RomImage spec;
  spec.modules = {Module{.sections = {Section{.virtualSize = 600, .physicalSize = 600},
                                      Section{.virtualSize = 8, .physicalSize = 8},
                                      Section{.virtualSize = 5000, .physicalSize = 4097},
                                      Section{.virtualSize = kPiece + 1, .physicalSize = kPiece + 1},
                                      Section{.virtualSize = 2 * kPiece, .physicalSize = 2 * kPiece}}}};
  for (uint32_t size : {1u, 511u, 512u, 513u, 4080u, 4095u, 4096u, 4097u, 9000u, 20u, kPiece - 1, kPiece, kPiece + 1,
                        2 * kPiece + 7, 5u})
    spec.files.push_back(File{.storedSize = size});
  spec.tocFirst = true;  // the tables first: a cut takes away data only
  const BuiltImage whole = Build(spec);
  ASSERT_TRUE(Open(whole, "_whole"));
  ExpectParts(Traverse(true), whole, whole.parts.size());

  for (const std::string what :
       {"module 0 section 2 data", "module 0 section 4 data", "file 5 data", "file 8 data", "file 13 data"}) {
    const imagebuilder::Placed* item = whole.Find(what);
    for (const uint32_t into : {0u, 1u, item->length / 2, item->length - 1}) {
      RomImage cut = spec;
      cut.cutAt = *whole.FileOffsetOf(item->virtualAddress + into);
      const BuiltImage img = Build(cut);
      ASSERT_TRUE(Open(img, "_cut"));
      TakeLines();
      size_t before = 0;
      while (img.parts[before].what != what) ++before;
      ExpectParts(Traverse(false), img, before);
      EXPECT_EQ(TakeLines(), std::vector<std::string>{"out: ReadFile failed: 38"}) << what << " " << into;
    }
  }
}

// Files whose data follow one another, in one record or a record header apart,
// are read together up to a limit; each still gets exactly its own bytes, and
// a cut inside a later file ends the walk there, after the earlier files.
TEST_F(TraverseTest, FilesReadTogetherKeepTheirOwnBytes) {
  RomImage spec;
  for (uint32_t size : {300u * 1024, 5u, 700u * 1024, 0u, 200u * 1024, 1u, 900u * 1024, 64u, 2u * 1024 * 1024})
    spec.files.push_back(File{.storedSize = size});
  spec.tocFirst = true;
  for (bool perRecord : {false, true}) {
    SCOPED_TRACE(perRecord ? "a record per item" : "one record");
    spec.recordPerItem = perRecord;
    spec.cutAt.reset();
    const BuiltImage whole = Build(spec);
    ASSERT_TRUE(Open(whole, perRecord ? "_records" : "_one"));
    ExpectParts(Traverse(true), whole, whole.parts.size());

    const imagebuilder::Placed* item = whole.Find("file 2 data");
    RomImage cut = spec;
    cut.cutAt = *whole.FileOffsetOf(item->virtualAddress + item->length - 1);
    const BuiltImage img = Build(cut);
    ASSERT_TRUE(Open(img, "_cut"));
    TakeLines();
    size_t before = 0;
    while (img.parts[before].what != "file 2 data") ++before;
    ExpectParts(Traverse(false), img, before);
    EXPECT_EQ(TakeLines(), std::vector<std::string>{"out: ReadFile failed: 38"});
  }
}

TEST_F(TraverseTest, EmptyTablesHandOutTheHeaderOnly) {
  const BuiltImage img = Build(RomImage{});
  ASSERT_TRUE(Open(img));
  ExpectParts(Traverse(true), img, 1);
}

TEST_F(TraverseTest, CallbackStopsTheWalk) {
  RomImage layout = MixedImage();
  layout.files.push_back(File{.storedSize = 2 * kTraversalPieceBytes + 1});  // three pieces
  const BuiltImage img = Build(layout);
  ASSERT_TRUE(Open(img));
  for (size_t k = 1; k <= img.parts.size() + 2; ++k) {
    Capture c;
    c.stopAfter = k;
    EXPECT_FALSE(TraverseImage(Collect, &c)) << k;
    EXPECT_EQ(c.calls.size(), k);
  }
}

TEST_F(TraverseTest, NoImageOpen) {
  Capture c;
  EXPECT_FALSE(TraverseImage(Collect, &c));
  EXPECT_TRUE(c.calls.empty());
  EXPECT_TRUE(TakeLines().empty());
}

TEST_F(TraverseTest, UnreadablePartsEndTheWalk) {
  {  // section data split over two records
    RomImage spec = MixedImage();
    const uint32_t data = Build(spec).Find("module 0 section 0 data")->virtualAddress;
    spec.splitAt = {data + 8};
    const BuiltImage img = Build(spec);
    ASSERT_TRUE(Open(img, "_split"));
    TakeLines();
    ExpectParts(Traverse(false), img, 4);
    EXPECT_EQ(TakeLines(), std::vector<std::string>{ErrLine(0x40, data + img.romOffset)});
  }
  {  // a file cut inside file data
    RomImage spec = MixedImage();
    spec.tocFirst = true;
    const BuiltImage whole = Build(spec);
    spec.cutAt = *whole.FileOffsetOf(whole.Find("file 0 data")->virtualAddress + 0x24);
    const BuiltImage img = Build(spec);
    ASSERT_TRUE(Open(img, "_cut"));
    TakeLines();
    ExpectParts(Traverse(false), img, 13);
    EXPECT_EQ(TakeLines(), std::vector<std::string>{"out: ReadFile failed: 38"});
  }
}

TEST_F(TraverseTest, CountsAreBounded) {
  const BuiltImage plain = Build(MixedImage());
  const uint32_t tables = plain.pTOC + 84 + plain.romOffset;
  struct Case {
    uint32_t word, value;
    std::string line;
    size_t parts;
  };
  const Case cases[] = {
      {16, 0xFFFFFFFF, "out: module count 4294967295 exceeds the limit of 65536\n", 1},
      {16, kMaxImageModules + 1, "out: module count 65537 exceeds the limit of 65536\n", 1},
      {16, kMaxImageModules, ErrLine(kMaxImageModules * 32, tables), 1},  // at the bound: the table is read
      {48, 0xFFFFFFFF, "out: file count 4294967295 exceeds the limit of 65536\n", 12},
      {48, kMaxImageFiles, ErrLine(kMaxImageFiles * 28, tables + 2 * 32), 12},
  };
  for (const Case& c : cases) {
    RomImage spec = MixedImage();
    spec.romHeaderWords = {{c.word, c.value}};
    const BuiltImage img = Build(spec);
    ResetImageReaderForTest();
    ASSERT_TRUE(Open(img));
    TakeLines();
    const Capture got = Traverse(false);
    EXPECT_EQ(got.calls.size(), c.parts) << c.line;
    EXPECT_EQ(TakeLines(), std::vector<std::string>{c.line});
  }
}

TEST_F(TraverseTest, ModulesSharingOneHeaderCannotMultiplyTheSections) {
  // One header claims 65535 sections; the headers past the one described read
  // as zeros (the in-place section's data), so each costs a read and nothing
  // more. Sixteen modules share it; a seventeenth with a header of its own
  // brings the sum to exactly the bound (1,048,576), or one past it.
  constexpr uint32_t kZeros = 65535 * 24;
  auto zeroHeaders = [](uint32_t size) {
    return Section{.virtualSize = size, .physicalSize = size, .realInRom = true, .data = std::vector<uint8_t>(size, 0)};
  };
  for (const uint16_t last : {16, 17}) {
    SCOPED_TRACE(last);
    RomImage layout;
    layout.modules = {Module{.sections = {zeroHeaders(kZeros)}, .sectionCount = 65535}};
    for (size_t i = 1; i < 16; ++i) layout.modules.push_back(Module{.sharesWith = 0});
    layout.modules.push_back(Module{.sections = {zeroHeaders(32 * 24)}, .sectionCount = last});
    ASSERT_EQ(16 * 65535u + last, kMaxImageSections + (last - 16));
    ResetImageReaderForTest();
    ASSERT_TRUE(Open(Build(layout)));
    TakeLines();
    size_t calls = 0;
    const bool atBound = last == 16;
    EXPECT_EQ(TraverseImage([](const BYTE*, DWORD, void* n) { return ++*static_cast<size_t*>(n) != 0; }, &calls),
              atBound);
    EXPECT_EQ(TakeLines(), atBound ? std::vector<std::string>{}
                                   : std::vector<std::string>{"out: section count exceeds the limit of 1048576\n"});
    // The last module's entry and header are handed out before its count is
    // judged; at the bound its sections follow.
    EXPECT_EQ(calls, 1 + 16 * (2 + 65535u) + 2 + (atBound ? last : 0));
  }
}

TEST_F(TraverseTest, SharedDataCannotMakeTheWalkEndless) {
  // 4097 sections all pointing at the same MiB: more than a 32-bit address
  // space can hold, so the walk gives up instead of hashing on.
  constexpr uint32_t kMiB = 1u << 20;
  RomImage spec;
  spec.files = {File{.storedSize = kMiB}};
  spec.modules = {Module{}};
  for (int j = 0; j < 4097; ++j)
    spec.modules[0].sections.push_back(
        Section{.virtualSize = kMiB, .physicalSize = kMiB, .data = std::vector<uint8_t>{}});
  const uint32_t shared = Build(spec).Find("file 0 data")->virtualAddress;
  for (Section& s : spec.modules[0].sections) s.dataAddress = shared;
  ASSERT_TRUE(Open(Build(spec)));
  TakeLines();
  struct Count {
    size_t calls = 0;
  } count;
  EXPECT_FALSE(
      TraverseImage([](const BYTE*, DWORD, void* ctx) { return ++static_cast<Count*>(ctx)->calls > 0; }, &count));
  EXPECT_EQ(TakeLines(), std::vector<std::string>{"out: image traversal exceeds 4294967295 bytes\n"});
  EXPECT_LT(count.calls, 3 + 4097u * (1 + kMiB / kTraversalPieceBytes));
}

}  // namespace
