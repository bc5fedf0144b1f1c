// The transfer kinds in one table: what each is called on a command line,
// the name it is stored under on the player, whether the image checks bind
// it, and the window its size must lie in. The checks, the destination names,
// the programs' option parsers and their window texts are all built from it.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "device/devicemanager.h"

// A size window in bytes, both ends included; the whole 64-bit size counts.
struct SizeWindow {
  ULONGLONG cbMin;
  ULONGLONG cbMax;
};
inline constexpr ULONGLONG kNoSizeLimit = ~0ull;

struct TransferKindInfo {
  TransferKind kind;
  const char* pszOptionName;     // the name that programs take after --kind
  const WCHAR* pwszDestination;  // the file's name on the player; null: the source file's own name
  bool fImageChecksBind;         // false: the file goes whatever the image checks find
  SizeWindow window;
};

inline constexpr TransferKindInfo kTransferKinds[] = {
    {KIND_BOOTLOADER, "bootloader", WSTR("EBoot.bin"), true, {0, 0x80000}},
    {KIND_RECOVERY, "recovery", WSTR("Recovery.bin"), true, {0x80000, 0x180000}},
    {KIND_FONT, "font", nullptr, false, {0, kNoSizeLimit}},
    {KIND_OS_IMAGE, "os", WSTR("NK.bin"), true, {0x180000, kNoSizeLimit}},
};

// The row `kind` selects (only its kTransferKindMask bits count), or null
// when they select no single kind.
const TransferKindInfo* FindTransferKind(TransferKind kind);
// The row with this command-line name (exact, case-sensitive), or null.
const TransferKindInfo* FindTransferKindByName(std::string_view name);

bool InSizeWindow(const SizeWindow& window, ULONGLONG cbFile);

// The window as programs print it: "at most 0x80000 bytes", "0x80000 to
// 0x180000 bytes", "at least 0x180000 bytes", or "none" for no limit.
std::string SizeWindowText(const SizeWindow& window);

// The command-line names of `kinds` in that order, as a program lists them
// to its user: "os, recovery, bootloader or font".
std::string TransferKindNameList(std::initializer_list<TransferKind> kinds);
