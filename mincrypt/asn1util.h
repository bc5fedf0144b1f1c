// DER tag-length decoding and the table-driven value extractor.
//
// Nothing here allocates or copies: every result is a DerBlob that points into
// the caller's buffer, which must outlive it. Results are 32-bit signed:
// positive (or zero) lengths on success, non-positive numbers on failure, so a
// caller may treat any result <= 0 as "not parseable". Inputs are limited to
// fewer than 2^31 bytes (results are LONG).
#pragma once

#include "mincrypt/derblob.h"
#include "platform/win.h"

// ---------------------------------------------------------------------------
// Value table entries.
//
// dwFlags bits 0-7 hold one of the operations below; bit 31 asks for the whole
// element (identifier, length and content octets) to be stored, bit 30 for the
// content octets only (content wins when both are set). dwIndex is the slot in
// the caller's result array. rgbTag is a zero-terminated list of acceptable
// first identifier octets, or null to accept any element.

constexpr DWORD MINASN1_MASK_VALUE_OP = 0x000000FF;
constexpr DWORD MINASN1_RETURN_VALUE_BLOB_FLAG = 0x80000000;
constexpr DWORD MINASN1_RETURN_CONTENT_BLOB_FLAG = 0x40000000;

// Present: store if asked, move past it. Absent: failure.
constexpr DWORD MINASN1_STEP_OVER_VALUE_OP = 1;
// Present: store if asked, move past it. Absent: store {0, null}, stay.
constexpr DWORD MINASN1_OPTIONAL_STEP_OVER_VALUE_OP = 2;
// Present: store if asked, descend into its content. Absent: failure.
constexpr DWORD MINASN1_STEP_INTO_VALUE_OP = 3;
// Present: store if asked, descend into its content. Absent: store {0, null}
// and enter a skipped level, in which every entry stores {0, null} until the
// matching step-out.
constexpr DWORD MINASN1_OPTIONAL_STEP_INTO_VALUE_OP = 4;
// Return to the level above, just past the element that was entered.
constexpr DWORD MINASN1_STEP_OUT_VALUE_OP = 5;

// Levels a table may have entered at once.
constexpr DWORD MINASN1_MAX_NESTING = 8;

struct MinAsn1ValueEntry {
  DWORD dwFlags;
  DWORD dwIndex;
  const BYTE* rgbTag;
};

// ---------------------------------------------------------------------------

// Decodes the length octets at pbEncoded (cbEncoded bytes available, the first
// length octet included). Returns the number of length octets consumed (1 to
// 5) and sets *pcbLength; or -1 (long form with more than 4 subsequent
// octets), -2 (too few bytes), -3 (0x80, the indefinite form), leaving
// *pcbLength untouched. Non-minimal encodings are accepted. Does not check the
// length against the bytes that follow.
LONG MinAsn1DecodeLength(DWORD* pcbLength, const BYTE* pbEncoded, DWORD cbEncoded);

// Decodes the identifier and length octets of the element at pbEncoded.
// Identifiers whose low five bits are all ones continue while the next octet
// has its top bit set. Returns the header length (identifier plus length
// octets) and sets *pcbContent and *ppbContent (the content starts right after
// the header and fits inside cbEncoded). Failures: -1 and -3 as above, -2 for
// an empty input, an identifier or length that runs off the end, or content
// longer than the bytes after the header. Outputs are untouched on failure.
LONG MinAsn1ParseTagLength(const BYTE* pbEncoded, DWORD cbEncoded, DWORD* pcbContent, const BYTE** ppbContent);

// Walks the encoded bytes once, in table order, with the entries' operations.
// *pcValue is the number of entries in rgValue. An entry stores a blob only if
// it asks to (bit 31 or 30), rgValueBlob is not null and its dwIndex is below
// cValueBlob; a stored content blob of a BIT STRING (identifier 0x03) with
// non-empty content omits the leading unused-bits octet.
//
// Success: returns the bytes consumed (from pbEncoded to the position after
// the last entry, never more than cbEncoded) and leaves *pcValue unchanged.
// Failure: returns -(offset + 1), offset being the position of the element
// being examined counted from pbEncoded, and sets *pcValue to the index of the
// failing entry. Failing entries: a required element that is missing, a header
// that does not decode, a ninth nested level, a step-out with no level to
// leave, or an operation outside 1-5 at a present element (outside 1-5 in a
// skipped level acts as an optional step-over). Slots already stored before a
// failure keep their values.
//
// A table need neither step out of the levels it entered nor visit every
// element; whatever follows the last entry is ignored.
LONG MinAsn1ParseValues(const BYTE* pbEncoded, DWORD cbEncoded, DWORD* pcValue, const MinAsn1ValueEntry* rgValue,
                        DWORD cValueBlob, DerBlob* rgValueBlob);
