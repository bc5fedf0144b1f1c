// Invariants every DER parser result must keep, shared by the harnesses.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "mincrypt/derblob.h"
#include "platform/win.h"

namespace asn1fuzz {

// A stored blob is absent or lies wholly inside the input.
inline void CheckInside(const DerBlob& blob, const BYTE* pbInput, DWORD cbInput) {
  if (blob.pbData == nullptr) {
    if (blob.cbData != 0) std::abort();
    return;
  }
  const uintptr_t begin = reinterpret_cast<uintptr_t>(pbInput);
  const uintptr_t at = reinterpret_cast<uintptr_t>(blob.pbData);
  if (at < begin || at - begin > cbInput || blob.cbData > cbInput - (at - begin)) std::abort();
}

// A result is a length within the input, or -(offset + 1) with the offset
// within the input.
inline void CheckResult(LONG result, DWORD cbInput) {
  if (result >= 0 ? static_cast<DWORD>(result) > cbInput : static_cast<DWORD>(-(result + 1)) > cbInput) std::abort();
}

}  // namespace asn1fuzz
