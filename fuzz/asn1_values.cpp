// Arbitrary value tables over arbitrary bytes. The first byte gives the number
// of table entries (0-23), three bytes describe each entry, the rest is the
// input: this reaches nesting, skipping and operation combinations that the
// fixed structure tables never use.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/asn1_check.h"
#include "mincrypt/asn1util.h"

namespace {

constexpr DWORD kSlots = 8;
const BYTE kTagLists[][3] = {{0x30, 0, 0}, {0x02, 0, 0}, {0x03, 0, 0}, {0x04, 0, 0}, {0xA0, 0x31, 0}, {0x17, 0x18, 0}};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const DWORD cEntries = data[0] % 24;
  if (size < 1 + 3 * static_cast<size_t>(cEntries)) return 0;
  MinAsn1ValueEntry table[24];
  BYTE literal[24][2];
  for (DWORD i = 0; i < cEntries; i++) {
    const BYTE* d = data + 1 + 3 * i;
    const DWORD flags = (static_cast<DWORD>(d[0] & 0xC0) << 24) | (d[0] & 0x07);  // operations 0-7
    const DWORD index = d[1] % (kSlots + 2);                                      // some beyond the array
    // 0: any identifier; F0-FF: one of the lists the structure tables use;
    // otherwise that single identifier octet.
    const BYTE* tags = nullptr;
    if (d[2] >= 0xF0) {
      tags = kTagLists[d[2] % (sizeof(kTagLists) / sizeof(kTagLists[0]))];
    } else if (d[2] != 0) {
      literal[i][0] = d[2];
      literal[i][1] = 0;
      tags = literal[i];
    }
    table[i] = {flags, index, tags};
  }

  const size_t cbHeader = 1 + 3 * static_cast<size_t>(cEntries);
  const BYTE* pb = data + cbHeader;
  const DWORD cb = static_cast<DWORD>(size - cbHeader);
  DerBlob slots[kSlots];
  for (DerBlob& s : slots) s = {0, nullptr};
  DWORD cValue = cEntries;
  const LONG result = MinAsn1ParseValues(pb, cb, &cValue, table, kSlots, slots);
  asn1fuzz::CheckResult(result, cb);
  if (result >= 0 ? cValue != cEntries : cValue >= cEntries) std::abort();
  for (const DerBlob& s : slots) asn1fuzz::CheckInside(s, pb, cb);
  return 0;
}
