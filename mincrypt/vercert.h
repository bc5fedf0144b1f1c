// Certificate chains: from a signer certificate through the certificates that
// a message carries up to one of the built-in trust anchors.
//
// Certificates are the slot arrays of the DER parser
// (DerBlob[MINASN1_CERT_BLOB_CNT]) pointing into the caller's message. Only
// names, signatures, one extended-key-usage purpose and the anchor match are
// checked: no validity period, revocation, basic constraints or critical
// extensions.
#pragma once

#include "mincrypt/asn1parse.h"
#include "mincrypt/derblob.h"
#include "mincrypt/verstatus.h"

// The most certificates of one message that are looked at.
#define MINCRYPT_MAX_MESSAGE_CERTS 10
// The most issuer steps a chain walk takes after the signer.
#define MINCRYPT_MAX_CHAIN_STEPS 10

using CertBlobs = DerBlob[MINASN1_CERT_BLOB_CNT];

// First certificate whose subject equals pNameBlob (length and bytes), or null.
DerBlob* FindIssuerCertificate(const DerBlob* pNameBlob, DWORD cCert, CertBlobs rgrgCertBlob[]);

// First certificate with this issuer name and serial number (the INTEGER's
// content octets as they stand), or null.
DerBlob* FindSignerCertificate(const DerBlob* pIssuerNameBlob, const DerBlob* pSerialNumberBlob, DWORD cCert,
                               CertBlobs rgrgCertBlob[]);

// 1 when the encoded extension list (a certificate's MINASN1_CERT_EXTS_IDX
// slot) has an extended-key-usage extension among its first ten that lists
// the purpose 1.3.6.1.4.1.311.10.3.15; 0 otherwise, including on any
// decoding failure.
BOOL HasRequiredKeyUsage(const DerBlob* pExtsBlob);

// Walks from rgSignerCertBlob to an anchor. Each step verifies the current
// certificate's signature with the key of its issuer: the anchor whose key
// equals its own key when it is self-issued, else the anchor named as its
// issuer, else the first message certificate whose subject is its issuer.
// Succeeds only when an anchor is reached and the last certificate verified
// with a key from the message lists the required purpose.
// Returns 0, CRYPT_E_UNKNOWN_ALGO, CERT_E_UNTRUSTEDROOT, CERT_E_CHAINING,
// CERT_E_PURPOSE, a hash-memory error or a MinCryptVerifyHashSignature error.
// Leaves RootLevel as the last anchor lookup set it.
LONG MinCryptVerifyCertificateChain(const DerBlob rgSignerCertBlob[], DWORD cCert, CertBlobs rgrgCertBlob[],
                                    BOOL fAcceptOdm);
