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

RomExtensionWalk WalkRomExtensions(RomExtensionVisitor visit, void* context, RomExtensionRecord* pLast) {
  BYTE header[romimage::kRomHeaderSize];
  if (!ReadImage(header, CurrentImage().pTOC, sizeof header, true)) return RomExtensionWalk::kHeaderUnreadable;
  const DWORD head = Load32(header + romimage::kRomExtensions);
  if (head == 0) return RomExtensionWalk::kNoChain;
  RomExtensionRecord record;
  if (!ReadRecord(head, &record)) return RomExtensionWalk::kUnreadable;
  RomExtensionWalk result = RomExtensionWalk::kEnded;
  for (DWORD walked = 0;; ++walked) {
    const DWORD next = Load32(record.rgbRecord + romimage::kExtensionNext);
    if (next == 0) break;
    if (walked == kMaxRomExtensions) {
      result = RomExtensionWalk::kTooLong;
      break;
    }
    if (!ReadRecord(next, &record)) return RomExtensionWalk::kUnreadable;
    if (!visit(record, context)) {
      result = RomExtensionWalk::kStopped;
      break;
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
