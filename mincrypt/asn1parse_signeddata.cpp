#include "mincrypt/asn1parse.h"
#include "mincrypt/asn1structure.h"

using namespace asn1;

namespace {

const MinAsn1ValueEntry kSignedDataTable[] = {
    {kInto | kWhole, MINASN1_SIGNED_DATA_ENCODED_IDX, kSequence},  // ContentInfo
    {kOver | kContent, MINASN1_SIGNED_DATA_OUTER_OID_IDX, kObjectId},
    {kInto, 0, kContext0},  // content [0]
    {kInto, 0, kSequence},  // SignedData
    {kOver | kContent, MINASN1_SIGNED_DATA_VERSION_IDX, kInteger},
    {kOver | kWhole, MINASN1_SIGNED_DATA_DIGEST_ALGIDS_IDX, kSet},
    {kInto, 0, kSequence},  // contentInfo
    {kOver | kContent, MINASN1_SIGNED_DATA_CONTENT_OID_IDX, kObjectId},
    {kOptOver | kContent, MINASN1_SIGNED_DATA_CONTENT_DATA_IDX, kContext0},
    {kOut, 0, nullptr},
    {kOptOver | kWhole, MINASN1_SIGNED_DATA_CERTS_IDX, kContext0},
    {kOptOver | kWhole, MINASN1_SIGNED_DATA_CRLS_IDX, kContext1},
    {kInto | kWhole, MINASN1_SIGNED_DATA_SIGNER_INFOS_IDX, kSet},
    {kOptInto | kWhole, MINASN1_SIGNED_DATA_SIGNER_INFO_ENCODED_IDX, kSequence},  // first SignerInfo only
    {kOver | kContent, MINASN1_SIGNED_DATA_SIGNER_INFO_VERSION_IDX, kInteger},
    {kInto, 0, kSequence},  // issuerAndSerialNumber
    {kOver | kWhole, MINASN1_SIGNED_DATA_SIGNER_INFO_ISSUER_IDX, kSequence},
    {kOver | kContent, MINASN1_SIGNED_DATA_SIGNER_INFO_SERIAL_NUMBER_IDX, kInteger},
    {kOut, 0, nullptr},
    {kOver | kWhole, MINASN1_SIGNED_DATA_SIGNER_INFO_DIGEST_ALGID_IDX, kSequence},
    {kOptOver | kWhole, MINASN1_SIGNED_DATA_SIGNER_INFO_AUTH_ATTRS_IDX, kContext0},
    {kOver | kWhole, MINASN1_SIGNED_DATA_SIGNER_INFO_ENCRYPT_DIGEST_ALGID_IDX, kSequence},
    {kOver | kContent, MINASN1_SIGNED_DATA_SIGNER_INFO_ENCRYPT_DIGEST_IDX, kOctetString},
    {kOptOver | kWhole, MINASN1_SIGNED_DATA_SIGNER_INFO_UNAUTH_ATTRS_IDX, kContext1},
};

}  // namespace

LONG MinAsn1ParseSignedData(const BYTE* pbEncoded, DWORD cbEncoded,
                            DerBlob rgSignedDataBlob[MINASN1_SIGNED_DATA_BLOB_CNT]) {
  return ParseStructure(pbEncoded, cbEncoded, kSignedDataTable, MINASN1_SIGNED_DATA_BLOB_CNT, rgSignedDataBlob);
}
