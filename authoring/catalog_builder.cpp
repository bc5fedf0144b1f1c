#include "authoring/catalog_builder.h"

#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/pkcs7.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <ctime>

namespace catalog {

using namespace der;

namespace {

void Check(bool ok, const std::string& what) {
  if (!ok) throw BuildError("catalog builder: " + what + " failed");
}

Bytes PrivateOp(EVP_PKEY* key, const Bytes& in, int padding) {
  Check(key != nullptr, "signing without a key");
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new(key, nullptr), EVP_PKEY_CTX_free);
  Check(ctx && EVP_PKEY_sign_init(ctx.get()) > 0, "RSA sign init");
  Check(EVP_PKEY_CTX_set_rsa_padding(ctx.get(), padding) > 0, "RSA padding");
  size_t cb = 0;
  Check(EVP_PKEY_sign(ctx.get(), nullptr, &cb, in.data(), in.size()) > 0, "RSA signature size");
  Bytes out(cb);
  Check(EVP_PKEY_sign(ctx.get(), out.data(), &cb, in.data(), in.size()) > 0, "RSA private-key operation");
  out.resize(cb);
  return out;
}

const char* SignatureOid(const EVP_MD* md) {
  return EVP_MD_get_type(md) == NID_md5 ? "1.2.840.113549.1.1.4" : "1.2.840.113549.1.1.5";
}

const char* DigestOid(const EVP_MD* md) {
  return EVP_MD_get_type(md) == NID_md5 ? "1.2.840.113549.2.5" : "1.3.14.3.2.26";
}

// A minimal reader over well-formed DER, enough to find fields in
// certificates and to split an element into header and content.
struct Element {
  size_t cbHeader = 0;
  size_t cbContent = 0;
  size_t Size() const { return cbHeader + cbContent; }
};

Element ReadElement(const uint8_t* p, size_t cb, const char* what) {
  Element e;
  Check(cb >= 2 && (p[0] & 0x1F) != 0x1F, what);
  size_t i = 1;
  size_t len = p[i++];
  if (len & 0x80) {
    const size_t n = len & 0x7F;
    Check(n >= 1 && n <= 4 && i + n <= cb, what);
    len = 0;
    for (size_t k = 0; k < n; k++) len = (len << 8) | p[i++];
  }
  Check(len <= cb - i, what);
  e.cbHeader = i;
  e.cbContent = len;
  return e;
}

Bytes Utf16Le(std::u16string_view text) {
  Bytes out;
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}

Bytes EncodeCertificate(X509* x) {
  unsigned char* p = nullptr;
  const int cb = x ? i2d_X509(x, &p) : 0;
  Check(cb > 0, "encoding a certificate");
  Bytes out(p, p + cb);
  OPENSSL_free(p);
  return out;
}

// A key that does not match the certificate would make a catalog nobody can verify.
void CheckKeyMatches(const Signer& signer) {
  const unsigned char* p = signer.certificate.data();
  std::unique_ptr<X509, decltype(&X509_free)> x(d2i_X509(nullptr, &p, static_cast<long>(signer.certificate.size())),
                                                X509_free);
  Check(x != nullptr, "decoding the signer certificate");
  Check(X509_check_private_key(x.get(), signer.key.get()) == 1, "matching the key to the signer certificate");
}

std::string UtcTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm = {};
  Check(gmtime_r(&now, &tm) != nullptr, "reading the clock");
  char text[16];
  Check(std::strftime(text, sizeof(text), "%y%m%d%H%M%SZ", &tm) == 13, "formatting the time");
  return text;
}

}  // namespace

// --- keys and signatures ---------------------------------------------------

Pkey AdoptKey(EVP_PKEY* key) { return Pkey(key, EVP_PKEY_free); }

