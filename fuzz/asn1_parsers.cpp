// Arbitrary bytes through every structure and list parser. The first byte
// chooses the parser; the rest is the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "fuzz/asn1_check.h"
#include "mincrypt/asn1parse.h"

using asn1fuzz::CheckInside;
using asn1fuzz::CheckResult;

namespace {

constexpr DWORD kMaxItems = 4;

template <size_t N>
void CheckSlots(LONG result, const DerBlob (&slots)[N], const BYTE* pb, DWORD cb) {
  CheckResult(result, cb);
  if (result <= 0) return;
  for (size_t i = 1; i < N; i++) CheckInside(slots[i], pb, cb);
  if (static_cast<DWORD>(result) != slots[1].cbData || slots[1].pbData != pb) std::abort();
}

template <size_t N>
void CheckList(LONG result, DWORD cItem, const DerBlob (*records)[N], const BYTE* pb, DWORD cb) {
  CheckResult(result, cb);
  if (cItem > kMaxItems) std::abort();
  for (DWORD i = 0; i < cItem; i++) {
    for (size_t j = 1; j < N; j++) CheckInside(records[i][j], pb, cb);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const BYTE selector = data[0];
  const BYTE* pb = data + 1;
  const DWORD cb = static_cast<DWORD>(size - 1);
  const DerBlob blob = {cb, pb};
  // The maximum item count comes from the selector's high bits, so limits
  // below the real count are exercised too.
  DWORD cItem = (selector >> 4) % (kMaxItems + 1);

  switch (selector % 12) {
    case 0: {
      DerBlob slots[MINASN1_CERT_BLOB_CNT];
      CheckSlots(MinAsn1ParseCertificate(pb, cb, slots), slots, pb, cb);
      break;
    }
    case 1: {
      DerBlob slots[MINASN1_SIGNED_DATA_BLOB_CNT];
      CheckSlots(MinAsn1ParseSignedData(pb, cb, slots), slots, pb, cb);
      break;
    }
    case 2: {
      DerBlob slots[MINASN1_CTL_BLOB_CNT];
      CheckSlots(MinAsn1ParseCTL(&blob, slots), slots, pb, cb);
      break;
    }
    case 3: {
      DerBlob slots[MINASN1_CTL_SUBJECT_BLOB_CNT];
      CheckSlots(MinAsn1ParseCTLSubject(pb, cb, slots), slots, pb, cb);
      break;
    }
    case 4: {
      DerBlob slots[MINASN1_ALGID_BLOB_CNT];
      CheckSlots(MinAsn1ParseAlgorithmIdentifier(&blob, slots), slots, pb, cb);
      break;
    }
    case 5: {
      DerBlob slots[MINASN1_PUBKEY_INFO_BLOB_CNT];
      CheckSlots(MinAsn1ParsePublicKeyInfo(&blob, slots), slots, pb, cb);
      break;
    }
    case 6: {
      DerBlob slots[MINASN1_RSA_PUBKEY_BLOB_CNT];
      CheckSlots(MinAsn1ParseRSAPublicKey(&blob, slots), slots, pb, cb);
      break;
    }
    case 7: {
      DerBlob slots[MINASN1_INDIRECT_DATA_BLOB_CNT];
      CheckSlots(MinAsn1ParseIndirectData(&blob, slots), slots, pb, cb);
      break;
    }
    case 8: {
      DerBlob slots[MINASN1_NAME_VALUE_BLOB_CNT];
      CheckSlots(MinAsn1ParseNameValue(&blob, slots), slots, pb, cb);
      break;
    }
    case 9: {
      DerBlob records[kMaxItems][MINASN1_EXT_BLOB_CNT];
      CheckList(MinAsn1ParseExtensions(&blob, &cItem, records), cItem, records, pb, cb);
      if (cItem > 0) MinAsn1FindExtension(&records[cItem - 1][MINASN1_EXT_OID_IDX], cItem, records);
      break;
    }
    case 10: {
      DerBlob records[kMaxItems][MINASN1_ATTR_BLOB_CNT];
      CheckList(MinAsn1ParseAttributes(&blob, &cItem, records), cItem, records, pb, cb);
      if (cItem > 0) MinAsn1FindAttribute(&records[cItem - 1][MINASN1_ATTR_OID_IDX], cItem, records);
      break;
    }
    case 11: {
      DerBlob records[kMaxItems][MINASN1_CERT_BLOB_CNT];
      CheckList(MinAsn1ParseCertificates(&blob, &cItem, records), cItem, records, pb, cb);
      break;
    }
  }
  return 0;
}
