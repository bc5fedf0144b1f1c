// Parsers for the DER structures the verification library understands.
//
// Each parser takes a structure apart in one forward pass and fills a
// caller-owned array of DerBlob slots, addressed by the constants below; slot 0
// is never written, and each array is sized by its family's *_BLOB_CNT. Every
// stored blob points into the caller's buffer, which must outlive it. An
// absent optional element is stored as {0, nullptr}. The result arrays are
// required (never null).
//
// Structure parsers return the encoded length of the structure (slot 1's
// cbData) on success, else the non-positive result of MinAsn1ParseValues:
// -(offset + 1) with the offset counted from the start of the given input.
// Only the elements the tables describe are checked; trailing bytes after the
// structure, or after the last described element inside it, are ignored.
#pragma once

#include "mincrypt/asn1util.h"
#include "mincrypt/derblob.h"
#include "platform/win.h"

// ---------------------------------------------------------------------------
// Certificate (X.509 Certificate).

constexpr DWORD MINASN1_CERT_ENCODED_IDX = 1;             // whole Certificate
constexpr DWORD MINASN1_CERT_TO_BE_SIGNED_IDX = 2;        // whole tbsCertificate
constexpr DWORD MINASN1_CERT_SIGN_ALGID_IDX = 3;          // whole signatureAlgorithm
constexpr DWORD MINASN1_CERT_SIGNATURE_IDX = 4;           // signature bits, without unused-bits octet
constexpr DWORD MINASN1_CERT_VERSION_IDX = 5;             // INTEGER content; empty without [0] wrapper
constexpr DWORD MINASN1_CERT_SERIAL_NUMBER_IDX = 6;       // INTEGER content, as encoded
constexpr DWORD MINASN1_CERT_ISSUER_IDX = 7;              // whole issuer Name
constexpr DWORD MINASN1_CERT_NOT_BEFORE_IDX = 8;          // whole UTCTime / GeneralizedTime
constexpr DWORD MINASN1_CERT_NOT_AFTER_IDX = 9;           // whole UTCTime / GeneralizedTime
constexpr DWORD MINASN1_CERT_SUBJECT_IDX = 10;            // whole subject Name
constexpr DWORD MINASN1_CERT_PUBKEY_INFO_IDX = 11;        // whole SubjectPublicKeyInfo
constexpr DWORD MINASN1_CERT_ISSUER_UNIQUE_ID_IDX = 12;   // [1] bits, without unused-bits octet
constexpr DWORD MINASN1_CERT_SUBJECT_UNIQUE_ID_IDX = 13;  // [2] bits, without unused-bits octet
constexpr DWORD MINASN1_CERT_EXTS_IDX = 14;               // content of [3]: the encoded SEQUENCE OF Extension
constexpr DWORD MINASN1_CERT_BLOB_CNT = 15;

LONG MinAsn1ParseCertificate(const BYTE* pbEncoded, DWORD cbEncoded, DerBlob rgCertBlob[MINASN1_CERT_BLOB_CNT]);

// ---------------------------------------------------------------------------
// PKCS #7 signed data: ContentInfo { signedData, SignedData }. Only the first
// SignerInfo is examined; an empty signerInfos SET leaves slots 10-18 empty.

