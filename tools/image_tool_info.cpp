// tessfold-image info: what an image holds, as the reader sees it.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "image/accept.h"
#include "image/binutils.h"
#include "image/rom_extensions.h"
#include "image/romimage.h"
#include "image/traverse.h"
#include "platform/diag.h"
#include "tools/image_tool.h"
#include "tools/image_tool_open.h"

namespace imagetool {

namespace {

using romimage::Load16;
using romimage::Load32;

// Longest name shown; longer ones are cut.
constexpr DWORD kMaxShownName = 64;

std::string ReadName(DWORD address) {
  std::string name;
  for (DWORD i = 0; i < kMaxShownName; ++i) {
    BYTE c = 0;
    if (!ReadImage(&c, address + i, 1, true)) return name.empty() ? "?" : name;
    if (c == 0) return name;
    name.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  }
  return name + "...";
}

// The listing is collected while the reader's own lines are held back, and
// printed at the end.
std::string g_listing;

void Line(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Line(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    std::string text(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(static_cast<size_t>(n));
    g_listing += text;
  }
  va_end(again);
}

void ShowModules(const BYTE* rom) {
  const DWORD count = Load32(rom + romimage::kRomModuleCount);
  Line("modules: %u\n", static_cast<unsigned>(count));
  for (DWORD i = 0; i < count && i < kMaxImageModules; ++i) {
    BYTE entry[romimage::kModuleEntrySize];
    const DWORD at = CurrentImage().pTOC + romimage::kRomHeaderSize + i * romimage::kModuleEntrySize;
    if (!ReadImage(entry, at, sizeof entry, true)) {
      Line("  module %u: entry unreadable\n", static_cast<unsigned>(i));
      return;
    }
    BYTE header[romimage::kModuleHeaderSize];
    const DWORD headerAt = Load32(entry + romimage::kModuleHeaderAddress);
    const DWORD sections = ReadImage(header, headerAt, sizeof header, true) ? Load16(header) : 0;
    Line("  module %u: '%s', %u sections\n", static_cast<unsigned>(i), ReadName(Load32(entry + 16)).c_str(),
         static_cast<unsigned>(sections));
    const DWORD table = Load32(entry + romimage::kModuleSectionTable);
    for (DWORD j = 0; j < sections; ++j) {
      BYTE s[romimage::kSectionHeaderSize];
      if (!ReadImage(s, table + j * romimage::kSectionHeaderSize, sizeof s, true)) {
        Line("    section %u: header unreadable\n", static_cast<unsigned>(j));
        break;
      }
      Line("    section %u: virtual size %u, physical size %u, data at 0x%08X, flags 0x%08X\n",
           static_cast<unsigned>(j), static_cast<unsigned>(Load32(s + romimage::kSectionVirtualSize)),
           static_cast<unsigned>(Load32(s + romimage::kSectionPhysicalSize)),
           static_cast<unsigned>(Load32(s + romimage::kSectionDataAddress)),
           static_cast<unsigned>(Load32(s + romimage::kSectionFlags)));
    }
  }
}

void ShowFiles(const BYTE* rom) {
  const DWORD modules = Load32(rom + romimage::kRomModuleCount);
  const DWORD count = Load32(rom + romimage::kRomFileCount);
  Line("files: %u\n", static_cast<unsigned>(count));
  const DWORD table = CurrentImage().pTOC + romimage::kRomHeaderSize + modules * romimage::kModuleEntrySize;
  for (DWORD i = 0; i < count && i < kMaxImageFiles; ++i) {
    BYTE entry[romimage::kFileEntrySize];
    if (!ReadImage(entry, table + i * romimage::kFileEntrySize, sizeof entry, true)) {
      Line("  file %u: entry unreadable\n", static_cast<unsigned>(i));
      return;
    }
    Line("  file %u: '%s', %u bytes stored, %u real\n", static_cast<unsigned>(i), ReadName(Load32(entry + 20)).c_str(),
         static_cast<unsigned>(Load32(entry + romimage::kFileStoredSize)), static_cast<unsigned>(Load32(entry + 12)));
  }
}

bool ShowExtension(const RomExtensionRecord& record, void* context) {
  bool& head = *static_cast<bool*>(context);
  char name[romimage::kExtensionNameSize + 1] = {};
  std::memcpy(name, record.rgbRecord + romimage::kExtensionName, romimage::kExtensionNameSize);
  for (char* c = name; *c != 0; ++c)
    if (*c < 0x20 || *c > 0x7E) *c = '?';
  Line("  %s'%s': %u bytes at 0x%08X, type %u\n", head ? "(head) " : "", name,
       static_cast<unsigned>(Load32(record.rgbRecord + romimage::kExtensionLength)),
       static_cast<unsigned>(Load32(record.rgbRecord + romimage::kExtensionDataAddress)),
       static_cast<unsigned>(Load32(record.rgbRecord + 24)));
  head = false;
  return true;
}

void ShowExtensions(const BYTE* rom) {
  if (Load32(rom + romimage::kRomExtensions) == 0) {
    Line("extensions: none\n");
    return;
  }
  Line("extensions:\n");
  bool head = true;
  RomExtensionRecord last;
  const RomExtensionWalk walk = WalkRomExtensions(ShowExtension, &head, &last, true);
  if (walk == RomExtensionWalk::kUnreadable || walk == RomExtensionWalk::kTooLong) {
    Line("  (chain unreadable at 0x%08X)\n", static_cast<unsigned>(last.dwAddress));
  }
}

}  // namespace

int RunInfo(const Args& args) {
  std::string path;
  for (const std::string& arg : args) {
    if (arg.size() > 1 && arg[0] == '-') return UsageError("unknown option '" + arg + "' for info");
    if (!path.empty()) return UsageError("info takes one FILE");
    path = arg;
  }
  if (path.empty()) return UsageError("info needs a FILE");

  std::string reason;
  if (OpenImageQuietly(path, &reason) != OpenResult::kOpen) {
    Error(reason);
    return kExitUsage;
  }
  const ImageReader& image = CurrentImage();
  g_listing.clear();
  {
    // Reads of damaged parts print reader lines; the listing says it itself.
    DiagCapture quiet;
    BYTE rom[romimage::kRomHeaderSize];
    const bool romRead = ReadImage(rom, image.pTOC, sizeof rom, true);
    DWORD catAddress = 0, catLength = 0;
    const bool catSig =
        romRead && FindRomExtension(kCatalogExtensionName, sizeof kCatalogExtensionName, &catAddress, &catLength);
    Line("file: %s\n", path.c_str());
    Line("image start: 0x%08X\n", static_cast<unsigned>(image.dwImageStart));
    Line("image length: 0x%08X (%u bytes)\n", static_cast<unsigned>(image.dwImageLength),
         static_cast<unsigned>(image.dwImageLength));
    Line("records: %u\n", static_cast<unsigned>(image.cRecords));
    Line("pTOC: 0x%08X\n", static_cast<unsigned>(image.pTOC));
    Line("ROM offset: 0x%08X\n", static_cast<unsigned>(image.dwRomOffset));
    if (!romRead) {
      Line("ROM header: unreadable\n");
    } else {
      ShowModules(rom);
      ShowFiles(rom);
      ShowExtensions(rom);
      if (catSig) {
        Line("cat_sig: present, %u bytes at 0x%08X\n", static_cast<unsigned>(catLength),
             static_cast<unsigned>(catAddress));
      } else {
        Line("cat_sig: absent\n");
      }
    }
  }
  CloseImage();
  DiagPrintf(DiagStream::Out, "%s", g_listing.c_str());
  return kExitOk;
}

}  // namespace imagetool
