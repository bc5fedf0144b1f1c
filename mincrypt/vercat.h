// Signed catalogs: PKCS #7 signed certificate trust lists whose members carry
// file hashes and whose extensions carry name-value attributes.
#pragma once

#include "mincrypt/derblob.h"
#include "mincrypt/hashmem.h"
#include "mincrypt/verstatus.h"

// One catalog. The caller zero-fills the record and sets EncodedBlob; the
// verification writes lErrCode every time and the other three blobs only when
// it succeeds. All blobs point into the catalog bytes, which must outlive the
// record and stay unchanged.
struct MapCatInfo {
  LONG lErrCode;           // 0 when the catalog verified, else its verification error
  DerBlob EncodedBlob;     // the catalog (input)
  DerBlob MembersBlob;     // the trust list's trustedSubjects, whole encoding
  DerBlob ExtensionsBlob;  // the trust list's extensions: the SEQUENCE OF Extension inside [0]
  DerBlob AuthAttrsBlob;   // the signer's authenticated attributes, whole encoding
};

// Map index of MinCryptFindHashInCatalogs: bits 0-15 name the catalog to try
// first, this bit asks for all the others as well. Negative: search nothing.
#define MINCRYPT_MAP_CAT_TRY_ALL 0x10000
#define MINCRYPT_MAP_CAT_INDEX_MASK 0xFFFF

// Verifies one catalog (signed message whose content is a certificate trust
// list). Returns the result, which is also stored in lErrCode: 0, any
// MinCryptVerifySignedMessage error, or CRYPT_E_BAD_MSG when the content is
// not a trust list.
LONG MinCryptVerifyCatalog(MapCatInfo* pMapCatInfo, BOOL fAcceptOdm);

// MinCryptVerifyCatalog on every record in order.
void MinCryptVerifyCatalogs(DWORD cMapCatInfo, MapCatInfo rgMapCatInfo[], BOOL fAcceptOdm);

// Looks for a member whose file-hash attribute (among the member's first
// three attributes) holds exactly the bytes of *pHashBlob, in verified
// catalogs only (lErrCode 0). *plMapCatIdx as described above; bits 0-15 must
// be below cMapCatInfo (asserted). On return *plMapCatIdx is the catalog that
// held the hash, or -1, and *pMemberInfoBlob the matching member's attribute
// SET, or {0, null}. Returns 0 (found) or ERROR_FILE_NOT_FOUND. AlgId is not
// used: the member's digest bytes are compared as they stand.
LONG MinCryptFindHashInCatalogs(ALG_ID AlgId, const DerBlob* pHashBlob, DWORD cMapCatInfo, MapCatInfo rgMapCatInfo[],
                                LONG* plMapCatIdx, DerBlob* pMemberInfoBlob);

// Verifies every catalog, then looks each hash up in catalog 0 and stores 0
// or ERROR_FILE_NOT_FOUND per hash in rglErr[0..cHash). Always returns 0: the
// per-hash codes are the answer. With no catalogs every hash is not found.
LONG MinCryptFindHashesInCatalogs(ALG_ID AlgId, DWORD cHash, const DerBlob rgHashBlob[], DWORD cMapCatInfo,
                                  MapCatInfo rgMapCatInfo[], BOOL fAcceptOdm, LONG rglErr[]);

// 0 when one of the first three extensions of the catalog has type
// pbOid[0..cbOid) and is a name-value pair whose name (big-endian UTF-16, no
// terminator) and value (the stored bytes: little-endian UTF-16 with its
// terminating zero) equal the given bytes exactly; ERROR_FILE_NOT_FOUND
// otherwise. lErrCode is not consulted: ask only about a verified catalog.
LONG MinCryptCheckCatalogNameValue(MapCatInfo catInfo, DWORD cbOid, const BYTE* pbOid, DWORD cbName, const BYTE* pbName,
                                   DWORD cbValue, const BYTE* pbValue);
