#include "tests/mincrypt/ver_fixture.h"

#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <openssl/x509.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <stdexcept>

#include "mincrypt/anchors.h"
#include "mincrypt/rootlevel.h"

namespace verfix {

using namespace der;

namespace {

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(std::string("OpenSSL fixture step failed: ") + what);
}

Pkey Wrap(EVP_PKEY* key) { return Pkey(key, PkeyFree()); }

Pkey GenerateRsa(int bits, unsigned long exponent) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new_id(EVP_PKEY_RSA, nullptr);
  Check(ctx && EVP_PKEY_keygen_init(ctx) > 0, "keygen init");
  Check(EVP_PKEY_CTX_set_rsa_keygen_bits(ctx, bits) > 0, "keygen bits");
  BIGNUM* e = BN_new();
  BN_set_word(e, exponent);
  Check(EVP_PKEY_CTX_set1_rsa_keygen_pubexp(ctx, e) > 0, "keygen exponent");
  BN_free(e);
  EVP_PKEY* key = nullptr;
  Check(EVP_PKEY_keygen(ctx, &key) > 0, "keygen");
  EVP_PKEY_CTX_free(ctx);
  return Wrap(key);
}

Bytes PrivateOp(EVP_PKEY* key, const Bytes& in, int padding) {
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, nullptr);
  Check(ctx && EVP_PKEY_sign_init(ctx) > 0, "sign init");
  Check(EVP_PKEY_CTX_set_rsa_padding(ctx, padding) > 0, "padding");
  size_t cb = 0;
  Check(EVP_PKEY_sign(ctx, nullptr, &cb, in.data(), in.size()) > 0, "sign size");
  Bytes out(cb);
  Check(EVP_PKEY_sign(ctx, out.data(), &cb, in.data(), in.size()) > 0, "sign");
  out.resize(cb);
  EVP_PKEY_CTX_free(ctx);
  return out;
}

const char* SignatureOid(const EVP_MD* md) {
  return EVP_MD_get_type(md) == NID_md5 ? "1.2.840.113549.1.1.4" : "1.2.840.113549.1.1.5";
}

const char* DigestOid(const EVP_MD* md) { return EVP_MD_get_type(md) == NID_md5 ? "1.2.840.113549.2.5" : "1.3.14.3.2.26"; }

std::string AnchorKeyPath(int level) {
  const char* file = level == ROOT_LEVEL_TEST  ? "test-root.key"
                     : level == ROOT_LEVEL_ODM ? "odm-root.key"
                                               : "product-root.key";
  if (const char* dir = std::getenv("TF_ANCHOR_KEY_DIR")) return std::string(dir) + "/" + file;
  const char* src = std::getenv("TF_SOURCE_DIR");
  return std::string(src ? src : ".") + "/keys/dev/" + file;
}

const TrustAnchor& Anchor(int level) {
  switch (level) {
    case ROOT_LEVEL_TEST:
      return rgTestRoots[0];
    case ROOT_LEVEL_ODM:
      return rgOdmRoots[0];
    default:
      return rgProductRoots[0];
  }
}

Bytes FromBlob(const DerBlob& blob) { return Bytes(blob.pbData, blob.pbData + blob.cbData); }

}  // namespace

Pkey RsaKey(int bits, int slot) {
  static std::map<std::pair<int, int>, Pkey> cache;
  Pkey& key = cache[{bits, slot}];
  if (!key) key = GenerateRsa(bits, 65537);
  return key;
}

Pkey RsaKeyWithExponent(int bits, unsigned long exponent) { return GenerateRsa(bits, exponent); }

Bytes PublicKeyInfo(EVP_PKEY* key) {
  unsigned char* p = nullptr;
  int cb = i2d_PUBKEY(key, &p);
  Check(cb > 0, "i2d_PUBKEY");
  Bytes out(p, p + cb);
  OPENSSL_free(p);
  return out;
}

Bytes SignPayload(EVP_PKEY* key, const Bytes& payload) { return PrivateOp(key, payload, RSA_PKCS1_PADDING); }

Bytes SignRawBlock(EVP_PKEY* key, const Bytes& block) { return PrivateOp(key, block, RSA_NO_PADDING); }

