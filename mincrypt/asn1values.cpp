#include "mincrypt/asn1util.h"
#include "platform/diag.h"

namespace {

struct SavedLevel {
  const BYTE* pb;  // where to resume after the step-out
  DWORD cb;        // bytes remaining there
  bool fSkip;      // whether that level was being skipped
};

bool TagAccepted(const BYTE* rgbTag, BYTE bIdentifier) {
  if (rgbTag == nullptr) return true;
  for (; *rgbTag != 0; rgbTag++) {
    if (*rgbTag == bIdentifier) return true;
  }
  return false;
}

}  // namespace

LONG MinAsn1ParseValues(const BYTE* pbEncoded, DWORD cbEncoded, DWORD* pcValue, const MinAsn1ValueEntry* rgValue,
                        DWORD cValueBlob, DerBlob* rgValueBlob) {
  const DWORD cValue = *pcValue;
  const BYTE* pb = pbEncoded;
  DWORD cb = cbEncoded;
  bool fSkip = false;
  SavedLevel rgLevel[MINASN1_MAX_NESTING];
  DWORD cLevel = 0;

  DWORD iValue = 0;
  for (; iValue < cValue; iValue++) {
    const MinAsn1ValueEntry& entry = rgValue[iValue];
    const DWORD dwOp = entry.dwFlags & MINASN1_MASK_VALUE_OP;
    const bool fStore = (entry.dwFlags & (MINASN1_RETURN_VALUE_BLOB_FLAG | MINASN1_RETURN_CONTENT_BLOB_FLAG)) != 0 &&
                        rgValueBlob != nullptr && entry.dwIndex < cValueBlob;

    if (dwOp == MINASN1_STEP_OUT_VALUE_OP) {
      if (cLevel == 0) goto Failed;
      cLevel--;
      pb = rgLevel[cLevel].pb;
      cb = rgLevel[cLevel].cb;
      fSkip = rgLevel[cLevel].fSkip;
      continue;
    }

    if (!fSkip && cb > 0 && TagAccepted(entry.rgbTag, pb[0])) {
      DWORD cbContent = 0;
      const BYTE* pbContent = nullptr;
      const LONG cbHeader = MinAsn1ParseTagLength(pb, cb, &cbContent, &pbContent);
      if (cbHeader <= 0) goto Failed;
      const DWORD cbElement = static_cast<DWORD>(cbHeader) + cbContent;

      if (fStore) {
        DerBlob& blob = rgValueBlob[entry.dwIndex];
        if (entry.dwFlags & MINASN1_RETURN_CONTENT_BLOB_FLAG) {
          if (pb[0] == 0x03 && cbContent > 0) {
            // BIT STRING: the first content octet counts the unused bits.
            blob = {cbContent - 1, pbContent + 1};
          } else {
            blob = {cbContent, pbContent};
          }
        } else {
          blob = {cbElement, pb};
        }
      }

      switch (dwOp) {
        case MINASN1_STEP_OVER_VALUE_OP:
        case MINASN1_OPTIONAL_STEP_OVER_VALUE_OP:
          pb += cbElement;
          cb -= cbElement;
          break;
        case MINASN1_STEP_INTO_VALUE_OP:
        case MINASN1_OPTIONAL_STEP_INTO_VALUE_OP:
          if (cLevel == MINASN1_MAX_NESTING) goto Failed;
          rgLevel[cLevel++] = {pb + cbElement, cb - cbElement, false};
          pb = pbContent;
          cb = cbContent;
          break;
        default:
          goto Failed;
      }
    } else {
      if (!fSkip && dwOp != MINASN1_OPTIONAL_STEP_OVER_VALUE_OP && dwOp != MINASN1_OPTIONAL_STEP_INTO_VALUE_OP) {
        goto Failed;
      }
      if (fStore) rgValueBlob[entry.dwIndex] = {0, nullptr};
      if (dwOp == MINASN1_STEP_INTO_VALUE_OP || dwOp == MINASN1_OPTIONAL_STEP_INTO_VALUE_OP) {
        if (cLevel == MINASN1_MAX_NESTING) goto Failed;
        rgLevel[cLevel++] = {pb, cb, fSkip};
        fSkip = true;
      }
    }
  }

  {
    const LONG lAllValues = static_cast<LONG>(pb - pbEncoded);
    // clang-format off
    TF_ASSERT((DWORD) lAllValues <= cbEncoded);
    // clang-format on
    return lAllValues;
  }

Failed:
  *pcValue = iValue;
  return -static_cast<LONG>(pb - pbEncoded) - 1;
}
