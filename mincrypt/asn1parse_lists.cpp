#include "mincrypt/asn1parse.h"
#include "mincrypt/asn1structure.h"
#include "platform/diag.h"

using namespace asn1;

namespace {

const MinAsn1ValueEntry kExtensionTable[] = {
    {kInto | kWhole, MINASN1_EXT_ENCODED_IDX, kSequence},
    {kOver | kContent, MINASN1_EXT_OID_IDX, kObjectId},
    {kOptOver | kWhole, MINASN1_EXT_CRITICAL_IDX, kBoolean},
    {kOver | kContent, MINASN1_EXT_VALUE_IDX, kOctetString},
};

const MinAsn1ValueEntry kAttributeTable[] = {
    {kInto | kWhole, MINASN1_ATTR_ENCODED_IDX, kSequence},
    {kOver | kContent, MINASN1_ATTR_OID_IDX, kObjectId},
    {kInto | kContent, MINASN1_ATTR_VALUES_IDX, kSet},
    {kOptOver | kWhole, MINASN1_ATTR_VALUE_IDX, nullptr},
};

// Walks the items of a list blob with one item parser. Item records are
// cItemBlob slots wide.
template <DWORD cItemBlob>
LONG ParseList(const DerBlob* pEncoded, DWORD* pcItem, DerBlob (*rgrgItemBlob)[cItemBlob],
               LONG (*pfnParseItem)(const BYTE*, DWORD, DerBlob*)) {
  const DWORD cMaxItem = *pcItem;
  *pcItem = 0;
  const DWORD cbEncoded = pEncoded->cbData;
  if (cbEncoded == 0) return 0;
  const BYTE* pbEncoded = pEncoded->pbData;

  DWORD cbContent = 0;
  const BYTE* pbContent = nullptr;
  const LONG cbHeader = MinAsn1ParseTagLength(pbEncoded, cbEncoded, &cbContent, &pbContent);
  if (cbHeader <= 0) return -1;

  const DWORD cbEnd = static_cast<DWORD>(cbHeader) + cbContent;  // fits: checked by the decoder
  DWORD cbOffset = static_cast<DWORD>(cbHeader);
  DWORD cItem = 0;
  while (cItem < cMaxItem && cbOffset < cbEnd) {
    LONG lItem = pfnParseItem(pbEncoded + cbOffset, cbEnd - cbOffset, rgrgItemBlob[cItem]);
    if (lItem <= 0) {
      if (lItem == 0) lItem = -1;
      *pcItem = cItem;
      return lItem - static_cast<LONG>(cbOffset);
    }
    cbOffset += static_cast<DWORD>(lItem);
    cItem++;
  }
  *pcItem = cItem;
  return static_cast<LONG>(cbOffset);
}

// A list never consumes more than it was given. The assertion text names the
// caller's result, as the expression would.
void AssertWithinList(LONG lAll, const DerBlob* pEncoded, const char* expression, int line) {
  if (lAll >= 0 && static_cast<DWORD>(lAll) > pEncoded->cbData) DiagAssertFailed(expression, __FILE__, line);
}

}  // namespace

namespace asn1 {

LONG ParseExtension(const BYTE* pbEncoded, DWORD cbEncoded, DerBlob rgExtBlob[MINASN1_EXT_BLOB_CNT]) {
  return ParseStructure(pbEncoded, cbEncoded, kExtensionTable, MINASN1_EXT_BLOB_CNT, rgExtBlob);
}

LONG ParseAttribute(const BYTE* pbEncoded, DWORD cbEncoded, DerBlob rgAttrBlob[MINASN1_ATTR_BLOB_CNT]) {
  return ParseStructure(pbEncoded, cbEncoded, kAttributeTable, MINASN1_ATTR_BLOB_CNT, rgAttrBlob);
}

}  // namespace asn1

LONG MinAsn1ParseExtensions(const DerBlob* pEncodedExtensions, DWORD* pcExt,
                            DerBlob rgrgExtBlob[][MINASN1_EXT_BLOB_CNT]) {
  const LONG lAllExts = ParseList(pEncodedExtensions, pcExt, rgrgExtBlob, ParseExtension);
  AssertWithinList(lAllExts, pEncodedExtensions, "(DWORD) lAllExts <= cbEncoded", __LINE__);
  return lAllExts;
}

LONG MinAsn1ParseAttributes(const DerBlob* pEncodedAttributes, DWORD* pcAttr,
                            DerBlob rgrgAttrBlob[][MINASN1_ATTR_BLOB_CNT]) {
  const LONG lAllAttrs = ParseList(pEncodedAttributes, pcAttr, rgrgAttrBlob, ParseAttribute);
  AssertWithinList(lAllAttrs, pEncodedAttributes, "(DWORD) lAllAttrs <= cbEncoded", __LINE__);
  return lAllAttrs;
}

LONG MinAsn1ParseCertificates(const DerBlob* pEncodedCertificates, DWORD* pcCert,
                              DerBlob rgrgCertBlob[][MINASN1_CERT_BLOB_CNT]) {
  const LONG lAllCerts = ParseList(pEncodedCertificates, pcCert, rgrgCertBlob, MinAsn1ParseCertificate);
  AssertWithinList(lAllCerts, pEncodedCertificates, "(DWORD) lAllCerts <= cbEncoded", __LINE__);
  return lAllCerts;
}