Bytes Digest(const EVP_MD* md, const Bytes& data) {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int cb = 0;
  Check(EVP_Digest(data.data(), data.size(), out.data(), &cb, md, nullptr) > 0, "digest");
  out.resize(cb);
  return out;
}

Bytes DigestInfoPrefix(const EVP_MD* md, bool withNullParameters) {
  Bytes algId = withNullParameters ? AlgorithmIdentifier(DigestOid(md)) : Seq({Oid(DigestOid(md))});
  const size_t cbHash = static_cast<size_t>(EVP_MD_get_size(md));
  Bytes digestInfo = Seq({algId, OctetString(Bytes(cbHash, 0))});
  digestInfo.resize(digestInfo.size() - cbHash);
  return digestInfo;
}

Bytes SignData(EVP_PKEY* key, const EVP_MD* md, const Bytes& data) {
  return SignPayload(key, Cat({DigestInfoPrefix(md, true), Digest(md, data)}));
}

Pkey AnchorKey(int level) {
  static std::map<int, Pkey> cache;
  Pkey& key = cache[level];
  if (!key) {
    const std::string path = AnchorKeyPath(level);
    FILE* f = std::fopen(path.c_str(), "rb");
    Check(f != nullptr, path.c_str());
    EVP_PKEY* raw = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    Check(raw != nullptr, "read anchor key");
    key = Wrap(raw);
  }
  return key;
}

Bytes AnchorName(int level) { return FromBlob(Anchor(level).Name); }
Bytes AnchorPublicKeyInfo(int level) { return FromBlob(Anchor(level).PublicKeyInfo); }

Bytes MakeCertificate(const CertSpec& spec) {
  std::vector<Bytes> extensions = spec.extraExtensions;
  if (!spec.purposes.empty()) {
    std::vector<Bytes> oids;
    for (const std::string& purpose : spec.purposes) oids.push_back(Oid(purpose));
    extensions.push_back(Seq({Oid("2.5.29.37"), OctetString(SeqOf(oids))}));
  }
  const std::string sigOid = spec.signatureOid.empty() ? SignatureOid(spec.md) : spec.signatureOid;
  const Bytes sigAlg = AlgorithmIdentifier(sigOid);
  Bytes tbs = Seq({
      Explicit(0, {Integer(2)}),
      IntegerRaw(spec.serial),
      sigAlg,
      spec.issuer,
      Seq({UtcTime("240101000000Z"), UtcTime("440101000000Z")}),
      spec.subject,
      spec.publicKeyInfo,
      spec.noExtensions ? Bytes{} : Explicit(3, {SeqOf(extensions)}),
  });
  Check(spec.signer != nullptr, "certificate signer");
  return Seq({tbs, sigAlg, BitString(SignData(spec.signer, spec.md, tbs))});
}

Chain StandardChain(int level, const EVP_MD* md) {
  Chain chain;
  const Bytes caName = NameWithCommonName("Dev Intermediate CA " + std::to_string(level));
  Pkey caKey = RsaKey(2048, 100 + level);
  const Bytes caCert = MakeCertificate({.issuer = AnchorName(level),
                                        .subject = caName,
                                        .serial = {0x10, static_cast<uint8_t>(level)},
                                        .publicKeyInfo = PublicKeyInfo(caKey.get()),
                                        .signer = AnchorKey(level).get(),
                                        .md = md});
  chain.signerKey = RsaKey(2048, 200 + level);
  chain.signerIssuer = caName;
  chain.signerSerial = {0x20, static_cast<uint8_t>(level)};
  chain.signerCert = MakeCertificate({.issuer = caName,
                                      .subject = NameWithCommonName("Dev Catalog Signer"),
                                      .serial = chain.signerSerial,
                                      .publicKeyInfo = PublicKeyInfo(chain.signerKey.get()),
                                      .signer = caKey.get(),
                                      .md = md,
                                      .purposes = {"1.3.6.1.5.5.7.3.3", kCatalogSignerPurpose}});
  chain.certs = {chain.signerCert, caCert};
  return chain;
}

