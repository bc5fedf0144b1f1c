#include <cstring>

#include "mincrypt/asn1parse.h"

static_assert(MINASN1_EXT_OID_IDX == MINASN1_ATTR_OID_IDX, "one lookup serves both record kinds");

namespace {

template <DWORD cRecordBlob>
const DerBlob* FindByOid(const DerBlob* pOid, DWORD cRecord, const DerBlob (*rgrgRecordBlob)[cRecordBlob]) {
  for (DWORD i = 0; i < cRecord; i++) {
    const DerBlob& oid = rgrgRecordBlob[i][MINASN1_EXT_OID_IDX];
    if (oid.cbData != pOid->cbData) continue;
    // memcmp must not see a null pointer, even for zero bytes.
    if (oid.cbData == 0 || std::memcmp(oid.pbData, pOid->pbData, oid.cbData) == 0) return rgrgRecordBlob[i];
  }
  return nullptr;
}

}  // namespace

const DerBlob* MinAsn1FindExtension(const DerBlob* pOid, DWORD cExt,
                                    const DerBlob rgrgExtBlob[][MINASN1_EXT_BLOB_CNT]) {
  return FindByOid(pOid, cExt, rgrgExtBlob);
}

const DerBlob* MinAsn1FindAttribute(const DerBlob* pOid, DWORD cAttr,
                                    const DerBlob rgrgAttrBlob[][MINASN1_ATTR_BLOB_CNT]) {
  return FindByOid(pOid, cAttr, rgrgAttrBlob);
}
