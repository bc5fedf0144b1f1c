// On-disk layout of a ".bin" ROM image: the record file around it and the
// structures found inside the image by virtual address. All multi-byte values
// are little-endian; the offsets below are byte offsets into each structure.
#pragma once

#include <cstdint>

namespace romimage {

// File header: 7 signature bytes, image start (4), image length (4).
inline constexpr uint8_t kBinSignature[7] = {0x42, 0x30, 0x30, 0x30, 0x46, 0x46, 0x0A};  // "B000FF\n"
inline constexpr uint32_t kBinSignatureSize = 7;
inline constexpr uint32_t kBinHeaderSize = 15;

// Record header: address (0), length (4), checksum (8); length data bytes follow.
// Address and checksum both 0 mark the end; its length is the entry address.
inline constexpr uint32_t kRecordHeaderSize = 12;
inline constexpr uint32_t kRecordAddress = 0;
inline constexpr uint32_t kRecordLength = 4;
inline constexpr uint32_t kRecordChecksum = 8;

// The ROM header's address sits in the second word at image start + 0x40.
inline constexpr uint32_t kTocPointerOffset = 0x40;
inline constexpr uint32_t kTocPointerSize = 8;

// ROM header (the table of contents).
inline constexpr uint32_t kRomHeaderSize = 84;
inline constexpr uint32_t kRomFirstDll = 0;
inline constexpr uint32_t kRomLastDll = 4;
inline constexpr uint32_t kRomPhysFirst = 8;
inline constexpr uint32_t kRomPhysLast = 12;
inline constexpr uint32_t kRomModuleCount = 16;
inline constexpr uint32_t kRomFileCount = 48;
inline constexpr uint32_t kRomExtensions = 72;

// Module table entry, directly after the ROM header.
inline constexpr uint32_t kModuleEntrySize = 32;
inline constexpr uint32_t kModuleHeaderAddress = 20;
inline constexpr uint32_t kModuleSectionTable = 24;

// Module header: only its leading 16-bit section count is interpreted.
inline constexpr uint32_t kModuleHeaderSize = 112;
inline constexpr uint32_t kModuleSectionCount = 0;

// Section header.
inline constexpr uint32_t kSectionHeaderSize = 24;
inline constexpr uint32_t kSectionVirtualSize = 0;
inline constexpr uint32_t kSectionPhysicalSize = 8;
inline constexpr uint32_t kSectionDataAddress = 12;
inline constexpr uint32_t kSectionRealAddress = 16;
inline constexpr uint32_t kSectionFlags = 20;
// With both flags set the stored (physical) size counts, even when it exceeds
// the virtual size.
inline constexpr uint32_t kSectionPhysicalSizeFlags = 0x80000000u | 0x00002000u;

// File table entry, directly after the module table.
inline constexpr uint32_t kFileEntrySize = 28;
inline constexpr uint32_t kFileStoredSize = 16;
inline constexpr uint32_t kFileLoadOffset = 24;

// ROM extension record; the chain starts at the ROM header's extension word.
inline constexpr uint32_t kExtensionRecordSize = 44;
inline constexpr uint32_t kExtensionNameSize = 24;
inline constexpr uint32_t kExtensionName = 0;
inline constexpr uint32_t kExtensionDataAddress = 28;
inline constexpr uint32_t kExtensionLength = 32;
inline constexpr uint32_t kExtensionNext = 40;

inline uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

inline uint16_t Load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

}  // namespace romimage
