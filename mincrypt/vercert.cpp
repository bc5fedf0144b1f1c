#include "mincrypt/vercert.h"

#include <cstring>

#include "mincrypt/hashmem.h"
#include "mincrypt/verblob.h"
#include "mincrypt/verhash.h"
#include "mincrypt/verroots.h"

namespace {

// 2.5.29.37, extended key usage.
const BYTE rgbExtKeyUsageOid[] = {0x55, 0x1D, 0x25};
// The purpose a catalog signer must carry, 1.3.6.1.4.1.311.10.3.15, as a
// whole OBJECT IDENTIFIER element.
const BYTE rgbRequiredPurpose[] = {0x06, 0x0A, 0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0A, 0x03, 0x0F};

constexpr DWORD kMaxExtensions = 10;

}  // namespace

DerBlob* FindIssuerCertificate(const DerBlob* pNameBlob, DWORD cCert, CertBlobs rgrgCertBlob[]) {
  for (DWORD i = 0; i < cCert; i++) {
    if (DerBlobEqual(*pNameBlob, rgrgCertBlob[i][MINASN1_CERT_SUBJECT_IDX])) return rgrgCertBlob[i];
  }
  return nullptr;
}

DerBlob* FindSignerCertificate(const DerBlob* pIssuerNameBlob, const DerBlob* pSerialNumberBlob, DWORD cCert,
                               CertBlobs rgrgCertBlob[]) {
  for (DWORD i = 0; i < cCert; i++) {
    if (DerBlobEqual(*pIssuerNameBlob, rgrgCertBlob[i][MINASN1_CERT_ISSUER_IDX]) &&
        DerBlobEqual(*pSerialNumberBlob, rgrgCertBlob[i][MINASN1_CERT_SERIAL_NUMBER_IDX])) {
      return rgrgCertBlob[i];
    }
  }
  return nullptr;
}

BOOL HasRequiredKeyUsage(const DerBlob* pExtsBlob) {
  if (pExtsBlob->cbData == 0) return FALSE;

  DerBlob rgrgExtBlob[kMaxExtensions][MINASN1_EXT_BLOB_CNT];
  DWORD cExt = kMaxExtensions;
  if (MinAsn1ParseExtensions(pExtsBlob, &cExt, rgrgExtBlob) <= 0) return FALSE;

  const DerBlob oid = {sizeof(rgbExtKeyUsageOid), rgbExtKeyUsageOid};
  const DerBlob* rgExt = MinAsn1FindExtension(&oid, cExt, rgrgExtBlob);
  if (rgExt == nullptr) return FALSE;

  const DerBlob& value = rgExt[MINASN1_EXT_VALUE_IDX];
  DWORD cbPurposes = 0;
  const BYTE* pbPurposes = nullptr;
  if (MinAsn1ParseTagLength(value.pbData, value.cbData, &cbPurposes, &pbPurposes) <= 0) return FALSE;

  while (cbPurposes > 0) {
    DWORD cbContent = 0;
    const BYTE* pbContent = nullptr;
    const LONG cbHeader = MinAsn1ParseTagLength(pbPurposes, cbPurposes, &cbContent, &pbContent);
    if (cbHeader <= 0) return FALSE;
    const DWORD cbElement = static_cast<DWORD>(cbHeader) + cbContent;
    if (cbElement == sizeof(rgbRequiredPurpose) && std::memcmp(pbPurposes, rgbRequiredPurpose, cbElement) == 0) {
      return TRUE;
    }
    pbPurposes += cbElement;
    cbPurposes -= cbElement;
  }
  return FALSE;
}

LONG MinCryptVerifyCertificateChain(const DerBlob rgSignerCertBlob[], DWORD cCert, CertBlobs rgrgCertBlob[],
                                    BOOL fAcceptOdm) {
  const DerBlob* rgCurrent = rgSignerCertBlob;
  BOOL fKeyUsage = FALSE;

  for (DWORD cStep = 0; cStep <= MINCRYPT_MAX_CHAIN_STEPS; cStep++) {
    const ALG_ID AlgId = MinCryptDecodeHashAlgorithm(&rgCurrent[MINASN1_CERT_SIGN_ALGID_IDX]);
    if (AlgId == 0) return CRYPT_E_UNKNOWN_ALGO;

    BYTE rgbHash[MINCRYPT_MAX_HASH_LEN];
    DWORD cbHash = 0;
    LONG lErr = MinCryptHashMemory(AlgId, 1, &rgCurrent[MINASN1_CERT_TO_BE_SIGNED_IDX], rgbHash, &cbHash);
    if (lErr != 0) return lErr;

    const DerBlob& issuer = rgCurrent[MINASN1_CERT_ISSUER_IDX];
    const DerBlob* pIssuerKey = nullptr;
    const DerBlob* rgIssuer = nullptr;
    BOOL fAnchorReached = FALSE;
    if (DerBlobEqual(issuer, rgCurrent[MINASN1_CERT_SUBJECT_IDX])) {
      pIssuerKey = FindRootByPublicKey(&rgCurrent[MINASN1_CERT_PUBKEY_INFO_IDX], fAcceptOdm);
      if (pIssuerKey == nullptr) return CERT_E_UNTRUSTEDROOT;
      fAnchorReached = TRUE;
    } else if ((pIssuerKey = FindRootByName(&issuer, fAcceptOdm)) != nullptr) {
      fAnchorReached = TRUE;
    } else {
      rgIssuer = FindIssuerCertificate(&issuer, cCert, rgrgCertBlob);
      if (rgIssuer == nullptr) return CERT_E_CHAINING;
      pIssuerKey = &rgIssuer[MINASN1_CERT_PUBKEY_INFO_IDX];
      fKeyUsage = HasRequiredKeyUsage(&rgCurrent[MINASN1_CERT_EXTS_IDX]);
    }

    lErr = MinCryptVerifyHashSignature(AlgId, rgbHash, cbHash, &rgCurrent[MINASN1_CERT_SIGNATURE_IDX], pIssuerKey);
    if (lErr != 0) return lErr;

    if (fAnchorReached) return fKeyUsage ? 0 : CERT_E_PURPOSE;
    rgCurrent = rgIssuer;
  }
  return CERT_E_CHAINING;
}