constexpr DWORD MINASN1_SIGNED_DATA_ENCODED_IDX = 1;                     // whole ContentInfo
constexpr DWORD MINASN1_SIGNED_DATA_OUTER_OID_IDX = 2;                   // contentType OID content
constexpr DWORD MINASN1_SIGNED_DATA_VERSION_IDX = 3;                     // INTEGER content
constexpr DWORD MINASN1_SIGNED_DATA_DIGEST_ALGIDS_IDX = 4;               // whole SET
constexpr DWORD MINASN1_SIGNED_DATA_CONTENT_OID_IDX = 5;                 // inner contentType OID content
constexpr DWORD MINASN1_SIGNED_DATA_CONTENT_DATA_IDX = 6;                // content of inner [0]: the encoded content
constexpr DWORD MINASN1_SIGNED_DATA_CERTS_IDX = 7;                       // whole certificates [0]
constexpr DWORD MINASN1_SIGNED_DATA_CRLS_IDX = 8;                        // whole crls [1]
constexpr DWORD MINASN1_SIGNED_DATA_SIGNER_INFOS_IDX = 9;                // whole signerInfos SET
constexpr DWORD MINASN1_SIGNED_DATA_SIGNER_INFO_ENCODED_IDX = 10;        // whole first SignerInfo
constexpr DWORD MINASN1_SIGNED_DATA_SIGNER_INFO_VERSION_IDX = 11;        // INTEGER content
constexpr DWORD MINASN1_SIGNED_DATA_SIGNER_INFO_ISSUER_IDX = 12;         // whole issuer Name
constexpr DWORD MINASN1_SIGNED_DATA_SIGNER_INFO_SERIAL_NUMBER_IDX = 13;  // INTEGER content
constexpr DWORD MINASN1_SIGNED_DATA_SIGNER_INFO_DIGEST_ALGID_IDX = 14;   // whole AlgorithmIdentifier
constexpr DWORD MINASN1_SIGNED_DATA_SIGNER_INFO_AUTH_ATTRS_IDX = 15;     // whole authenticatedAttributes [0]
constexpr DWORD MINASN1_SIGNED_DATA_SIGNER_INFO_ENCRYPT_DIGEST_ALGID_IDX = 16;  // whole AlgorithmIdentifier
constexpr DWORD MINASN1_SIGNED_DATA_SIGNER_INFO_ENCRYPT_DIGEST_IDX = 17;        // OCTET STRING content
constexpr DWORD MINASN1_SIGNED_DATA_SIGNER_INFO_UNAUTH_ATTRS_IDX = 18;          // whole unauthenticatedAttributes [1]
constexpr DWORD MINASN1_SIGNED_DATA_BLOB_CNT = 19;

LONG MinAsn1ParseSignedData(const BYTE* pbEncoded, DWORD cbEncoded,
                            DerBlob rgSignedDataBlob[MINASN1_SIGNED_DATA_BLOB_CNT]);

// ---------------------------------------------------------------------------
// Certificate trust list (the inner content of a signed catalog).

constexpr DWORD MINASN1_CTL_ENCODED_IDX = 1;          // whole CertificateTrustList
constexpr DWORD MINASN1_CTL_VERSION_IDX = 2;          // INTEGER content
constexpr DWORD MINASN1_CTL_SUBJECT_USAGE_IDX = 3;    // whole SEQUENCE
constexpr DWORD MINASN1_CTL_LIST_ID_IDX = 4;          // OCTET STRING content
constexpr DWORD MINASN1_CTL_SEQUENCE_NUMBER_IDX = 5;  // INTEGER content
constexpr DWORD MINASN1_CTL_THIS_UPDATE_IDX = 6;      // whole UTCTime / GeneralizedTime
constexpr DWORD MINASN1_CTL_NEXT_UPDATE_IDX = 7;      // whole UTCTime / GeneralizedTime
constexpr DWORD MINASN1_CTL_SUBJECT_ALGID_IDX = 8;    // whole AlgorithmIdentifier
constexpr DWORD MINASN1_CTL_SUBJECTS_IDX = 9;         // whole SEQUENCE OF subject
constexpr DWORD MINASN1_CTL_EXTS_IDX = 10;            // content of [0]: the encoded SEQUENCE OF Extension
constexpr DWORD MINASN1_CTL_BLOB_CNT = 11;

LONG MinAsn1ParseCTL(const DerBlob* pEncodedContent, DerBlob rgCTLBlob[MINASN1_CTL_BLOB_CNT]);

