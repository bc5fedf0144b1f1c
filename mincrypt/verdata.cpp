#include "mincrypt/verdata.h"

#include <cstring>

#include "mincrypt/asn1parse.h"
#include "mincrypt/hashmem.h"
#include "mincrypt/verblob.h"
#include "mincrypt/vercert.h"
#include "mincrypt/verhash.h"

namespace {

// 1.2.840.113549.1.7.2, signedData.
const BYTE rgbSignedDataOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
// 1.2.840.113549.1.9.4, messageDigest.
const BYTE rgbMessageDigestOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};

constexpr DWORD kMaxAuthAttrs = 10;
constexpr BYTE kSetTag = 0x31;

// Checks the message-digest attribute against the content hash and replaces
// the hash with that of the attributes re-tagged as a SET, which is what the
// signer signed.
LONG HashAuthenticatedAttributes(ALG_ID AlgId, const DerBlob& authAttrs, BYTE* rgbHash, DWORD* pcbHash) {
  DerBlob rgrgAttrBlob[kMaxAuthAttrs][MINASN1_ATTR_BLOB_CNT];
  DWORD cAttr = kMaxAuthAttrs;
  if (MinAsn1ParseAttributes(&authAttrs, &cAttr, rgrgAttrBlob) <= 0 || cAttr == 0) return CRYPT_E_AUTH_ATTR_MISSING;

  const DerBlob oid = {sizeof(rgbMessageDigestOid), rgbMessageDigestOid};
  const DerBlob* rgAttr = MinAsn1FindAttribute(&oid, cAttr, rgrgAttrBlob);
  if (rgAttr == nullptr) return CRYPT_E_AUTH_ATTR_MISSING;

  const DerBlob& value = rgAttr[MINASN1_ATTR_VALUE_IDX];
  DWORD cbDigest = 0;
  const BYTE* pbDigest = nullptr;
  if (MinAsn1ParseTagLength(value.pbData, value.cbData, &cbDigest, &pbDigest) <= 0) return CRYPT_E_AUTH_ATTR_MISSING;
  if (cbDigest != *pcbHash || std::memcmp(pbDigest, rgbHash, cbDigest) != 0) return CRYPT_E_HASH_VALUE;

  // The attributes travel as [0] IMPLICIT but are signed with their SET tag.
  static const BYTE rgbSetTag[] = {kSetTag};
  const DerBlob rgToHash[2] = {{1, rgbSetTag}, {authAttrs.cbData - 1, authAttrs.pbData + 1}};
  return MinCryptHashMemory(AlgId, 2, rgToHash, rgbHash, pcbHash);
}

}  // namespace

LONG MinCryptVerifySignedMessage(const BYTE* pbEncoded, DWORD cbEncoded, BOOL fAcceptOdm, SignedMessageInfo* pInfo) {
  std::memset(pInfo, 0, sizeof(*pInfo));

  DerBlob rgSignedDataBlob[MINASN1_SIGNED_DATA_BLOB_CNT];
  if (MinAsn1ParseSignedData(pbEncoded, cbEncoded, rgSignedDataBlob) <= 0) return CRYPT_E_BAD_MSG;
  const DerBlob outerOid = {sizeof(rgbSignedDataOid), rgbSignedDataOid};
  if (!DerBlobEqual(rgSignedDataBlob[MINASN1_SIGNED_DATA_OUTER_OID_IDX], outerOid)) return CRYPT_E_BAD_MSG;

  const DerBlob& contentType = rgSignedDataBlob[MINASN1_SIGNED_DATA_CONTENT_OID_IDX];
  const DerBlob& content = rgSignedDataBlob[MINASN1_SIGNED_DATA_CONTENT_DATA_IDX];
  if (contentType.cbData == 0 || content.cbData == 0) return ERROR_NO_DATA;
  pInfo->ContentTypeBlob = contentType;
  pInfo->ContentBlob = content;

  if (rgSignedDataBlob[MINASN1_SIGNED_DATA_SIGNER_INFO_ENCODED_IDX].cbData == 0) return CRYPT_E_NO_SIGNER;
  CertBlobs rgrgCertBlob[MINCRYPT_MAX_MESSAGE_CERTS];
  DWORD cCert = MINCRYPT_MAX_MESSAGE_CERTS;
  if (MinAsn1ParseCertificates(&rgSignedDataBlob[MINASN1_SIGNED_DATA_CERTS_IDX], &cCert, rgrgCertBlob) <= 0 ||
      cCert == 0) {
    return CRYPT_E_NO_SIGNER;
  }
  const DerBlob* rgSignerCertBlob =
      FindSignerCertificate(&rgSignedDataBlob[MINASN1_SIGNED_DATA_SIGNER_INFO_ISSUER_IDX],
                            &rgSignedDataBlob[MINASN1_SIGNED_DATA_SIGNER_INFO_SERIAL_NUMBER_IDX], cCert, rgrgCertBlob);
  if (rgSignerCertBlob == nullptr) return CRYPT_E_NO_SIGNER;
  const DerBlob& authAttrs = rgSignedDataBlob[MINASN1_SIGNED_DATA_SIGNER_INFO_AUTH_ATTRS_IDX];
  pInfo->SignerCertBlob = rgSignerCertBlob[MINASN1_CERT_ENCODED_IDX];
  pInfo->AuthAttrsBlob = authAttrs;
  pInfo->UnauthAttrsBlob = rgSignedDataBlob[MINASN1_SIGNED_DATA_SIGNER_INFO_UNAUTH_ATTRS_IDX];

  LONG lErr = MinCryptVerifyCertificateChain(rgSignerCertBlob, cCert, rgrgCertBlob, fAcceptOdm);
  if (lErr != 0) return lErr;

  const ALG_ID AlgId = MinCryptDecodeHashAlgorithm(&rgSignedDataBlob[MINASN1_SIGNED_DATA_SIGNER_INFO_DIGEST_ALGID_IDX]);
  if (AlgId == 0) return CRYPT_E_UNKNOWN_ALGO;

  // The signer hashed the content octets of the inner content, not its tag
  // and length.
  DerBlob contentOctets = {0, nullptr};
  if (MinAsn1ParseTagLength(content.pbData, content.cbData, &contentOctets.cbData, &contentOctets.pbData) <= 0) {
    return CRYPT_E_BAD_MSG;
  }
  BYTE rgbHash[MINCRYPT_MAX_HASH_LEN];
  DWORD cbHash = 0;
  lErr = MinCryptHashMemory(AlgId, 1, &contentOctets, rgbHash, &cbHash);
  if (lErr != 0) return lErr;

  if (authAttrs.cbData != 0) {
    lErr = HashAuthenticatedAttributes(AlgId, authAttrs, rgbHash, &cbHash);
    if (lErr != 0) return lErr;
  }

  return MinCryptVerifyHashSignature(AlgId, rgbHash, cbHash,
                                     &rgSignedDataBlob[MINASN1_SIGNED_DATA_SIGNER_INFO_ENCRYPT_DIGEST_IDX],
                                     &rgSignerCertBlob[MINASN1_CERT_PUBKEY_INFO_IDX]);
}
