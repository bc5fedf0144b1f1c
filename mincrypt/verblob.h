// Byte-wise comparison of encodings, the only equality the verification code
// knows (no normalisation of names, integers or identifiers).
#pragma once

#include <cstring>

#include "mincrypt/derblob.h"

// True when both blobs have the same length and the same bytes.
inline bool DerBlobEqual(const DerBlob& a, const DerBlob& b) {
  return a.cbData == b.cbData && (a.cbData == 0 || std::memcmp(a.pbData, b.pbData, a.cbData) == 0);
}
