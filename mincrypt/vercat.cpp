#include "mincrypt/vercat.h"

#include "mincrypt/asn1parse.h"
#include "mincrypt/verblob.h"
#include "mincrypt/verdata.h"
#include "platform/diag.h"

namespace {

// 1.3.6.1.4.1.311.10.1, certificate trust list.
const BYTE rgbCtlOid[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0A, 0x01};
// 1.3.6.1.4.1.311.2.1.4, the member attribute that carries the file hash.
const BYTE rgbMemberHashOid[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};

// A member's hash attribute must be among its first three attributes, and a
// name-value attribute among the catalog's first three extensions.
constexpr DWORD kMaxMemberAttrs = 3;
constexpr DWORD kMaxCatalogExts = 3;

// True when the member's attribute SET holds a file-hash attribute whose
// digest equals *pHashBlob.
bool MemberHasHash(const DerBlob& attrs, const DerBlob* pHashBlob) {
  DerBlob rgrgAttrBlob[kMaxMemberAttrs][MINASN1_ATTR_BLOB_CNT];
  DWORD cAttr = kMaxMemberAttrs;
  if (MinAsn1ParseAttributes(&attrs, &cAttr, rgrgAttrBlob) <= 0) return false;
  const DerBlob oid = {sizeof(rgbMemberHashOid), rgbMemberHashOid};
  const DerBlob* rgAttr = MinAsn1FindAttribute(&oid, cAttr, rgrgAttrBlob);
  if (rgAttr == nullptr) return false;
  DerBlob rgIndirectDataBlob[MINASN1_INDIRECT_DATA_BLOB_CNT];
  if (MinAsn1ParseIndirectData(&rgAttr[MINASN1_ATTR_VALUE_IDX], rgIndirectDataBlob) <= 0) return false;
  return DerBlobEqual(rgIndirectDataBlob[MINASN1_INDIRECT_DATA_DIGEST_IDX], *pHashBlob);
}

// Walks the members of one verified catalog in order. A member that does not
// parse ends the walk: its length, and so where the next member starts, is
// unknown.
bool FindHashInCatalog(const MapCatInfo& catalog, const DerBlob* pHashBlob, DerBlob* pMemberInfoBlob) {
  DWORD cbMembers = 0;
  const BYTE* pbMember = nullptr;
  if (MinAsn1ParseTagLength(catalog.MembersBlob.pbData, catalog.MembersBlob.cbData, &cbMembers, &pbMember) <= 0) {
    return false;
  }
  while (cbMembers > 0) {
    DerBlob rgSubjectBlob[MINASN1_CTL_SUBJECT_BLOB_CNT];
    const LONG cbMember = MinAsn1ParseCTLSubject(pbMember, cbMembers, rgSubjectBlob);
    if (cbMember <= 0) return false;
    const DerBlob& attrs = rgSubjectBlob[MINASN1_CTL_SUBJECT_ATTRS_IDX];
    if (MemberHasHash(attrs, pHashBlob)) {
      *pMemberInfoBlob = attrs;
      return true;
    }
    pbMember += cbMember;
    cbMembers -= static_cast<DWORD>(cbMember);
  }
  return false;
}

}  // namespace

LONG MinCryptVerifyCatalog(MapCatInfo* pMapCatInfo, BOOL fAcceptOdm) {
  SignedMessageInfo info;
  LONG lErr =
      MinCryptVerifySignedMessage(pMapCatInfo->EncodedBlob.pbData, pMapCatInfo->EncodedBlob.cbData, fAcceptOdm, &info);
  if (lErr == 0) {
    const DerBlob ctlOid = {sizeof(rgbCtlOid), rgbCtlOid};
    DerBlob rgCtlBlob[MINASN1_CTL_BLOB_CNT];
    if (!DerBlobEqual(info.ContentTypeBlob, ctlOid) || MinAsn1ParseCTL(&info.ContentBlob, rgCtlBlob) <= 0) {
      lErr = CRYPT_E_BAD_MSG;
    } else {
      pMapCatInfo->MembersBlob = rgCtlBlob[MINASN1_CTL_SUBJECTS_IDX];
      pMapCatInfo->ExtensionsBlob = rgCtlBlob[MINASN1_CTL_EXTS_IDX];
      pMapCatInfo->AuthAttrsBlob = info.AuthAttrsBlob;
    }
  }
  pMapCatInfo->lErrCode = lErr;
  return lErr;
}

