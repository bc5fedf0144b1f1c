#include "mincrypt/asn1parse.h"
#include "mincrypt/asn1structure.h"

using namespace asn1;

namespace {

const MinAsn1ValueEntry kIndirectDataTable[] = {
    {kInto | kWhole, MINASN1_INDIRECT_DATA_ENCODED_IDX, kSequence},
    {kInto, 0, kSequence},  // type-and-value pair
    {kOver | kContent, MINASN1_INDIRECT_DATA_ATTR_OID_IDX, kObjectId},
    {kOptOver | kWhole, MINASN1_INDIRECT_DATA_ATTR_VALUE_IDX, nullptr},
    {kOut, 0, nullptr},
    {kInto, 0, kSequence},  // DigestInfo
    {kOver | kWhole, MINASN1_INDIRECT_DATA_DIGEST_ALGID_IDX, kSequence},
    {kOver | kContent, MINASN1_INDIRECT_DATA_DIGEST_IDX, kOctetString},
};

const MinAsn1ValueEntry kNameValueTable[] = {
    {kInto | kWhole, MINASN1_NAME_VALUE_ENCODED_IDX, kSequence},
    {kOver | kContent, MINASN1_NAME_VALUE_NAME_IDX, kBmpString},
    {kOver | kContent, MINASN1_NAME_VALUE_FLAGS_IDX, kInteger},
    {kOver | kContent, MINASN1_NAME_VALUE_VALUE_IDX, kOctetString},
};

}  // namespace

LONG MinAsn1ParseIndirectData(const DerBlob* pEncodedContent,
                              DerBlob rgIndirectDataBlob[MINASN1_INDIRECT_DATA_BLOB_CNT]) {
  return ParseStructure(pEncodedContent->pbData, pEncodedContent->cbData, kIndirectDataTable,
                        MINASN1_INDIRECT_DATA_BLOB_CNT, rgIndirectDataBlob);
}

LONG MinAsn1ParseNameValue(const DerBlob* pNameValue, DerBlob rgNameValueBlob[MINASN1_NAME_VALUE_BLOB_CNT]) {
  return ParseStructure(pNameValue->pbData, pNameValue->cbData, kNameValueTable, MINASN1_NAME_VALUE_BLOB_CNT,
                        rgNameValueBlob);
}