Pkey GenerateRsaKey(int bits, unsigned long exponent) {
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr),
                                                                  EVP_PKEY_CTX_free);
  Check(ctx && EVP_PKEY_keygen_init(ctx.get()) > 0, "RSA keygen init");
  Check(EVP_PKEY_CTX_set_rsa_keygen_bits(ctx.get(), bits) > 0, "RSA keygen bits");
  std::unique_ptr<BIGNUM, decltype(&BN_free)> e(BN_new(), BN_free);
  Check(e && BN_set_word(e.get(), exponent) > 0, "RSA exponent");
  Check(EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx.get(), e.get()) > 0, "RSA keygen exponent");
  EVP_PKEY* key = nullptr;
  Check(EVP_PKEY_keygen(ctx.get(), &key) > 0, "RSA keygen");
  return AdoptKey(key);
}

Pkey LoadPrivateKeyPem(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  Check(f != nullptr, "opening " + path);
  EVP_PKEY* key = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
  std::fclose(f);
  Check(key != nullptr, "reading a private key from " + path);
  return AdoptKey(key);
}

Bytes PublicKeyInfo(EVP_PKEY* key) {
  unsigned char* p = nullptr;
  const int cb = i2d_PUBKEY(key, &p);
  Check(cb > 0, "encoding a public key");
  Bytes out(p, p + cb);
  OPENSSL_free(p);
  return out;
}

Bytes Digest(const EVP_MD* md, const Bytes& data) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int cb = 0;
  Check(EVP_Digest(data.data(), data.size(), out.data(), &cb, md, nullptr) > 0, "digest");
  out.resize(cb);
  return out;
}

Bytes DigestInfoPrefix(const EVP_MD* md, bool withNullParameters) {
  const Bytes algId = withNullParameters ? AlgorithmIdentifier(DigestOid(md)) : Seq({Oid(DigestOid(md))});
  const size_t cbHash = static_cast<size_t>(EVP_MD_get_size(md));
  Bytes digestInfo = Seq({algId, OctetString(Bytes(cbHash, 0))});
  digestInfo.resize(digestInfo.size() - cbHash);
  return digestInfo;
}

Bytes SignPayload(EVP_PKEY* key, const Bytes& payload) { return PrivateOp(key, payload, RSA_PKCS1_PADDING); }

Bytes SignRawBlock(EVP_PKEY* key, const Bytes& block) { return PrivateOp(key, block, RSA_NO_PADDING); }

Bytes SignData(EVP_PKEY* key, const EVP_MD* md, const Bytes& data) {
  return SignPayload(key, Cat({DigestInfoPrefix(md, true), Digest(md, data)}));
}

// --- certificates ------------------------------------------------------------

