// Lookups among the built-in trust anchors (mincrypt/anchors.h).
//
// Both lookups compare whole encodings by length and bytes and try the lists
// in the order ODM (only when fAcceptOdm is non-zero), product, test; the
// first match wins. Both set RootLevel to ROOT_LEVEL_NONE first and to the
// matched anchor's level on a match. The returned blob is the anchor's
// encoded SubjectPublicKeyInfo (static data), or null when nothing matched.
// Internal to the library; declared here for the chain walk and its tests.
#pragma once

#include "mincrypt/derblob.h"

const DerBlob* FindRootByName(const DerBlob* pNameBlob, BOOL fAcceptOdm);
const DerBlob* FindRootByPublicKey(const DerBlob* pPubKeyInfoBlob, BOOL fAcceptOdm);
