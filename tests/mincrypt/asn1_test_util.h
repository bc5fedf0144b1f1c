// Small helpers shared by the DER parser suites.
#pragma once

#include <string>

#include "mincrypt/derblob.h"
#include "tests/support/der_builder.h"

namespace asn1test {

inline DerBlob Blob(const der::Bytes& bytes) { return {static_cast<DWORD>(bytes.size()), bytes.data()}; }

inline der::Bytes Bytes(const DerBlob& blob) {
  if (blob.pbData == nullptr) return {};
  return der::Bytes(blob.pbData, blob.pbData + blob.cbData);
}

inline std::string Hex(const DerBlob& blob) { return der::ToHex(Bytes(blob)); }

inline bool IsAbsent(const DerBlob& blob) { return blob.cbData == 0 && blob.pbData == nullptr; }

// A recognisable value for slots that a parser is expected to overwrite.
inline const BYTE kPoison[1] = {0xEE};
template <size_t N>
void Poison(DerBlob (&blobs)[N]) {
  for (DerBlob& b : blobs) b = {0xDEAD, kPoison};
}

}  // namespace asn1test
