// Which firmware files may go to the player under which name. An off-by-one
// at a window's edge would send a bootloader where a recovery image belongs.
#include <gtest/gtest.h>

#include "device/transfer.h"
#include "device/transfer_kinds.h"

namespace {

TEST(TransferRules, SizeWindowsAtEveryEdge) {
  constexpr ULONGLONG k512K = 0x80000, k1536K = 0x180000, k4G = 0x100000000ull;
  struct Case {
    TransferKind kind;
    ULONGLONG size;
    bool fits;
  };
  const Case cases[] = {
      {KIND_BOOTLOADER, 0, true},
      {KIND_BOOTLOADER, k512K, true},
      {KIND_BOOTLOADER, k512K + 1, false},
      {KIND_RECOVERY, k512K - 1, false},
      {KIND_RECOVERY, k512K, true},
      {KIND_RECOVERY, k1536K, true},
      {KIND_RECOVERY, k1536K + 1, false},
      {KIND_OS_IMAGE, k1536K - 1, false},
      {KIND_OS_IMAGE, k1536K, true},
      {KIND_OS_IMAGE, 0xFFFFFFFFull, true},
      {KIND_FONT, 0, true},
      {KIND_FONT, k4G * 3, true},
      // Only the whole size counts: these would pass on their low 32 bits.
      {KIND_BOOTLOADER, k4G + 0x1000, false},
      {KIND_RECOVERY, k4G + k512K, false},
      {KIND_OS_IMAGE, k4G, true},
      // Bits outside the kind mask do not matter.
      {KIND_BOOTLOADER | 0x80000003u, k512K, true},
      {KIND_RECOVERY | 1u, k512K - 1, false},
      // Nothing fits a kind that is none.
      {0, 0, false},
      {KIND_BOOTLOADER | KIND_RECOVERY, k512K, false},
  };
  for (const Case& c : cases) EXPECT_EQ(FitsSizeWindow(c.kind, c.size), c.fits) << c.kind << " " << c.size;
}

TEST(TransferRules, KindsAreSingleBitsOfTheMask) {
  for (TransferKind k :
       std::initializer_list<TransferKind>{KIND_BOOTLOADER, KIND_RECOVERY, KIND_FONT, KIND_OS_IMAGE, KIND_FONT | 0x83u})
    EXPECT_TRUE(IsTransferKind(k)) << k;
  for (TransferKind k :
       std::initializer_list<TransferKind>{0, 1, 2, 64, 0x80, KIND_FONT | KIND_OS_IMAGE, kTransferKindMask})
    EXPECT_FALSE(IsTransferKind(k)) << k;
}

TEST(TransferRules, DestinationNames) {
  struct Case {
    const WCHAR* source;
    TransferKind kind;
    const WCHAR* destination;
  };
  const Case cases[] = {
      {WSTR("C:\\fw\\my build.bin"), KIND_BOOTLOADER, WSTR("EBoot.bin")},
      {WSTR("C:\\fw\\nk.bin"), KIND_RECOVERY, WSTR("Recovery.bin")},
      {WSTR("Recovery.bin"), KIND_OS_IMAGE, WSTR("NK.bin")},
      {WSTR("C:\\fonts\\Sans Bold.ttf"), KIND_FONT, WSTR("Sans Bold.ttf")},
      {WSTR("\\\\server\\share\\a\\b.fnt"), KIND_FONT, WSTR("b.fnt")},
      {WSTR("plain.fnt"), KIND_FONT, WSTR("plain.fnt")},
      {WSTR("dir/sub/unix.fnt"), KIND_FONT, WSTR("dir/sub/unix.fnt")},  // only a backslash separates
      {WSTR("C:\\x.bin"), 0, WSTR("")},
      {WSTR("C:\\fonts\\"), KIND_FONT, WSTR("")},  // no file name: InsertFile refuses it
  };
  for (const Case& c : cases) EXPECT_TRUE(DestinationName(c.source, c.kind) == c.destination);
}

// A font of a firmware file's name would replace the firmware unchecked.
TEST(TransferRules, FirmwareNamesAsWindowsComparesThem) {
  const struct {
    const WCHAR* name;
    bool firmware;
  } cases[] = {
      {WSTR("NK.bin"), true},         {WSTR("nk.BIN"), true},    {WSTR("EBOOT.BIN"), true},
      {WSTR("recovery.bin"), true},   {WSTR("NK.bin."), true},   {WSTR("NK.bin . ."), true},
      {WSTR("NK.bin.ttf"), false},    {WSTR("xNK.bin"), false},  {WSTR(" NK.bin"), false},
      {WSTR("NK.bi"), false},         {WSTR("NK"), false},       {WSTR(""), false},
      {WSTR("Recovery.bin2"), false}, {WSTR("Sans.ttf"), false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsFirmwareDestinationName(c.name), c.firmware) << NarrowToUtf8(WStringView(c.name, WideLength(c.name)));
  EXPECT_FALSE(IsFirmwareDestinationName(nullptr));
}

// The names and window texts that the programs print and parse.
TEST(TransferRules, KindNamesAndWindowTexts) {
  const struct {
    TransferKind kind;
    const char* name;
    const char* window;
  } rows[] = {
      {KIND_BOOTLOADER, "bootloader", "at most 0x80000 bytes"},
      {KIND_RECOVERY, "recovery", "0x80000 to 0x180000 bytes"},
      {KIND_FONT, "font", "none"},
      {KIND_OS_IMAGE, "os", "at least 0x180000 bytes"},
  };
  for (const auto& r : rows) {
    const TransferKindInfo* byName = FindTransferKindByName(r.name);
    ASSERT_NE(byName, nullptr) << r.name;
    EXPECT_EQ(byName, FindTransferKind(r.kind | 0x80000001u)) << r.name;
    EXPECT_EQ(SizeWindowText(byName->window), r.window) << r.name;
  }
  for (const char* name : {"", "OS", "os ", "nk", "fonts"}) EXPECT_EQ(FindTransferKindByName(name), nullptr) << name;
  EXPECT_EQ(TransferKindNameList({KIND_BOOTLOADER, KIND_RECOVERY, KIND_OS_IMAGE, KIND_FONT}),
            "bootloader, recovery, os or font");
  EXPECT_EQ(TransferKindNameList({KIND_OS_IMAGE, KIND_FONT}), "os or font");
  EXPECT_EQ(TransferKindNameList({KIND_FONT}), "font");
}

}  // namespace
