#include "tests/mincrypt/ver_fixture.h"

#include <map>

#include "mincrypt/anchors.h"
#include "mincrypt/rootlevel.h"
#include "tests/support/dev_keys.h"

namespace verfix {

namespace {

std::string AnchorKeyPath(int level) {
  const char* file = level == ROOT_LEVEL_TEST  ? "test-root.key"
                     : level == ROOT_LEVEL_ODM ? "odm-root.key"
                                               : "product-root.key";
  return devkeys::DevKeyPath(file);
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
  if (!key) key = catalog::GenerateRsaKey(bits);
  return key;
}

Pkey RsaKeyWithExponent(int bits, unsigned long exponent) { return catalog::GenerateRsaKey(bits, exponent); }

Pkey AnchorKey(int level) {
  static std::map<int, Pkey> cache;
  Pkey& key = cache[level];
  if (!key) key = catalog::LoadPrivateKeyPem(AnchorKeyPath(level));
  return key;
}

Bytes AnchorName(int level) { return FromBlob(Anchor(level).Name); }
Bytes AnchorPublicKeyInfo(int level) { return FromBlob(Anchor(level).PublicKeyInfo); }

catalog::Signer Chain::AsSigner() const {
  return {signerKey, signerCert, std::vector<Bytes>(certs.begin() + 1, certs.end())};
}

Chain StandardChain(int level, const EVP_MD* md, int bits) {
  Chain chain;
  const Bytes caName = der::NameWithCommonName("Dev Intermediate CA " + std::to_string(level));
  Pkey caKey = RsaKey(bits, 100 + level);
  const Bytes caCert = MakeCertificate({.issuer = AnchorName(level),
                                        .subject = caName,
                                        .serial = {0x10, static_cast<uint8_t>(level)},
                                        .publicKeyInfo = PublicKeyInfo(caKey.get()),
                                        .signer = AnchorKey(level).get(),
                                        .hashAlg = md,
                                        .ca = true});
  chain.signerKey = RsaKey(bits, 200 + level);
  chain.signerCert = MakeCertificate({.issuer = caName,
                                      .subject = der::NameWithCommonName("Dev Catalog Signer"),
                                      .serial = {0x20, static_cast<uint8_t>(level)},
                                      .publicKeyInfo = PublicKeyInfo(chain.signerKey.get()),
                                      .signer = caKey.get(),
                                      .hashAlg = md,
                                      .purposes = {"1.3.6.1.5.5.7.3.3", kCatalogSignerPurpose}});
  chain.certs = {chain.signerCert, caCert};
  return chain;
}

SignedDataSpec SignedDataFor(const Chain& chain, const Bytes& content) {
  return catalog::SignedDataFor(chain.AsSigner(), content);
}

}  // namespace verfix
