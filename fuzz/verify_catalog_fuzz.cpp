// Arbitrary bytes as a catalog: verification, then the lookups the acceptance
// front makes. Fuzzed bytes rarely keep a valid signature, so the lookups also
// run on the input taken as a bare trust list, as if it had verified.
#include <cstddef>
#include <cstdint>

#include "mincrypt/asn1parse.h"
#include "mincrypt/vercat.h"

namespace {

const BYTE rgbNameValueOid[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0C, 0x02, 0x01};
const BYTE rgbManufacturer[] = {0, 'M', 0, 'a', 0, 'n', 0, 'u', 0, 'f', 0, 'a',
                                0, 'c', 0, 't', 0, 'u', 0, 'r', 0, 'e', 0, 'r'};
const BYTE rgbValue[] = {'C', 0, 'o', 0, 'r', 0, 'v', 0, 0, 0};
const BYTE rgbHash[20] = {0x11, 0x22, 0x33};

void Lookups(MapCatInfo* rec) {
  const DerBlob hash = {sizeof(rgbHash), rgbHash};
  LONG lMapCatIdx = 0x10000;
  DerBlob memberInfo;
  MinCryptFindHashInCatalogs(CALG_SHA1, &hash, 1, rec, &lMapCatIdx, &memberInfo);
  MinCryptCheckCatalogNameValue(*rec, sizeof(rgbNameValueOid), rgbNameValueOid, sizeof(rgbManufacturer),
                                rgbManufacturer, sizeof(rgbValue), rgbValue);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MapCatInfo rec = {};
  rec.EncodedBlob = {static_cast<DWORD>(size), data};
  const DerBlob hash = {sizeof(rgbHash), rgbHash};
  LONG lResult = -1;
  MinCryptFindHashesInCatalogs(CALG_SHA1, 1, &hash, 1, &rec, TRUE, &lResult);
  if (rec.lErrCode == 0) Lookups(&rec);

  DerBlob rgCtlBlob[MINASN1_CTL_BLOB_CNT];
  const DerBlob ctl = {static_cast<DWORD>(size), data};
  if (MinAsn1ParseCTL(&ctl, rgCtlBlob) > 0) {
    MapCatInfo bare = {};
    bare.EncodedBlob = ctl;
    bare.MembersBlob = rgCtlBlob[MINASN1_CTL_SUBJECTS_IDX];
    bare.ExtensionsBlob = rgCtlBlob[MINASN1_CTL_EXTS_IDX];
    Lookups(&bare);
  }
  return 0;
}
