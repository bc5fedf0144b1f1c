#include "authoring/catalog_signer.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstring>

#include "authoring/catalog_builder.h"
#include "mincrypt/anchors.h"
#include "mincrypt/rootlevel.h"

namespace catalogsign {

namespace {

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
Bytes CertDer(X509* cert) {
  return Encode(cert, [](X509* c, unsigned char** p) { return i2d_X509(c, p); });
}
Bytes PublicKeyInfoDer(X509* cert) {
  return Encode(X509_get_X509_PUBKEY(cert), [](X509_PUBKEY* k, unsigned char** p) { return i2d_X509_PUBKEY(k, p); });
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
      *error =
          "certificate chain does not reach a built-in anchor: no certificate for issuer '" + NameText(issuer) + "'";
      return false;
    }
    current = next;
  }
  *error = "certificate chain does not reach a built-in anchor within 10 steps";
  return false;
}

bool Signer::Sign(const CatalogContent& content, Bytes* catalog, std::string* error) const {
  catalog::Signer signer;
  signer.key = catalog::AdoptKey(state_->key);
  EVP_PKEY_up_ref(state_->key);  // the builder's handle frees its own reference
  signer.certificate = CertDer(state_->cert);
  for (X509* c : state_->chain) signer.chain.push_back(CertDer(c));
  catalog::ImageCatalog image;
  image.imageSha1.assign(content.digest, content.digest + sizeof content.digest);
  image.attributes = {{u"Manufacturer", content.make}, {u"Model", content.model}};
  try {
    *catalog = catalog::MakeSignedImageCatalog(image, signer);
  } catch (const catalog::BuildError& e) {
    *error = std::string("signing failed: ") + e.what();
    return false;
  }
  return true;
}

}  // namespace catalogsign
