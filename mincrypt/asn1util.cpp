#include "mincrypt/asn1util.h"

LONG MinAsn1DecodeLength(DWORD* pcbLength, const BYTE* pbEncoded, DWORD cbEncoded) {
  if (cbEncoded == 0) return -2;
  const BYTE bFirst = pbEncoded[0];
  if (bFirst == 0x80) return -3;
  if (bFirst < 0x80) {
    *pcbLength = bFirst;
    return 1;
  }
  const DWORD cOctets = bFirst & 0x7F;
  if (cOctets > 4) return -1;
  if (cOctets >= cbEncoded) return -2;
  DWORD cbLength = 0;
  for (DWORD i = 1; i <= cOctets; i++) cbLength = (cbLength << 8) | pbEncoded[i];
  *pcbLength = cbLength;
  return static_cast<LONG>(cOctets + 1);
}

LONG MinAsn1ParseTagLength(const BYTE* pbEncoded, DWORD cbEncoded, DWORD* pcbContent, const BYTE** ppbContent) {
  if (cbEncoded == 0) return -2;
  DWORD cbIdentifier = 1;
  if ((pbEncoded[0] & 0x1F) == 0x1F) {
    // High tag number: base-128 octets follow, the last one with bit 8 clear.
    for (;;) {
      if (cbIdentifier >= cbEncoded) return -2;
      const BYTE b = pbEncoded[cbIdentifier++];
      if ((b & 0x80) == 0) break;
    }
  }
  DWORD cbContent = 0;
  const LONG cbLengthOctets = MinAsn1DecodeLength(&cbContent, pbEncoded + cbIdentifier, cbEncoded - cbIdentifier);
  if (cbLengthOctets <= 0) return cbLengthOctets;
  const DWORD cbHeader = cbIdentifier + static_cast<DWORD>(cbLengthOctets);
  // Compared by subtraction: header plus a 32-bit length can wrap around.
  if (cbContent > cbEncoded - cbHeader) return -2;
  *pcbContent = cbContent;
  *ppbContent = pbEncoded + cbHeader;
  return static_cast<LONG>(cbHeader);
}
