// Signing ROM image catalogs from PEM files: loads the signer's key and
// certificates, checks them before anything is signed (key against
// certificate, chain up to a built-in anchor), and has the catalog builder
// (authoring/catalog_builder.h) write the signed catalog: a certificate
// trust list with one member (the image digest) and the "Manufacturer" and
// "Model" name-value attributes. Native tool code: needs libcrypto.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace catalogsign {

using Bytes = std::vector<uint8_t>;

// What a catalog states about one image.
struct CatalogContent {
  uint8_t digest[20] = {};  // SHA-1 of the image's signed parts
  std::u16string make;      // stored as little-endian UTF-16 with one NUL unit
  std::u16string model;
};

// A signing key with its certificate and the certificates above it, loaded
// from PEM files. The message carries the signer's certificate first, then the
// chain certificates in the order given.
class Signer {
 public:
  ~Signer();
  Signer(const Signer&) = delete;
  Signer& operator=(const Signer&) = delete;

  // Reads the files (a chain file may hold several certificates). False with
  // a one-line reason when a file cannot be read or holds no key/certificate.
  static std::unique_ptr<Signer> Load(const std::string& keyPath, const std::string& certPath,
                                      const std::vector<std::string>& chainPaths, std::string* error);

  // True when the private key belongs to the certificate.
  bool KeyMatchesCertificate() const;

  // Follows issuer names from the signer's certificate through the chain
  // certificates to a built-in trust anchor (by the anchor's name, or by its
  // key for a self-issued certificate), at most 10 steps. On success
  // *pdwLevel is the anchor's RootLevel value; otherwise *error says where
  // the chain stops.
  bool ReachesBuiltInAnchor(unsigned* pdwLevel, std::string* error) const;

  // The signed catalog (DER), signed with SHA-1 over authenticated
  // attributes. False with a reason when libcrypto refuses to sign.
  bool Sign(const CatalogContent& content, Bytes* catalog, std::string* error) const;

 private:
  struct State;
  explicit Signer(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace catalogsign
