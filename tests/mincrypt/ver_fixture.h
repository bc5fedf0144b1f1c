// Fixtures for the verification suites: RSA keys and signatures from OpenSSL,
// certificates, PKCS #7 signed data and certificate trust lists written with
// the DER builder, every piece open to deliberate damage.
//
// OpenSSL is the independent signer here: our code only ever verifies what it
// produced. Native only.
#pragma once

#include <openssl/evp.h>

#include <memory>
#include <string>
#include <vector>

#include "mincrypt/derblob.h"
#include "tests/support/der_builder.h"

namespace verfix {

using der::Bytes;

struct PkeyFree {
  void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); }
};
using Pkey = std::shared_ptr<EVP_PKEY>;

// A fresh RSA key (exponent 65537 unless given). Keys are cached per size and
// slot so a suite pays for each size once; `slot` tells apart keys that must
// differ.
Pkey RsaKey(int bits, int slot = 0);
Pkey RsaKeyWithExponent(int bits, unsigned long exponent);
// The DER SubjectPublicKeyInfo of a key.
Bytes PublicKeyInfo(EVP_PKEY* key);

// PKCS #1 v1.5 type-1 signature over `payload` as it stands (OpenSSL pads it:
// 00 01 FF.. 00 payload). With a DigestInfo prefix as payload this is an
// ordinary signature; with a bare hash it is the old CryptoAPI form.
Bytes SignPayload(EVP_PKEY* key, const Bytes& payload);
// Raw private-key operation on a full block of the modulus length, for blocks
// that no padding routine would make.
Bytes SignRawBlock(EVP_PKEY* key, const Bytes& block);
// Ordinary signature: DigestInfo (with NULL parameters) of the digest of data.
Bytes SignData(EVP_PKEY* key, const EVP_MD* md, const Bytes& data);
Bytes Digest(const EVP_MD* md, const Bytes& data);

// DigestInfo prefixes, most significant byte first.
Bytes DigestInfoPrefix(const EVP_MD* md, bool withNullParameters);

// The private keys of the built-in anchors (keys/dev), by RootLevel value.
Pkey AnchorKey(int level);
// The anchor's encoded Name and SubjectPublicKeyInfo, as linked into the
// library.
Bytes AnchorName(int level);
Bytes AnchorPublicKeyInfo(int level);

// Certificates.
constexpr const char* kCatalogSignerPurpose = "1.3.6.1.4.1.311.10.3.15";
struct CertSpec {
  Bytes issuer;                           // encoded Name
  Bytes subject;                          // encoded Name
  Bytes serial = {0x01};                  // INTEGER content octets
  Bytes publicKeyInfo;                    // subject key, encoded SubjectPublicKeyInfo
  EVP_PKEY* signer = nullptr;             // issuer's private key
  const EVP_MD* md = EVP_sha1();          // hash of the signature
  std::string signatureOid;               // empty: sha1/md5WithRSAEncryption by md
  std::vector<std::string> purposes;      // extended key usage; none: no extension
  std::vector<Bytes> extraExtensions;     // placed before the key-usage extension
  bool noExtensions = false;              // no [3] at all
};
Bytes MakeCertificate(const CertSpec& spec);

// A chain as the message carries it.
struct Chain {
  Bytes signerCert;
  Bytes signerIssuer;  // encoded Name
  Bytes signerSerial;  // INTEGER content octets
  Pkey signerKey;
  std::vector<Bytes> certs;  // every certificate the message carries, signer first
};
// signer (with the catalog purpose) <- intermediate CA <- anchor `level`.
Chain StandardChain(int level, const EVP_MD* md = EVP_sha1());

// PKCS #7 signed data.
constexpr const char* kCtlOid = "1.3.6.1.4.1.311.10.1";
struct SignedDataSpec {
  std::string contentType = kCtlOid;
  Bytes content;                       // whole inner content element
  std::vector<Bytes> certs;
  Bytes signerIssuer, signerSerial;
  EVP_PKEY* signerKey = nullptr;
  const EVP_MD* md = EVP_sha1();
  bool authAttrs = true;
  std::vector<Bytes> extraAuthAttrs;   // placed before the message digest
  Bytes messageDigestSuffix;           // appended to the real digest
  bool omitMessageDigest = false;      // authenticated attributes without the digest
  std::string digestOid;               // empty: the OID of md
  bool noSignerInfo = false;           // empty signerInfos SET
  bool unauthAttrs = false;
};
Bytes MakeSignedData(const SignedDataSpec& spec);
// The usual spec for `chain` around `content`.
SignedDataSpec SignedDataFor(const Chain& chain, const Bytes& content);

// Certificate trust lists.
Bytes MemberHashAttribute(const Bytes& hash);       // file-hash attribute, SHA-1 DigestInfo
Bytes OtherAttribute(int n);                        // a harmless attribute
Bytes Member(const std::string& tag, const std::vector<Bytes>& attrs);
Bytes NameValueExtension(std::u16string_view name, const Bytes& value, std::string_view oid = "1.3.6.1.4.1.311.12.2.1");
Bytes OtherExtension(int n);
Bytes Utf16LeWithTerminator(std::u16string_view text);
Bytes MakeCtl(const std::vector<Bytes>& members, const std::vector<Bytes>& extensions);

inline DerBlob Blob(const Bytes& b) { return DerBlob{static_cast<DWORD>(b.size()), b.data()}; }

}  // namespace verfix
