#include "mincrypt/asn1parse.h"
#include "mincrypt/asn1structure.h"

using namespace asn1;

namespace {

const MinAsn1ValueEntry kCTLTable[] = {
    {kInto | kWhole, MINASN1_CTL_ENCODED_IDX, kSequence},
    {kOptOver | kContent, MINASN1_CTL_VERSION_IDX, kInteger},
    {kOver | kWhole, MINASN1_CTL_SUBJECT_USAGE_IDX, kSequence},
    {kOptOver | kContent, MINASN1_CTL_LIST_ID_IDX, kOctetString},
    {kOptOver | kContent, MINASN1_CTL_SEQUENCE_NUMBER_IDX, kInteger},
    {kOver | kWhole, MINASN1_CTL_THIS_UPDATE_IDX, kTime},
    {kOptOver | kWhole, MINASN1_CTL_NEXT_UPDATE_IDX, kTime},
    {kOver | kWhole, MINASN1_CTL_SUBJECT_ALGID_IDX, kSequence},
    {kOptOver | kWhole, MINASN1_CTL_SUBJECTS_IDX, kSequence},
    {kOptOver | kContent, MINASN1_CTL_EXTS_IDX, kContext0},
};

const MinAsn1ValueEntry kCTLSubjectTable[] = {
    {kInto | kWhole, MINASN1_CTL_SUBJECT_ENCODED_IDX, kSequence},
    {kOver | kContent, MINASN1_CTL_SUBJECT_ID_IDX, kOctetString},
    {kOptOver | kWhole, MINASN1_CTL_SUBJECT_ATTRS_IDX, kSet},
};

}  // namespace

LONG MinAsn1ParseCTL(const DerBlob* pEncodedContent, DerBlob rgCTLBlob[MINASN1_CTL_BLOB_CNT]) {
  return ParseStructure(pEncodedContent->pbData, pEncodedContent->cbData, kCTLTable, MINASN1_CTL_BLOB_CNT, rgCTLBlob);
}

LONG MinAsn1ParseCTLSubject(const BYTE* pbEncoded, DWORD cbEncoded,
                            DerBlob rgCTLSubjectBlob[MINASN1_CTL_SUBJECT_BLOB_CNT]) {
  return ParseStructure(pbEncoded, cbEncoded, kCTLSubjectTable, MINASN1_CTL_SUBJECT_BLOB_CNT, rgCTLSubjectBlob);
}
