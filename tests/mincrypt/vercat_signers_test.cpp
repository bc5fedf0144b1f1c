// Catalogs crossing signers and verifiers, over the development chains that
// the openssl command line made (keys/dev): the catalog builder's one-call
// signing (keys and certificates from PEM files, as the image tool reads them)
// checked by OpenSSL's PKCS #7 verification and by ours, and catalogs signed by
// osslsigncode checked by ours.
#include <gtest/gtest.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "mincrypt/rootlevel.h"
#include "mincrypt/vercat.h"
#include "tests/mincrypt/ver_fixture.h"
#include "tests/support/dev_keys.h"

namespace {

using namespace verfix;
namespace fs = std::filesystem;

struct TempDir {
  fs::path path;
  TempDir() {
    char pattern[] = "/tmp/tf_vercat_XXXXXX";
    const char* made = mkdtemp(pattern);
    EXPECT_NE(made, nullptr);
    path = made ? made : "/tmp";
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string operator/(const char* name) const { return (path / name).string(); }
};

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string LogText(const std::string& path) {
  const Bytes b = ReadFile(path);
  return std::string(b.begin(), b.end());
}

X509* ToX509(const Bytes& der) {
  const unsigned char* p = der.data();
  return d2i_X509(nullptr, &p, static_cast<long>(der.size()));
}

void WriteCertsPem(const std::string& path, const std::vector<Bytes>& certs) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  for (const Bytes& der : certs) {
    X509* x = ToX509(der);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(PEM_write_X509(f, x), 1);
    X509_free(x);
  }
  std::fclose(f);
}

// The development chains of keys/dev, made with the openssl command line:
// <level>-signer.key, <level>-signer.pem, <level>-ca.pem, <level>-root.pem.
std::string DevFile(const std::string& name) { return devkeys::DevKeyPath(name); }
const char* DevLevelName(int level) {
  return level == ROOT_LEVEL_TEST ? "test" : level == ROOT_LEVEL_ODM ? "odm" : "product";
}
std::string DevFile(int level, const char* suffix) { return DevFile(std::string(DevLevelName(level)) + suffix); }

Bytes Sha1Of(const char* text) { return Digest(EVP_sha1(), der::FromString(text)); }

// Verifies `catalog` as the acceptance front does: one hash, accept-ODM, then
// make and model.
struct Acceptance {
  LONG lFound = -1;
  LONG lErrCode = -1;
  DWORD rootLevel = 0;
  LONG lMake = -1, lModel = -1;
};
Acceptance Accept(const Bytes& catalog, const Bytes& imageSha1, std::u16string_view make, std::u16string_view model) {
  Acceptance a;
  MapCatInfo info = {};
  info.EncodedBlob = Blob(catalog);
  const DerBlob hash = Blob(imageSha1);
  RootLevel = 0;
  MinCryptFindHashesInCatalogs(CALG_SHA1, 1, &hash, 1, &info, TRUE, &a.lFound);
  a.lErrCode = info.lErrCode;
  a.rootLevel = RootLevel;
  const Bytes oid = der::OidContent(catalog::kNameValueOid);
  auto check = [&](std::u16string_view name, std::u16string_view value) {
    Bytes nameBytes = der::BmpString(name);
    nameBytes.erase(nameBytes.begin(), nameBytes.begin() + 2);
    const Bytes valueBytes = Utf16LeWithTerminator(value);
    return MinCryptCheckCatalogNameValue(info, static_cast<DWORD>(oid.size()), oid.data(),
                                         static_cast<DWORD>(nameBytes.size()), nameBytes.data(),
                                         static_cast<DWORD>(valueBytes.size()), valueBytes.data());
  };
  a.lMake = check(u"Manufacturer", make);
  a.lModel = check(u"Model", model);
  return a;
}

TEST(CatalogSigners, BuilderCatalogFromPemFilesVerifiesHereAndInOpenSsl) {
  // The chain may come in the signer's certificate file or in files of its own.
  TempDir dir;
  const std::string signerPem = DevFile(ROOT_LEVEL_PRODUCT, "-signer.pem");
  const std::string caPem = DevFile(ROOT_LEVEL_PRODUCT, "-ca.pem");
  std::vector<Bytes> both = catalog::LoadCertificatesPem(signerPem);
  both.push_back(catalog::LoadCertificatesPem(caPem).at(0));
  WriteCertsPem(dir / "chain.pem", both);
  const std::string key = DevFile(ROOT_LEVEL_PRODUCT, "-signer.key");
  const catalog::Signer together = catalog::LoadSigner(key, dir / "chain.pem");
  const catalog::Signer apart = catalog::LoadSigner(key, signerPem, {caPem});
  X509* signerX509 = ToX509(apart.certificate);
  X509* caX509 = ToX509(apart.chain.at(0));
  const catalog::Signer objects = catalog::MakeSigner(apart.key.get(), signerX509, {caX509});
  X509_free(signerX509);
  X509_free(caX509);
  for (const catalog::Signer* s : {&together, &objects}) {
    EXPECT_EQ(s->certificate, apart.certificate);
    EXPECT_EQ(s->chain, apart.chain);
  }
  ASSERT_EQ(apart.chain.size(), 1u);

  const Bytes image = Sha1Of("image bytes");
  const Bytes cat = catalog::MakeSignedImageCatalog(
      {.imageSha1 = image, .attributes = {{u"Manufacturer", u"Corvane"}, {u"Model", u"ZR-7"}}}, apart);

  const Acceptance a = Accept(cat, image, u"Corvane", u"ZR-7");
  EXPECT_EQ(a.lErrCode, 0);
  EXPECT_EQ(a.lFound, 0);
  EXPECT_EQ(a.rootLevel, static_cast<DWORD>(ROOT_LEVEL_PRODUCT));
  EXPECT_EQ(a.lMake, 0);
  EXPECT_EQ(a.lModel, 0);
  EXPECT_EQ(Accept(cat, Sha1Of("other image"), u"Corvane", u"ZR-7").lFound, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Accept(cat, image, u"Corvane", u"ZR-8").lModel, ERROR_FILE_NOT_FOUND);

  const Bytes root = catalog::LoadCertificatesPem(DevFile(ROOT_LEVEL_PRODUCT, "-root.pem")).at(0);
  const catalog::ReferenceVerifier openssl(root);
  EXPECT_TRUE(openssl.Verify(cat));
  Bytes flipped = cat;
  const auto at = std::search(flipped.begin(), flipped.end(), image.begin(), image.end());
  ASSERT_NE(at, flipped.end());
  *at ^= 1;
  EXPECT_FALSE(openssl.Verify(flipped));
}

TEST(CatalogSigners, BuilderRefusesWhatWouldNotVerify) {
  const std::string signerPem = DevFile(ROOT_LEVEL_PRODUCT, "-signer.pem");
  EXPECT_THROW(catalog::LoadSigner(DevFile(ROOT_LEVEL_PRODUCT, "-ca.key"), signerPem), catalog::BuildError);
  EXPECT_THROW(catalog::LoadSigner(DevFile("missing.key"), signerPem), catalog::BuildError);
  EXPECT_THROW(catalog::LoadSigner(DevFile(ROOT_LEVEL_PRODUCT, "-signer.key"), DevFile("README.md")),
               catalog::BuildError);
  EXPECT_THROW(catalog::MakeImageCtl({.imageSha1 = Bytes(19, 1)}), catalog::BuildError);
}

TEST(CatalogSigners, OsslsigncodeCatalogVerifiesAtEachLevel) {
  const char* tool = TF_OSSLSIGNCODE;
  if (!*tool) GTEST_SKIP() << "osslsigncode not installed";
  const Bytes image = Sha1Of("firmware");
  const Bytes ctl =
      catalog::MakeCtl({catalog::Member("image", {catalog::OtherAttribute(1), MemberHashAttribute(image)})},
                       {NameValueExtension(u"Manufacturer", Utf16LeWithTerminator(u"Corvane")),
                        NameValueExtension(u"Model", Utf16LeWithTerminator(u"ZR-7"))});
  // osslsigncode signs a catalog that is already a signed-data message; it is
  // handed one without signer or certificates.
  SignedDataSpec unsignedSpec;
  unsignedSpec.content = ctl;
  unsignedSpec.noSignerInfo = true;
  for (int level : {ROOT_LEVEL_TEST, ROOT_LEVEL_ODM, ROOT_LEVEL_PRODUCT}) {
    SCOPED_TRACE(testing::Message() << "level " << level);
    TempDir dir;
    WriteFile(dir / "unsigned.cat", MakeSignedData(unsignedSpec));
    WriteCertsPem(dir / "chain.pem", {catalog::LoadCertificatesPem(DevFile(level, "-signer.pem")).at(0),
                                      catalog::LoadCertificatesPem(DevFile(level, "-ca.pem")).at(0)});
    const std::string command = std::string(tool) + " sign -h sha1 -certs " + (dir / "chain.pem") + " -key " +
                                DevFile(level, "-signer.key") + " -in " + (dir / "unsigned.cat") + " -out " +
                                (dir / "signed.cat") + " > " + (dir / "log.txt") + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command << "\n" << LogText(dir / "log.txt");
    const Bytes cat = ReadFile(dir / "signed.cat");
    ASSERT_FALSE(cat.empty());
    const Acceptance a = Accept(cat, image, u"Corvane", u"ZR-7");
    EXPECT_EQ(a.lErrCode, 0);
    EXPECT_EQ(a.lFound, 0);
    EXPECT_EQ(a.rootLevel, static_cast<DWORD>(level));
    EXPECT_EQ(a.lMake, 0);
    EXPECT_EQ(a.lModel, 0);
    const catalog::ReferenceVerifier openssl(catalog::LoadCertificatesPem(DevFile(level, "-root.pem")).at(0));
    EXPECT_TRUE(openssl.Verify(cat));

    Bytes flipped = cat;
    const auto at = std::search(flipped.begin(), flipped.end(), image.begin(), image.end());
    ASSERT_NE(at, flipped.end());
    *at ^= 1;
    EXPECT_EQ(Accept(flipped, image, u"Corvane", u"ZR-7").lErrCode, CRYPT_E_HASH_VALUE);
  }
}

}  // namespace
