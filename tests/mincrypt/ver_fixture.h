// Fixtures for the verification suites: the signed-catalog builder
// (tests/support/catalog_builder.h) plus what only the suites need: cached
// keys, the built-in anchors' private keys and data, and a standard chain.
//
// OpenSSL is the independent signer here: our code only ever verifies what it
// produced. Native only.
#pragma once

#include <string>
#include <vector>

#include "mincrypt/derblob.h"
#include "tests/support/catalog_builder.h"

namespace verfix {

using catalog::Bytes;
using catalog::CertSpec;
using catalog::Digest;
using catalog::DigestInfoPrefix;
using catalog::kCatalogSignerPurpose;
using catalog::kCtlOid;
using catalog::MakeCertificate;
using catalog::MakeCtl;
using catalog::MakeSignedData;
using catalog::Member;
using catalog::MemberHashAttribute;
using catalog::NameValueExtension;
using catalog::OtherAttribute;
using catalog::OtherExtension;
using catalog::Pkey;
using catalog::PublicKeyInfo;
using catalog::SignData;
using catalog::SignedDataSpec;
using catalog::SignPayload;
using catalog::SignRawBlock;
using catalog::Utf16LeWithTerminator;

// A fresh RSA key (exponent 65537), cached per size and slot so a suite pays
// for each size once; `slot` tells apart keys that must differ.
Pkey RsaKey(int bits, int slot = 0);
// An uncached key with another exponent.
Pkey RsaKeyWithExponent(int bits, unsigned long exponent);

// The private keys of the built-in anchors (keys/dev), by RootLevel value.
Pkey AnchorKey(int level);
// The anchor's encoded Name and SubjectPublicKeyInfo, as linked into the
// library.
Bytes AnchorName(int level);
Bytes AnchorPublicKeyInfo(int level);

// A chain as the message carries it.
struct Chain {
  Bytes signerCert;
  Pkey signerKey;
  std::vector<Bytes> certs;  // every certificate the message carries, signer first
  catalog::Signer AsSigner() const;
};
// signer (with the catalog purpose) <- intermediate CA <- anchor `level`; the
// intermediate and signer keys have `bits` bits.
Chain StandardChain(int level, const EVP_MD* md = EVP_sha1(), int bits = 2048);

// The usual spec for `chain` around `content`.
SignedDataSpec SignedDataFor(const Chain& chain, const Bytes& content);

inline DerBlob Blob(const Bytes& b) { return DerBlob{static_cast<DWORD>(b.size()), b.data()}; }

}  // namespace verfix
