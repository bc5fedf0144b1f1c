#include "mincrypt/asn1parse.h"
#include "mincrypt/asn1structure.h"

using namespace asn1;

namespace {

const MinAsn1ValueEntry kAlgIdTable[] = {
    {kInto | kWhole, MINASN1_ALGID_ENCODED_IDX, kSequence},
    {kOver | kContent, MINASN1_ALGID_OID_IDX, kObjectId},
    {kOptOver | kWhole, MINASN1_ALGID_PARA_IDX, nullptr},
};

const MinAsn1ValueEntry kPubKeyInfoTable[] = {
    {kInto | kWhole, MINASN1_PUBKEY_INFO_ENCODED_IDX, kSequence},
    {kOver | kWhole, MINASN1_PUBKEY_INFO_ALGID_IDX, kSequence},
    {kOver | kContent, MINASN1_PUBKEY_INFO_PUBKEY_IDX, kBitString},
};

const MinAsn1ValueEntry kRSAPubKeyTable[] = {
    {kInto | kWhole, MINASN1_RSA_PUBKEY_ENCODED_IDX, kSequence},
    {kOver | kContent, MINASN1_RSA_PUBKEY_MODULUS_IDX, kInteger},
    {kOver | kContent, MINASN1_RSA_PUBKEY_EXPONENT_IDX, kInteger},
};

}  // namespace

LONG MinAsn1ParseAlgorithmIdentifier(const DerBlob* pAlgId, DerBlob rgAlgIdBlob[MINASN1_ALGID_BLOB_CNT]) {
  return ParseStructure(pAlgId->pbData, pAlgId->cbData, kAlgIdTable, MINASN1_ALGID_BLOB_CNT, rgAlgIdBlob);
}

LONG MinAsn1ParsePublicKeyInfo(const DerBlob* pPubKeyInfo, DerBlob rgPubKeyInfoBlob[MINASN1_PUBKEY_INFO_BLOB_CNT]) {
  return ParseStructure(pPubKeyInfo->pbData, pPubKeyInfo->cbData, kPubKeyInfoTable, MINASN1_PUBKEY_INFO_BLOB_CNT,
                        rgPubKeyInfoBlob);
}

LONG MinAsn1ParseRSAPublicKey(const DerBlob* pPubKey, DerBlob rgRSAPubKeyBlob[MINASN1_RSA_PUBKEY_BLOB_CNT]) {
  return ParseStructure(pPubKey->pbData, pPubKey->cbData, kRSAPubKeyTable, MINASN1_RSA_PUBKEY_BLOB_CNT,
                        rgRSAPubKeyBlob);
}
