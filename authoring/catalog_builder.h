// Signed catalogs made with OpenSSL's libcrypto: RSA keys and signatures,
// X.509 certificates, certificate trust lists (CTLs) and the PKCS #7 signed
// data that wraps them. The test suites use the building blocks, each open to
// deliberate damage; the image signing tool uses the one-call form
// (MakeSignedImageCatalog) with keys and certificates read from PEM files.
//
// A catalog as written here:
//   ContentInfo { 1.2.840.113549.1.7.2, [0] SignedData {
//     version 1, digestAlgorithms { sha1 },
//     contentInfo { 1.3.6.1.4.1.311.10.1, [0] CTL }     -- the CTL itself, no OCTET STRING around it
//     [0] certificates (signer first, then the chain),
//     signerInfos { { version 1, issuerAndSerialNumber, sha1,
//                     [0] authenticatedAttributes { contentType, messageDigest },
//                     rsaEncryption, encryptedDigest } } } }
// The message digest covers the content octets of the CTL (without its own
// tag and length); the signature is RSA PKCS #1 v1.5 over the DigestInfo of
// the authenticated attributes encoded as a SET.
//
// Every failure (libcrypto refusing a step, a file that cannot be read, a
// malformed argument) throws catalog::BuildError; nothing is reported any
// other way. Native only (needs libcrypto).
//
// Library tf_catalog_builder (authoring/CMakeLists.txt), in every native
// build that has libcrypto.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "authoring/der_builder.h"