// One member of a trust list's subjects: SEQUENCE { OCTET STRING, SET OPTIONAL }.
constexpr DWORD MINASN1_CTL_SUBJECT_ENCODED_IDX = 1;  // whole member
constexpr DWORD MINASN1_CTL_SUBJECT_ID_IDX = 2;       // OCTET STRING content
constexpr DWORD MINASN1_CTL_SUBJECT_ATTRS_IDX = 3;    // whole attribute SET
constexpr DWORD MINASN1_CTL_SUBJECT_BLOB_CNT = 4;

LONG MinAsn1ParseCTLSubject(const BYTE* pbEncoded, DWORD cbEncoded,
                            DerBlob rgCTLSubjectBlob[MINASN1_CTL_SUBJECT_BLOB_CNT]);

// ---------------------------------------------------------------------------
// Extension and attribute records (items of the list parsers below).

constexpr DWORD MINASN1_EXT_ENCODED_IDX = 1;   // whole Extension
constexpr DWORD MINASN1_EXT_OID_IDX = 2;       // OID content
constexpr DWORD MINASN1_EXT_CRITICAL_IDX = 3;  // whole BOOLEAN, or empty
constexpr DWORD MINASN1_EXT_VALUE_IDX = 4;     // OCTET STRING content
constexpr DWORD MINASN1_EXT_BLOB_CNT = 5;

constexpr DWORD MINASN1_ATTR_ENCODED_IDX = 1;  // whole Attribute
constexpr DWORD MINASN1_ATTR_OID_IDX = 2;      // OID content
constexpr DWORD MINASN1_ATTR_VALUES_IDX = 3;   // content of the values SET
constexpr DWORD MINASN1_ATTR_VALUE_IDX = 4;    // whole first value, or empty
constexpr DWORD MINASN1_ATTR_BLOB_CNT = 5;

// ---------------------------------------------------------------------------
// Small structures.

constexpr DWORD MINASN1_ALGID_ENCODED_IDX = 1;  // whole AlgorithmIdentifier
constexpr DWORD MINASN1_ALGID_OID_IDX = 2;      // OID content
constexpr DWORD MINASN1_ALGID_PARA_IDX = 3;     // whole parameters, or empty
constexpr DWORD MINASN1_ALGID_BLOB_CNT = 4;

LONG MinAsn1ParseAlgorithmIdentifier(const DerBlob* pAlgId, DerBlob rgAlgIdBlob[MINASN1_ALGID_BLOB_CNT]);

constexpr DWORD MINASN1_PUBKEY_INFO_ENCODED_IDX = 1;  // whole SubjectPublicKeyInfo
constexpr DWORD MINASN1_PUBKEY_INFO_ALGID_IDX = 2;    // whole AlgorithmIdentifier
constexpr DWORD MINASN1_PUBKEY_INFO_PUBKEY_IDX = 3;   // key bits, without unused-bits octet
constexpr DWORD MINASN1_PUBKEY_INFO_BLOB_CNT = 4;

LONG MinAsn1ParsePublicKeyInfo(const DerBlob* pPubKeyInfo, DerBlob rgPubKeyInfoBlob[MINASN1_PUBKEY_INFO_BLOB_CNT]);

constexpr DWORD MINASN1_RSA_PUBKEY_ENCODED_IDX = 1;   // whole RSAPublicKey
constexpr DWORD MINASN1_RSA_PUBKEY_MODULUS_IDX = 2;   // INTEGER content, big-endian, as encoded
constexpr DWORD MINASN1_RSA_PUBKEY_EXPONENT_IDX = 3;  // INTEGER content, big-endian, as encoded
constexpr DWORD MINASN1_RSA_PUBKEY_BLOB_CNT = 4;

LONG MinAsn1ParseRSAPublicKey(const DerBlob* pPubKey, DerBlob rgRSAPubKeyBlob[MINASN1_RSA_PUBKEY_BLOB_CNT]);

