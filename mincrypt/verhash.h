// Hash algorithm identifiers, RSA public-key import and the RSA signature
// check over a finished hash (PKCS #1 v1.5 block type 1).
#pragma once

#include "crypto/rsa.h"
#include "mincrypt/derblob.h"
#include "mincrypt/hashmem.h"
#include "mincrypt/verstatus.h"

// Maps an encoded AlgorithmIdentifier to CALG_SHA1 or CALG_MD5. Returns 0 when
// the identifier does not parse or names no algorithm that the library knows
// (the table accepts the hash identifiers and the RSA-with-hash signature
// identifiers of both algorithms, plus the old OIW variants).
ALG_ID MinCryptDecodeHashAlgorithm(const DerBlob* pAlgIdBlob);

// Builds *pKey from the slots of a parsed RSAPublicKey
// (rgRsaPubKeyBlob[MINASN1_RSA_PUBKEY_BLOB_CNT]). One leading zero byte of
// each INTEGER is dropped; a modulus of 1..512 bytes and an exponent of 1..4
// bytes are accepted, anything else gives NTE_BAD_PUBLIC_KEY. The record is
// zeroed before it is filled.
LONG MinCryptImportRsaPublicKey(const DerBlob rgRsaPubKeyBlob[], RsaPublicKeyRecord* pKey);

// Verifies an RSA signature (big-endian, exactly the modulus length) over the
// hash pbHash[0..cbHash) with the key of an encoded SubjectPublicKeyInfo (its
// algorithm identifier is not looked at). AlgId selects the DigestInfo
// prefixes that may sit between the padding and the hash; a block with the
// hash right after the 00 separator is accepted too. Returns 0,
// NTE_BAD_PUBLIC_KEY, NTE_BAD_SIGNATURE or NTE_BAD_ALGID. Uses only the
// stack (two 528-byte buffers and the key record).
LONG MinCryptVerifyHashSignature(ALG_ID AlgId, const BYTE* pbHash, DWORD cbHash, const DerBlob* pSignatureBlob,
                                 const DerBlob* pPubKeyInfoBlob);
