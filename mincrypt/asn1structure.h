// Shared pieces of the structure parsers (internal to mincrypt/asn1*.cpp).
#pragma once

#include "mincrypt/asn1parse.h"

namespace asn1 {

// Zero-terminated identifier lists used by the tables.
inline constexpr BYTE kSequence[] = {0x30, 0};
inline constexpr BYTE kSet[] = {0x31, 0};
inline constexpr BYTE kInteger[] = {0x02, 0};
inline constexpr BYTE kBoolean[] = {0x01, 0};
inline constexpr BYTE kBitString[] = {0x03, 0};
inline constexpr BYTE kOctetString[] = {0x04, 0};
inline constexpr BYTE kObjectId[] = {0x06, 0};
inline constexpr BYTE kBmpString[] = {0x1E, 0};
inline constexpr BYTE kTime[] = {0x17, 0x18, 0};  // UTCTime, GeneralizedTime
inline constexpr BYTE kContext0[] = {0xA0, 0};
inline constexpr BYTE kContext1[] = {0xA1, 0};
inline constexpr BYTE kContext3[] = {0xA3, 0};
inline constexpr BYTE kImplicit1[] = {0x81, 0};
inline constexpr BYTE kImplicit2[] = {0x82, 0};

inline constexpr DWORD kOver = MINASN1_STEP_OVER_VALUE_OP;
inline constexpr DWORD kOptOver = MINASN1_OPTIONAL_STEP_OVER_VALUE_OP;
inline constexpr DWORD kInto = MINASN1_STEP_INTO_VALUE_OP;
inline constexpr DWORD kOptInto = MINASN1_OPTIONAL_STEP_INTO_VALUE_OP;
inline constexpr DWORD kOut = MINASN1_STEP_OUT_VALUE_OP;
inline constexpr DWORD kWhole = MINASN1_RETURN_VALUE_BLOB_FLAG;
inline constexpr DWORD kContent = MINASN1_RETURN_CONTENT_BLOB_FLAG;

// Runs a structure table over the input and reports the structure's encoded
// length from slot 1, or the extractor's failure.
template <DWORD cValue>
LONG ParseStructure(const BYTE* pbEncoded, DWORD cbEncoded, const MinAsn1ValueEntry (&rgValue)[cValue],
                    DWORD cValueBlob, DerBlob* rgValueBlob) {
  DWORD cEntries = cValue;
  const LONG lResult = MinAsn1ParseValues(pbEncoded, cbEncoded, &cEntries, rgValue, cValueBlob, rgValueBlob);
  if (lResult < 0) return lResult;
  return static_cast<LONG>(rgValueBlob[1].cbData);
}

// The item parsers of the extension and attribute lists.
LONG ParseExtension(const BYTE* pbEncoded, DWORD cbEncoded, DerBlob rgExtBlob[MINASN1_EXT_BLOB_CNT]);
LONG ParseAttribute(const BYTE* pbEncoded, DWORD cbEncoded, DerBlob rgAttrBlob[MINASN1_ATTR_BLOB_CNT]);

}  // namespace asn1