// SpcIndirectDataContent: SEQUENCE { SEQUENCE { type OID, value ANY OPTIONAL },
// DigestInfo SEQUENCE { AlgorithmIdentifier, OCTET STRING } }.
constexpr DWORD MINASN1_INDIRECT_DATA_ENCODED_IDX = 1;       // whole structure
constexpr DWORD MINASN1_INDIRECT_DATA_ATTR_OID_IDX = 2;      // type OID content
constexpr DWORD MINASN1_INDIRECT_DATA_ATTR_VALUE_IDX = 3;    // whole value, or empty
constexpr DWORD MINASN1_INDIRECT_DATA_DIGEST_ALGID_IDX = 4;  // whole AlgorithmIdentifier
constexpr DWORD MINASN1_INDIRECT_DATA_DIGEST_IDX = 5;        // OCTET STRING content
constexpr DWORD MINASN1_INDIRECT_DATA_BLOB_CNT = 6;

LONG MinAsn1ParseIndirectData(const DerBlob* pEncodedContent,
                              DerBlob rgIndirectDataBlob[MINASN1_INDIRECT_DATA_BLOB_CNT]);

// Catalog name-value attribute: SEQUENCE { BMPString, INTEGER, OCTET STRING }.
constexpr DWORD MINASN1_NAME_VALUE_ENCODED_IDX = 1;  // whole structure
constexpr DWORD MINASN1_NAME_VALUE_NAME_IDX = 2;     // BMPString content (UTF-16BE octets)
constexpr DWORD MINASN1_NAME_VALUE_FLAGS_IDX = 3;    // INTEGER content
constexpr DWORD MINASN1_NAME_VALUE_VALUE_IDX = 4;    // OCTET STRING content
constexpr DWORD MINASN1_NAME_VALUE_BLOB_CNT = 5;

LONG MinAsn1ParseNameValue(const DerBlob* pNameValue, DerBlob rgNameValueBlob[MINASN1_NAME_VALUE_BLOB_CNT]);

// ---------------------------------------------------------------------------
// List parsers.
//
// The list's own identifier is not examined (certificate lists arrive as
// [0], attribute lists as [0] or SET, extension lists as SEQUENCE). On entry
// *pcItem is the maximum number of records the output array holds; on return
// it is the number parsed. Items beyond the maximum are left unparsed without
// failing.
//
// Returns the bytes consumed from the start of the list blob (header plus the
// items parsed, never more than its cbData); 0 with count 0 for an empty blob;
// -1 with count 0 when the list header does not decode; and for an item that
// does not parse -(offset + 1), the offset counted from the start of the list
// blob, with *pcItem the number of items parsed before it (their records stay
// filled).

LONG MinAsn1ParseExtensions(const DerBlob* pEncodedExtensions, DWORD* pcExt,
                            DerBlob rgrgExtBlob[][MINASN1_EXT_BLOB_CNT]);

LONG MinAsn1ParseAttributes(const DerBlob* pEncodedAttributes, DWORD* pcAttr,
                            DerBlob rgrgAttrBlob[][MINASN1_ATTR_BLOB_CNT]);

LONG MinAsn1ParseCertificates(const DerBlob* pEncodedCertificates, DWORD* pcCert,
                              DerBlob rgrgCertBlob[][MINASN1_CERT_BLOB_CNT]);

// ---------------------------------------------------------------------------
// Lookups by object identifier: pOid holds the OID's content octets (as in
// slot 2 of the records). Returns the first of the cRecord records, in array
// order, whose slot 2 has the same length and bytes, or null.

const DerBlob* MinAsn1FindExtension(const DerBlob* pOid, DWORD cExt, const DerBlob rgrgExtBlob[][MINASN1_EXT_BLOB_CNT]);

const DerBlob* MinAsn1FindAttribute(const DerBlob* pOid, DWORD cAttr,
                                    const DerBlob rgrgAttrBlob[][MINASN1_ATTR_BLOB_CNT]);
