// Walks the signed content of the open image and hands each part, in a fixed
// order, to a callback. The order is what an image signature covers:
//
//   1. the ROM header (84 bytes);
//   2. for each module, in table order:
//        its module table entry (32), its module header (112),
//        then for each section j < the header's 16-bit section count:
//          the section header (24), then its data when the section is not in
//          place and its size n is not 0 — n is the physical size when the
//          flags hold both 0x80000000 and 0x2000, else the smaller of the
//          physical and virtual sizes; a section is in place when both sizes
//          are equal and its real address lies within the ROM header's first
//          and last physical addresses (inclusive);
//   3. for each file, in table order:
//        its file table entry (28), then its stored data when the stored size
//        is not 0.
//
// Every address is virtual (the ROM offset is added). Nothing else is handed
// out: record headers and checksums, the extension chain and its data, and
// bytes that no structure points at can change without changing the parts.
#pragma once

#include "platform/win.h"

// Receives one part, or one piece of a part: `cbData` bytes at `pbData`, valid
// only during the call (the buffer is reused for the next one). Parts are
// never merged: one call per item listed above, in that order, except that
// section and file data longer than kTraversalPieceBytes arrive as
// consecutive pieces of kTraversalPieceBytes (the last one the rest), so that
// a part of any size is read through one bounded buffer. The bytes and their
// order are the same either way, which is all a digest needs. Return true to
// go on, false to stop the walk (TraverseImage then returns false).
//
// The callback may read the image (ReadImage and friends) but must not open or
// close an image while the walk runs.
using TraverseCallback = bool (*)(const BYTE* pbData, DWORD cbData, void* pvContext);

// Longest piece of section or file data handed out at once. Small enough
// that a piece is still in the processor's cache when the digest reads it.
inline constexpr DWORD kTraversalPieceBytes = 256 * 1024;

// Bounds on what one walk accepts; a larger count ends the walk as a failure
// with a diagnostic line, so neither a damaged count nor data shared by many
// entries can make the walk run away.
inline constexpr DWORD kMaxImageModules = 65536;
inline constexpr DWORD kMaxImageFiles = 65536;
// Sections of all modules together: each module's count is 16-bit, but many
// modules can share one header, and every section header is a read.
inline constexpr DWORD kMaxImageSections = 1u << 20;
inline constexpr ULONGLONG kMaxTraversalBytes = 0xFFFFFFFFull;  // one 32-bit address space

// True when every part was handed to `callback` and it accepted each. False,
// as soon as it happens, when no image is open, a read fails (the reader prints
// its line), a buffer cannot be had, a bound above is exceeded, or the
// callback returns false.
bool TraverseImage(TraverseCallback callback, void* pvContext = nullptr);
