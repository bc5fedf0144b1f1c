// The ROM extension chain of the open image, walked in one place: the lookup
// by name (FindRomExtension, image/binutils.h) and the image tool's stamping
// both go through WalkRomExtensions.
//
// The chain starts at the ROM header's extension word; its first record, the
// head, names no extension and is never visited; every record's last word
// gives the next record's virtual address, 0 ending the chain.
#pragma once

#include "image/romimage.h"
#include "platform/win.h"

// One record of the chain as read from the image.
struct RomExtensionRecord {
  DWORD dwAddress;  // virtual address of the record
  BYTE rgbRecord[romimage::kExtensionRecordSize];
};

enum class RomExtensionWalk {
  kNoChain,           // the ROM header's extension word is 0
  kHeaderUnreadable,  // the ROM header could not be read
  kUnreadable,        // a record of the chain could not be read
  kTooLong,           // more than kMaxRomExtensions records follow the head
  kEnded,             // every record after the head was visited
  kStopped,           // the visitor stopped at a record
};

// Returns true to go on to the next record, false to stop at this one.
using RomExtensionVisitor = bool (*)(const RomExtensionRecord& record, void* context);

// Walks the chain of the open image, calling `visit` for each record after the
// head in chain order (with `fVisitHead`, for the head first as well: for
// listing the chain, never for looking an extension up). `*pLast` (may be
// null) receives the last record read: the one the visitor stopped at, or the
// chain's last record (the head when nothing follows it); after kUnreadable
// or kTooLong its address is where the walk stopped. Prints nothing beyond
// the reader's own lines for a failed read. Asserts that an image is open.
RomExtensionWalk WalkRomExtensions(RomExtensionVisitor visit, void* context, RomExtensionRecord* pLast,
                                   bool fVisitHead = false);

// True when the record's name field starts with the `cbName` bytes of `name`
// (a NUL counted in `cbName` must match too; names longer than the field
// never match).
bool RomExtensionNamed(const RomExtensionRecord& record, const char* name, DWORD cbName);
