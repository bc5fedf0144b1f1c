#include "mincrypt/verroots.h"

#include "mincrypt/anchors.h"
#include "mincrypt/rootlevel.h"
#include "mincrypt/verblob.h"

namespace {

struct AnchorList {
  const TrustAnchor* rgAnchor;
  const DWORD* pcAnchor;
  DWORD dwLevel;
};

// Lookup order: the ODM list first (when accepted), then product, then test.
const AnchorList kAnchorLists[] = {
    {rgOdmRoots, &cOdmRoots, ROOT_LEVEL_ODM},
    {rgProductRoots, &cProductRoots, ROOT_LEVEL_PRODUCT},
    {rgTestRoots, &cTestRoots, ROOT_LEVEL_TEST},
};

template <typename Field>
const DerBlob* FindRoot(const DerBlob* pBlob, BOOL fAcceptOdm, Field field) {
  RootLevel = ROOT_LEVEL_NONE;
  for (const AnchorList& list : kAnchorLists) {
    if (list.dwLevel == ROOT_LEVEL_ODM && !fAcceptOdm) continue;
    for (DWORD i = 0; i < *list.pcAnchor; i++) {
      const TrustAnchor& anchor = list.rgAnchor[i];
      if (DerBlobEqual(*pBlob, anchor.*field)) {
        RootLevel = list.dwLevel;
        return &anchor.PublicKeyInfo;
      }
    }
  }
  return nullptr;
}

}  // namespace

const DerBlob* FindRootByName(const DerBlob* pNameBlob, BOOL fAcceptOdm) {
  return FindRoot(pNameBlob, fAcceptOdm, &TrustAnchor::Name);
}

const DerBlob* FindRootByPublicKey(const DerBlob* pPubKeyInfoBlob, BOOL fAcceptOdm) {
  return FindRoot(pPubKeyInfoBlob, fAcceptOdm, &TrustAnchor::PublicKeyInfo);
}
