#include "tools/catalog_signer.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>
#include <initializer_list>

#include "mincrypt/anchors.h"
#include "mincrypt/rootlevel.h"

namespace catalogsign {

namespace {

// --- A minimal DER writer: each function returns one complete element. ---

Bytes Length(size_t n) {
  if (n < 0x80) return {static_cast<uint8_t>(n)};
  Bytes octets;
  for (size_t v = n; v != 0; v >>= 8) octets.insert(octets.begin(), static_cast<uint8_t>(v & 0xFF));
  octets.insert(octets.begin(), static_cast<uint8_t>(0x80 | octets.size()));
  return octets;
}

Bytes Tlv(uint8_t tag, const Bytes& content) {
  Bytes out{tag};
  const Bytes len = Length(content.size());
  out.insert(out.end(), len.begin(), len.end());
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Seq(std::initializer_list<Bytes> items) { return Tlv(0x30, Concat(items)); }
Bytes Set(std::initializer_list<Bytes> items) { return Tlv(0x31, Concat(items)); }
Bytes Explicit0(const Bytes& inner) { return Tlv(0xA0, inner); }
Bytes OctetString(const Bytes& content) { return Tlv(0x04, content); }
Bytes Null() { return {0x05, 0x00}; }

Bytes SmallInteger(uint32_t value) {
  Bytes content;
  for (uint32_t v = value; v != 0; v >>= 8) content.insert(content.begin(), static_cast<uint8_t>(v & 0xFF));
  if (content.empty() || (content[0] & 0x80) != 0) content.insert(content.begin(), 0);
  return Tlv(0x02, content);
}

Bytes Oid(std::initializer_list<uint32_t> arcs) {
  const std::vector<uint32_t> arc(arcs);
  Bytes content;
  auto base128 = [&content](uint32_t v) {
    Bytes digits{static_cast<uint8_t>(v & 0x7F)};
    for (v >>= 7; v != 0; v >>= 7) digits.insert(digits.begin(), static_cast<uint8_t>(0x80 | (v & 0x7F)));
    content.insert(content.end(), digits.begin(), digits.end());
  };
  base128(arc[0] * 40 + arc[1]);
  for (size_t i = 2; i < arc.size(); ++i) base128(arc[i]);
  return Tlv(0x06, content);
}

Bytes BmpString(const std::u16string& text) {
  Bytes content;
  for (char16_t c : text) {
    content.push_back(static_cast<uint8_t>(c >> 8));
    content.push_back(static_cast<uint8_t>(c & 0xFF));
  }
  return Tlv(0x1E, content);
}

Bytes Ascii(const char* text) { return Bytes(text, text + std::strlen(text)); }

// --- Object identifiers of the catalog format. ---

Bytes SignedDataOid() { return Oid({1, 2, 840, 113549, 1, 7, 2}); }
Bytes CtlOid() { return Oid({1, 3, 6, 1, 4, 1, 311, 10, 1}); }
Bytes Sha1Oid() { return Oid({1, 3, 14, 3, 2, 26}); }
Bytes RsaEncryptionOid() { return Oid({1, 2, 840, 113549, 1, 1, 1}); }
Bytes ContentTypeAttrOid() { return Oid({1, 2, 840, 113549, 1, 9, 3}); }
Bytes MessageDigestAttrOid() { return Oid({1, 2, 840, 113549, 1, 9, 4}); }
Bytes CatalogListUsageOid() { return Oid({1, 3, 6, 1, 4, 1, 311, 12, 1, 1}); }
Bytes CatalogMemberHashAlgOid() { return Oid({1, 3, 6, 1, 4, 1, 311, 12, 1, 2}); }
Bytes MemberHashAttrOid() { return Oid({1, 3, 6, 1, 4, 1, 311, 2, 1, 4}); }
Bytes IndirectDataTypeOid() { return Oid({1, 3, 6, 1, 4, 1, 311, 2, 1, 15}); }
Bytes NameValueOid() { return Oid({1, 3, 6, 1, 4, 1, 311, 12, 2, 1}); }

// Flags word of a name-value attribute as catalog tools write it (not read
// back by the verifier).
constexpr uint32_t kNameValueFlags = 0x10010001;

Bytes NameValueExtension(const std::u16string& name, const Bytes& value) {
  return Seq({NameValueOid(), OctetString(Seq({BmpString(name), SmallInteger(kNameValueFlags), OctetString(value)}))});
}

// One member: its tag (the digest in hex, as catalog tools name members) and
// the file-hash attribute, whose indirect data carries the digest.
Bytes DigestMember(const uint8_t digest[20]) {
  static const char kHex[] = "0123456789ABCDEF";
  Bytes tag;
  for (int i = 0; i < 20; ++i) {
    tag.push_back(static_cast<uint8_t>(kHex[digest[i] >> 4]));
    tag.push_back(static_cast<uint8_t>(kHex[digest[i] & 0xF]));
  }
  const Bytes indirect = Seq({Seq({IndirectDataTypeOid(), Seq({Tlv(0x03, {0x00}), Explicit0({})})}),
                              Seq({Seq({Sha1Oid(), Null()}), OctetString(Bytes(digest, digest + 20))})});
  return Seq({OctetString(tag), Set({Seq({MemberHashAttrOid(), Set({indirect})})})});
}

Bytes TrustList(const CatalogContent& content) {
  return Seq({
      Seq({CatalogListUsageOid()}),
      OctetString(Ascii("TESSFOLD-IMAGE")),
      Tlv(0x17, Ascii("250101000000Z")),
      Seq({CatalogMemberHashAlgOid(), Null()}),
      Seq({DigestMember(content.digest)}),
      Explicit0(Seq({NameValueExtension(u"Manufacturer", content.makeValue.value_or(AttributeValue(content.make))),
                     NameValueExtension(u"Model", content.modelValue.value_or(AttributeValue(content.model)))})),
  });
}

// The content octets of a complete element (its tag and length removed).
Bytes ContentOctets(const Bytes& element) {
  size_t i = 1;
  size_t header = 2;
  if (element[i] & 0x80) header += element[i] & 0x7F;
  return Bytes(element.begin() + static_cast<long>(header), element.end());
}

std::string OpenSslReason() {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "unknown OpenSSL error";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

template <typename T, typename Encoder>
Bytes Encode(T* object, Encoder encode) {
  unsigned char* p = nullptr;
  const int n = encode(object, &p);
  if (n <= 0) return {};
  Bytes out(p, p + n);
  OPENSSL_free(p);
  return out;
}

Bytes NameDer(const X509_NAME* name) {
  return Encode(const_cast<X509_NAME*>(name), [](X509_NAME* n, unsigned char** p) { return i2d_X509_NAME(n, p); });
}
Bytes CertDer(X509* cert) { return Encode(cert, [](X509* c, unsigned char** p) { return i2d_X509(c, p); }); }
Bytes PublicKeyInfoDer(X509* cert) {
  return Encode(X509_get_X509_PUBKEY(cert), [](X509_PUBKEY* k, unsigned char** p) { return i2d_X509_PUBKEY(k, p); });
}
Bytes SerialContent(X509* cert) {
  const Bytes integer = Encode(const_cast<ASN1_INTEGER*>(X509_get0_serialNumber(cert)),
                               [](ASN1_INTEGER* i, unsigned char** p) { return i2d_ASN1_INTEGER(i, p); });
  return integer.empty() ? integer : ContentOctets(integer);
}

std::string NameText(const X509_NAME* name) {
  char text[256];
  X509_NAME_oneline(name, text, sizeof text);
  return text;
}

bool BlobEquals(const DerBlob& blob, const Bytes& bytes) {
  return blob.cbData == bytes.size() && std::memcmp(blob.pbData, bytes.data(), bytes.size()) == 0;
}

struct AnchorSet {
  const TrustAnchor* anchors;
  const DWORD* count;
  unsigned level;
};
const AnchorSet kAnchorSets[] = {
    {rgOdmRoots, &cOdmRoots, ROOT_LEVEL_ODM},
    {rgProductRoots, &cProductRoots, ROOT_LEVEL_PRODUCT},
    {rgTestRoots, &cTestRoots, ROOT_LEVEL_TEST},
};

// The level of the anchor whose field equals `bytes`, or 0.
unsigned FindAnchor(const Bytes& bytes, DerBlob TrustAnchor::*field) {
  for (const AnchorSet& set : kAnchorSets) {
    for (DWORD i = 0; i < *set.count; ++i) {
      if (BlobEquals(set.anchors[i].*field, bytes)) return set.level;
    }
  }
  return 0;
}

std::unique_ptr<BIO, decltype(&BIO_free)> OpenPem(const std::string& path) {
  return {BIO_new_file(path.c_str(), "rb"), BIO_free};
}

}  // namespace

Bytes AttributeValue(const std::u16string& text) {
  Bytes value;
  for (char16_t c : text) {
    value.push_back(static_cast<uint8_t>(c & 0xFF));
    value.push_back(static_cast<uint8_t>(c >> 8));
  }
  value.push_back(0);
  value.push_back(0);
  return value;
}

struct Signer::State {
  EVP_PKEY* key = nullptr;
  X509* cert = nullptr;
  std::vector<X509*> chain;
  ~State() {
    EVP_PKEY_free(key);
    X509_free(cert);
    for (X509* c : chain) X509_free(c);
  }
};

Signer::Signer(std::unique_ptr<State> state) : state_(std::move(state)) {}
Signer::~Signer() = default;

std::unique_ptr<Signer> Signer::Load(const std::string& keyPath, const std::string& certPath,
                                     const std::vector<std::string>& chainPaths, std::string* error) {
  auto state = std::make_unique<State>();
  {
    auto bio = OpenPem(keyPath);
    if (!bio) {
      *error = "cannot read key file '" + keyPath + "'";
      return nullptr;
    }
    state->key = PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr);
    if (state->key == nullptr) {
      *error = "no PEM private key in '" + keyPath + "'";
      ERR_clear_error();
      return nullptr;
    }
    if (EVP_PKEY_get_base_id(state->key) != EVP_PKEY_RSA) {
      *error = "the key in '" + keyPath + "' is not an RSA key";
      return nullptr;
    }
  }
  {
    auto bio = OpenPem(certPath);
    if (!bio) {
      *error = "cannot read certificate file '" + certPath + "'";
      return nullptr;
    }
    state->cert = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr);
    if (state->cert == nullptr) {
      *error = "no PEM certificate in '" + certPath + "'";
      ERR_clear_error();
      return nullptr;
    }
  }
  for (const std::string& path : chainPaths) {
    auto bio = OpenPem(path);
    if (!bio) {
      *error = "cannot read chain file '" + path + "'";
      return nullptr;
    }
    size_t before = state->chain.size();
    while (X509* c = PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)) state->chain.push_back(c);
    ERR_clear_error();
    if (state->chain.size() == before) {
      *error = "no PEM certificate in chain file '" + path + "'";
      return nullptr;
    }
  }
  return std::unique_ptr<Signer>(new Signer(std::move(state)));
}