std::vector<Bytes> LoadCertificatesPem(const std::string& path) {
  struct FileClose {
    void operator()(FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<FILE, FileClose> f(std::fopen(path.c_str(), "rb"));
  Check(f != nullptr, "opening " + path);
  std::vector<Bytes> certs;
  while (X509* x = PEM_read_X509(f.get(), nullptr, nullptr, nullptr)) {
    std::unique_ptr<X509, decltype(&X509_free)> owned(x, X509_free);
    certs.push_back(EncodeCertificate(x));
  }
  Check(!certs.empty(), "reading certificates from " + path);
  return certs;
}

IssuerAndSerial IssuerAndSerialOf(const Bytes& certificate) {
  const char* what = "reading issuer and serial number of a certificate";
  const uint8_t* p = certificate.data();
  size_t cb = certificate.size();
  const Element cert = ReadElement(p, cb, what);
  p += cert.cbHeader;
  cb = cert.cbContent;
  const Element tbs = ReadElement(p, cb, what);
  p += tbs.cbHeader;
  cb = tbs.cbContent;
  Element e = ReadElement(p, cb, what);
  if (p[0] == 0xA0) {  // [0] version
    p += e.Size();
    cb -= e.Size();
    e = ReadElement(p, cb, what);
  }
  Check(p[0] == 0x02, what);
  IssuerAndSerial out;
  out.serial.assign(p + e.cbHeader, p + e.Size());
  p += e.Size();
  cb -= e.Size();
  e = ReadElement(p, cb, what);  // signature algorithm
  p += e.Size();
  cb -= e.Size();
  e = ReadElement(p, cb, what);
  Check(p[0] == 0x30, what);
  out.issuer.assign(p, p + e.Size());
  return out;
}

Bytes MakeCertificate(const CertSpec& spec) {
  std::vector<Bytes> extensions;
  if (spec.ca) extensions.push_back(Seq({Oid("2.5.29.19"), Boolean(true), OctetString(Seq({Boolean(true)}))}));
  extensions.insert(extensions.end(), spec.extraExtensions.begin(), spec.extraExtensions.end());
  if (!spec.purposes.empty()) {
    std::vector<Bytes> oids;
    for (const std::string& purpose : spec.purposes) oids.push_back(Oid(purpose));
    extensions.push_back(Seq({Oid("2.5.29.37"), OctetString(SeqOf(oids))}));
  }
  const std::string sigOid = spec.signatureOid.empty() ? SignatureOid(spec.hashAlg) : spec.signatureOid;
  const Bytes sigAlg = AlgorithmIdentifier(sigOid);
  const Bytes tbs = Seq({
      Explicit(0, {Integer(2)}),
      IntegerRaw(spec.serial),
      sigAlg,
      spec.issuer,
      Seq({UtcTime("240101000000Z"), UtcTime("440101000000Z")}),
      spec.subject,
      spec.publicKeyInfo,
      spec.noExtensions ? Bytes{} : Explicit(3, {SeqOf(extensions)}),
  });
  Check(spec.signer != nullptr, "certificate without a signer key");
  return Seq({tbs, sigAlg, BitString(SignData(spec.signer, spec.hashAlg, tbs))});
}

// --- certificate trust lists -------------------------------------------------

Bytes MemberHashAttribute(const Bytes& hash) {
  // SpcIndirectDataContent { SpcAttributeTypeAndOptionalValue, DigestInfo }.
  const Bytes indirect = Seq({Seq({Oid("1.3.6.1.4.1.311.2.1.15"), Seq({BitString({}), Explicit(0, {})})}),
                              Seq({AlgorithmIdentifier("1.3.14.3.2.26"), OctetString(hash)})});
  return Seq({Oid(kMemberHashOid), Set({indirect})});
}

Bytes OtherAttribute(int n) { return Seq({Oid("1.3.6.1.4.1.311.12.2.2"), Set({Seq({Integer(n)})})}); }

Bytes Member(const std::string& tag, const std::vector<Bytes>& attrs) {
  Bytes attrsContent;
  for (const Bytes& a : attrs) attrsContent = Cat({attrsContent, a});
  return Seq({OctetString(FromString(tag)), Tlv(0x31, attrsContent)});
}

Bytes NameValueExtension(std::u16string_view name, const Bytes& value, std::string_view oid) {
  return Seq({Oid(oid), OctetString(Seq({BmpString(name), Integer(0x10010001), OctetString(value)}))});
}

Bytes OtherExtension(int n) { return Seq({Oid("1.3.6.1.4.1.311.12.2.3"), OctetString(Integer(n))}); }

Bytes Utf16LeWithTerminator(std::u16string_view text) { return Cat({Utf16Le(text), {0, 0}}); }

Bytes MakeCtl(const std::vector<Bytes>& members, const std::vector<Bytes>& extensions, const CtlHeader& header) {
  return Seq({
      Seq({Oid("1.3.6.1.4.1.311.12.1.1")}),
      OctetString(header.listIdentifier),
      UtcTime(header.thisUpdate),
      AlgorithmIdentifier("1.3.6.1.4.1.311.12.1.2"),
      SeqOf(members),
      extensions.empty() ? Bytes{} : Explicit(0, {SeqOf(extensions)}),
  });
}

// --- signed data -------------------------------------------------------------

Bytes MakeSignedData(const SignedDataSpec& spec) {
  const Bytes digestAlg = AlgorithmIdentifier(spec.digestOid.empty() ? DigestOid(spec.hashAlg) : spec.digestOid);
  // The signer hashes the content octets of the inner content.
  const Element content = ReadElement(spec.content.data(), spec.content.size(), "reading the inner content");
  const Bytes contentOctets(spec.content.begin() + static_cast<long>(content.cbHeader),
                            spec.content.begin() + static_cast<long>(content.Size()));
  const Bytes contentDigest = Digest(spec.hashAlg, contentOctets);

  Bytes signerInfo;
  if (!spec.noSignerInfo) {
    Bytes authAttrsField;
    Bytes signature;
    if (spec.authAttrs) {
      // Content type sorts before the message digest, so the SET is in DER order.
      Bytes attrsContent = Seq({Oid("1.2.840.113549.1.9.3"), Set({Oid(spec.contentType)})});
      for (const Bytes& extra : spec.extraAuthAttrs) attrsContent = Cat({attrsContent, extra});
      if (!spec.omitMessageDigest) {
        attrsContent = Cat({attrsContent, Seq({Oid("1.2.840.113549.1.9.4"),
                                               Set({OctetString(Cat({contentDigest, spec.messageDigestSuffix}))})})});
      }
      authAttrsField = Tlv(0xA0, attrsContent);
      signature = SignData(spec.signerKey, spec.hashAlg, Tlv(0x31, attrsContent));
    } else {
      signature = SignData(spec.signerKey, spec.hashAlg, contentOctets);
    }
    signerInfo = Seq({
        Integer(1),
        Seq({spec.signerIssuer, IntegerRaw(spec.signerSerial)}),
        digestAlg,
        authAttrsField,
        AlgorithmIdentifier("1.2.840.113549.1.1.1"),
        OctetString(signature),
        spec.unauthAttrs ? Tlv(0xA1, Seq({Oid("1.3.6.1.4.1.311.2.4.1"), Set({Null()})})) : Bytes{},
    });
  }
  Bytes certs;
  for (const Bytes& c : spec.certs) certs = Cat({certs, c});
  const Bytes signedData = Seq({
      Integer(1),
      Set({digestAlg}),
      Seq({Oid(spec.contentType), Explicit(0, {spec.content})}),
      certs.empty() ? Bytes{} : Tlv(0xA0, certs),
      Tlv(0x31, signerInfo),
  });
  return Seq({Oid("1.2.840.113549.1.7.2"), Explicit(0, {signedData})});
}

// --- one-call signing --------------------------------------------------------

Signer LoadSigner(const std::string& keyPem, const std::string& certPem, const std::vector<std::string>& chainPems) {
  Signer signer;
  signer.key = LoadPrivateKeyPem(keyPem);
  std::vector<Bytes> certs = LoadCertificatesPem(certPem);
  signer.certificate = certs.front();
  signer.chain.assign(certs.begin() + 1, certs.end());
  for (const std::string& path : chainPems) {
    for (Bytes& c : LoadCertificatesPem(path)) signer.chain.push_back(std::move(c));
  }
  CheckKeyMatches(signer);
  return signer;
}

Signer MakeSigner(EVP_PKEY* key, X509* certificate, const std::vector<X509*>& chain) {
  Check(key != nullptr && EVP_PKEY_up_ref(key) == 1, "taking the signer key");
  Signer signer;
  signer.key = AdoptKey(key);
  signer.certificate = EncodeCertificate(certificate);
  for (X509* x : chain) signer.chain.push_back(EncodeCertificate(x));
  CheckKeyMatches(signer);
  return signer;
}

SignedDataSpec SignedDataFor(const Signer& signer, const Bytes& content) {
  const IssuerAndSerial id = IssuerAndSerialOf(signer.certificate);
  SignedDataSpec spec;
  spec.content = content;
  spec.certs = {signer.certificate};
  spec.certs.insert(spec.certs.end(), signer.chain.begin(), signer.chain.end());
  spec.signerIssuer = id.issuer;
  spec.signerSerial = id.serial;
  spec.signerKey = signer.key.get();
  return spec;
}

Bytes MakeImageCtl(const ImageCatalog& catalog) {
  Check(catalog.imageSha1.size() == 20, "an image digest of 20 bytes");
  std::u16string hex;
  for (uint8_t b : catalog.imageSha1) {
    static const char16_t kDigits[] = u"0123456789ABCDEF";
    hex.push_back(kDigits[b >> 4]);
    hex.push_back(kDigits[b & 0x0F]);
  }
  const Bytes tag = Utf16Le(hex);
  const Bytes member = Seq({OctetString(tag), Set({MemberHashAttribute(catalog.imageSha1)})});
  std::vector<Bytes> extensions;
  for (const NameValue& nv : catalog.attributes) {
    extensions.push_back(NameValueExtension(nv.name, Utf16LeWithTerminator(nv.value)));
  }
  CtlHeader header;
  header.listIdentifier = catalog.listIdentifier.empty()
                              ? Bytes(catalog.imageSha1.begin(), catalog.imageSha1.begin() + 16)
                              : catalog.listIdentifier;
  header.thisUpdate = catalog.thisUpdate.empty() ? UtcTimeNow() : catalog.thisUpdate;
  return MakeCtl({member}, extensions, header);
}

Bytes MakeSignedImageCatalog(const ImageCatalog& catalog, const Signer& signer) {
  return MakeSignedData(SignedDataFor(signer, MakeImageCtl(catalog)));
}

// --- independent check -------------------------------------------------------

ReferenceVerifier::ReferenceVerifier(const Bytes& anchorCertificate) : store_(X509_STORE_new()) {
  Check(store_ != nullptr, "creating a certificate store");
  const unsigned char* p = anchorCertificate.data();
  X509* anchor = d2i_X509(nullptr, &p, static_cast<long>(anchorCertificate.size()));
  const bool ok = anchor && X509_STORE_add_cert(store_, anchor) == 1 &&
                  X509_STORE_set_purpose(store_, X509_PURPOSE_ANY) == 1 &&
                  X509_STORE_set_flags(store_, X509_V_FLAG_NO_CHECK_TIME) == 1;
  // The test anchor's 512-bit key and the SHA-1 and MD5 signatures are what
  // the catalogs use, whatever today's security level says.
  if (ok) X509_VERIFY_PARAM_set_auth_level(X509_STORE_get0_param(store_), 0);
  X509_free(anchor);
  if (!ok) X509_STORE_free(store_);
  Check(ok, "reading the anchor certificate");
}

ReferenceVerifier::~ReferenceVerifier() { X509_STORE_free(store_); }

bool ReferenceVerifier::Verify(const Bytes& catalog) const {
  const unsigned char* p = catalog.data();
  std::unique_ptr<PKCS7, decltype(&PKCS7_free)> p7(d2i_PKCS7(nullptr, &p, static_cast<long>(catalog.size())),
                                                   PKCS7_free);
  if (!p7 || !PKCS7_type_is_signed(p7.get()) || !p7->d.sign->contents) return false;
  // OpenSSL finds only OCTET STRING content by itself; a trust list is a
  // SEQUENCE whose content octets are what the signer hashed.
  const ASN1_TYPE* other = p7->d.sign->contents->d.other;
  if (!other || other->type != V_ASN1_SEQUENCE) return false;
  const unsigned char* q = other->value.sequence->data;
  long cb = 0;
  int tag = 0, cls = 0;
  if (ASN1_get_object(&q, &cb, &tag, &cls, other->value.sequence->length) & 0x80) return false;
  std::unique_ptr<BIO, decltype(&BIO_free)> content(BIO_new_mem_buf(q, static_cast<int>(cb)), BIO_free);
  // The chain is checked below, for any purpose rather than PKCS7_verify's S/MIME one.
  if (!content || PKCS7_verify(p7.get(), nullptr, store_, content.get(), nullptr, PKCS7_NOVERIFY | PKCS7_BINARY) != 1) {
    return false;
  }
  struct StackFree {
    void operator()(STACK_OF(X509) * s) const { sk_X509_free(s); }
  };
  std::unique_ptr<STACK_OF(X509), StackFree> signers(PKCS7_get0_signers(p7.get(), nullptr, 0));
  std::unique_ptr<X509_STORE_CTX, decltype(&X509_STORE_CTX_free)> ctx(X509_STORE_CTX_new(), X509_STORE_CTX_free);
  return signers && ctx && sk_X509_num(signers.get()) == 1 &&
         X509_STORE_CTX_init(ctx.get(), store_, sk_X509_value(signers.get(), 0), p7->d.sign->cert) == 1 &&
         X509_verify_cert(ctx.get()) == 1;
}

}  // namespace catalog
