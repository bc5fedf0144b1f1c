#include "image/rom_extensions.h"

#include <cstring>

#include "image/binutils.h"
#include "platform/diag.h"

namespace {

using romimage::Load32;

bool ReadRecord(DWORD address, RomExtensionRecord* record) {
  record->dwAddress = address;
  return ReadImage(record->rgbRecord, address, sizeof record->rgbRecord, true);
}

struct NameQuery {
  const char* name;
  DWORD cbName;
};

bool GoOnUnlessNamed(const RomExtensionRecord& record, void* context) {
  const NameQuery& query = *static_cast<const NameQuery*>(context);
  return !RomExtensionNamed(record, query.name, query.cbName);
}

}  // namespace

RomExtensionWalk WalkRomExtensions(RomExtensionVisitor visit, void* context, RomExtensionRecord* pLast,
                                   bool fVisitHead) {
  BYTE header[romimage::kRomHeaderSize];
  if (!ReadImage(header, CurrentImage().pTOC, sizeof header, true)) return RomExtensionWalk::kHeaderUnreadable;
  const DWORD head = Load32(header + romimage::kRomExtensions);
  if (head == 0) return RomExtensionWalk::kNoChain;
  RomExtensionRecord record;
  RomExtensionWalk result = RomExtensionWalk::kEnded;
  if (!ReadRecord(head, &record)) {
    result = RomExtensionWalk::kUnreadable;
  } else if (fVisitHead && !visit(record, context)) {
    result = RomExtensionWalk::kStopped;
  }
  for (DWORD walked = 0; result == RomExtensionWalk::kEnded; ++walked) {
    const DWORD next = Load32(record.rgbRecord + romimage::kExtensionNext);
    if (next == 0) break;
    if (walked == kMaxRomExtensions) {
      record.dwAddress = next;
      result = RomExtensionWalk::kTooLong;
    } else if (!ReadRecord(next, &record)) {
      result = RomExtensionWalk::kUnreadable;
    } else if (!visit(record, context)) {
      result = RomExtensionWalk::kStopped;
    }
  }
  if (pLast != nullptr) *pLast = record;
  return result;
}

bool RomExtensionNamed(const RomExtensionRecord& record, const char* name, DWORD cbName) {
  return cbName <= romimage::kExtensionNameSize &&
         (cbName == 0 || std::memcmp(record.rgbRecord + romimage::kExtensionName, name, cbName) == 0);
}

bool FindRomExtension(const char* name, DWORD cbName, DWORD* pdwAddress, DWORD* pcbLength) {
  NameQuery query{name, cbName};
  RomExtensionRecord found;
  const RomExtensionWalk walk = WalkRomExtensions(GoOnUnlessNamed, &query, &found);
  if (walk == RomExtensionWalk::kTooLong) {
    DiagPrintf(DiagStream::Out, "ROM extension chain longer than %u records\n",
               static_cast<unsigned>(kMaxRomExtensions));
  }
  if (walk != RomExtensionWalk::kStopped) return false;
  *pdwAddress = Load32(found.rgbRecord + romimage::kExtensionDataAddress);
  *pcbLength = Load32(found.rgbRecord + romimage::kExtensionLength);
  return true;
}

bool ReadRomExtension(DWORD address, void* buffer, DWORD size) { return ReadImage(buffer, address, size, true); }