Bytes MakeSignedData(const SignedDataSpec& spec) {
  const Bytes digestAlg = AlgorithmIdentifier(spec.digestOid.empty() ? DigestOid(spec.md) : spec.digestOid);
  // The signer hashes the content octets of the inner content.
  DWORD cbContent = 0;
  size_t cbHeader = 0;
  {
    const Bytes& c = spec.content;
    size_t i = 1;
    size_t len = c[i++];
    if (len & 0x80) {
      const size_t n = len & 0x7F;
      len = 0;
      for (size_t k = 0; k < n; k++) len = (len << 8) | c[i++];
    }
    cbHeader = i;
    cbContent = static_cast<DWORD>(len);
  }
  const Bytes contentOctets(spec.content.begin() + static_cast<long>(cbHeader),
                            spec.content.begin() + static_cast<long>(cbHeader + cbContent));
  const Bytes contentDigest = Digest(spec.md, contentOctets);

  Bytes signerInfo;
  if (!spec.noSignerInfo) {
    Bytes authAttrsField;
    Bytes signature;
    if (spec.authAttrs) {
      std::vector<Bytes> attrs = {Seq({Oid("1.2.840.113549.1.9.3"), Set({Oid(spec.contentType)})})};
      for (const Bytes& extra : spec.extraAuthAttrs) attrs.push_back(extra);
      if (!spec.omitMessageDigest) {
        attrs.push_back(
            Seq({Oid("1.2.840.113549.1.9.4"), Set({OctetString(Cat({contentDigest, spec.messageDigestSuffix}))})}));
      }
      Bytes attrsContent;
      for (const Bytes& a : attrs) attrsContent = Cat({attrsContent, a});
      authAttrsField = Tlv(0xA0, attrsContent);
      signature = SignData(spec.signerKey, spec.md, Tlv(0x31, attrsContent));
    } else {
      signature = SignData(spec.signerKey, spec.md, contentOctets);
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

SignedDataSpec SignedDataFor(const Chain& chain, const Bytes& content) {
  SignedDataSpec spec;
  spec.content = content;
  spec.certs = chain.certs;
  spec.signerIssuer = chain.signerIssuer;
  spec.signerSerial = chain.signerSerial;
  spec.signerKey = chain.signerKey.get();
  return spec;
}

Bytes MemberHashAttribute(const Bytes& hash) {
  // SpcIndirectDataContent { SpcAttributeTypeAndOptionalValue, DigestInfo }.
  const Bytes indirect = Seq({Seq({Oid("1.3.6.1.4.1.311.2.1.15"), Seq({BitString({}), Explicit(0, {})})}),
                              Seq({AlgorithmIdentifier("1.3.14.3.2.26"), OctetString(hash)})});
  return Seq({Oid("1.3.6.1.4.1.311.2.1.4"), Set({indirect})});
}

Bytes OtherAttribute(int n) {
  return Seq({Oid("1.3.6.1.4.1.311.12.2.2"), Set({Seq({Integer(n)})})});
}

Bytes Member(const std::string& tag, const std::vector<Bytes>& attrs) {
  Bytes attrsContent;
  for (const Bytes& a : attrs) attrsContent = Cat({attrsContent, a});
  return Seq({OctetString(FromString(tag)), Tlv(0x31, attrsContent)});
}

Bytes NameValueExtension(std::u16string_view name, const Bytes& value, std::string_view oid) {
  return Seq({Oid(oid), OctetString(Seq({BmpString(name), Integer(0x10010001), OctetString(value)}))});
}

Bytes OtherExtension(int n) { return Seq({Oid("1.3.6.1.4.1.311.12.2.3"), OctetString(Integer(n))}); }

Bytes Utf16LeWithTerminator(std::u16string_view text) {
  Bytes out;
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c & 0xFF));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

Bytes MakeCtl(const std::vector<Bytes>& members, const std::vector<Bytes>& extensions) {
  return Seq({
      Seq({Oid("1.3.6.1.4.1.311.12.1.1")}),
      OctetString(FromString("TESTCATALOG")),
      UtcTime("240101000000Z"),
      AlgorithmIdentifier("1.3.6.1.4.1.311.12.1.2"),
      SeqOf(members),
      extensions.empty() ? Bytes{} : Explicit(0, {SeqOf(extensions)}),
  });
}

}  // namespace verfix
