// PKCS #7 signed-data messages with one signer whose certificate, and the
// certificates of its chain, travel in the message.
#pragma once

#include "mincrypt/derblob.h"
#include "mincrypt/verstatus.h"

// What a verification learned about the message; every blob points into the
// caller's message buffer.
struct SignedMessageInfo {
  DerBlob ContentTypeBlob;  // inner content type, OBJECT IDENTIFIER content octets
  DerBlob ContentBlob;      // inner content: the element inside the [0] wrapper, with its tag and length
  DerBlob SignerCertBlob;   // the whole encoded signer certificate
  DerBlob AuthAttrsBlob;    // the whole [0] authenticated attributes, or empty
  DerBlob UnauthAttrsBlob;  // the whole [1] unauthenticated attributes, or empty
};

// Verifies the first SignerInfo of the signed-data message
// pbEncoded[0..cbEncoded): its certificate among the first ten the message
// carries, the certificate chain to a trust anchor (the ODM anchor only when
// fAcceptOdm is non-zero), the message-digest attribute against the content
// octets of the inner content when authenticated attributes are present, and
// the signature over the content or the attributes.
//
// *pInfo is zeroed first; the content type and content are filled as soon as
// they are known, the signer fields once the signer certificate has been
// found, even when a later step fails.
// Returns 0, CRYPT_E_BAD_MSG, ERROR_NO_DATA, CRYPT_E_NO_SIGNER,
// CRYPT_E_UNKNOWN_ALGO, CRYPT_E_AUTH_ATTR_MISSING, CRYPT_E_HASH_VALUE, a chain
// error (MinCryptVerifyCertificateChain), a signature error
// (MinCryptVerifyHashSignature) or a hash-memory error. No heap is used.
LONG MinCryptVerifySignedMessage(const BYTE* pbEncoded, DWORD cbEncoded, BOOL fAcceptOdm, SignedMessageInfo* pInfo);