bool Signer::KeyMatchesCertificate() const {
  const bool match = X509_check_private_key(state_->cert, state_->key) == 1;
  ERR_clear_error();
  return match;
}

bool Signer::ReachesBuiltInAnchor(unsigned* pdwLevel, std::string* error) const {
  X509* current = state_->cert;
  // The verifier walks at most 10 steps above the signer.
  for (int step = 0; step <= 10; ++step) {
    const X509_NAME* issuer = X509_get_issuer_name(current);
    const Bytes issuerDer = NameDer(issuer);
    if (X509_NAME_cmp(issuer, X509_get_subject_name(current)) == 0 &&
        issuerDer == NameDer(X509_get_subject_name(current))) {
      if (const unsigned level = FindAnchor(PublicKeyInfoDer(current), &TrustAnchor::PublicKeyInfo)) {
        *pdwLevel = level;
        return true;
      }
      *error = "certificate chain ends at self-issued '" + NameText(issuer) + "', which is not a built-in anchor";
      return false;
    }
    if (const unsigned level = FindAnchor(issuerDer, &TrustAnchor::Name)) {
      *pdwLevel = level;
      return true;
    }
    X509* next = nullptr;
    for (X509* candidate : state_->chain) {
      if (NameDer(X509_get_subject_name(candidate)) == issuerDer) {
        next = candidate;
        break;
      }
    }
    if (next == nullptr) {
      *error = "certificate chain does not reach a built-in anchor: no certificate for issuer '" + NameText(issuer) +
               "'";
      return false;
    }
    current = next;
  }
  *error = "certificate chain does not reach a built-in anchor within 10 steps";
  return false;
}