namespace catalog {

using der::Bytes;

struct BuildError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

constexpr const char* kCtlOid = "1.3.6.1.4.1.311.10.1";
constexpr const char* kCatalogSignerPurpose = "1.3.6.1.4.1.311.10.3.15";
constexpr const char* kNameValueOid = "1.3.6.1.4.1.311.12.2.1";
constexpr const char* kMemberHashOid = "1.3.6.1.4.1.311.2.1.4";

// ---------------------------------------------------------------------------
// Keys and signatures.

using Pkey = std::shared_ptr<EVP_PKEY>;  // frees the key with EVP_PKEY_free
Pkey AdoptKey(EVP_PKEY* key);            // takes ownership; null stays null

// A fresh RSA key pair.
Pkey GenerateRsaKey(int bits, unsigned long exponent = 65537);
// The first private key in a PEM file (unencrypted; PKCS #8 or traditional).
Pkey LoadPrivateKeyPem(const std::string& path);
// The DER SubjectPublicKeyInfo of a key.
Bytes PublicKeyInfo(EVP_PKEY* key);

Bytes Digest(const EVP_MD* md, const Bytes& data);
// The DER DigestInfo up to (not including) the digest octets, most
// significant byte first, with NULL or absent algorithm parameters.
Bytes DigestInfoPrefix(const EVP_MD* md, bool withNullParameters);
// PKCS #1 v1.5 type-1 signature over `payload` as given (00 01 FF.. 00
// payload): with a DigestInfo as payload this is an ordinary signature, with a
// bare hash the old form without DigestInfo.
Bytes SignPayload(EVP_PKEY* key, const Bytes& payload);
// Raw private-key operation on a block of exactly the modulus length, for
// blocks no padding routine would make.
Bytes SignRawBlock(EVP_PKEY* key, const Bytes& block);
// Ordinary signature: DigestInfo (NULL parameters) of md(data).
Bytes SignData(EVP_PKEY* key, const EVP_MD* md, const Bytes& data);

// ---------------------------------------------------------------------------
// Certificates.

// The DER certificates of a PEM file, in file order (at least one).
std::vector<Bytes> LoadCertificatesPem(const std::string& path);
// The encoded issuer Name and the serial number's INTEGER content octets,
// exactly as the certificate carries them.
struct IssuerAndSerial {
  Bytes issuer;
  Bytes serial;
};
IssuerAndSerial IssuerAndSerialOf(const Bytes& certificate);

// A version-3 certificate signed by `signer`. Validity is fixed (2024 to
// 2044): nothing on the verifying side looks at it.
struct CertSpec {
  Bytes issuer;                        // encoded Name
  Bytes subject;                       // encoded Name
  Bytes serial = {0x01};               // INTEGER content octets
  Bytes publicKeyInfo;                 // subject key, encoded SubjectPublicKeyInfo
  EVP_PKEY* signer = nullptr;          // issuer's private key
  const EVP_MD* hashAlg = EVP_sha1();  // hash of the signature
  std::string signatureOid;            // empty: sha1/md5WithRSAEncryption by hashAlg
  std::vector<std::string> purposes;   // extended key usage; none: no such extension
  bool ca = false;                     // critical basicConstraints with cA TRUE, first
  std::vector<Bytes> extraExtensions;  // placed before the key-usage extension
  bool noExtensions = false;           // no [3] at all
};
Bytes MakeCertificate(const CertSpec& spec);

// ---------------------------------------------------------------------------
// Certificate trust lists.

// Member attribute 1.3.6.1.4.1.311.2.1.4: indirect data whose DigestInfo
// (SHA-1 algorithm) carries `hash` as given.
Bytes MemberHashAttribute(const Bytes& hash);
// A harmless member attribute (type 1.3.6.1.4.1.311.12.2.2, value n).
Bytes OtherAttribute(int n);
// A member: identifier OCTET STRING (the bytes of `tag`) and the attribute SET.
Bytes Member(const std::string& tag, const std::vector<Bytes>& attrs);
// A catalog extension holding a name-value: BMPString name, flags
// 0x10010001, OCTET STRING value as given.
Bytes NameValueExtension(std::u16string_view name, const Bytes& value, std::string_view oid = kNameValueOid);
// A harmless catalog extension.
Bytes OtherExtension(int n);
// Little-endian UTF-16 with the terminating zero character.
Bytes Utf16LeWithTerminator(std::u16string_view text);

struct CtlHeader {
  Bytes listIdentifier = der::FromString("TESTCATALOG");  // OCTET STRING content
  std::string thisUpdate = "240101000000Z";               // UTCTime text
};
// CTL { usage {1.3.6.1.4.1.311.12.1.1}, identifier, thisUpdate,
// subject algorithm 1.3.6.1.4.1.311.12.1.2, members, [0] extensions (left out
// when there are none) }.
Bytes MakeCtl(const std::vector<Bytes>& members, const std::vector<Bytes>& extensions,
              const CtlHeader& header = CtlHeader());

// ---------------------------------------------------------------------------
// PKCS #7 signed data, one signer. The defaults make a sound message; the
// other fields are there to damage it.
struct SignedDataSpec {
  std::string contentType = kCtlOid;
  Bytes content;  // whole inner content element (tag, length, content)
  std::vector<Bytes> certs;
  Bytes signerIssuer, signerSerial;  // encoded Name; INTEGER content octets
  EVP_PKEY* signerKey = nullptr;
  const EVP_MD* hashAlg = EVP_sha1();
  bool authAttrs = true;              // false: the signature covers the content octets
  std::vector<Bytes> extraAuthAttrs;  // placed between content type and message digest
  Bytes messageDigestSuffix;          // appended to the real digest
  bool omitMessageDigest = false;     // authenticated attributes without the digest
  std::string digestOid;              // empty: the OID of md
  bool noSignerInfo = false;          // empty signerInfos SET
  bool unauthAttrs = false;           // add a [1] unauthenticated attribute
};
Bytes MakeSignedData(const SignedDataSpec& spec);

// ---------------------------------------------------------------------------
// One-call signing, as the image tool does it.

struct Signer {
  Pkey key;                  // private key of the signer certificate
  Bytes certificate;         // DER signer certificate
  std::vector<Bytes> chain;  // further certificates to carry (intermediates, optionally the anchor)
};
// Reads the signer's key and certificates. `certPem` holds the signer
// certificate first and may hold chain certificates after it; each of
// `chainPems` adds its certificates in order.
Signer LoadSigner(const std::string& keyPem, const std::string& certPem,
                  const std::vector<std::string>& chainPems = {});
// The same from libcrypto objects: the key is shared (its reference count
// raised), the certificates are encoded. Refuses a key that does not belong
// to the certificate.
Signer MakeSigner(EVP_PKEY* key, X509* certificate, const std::vector<X509*>& chain = {});

// The usual spec for `signer` around `content` (issuer and serial number
// taken from its certificate; certificates: signer, then chain).
SignedDataSpec SignedDataFor(const Signer& signer, const Bytes& content);

struct NameValue {
  std::u16string name;   // e.g. u"Manufacturer", u"Model"; stored as BMPString
  std::u16string value;  // stored as little-endian UTF-16 with the terminating zero
};
struct ImageCatalog {
  Bytes imageSha1;                    // the image digest, 20 bytes
  std::vector<NameValue> attributes;  // catalog name-values, in this order; the verifier
                                      // looks at the first three extensions only
  std::string thisUpdate;             // UTCTime text "YYMMDDhhmmssZ"; empty: the current time
  Bytes listIdentifier;               // empty: the first 16 bytes of the image digest
};
// A CTL with one member listing the image digest (identifier: the digest in
// upper-case hex as little-endian UTF-16) and the name-values as extensions.
Bytes MakeImageCtl(const ImageCatalog& catalog);
// MakeImageCtl signed by `signer` with SHA-1: the catalog file's bytes.
Bytes MakeSignedImageCatalog(const ImageCatalog& catalog, const Signer& signer);

// ---------------------------------------------------------------------------
// Independent check: libcrypto's verdict on a catalog, for tests, benchmarks
// and a signing tool's self-check. It checks the signer's signature over the
// trust list's content octets (through the authenticated attributes) and the
// certificate chain from the signer up to the anchor certificate, for any
// purpose and at any time. The anchor's own signature is not checked.
class ReferenceVerifier {
 public:
  explicit ReferenceVerifier(const Bytes& anchorCertificate);  // DER; throws BuildError if unreadable
  ~ReferenceVerifier();
  ReferenceVerifier(const ReferenceVerifier&) = delete;
  ReferenceVerifier& operator=(const ReferenceVerifier&) = delete;
  // True when the catalog verifies; false for anything else, malformed input included.
  bool Verify(const Bytes& catalog) const;

 private:
  X509_STORE* store_;
};

}  // namespace catalog
