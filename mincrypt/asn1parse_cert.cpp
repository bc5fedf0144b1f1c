#include "mincrypt/asn1parse.h"
#include "mincrypt/asn1structure.h"

using namespace asn1;

namespace {

const MinAsn1ValueEntry kCertTable[] = {
    {kInto | kWhole, MINASN1_CERT_ENCODED_IDX, kSequence},
    {kInto | kWhole, MINASN1_CERT_TO_BE_SIGNED_IDX, kSequence},
    {kOptInto, 0, kContext0},  // version wrapper [0], absent in v1 certificates
    {kOver | kContent, MINASN1_CERT_VERSION_IDX, kInteger},
    {kOut, 0, nullptr},
    {kOver | kContent, MINASN1_CERT_SERIAL_NUMBER_IDX, kInteger},
    {kOver, 0, kSequence},  // signature algorithm repeated inside tbsCertificate
    {kOver | kWhole, MINASN1_CERT_ISSUER_IDX, kSequence},
    {kInto, 0, kSequence},  // validity
    {kOver | kWhole, MINASN1_CERT_NOT_BEFORE_IDX, kTime},
    {kOver | kWhole, MINASN1_CERT_NOT_AFTER_IDX, kTime},
    {kOut, 0, nullptr},
    {kOver | kWhole, MINASN1_CERT_SUBJECT_IDX, kSequence},
    {kOver | kWhole, MINASN1_CERT_PUBKEY_INFO_IDX, kSequence},
    {kOptOver | kContent, MINASN1_CERT_ISSUER_UNIQUE_ID_IDX, kImplicit1},
    {kOptOver | kContent, MINASN1_CERT_SUBJECT_UNIQUE_ID_IDX, kImplicit2},
    {kOptOver | kContent, MINASN1_CERT_EXTS_IDX, kContext3},
    {kOut, 0, nullptr},
    {kOver | kWhole, MINASN1_CERT_SIGN_ALGID_IDX, kSequence},
    {kOver | kContent, MINASN1_CERT_SIGNATURE_IDX, kBitString},
};

// The unique identifiers are implicitly tagged BIT STRINGs, so the extractor
// cannot recognise their unused-bits octet; drop it here.
void DropUnusedBitsOctet(DerBlob& blob) {
  if (blob.cbData > 0) {
    blob.cbData--;
    blob.pbData++;
  }
}

}  // namespace

LONG MinAsn1ParseCertificate(const BYTE* pbEncoded, DWORD cbEncoded, DerBlob rgCertBlob[MINASN1_CERT_BLOB_CNT]) {
  const LONG lResult = ParseStructure(pbEncoded, cbEncoded, kCertTable, MINASN1_CERT_BLOB_CNT, rgCertBlob);
  if (lResult > 0) {
    DropUnusedBitsOctet(rgCertBlob[MINASN1_CERT_ISSUER_UNIQUE_ID_IDX]);
    DropUnusedBitsOctet(rgCertBlob[MINASN1_CERT_SUBJECT_UNIQUE_ID_IDX]);
  }
  return lResult;
}