void MinCryptVerifyCatalogs(DWORD cMapCatInfo, MapCatInfo rgMapCatInfo[], BOOL fAcceptOdm) {
  for (DWORD i = 0; i < cMapCatInfo; i++) MinCryptVerifyCatalog(&rgMapCatInfo[i], fAcceptOdm);
}

LONG MinCryptFindHashInCatalogs(ALG_ID /*AlgId*/, const DerBlob* pHashBlob, DWORD cMapCatInfo,
                                MapCatInfo rgMapCatInfo[], LONG* plMapCatIdx, DerBlob* pMemberInfoBlob) {
  if (*plMapCatIdx >= 0) {
    const BOOL fTryAll = (*plMapCatIdx & MINCRYPT_MAP_CAT_TRY_ALL) != 0;
    const DWORD iFirst = static_cast<DWORD>(*plMapCatIdx) & MINCRYPT_MAP_CAT_INDEX_MASK;
    {
      // The catalog to try first must exist; the flag bits are not part of it.
      const LONG lMapCatIdx = static_cast<LONG>(iFirst);
      // clang-format off
      TF_ASSERT((DWORD) lMapCatIdx < cMapCatInfo);
      // clang-format on
    }
    if (rgMapCatInfo[iFirst].lErrCode == 0 && FindHashInCatalog(rgMapCatInfo[iFirst], pHashBlob, pMemberInfoBlob)) {
      *plMapCatIdx = static_cast<LONG>(iFirst);
      return 0;
    }
    if (fTryAll) {
      for (DWORD j = 0; j < cMapCatInfo; j++) {
        if (j == iFirst || rgMapCatInfo[j].lErrCode != 0) continue;
        if (FindHashInCatalog(rgMapCatInfo[j], pHashBlob, pMemberInfoBlob)) {
          *plMapCatIdx = static_cast<LONG>(j);
          return 0;
        }
      }
    }
  }
  *pMemberInfoBlob = {0, nullptr};
  *plMapCatIdx = -1;
  return ERROR_FILE_NOT_FOUND;
}

LONG MinCryptFindHashesInCatalogs(ALG_ID AlgId, DWORD cHash, const DerBlob rgHashBlob[], DWORD cMapCatInfo,
                                  MapCatInfo rgMapCatInfo[], BOOL fAcceptOdm, LONG rglErr[]) {
  for (DWORD i = 0; i < cHash; i++) rglErr[i] = 0;
  MinCryptVerifyCatalogs(cMapCatInfo, rgMapCatInfo, fAcceptOdm);
  for (DWORD i = 0; i < cHash; i++) {
    // With no catalog there is nowhere to look; a zero left in the result
    // would read as "found".
    if (cMapCatInfo == 0) {
      rglErr[i] = ERROR_FILE_NOT_FOUND;
      continue;
    }
    LONG lMapCatIdx = rglErr[i];
    DerBlob memberInfo;
    rglErr[i] = MinCryptFindHashInCatalogs(AlgId, &rgHashBlob[i], cMapCatInfo, rgMapCatInfo, &lMapCatIdx, &memberInfo);
  }
  return 0;
}

LONG MinCryptCheckCatalogNameValue(MapCatInfo catInfo, DWORD cbOid, const BYTE* pbOid, DWORD cbName, const BYTE* pbName,
                                   DWORD cbValue, const BYTE* pbValue) {
  DerBlob rgrgExtBlob[kMaxCatalogExts][MINASN1_EXT_BLOB_CNT];
  DWORD cExt = kMaxCatalogExts;
  if (MinAsn1ParseExtensions(&catInfo.ExtensionsBlob, &cExt, rgrgExtBlob) < 0) cExt = 0;

  const DerBlob oid = {cbOid, pbOid};
  const DerBlob name = {cbName, pbName};
  const DerBlob value = {cbValue, pbValue};
  for (DWORD i = 0; i < cExt; i++) {
    if (!DerBlobEqual(rgrgExtBlob[i][MINASN1_EXT_OID_IDX], oid)) continue;
    DerBlob rgNameValueBlob[MINASN1_NAME_VALUE_BLOB_CNT];
    if (MinAsn1ParseNameValue(&rgrgExtBlob[i][MINASN1_EXT_VALUE_IDX], rgNameValueBlob) <= 0) continue;
    if (DerBlobEqual(rgNameValueBlob[MINASN1_NAME_VALUE_NAME_IDX], name) &&
        DerBlobEqual(rgNameValueBlob[MINASN1_NAME_VALUE_VALUE_IDX], value)) {
      return 0;
    }
  }
  return ERROR_FILE_NOT_FOUND;
}