bool Signer::Sign(const CatalogContent& content, Bytes* catalog, std::string* error) const {
  const Bytes ctl = TrustList(content);
  uint8_t contentDigest[20];
  unsigned int cbDigest = 0;
  const Bytes ctlContent = ContentOctets(ctl);
  if (EVP_Digest(ctlContent.data(), ctlContent.size(), contentDigest, &cbDigest, EVP_sha1(), nullptr) != 1) {
    *error = "SHA-1 failed: " + OpenSslReason();
    return false;
  }
  const Bytes attrs = Concat({Seq({ContentTypeAttrOid(), Set({CtlOid()})}),
                              Seq({MessageDigestAttrOid(), Set({OctetString(Bytes(contentDigest, contentDigest + 20))})})});
  // The signature covers the attributes encoded as a SET.
  const Bytes signedAttrs = Tlv(0x31, attrs);

  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  size_t cbSignature = 0;
  Bytes signature;
  if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha1(), nullptr, state_->key) != 1 ||
      EVP_DigestSign(ctx.get(), nullptr, &cbSignature, signedAttrs.data(), signedAttrs.size()) != 1) {
    *error = "signing failed: " + OpenSslReason();
    return false;
  }
  signature.resize(cbSignature);
  if (EVP_DigestSign(ctx.get(), signature.data(), &cbSignature, signedAttrs.data(), signedAttrs.size()) != 1) {
    *error = "signing failed: " + OpenSslReason();
    return false;
  }
  signature.resize(cbSignature);

  Bytes certs = CertDer(state_->cert);
  for (X509* c : state_->chain) {
    const Bytes der = CertDer(c);
    certs.insert(certs.end(), der.begin(), der.end());
  }
  const Bytes signerInfo = Seq({
      SmallInteger(1),
      Seq({NameDer(X509_get_issuer_name(state_->cert)), Tlv(0x02, SerialContent(state_->cert))}),
      Seq({Sha1Oid(), Null()}),
      Tlv(0xA0, attrs),
      Seq({RsaEncryptionOid(), Null()}),
      OctetString(signature),
  });
  const Bytes signedData = Seq({
      SmallInteger(1),
      Set({Seq({Sha1Oid(), Null()})}),
      Seq({CtlOid(), Explicit0(ctl)}),
      Tlv(0xA0, certs),
      Set({signerInfo}),
  });
  *catalog = Seq({SignedDataOid(), Explicit0(signedData)});
  return true;
}

}  // namespace catalogsign
