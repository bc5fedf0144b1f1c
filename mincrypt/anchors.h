// The built-in trust anchors, one list per trust level. The data is generated
// at build time from the anchor certificates (keys/dev by default, or a
// vendor's own set chosen with the TF_ANCHOR_DIR CMake option).
#pragma once

#include "mincrypt/derblob.h"

struct TrustAnchor {
  DerBlob Name;           // the complete encoded Name SEQUENCE of the anchor
  DerBlob PublicKeyInfo;  // the complete encoded SubjectPublicKeyInfo
};

extern const TrustAnchor rgTestRoots[];
extern const DWORD cTestRoots;
extern const TrustAnchor rgOdmRoots[];
extern const DWORD cOdmRoots;
extern const TrustAnchor rgProductRoots[];
extern const DWORD cProductRoots;
