// Certificate chains to the three anchors, the key-usage rule and the
// anchor lookups.
#include "mincrypt/vercert.h"

#include <gtest/gtest.h>

#include "mincrypt/rootlevel.h"
#include "mincrypt/verroots.h"
#include "tests/mincrypt/ver_fixture.h"

namespace {

using namespace verfix;
using der::Cat;
using der::NameWithCommonName;

// Parses the message certificates and runs the chain walk from the first.
struct ParsedChain {
  std::vector<Bytes> certs;
  CertBlobs rgrgCert[MINCRYPT_MAX_MESSAGE_CERTS] = {};
  DWORD cCert = 0;
  explicit ParsedChain(std::vector<Bytes> c) : certs(std::move(c)) {
    for (const Bytes& cert : certs) {
      EXPECT_GT(MinAsn1ParseCertificate(cert.data(), static_cast<DWORD>(cert.size()), rgrgCert[cCert]), 0);
      cCert++;
    }
  }
  LONG Verify(BOOL fAcceptOdm, DWORD* pRootLevel) {
    RootLevel = 0x5A5A;
    const LONG lErr = MinCryptVerifyCertificateChain(rgrgCert[0], cCert, rgrgCert, fAcceptOdm);
    *pRootLevel = RootLevel;
    return lErr;
  }
};

struct Keys {
  Pkey a = RsaKey(1024, 1), b = RsaKey(1024, 2), c = RsaKey(1024, 3);
};

const std::vector<std::string> kPurpose = {kCatalogSignerPurpose};

Bytes Cert(const Bytes& issuer, const Bytes& subject, EVP_PKEY* subjectKey, EVP_PKEY* signer,
           std::vector<std::string> purposes = kPurpose, Bytes serial = {0x01}) {
  return MakeCertificate({.issuer = issuer,
                          .subject = subject,
                          .serial = serial,
                          .publicKeyInfo = PublicKeyInfo(subjectKey),
                          .signer = signer,
                          .purposes = purposes});
}

TEST(CertificateChain, EachAnchorLevelWithAndWithoutAcceptOdm) {
  struct Case {
    int level;
    BOOL fAcceptOdm;
    LONG expected;
    DWORD rootLevel;
  };
  const Case cases[] = {
      {ROOT_LEVEL_PRODUCT, TRUE, 0, ROOT_LEVEL_PRODUCT},
      {ROOT_LEVEL_PRODUCT, FALSE, 0, ROOT_LEVEL_PRODUCT},
      {ROOT_LEVEL_ODM, TRUE, 0, ROOT_LEVEL_ODM},
      // Not an anchor then: the ODM root is looked for among the message
      // certificates, and there is none.
      {ROOT_LEVEL_ODM, FALSE, CERT_E_CHAINING, ROOT_LEVEL_NONE},
      {ROOT_LEVEL_TEST, TRUE, 0, ROOT_LEVEL_TEST},
      {ROOT_LEVEL_TEST, FALSE, 0, ROOT_LEVEL_TEST},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "level " << c.level << " accept-ODM " << c.fAcceptOdm);
    for (const EVP_MD* md : {EVP_sha1(), EVP_md5()}) {
      ParsedChain chain(StandardChain(c.level, md).certs);
      DWORD rootLevel = 0;
      EXPECT_EQ(chain.Verify(c.fAcceptOdm, &rootLevel), c.expected) << EVP_MD_get0_name(md);
      EXPECT_EQ(rootLevel, c.rootLevel);
    }
  }
}

TEST(CertificateChain, OdmRootCarriedInTheMessageIsNotTrustedWithoutAcceptOdm) {
  Chain standard = StandardChain(ROOT_LEVEL_ODM);
  const Bytes odmName = AnchorName(ROOT_LEVEL_ODM);
  Pkey odmKey = AnchorKey(ROOT_LEVEL_ODM);
  const Bytes odmSelfSigned = MakeCertificate({.issuer = odmName,
                                               .subject = odmName,
                                               .publicKeyInfo = AnchorPublicKeyInfo(ROOT_LEVEL_ODM),
                                               .signer = odmKey.get()});
  ParsedChain chain({standard.certs[0], standard.certs[1], odmSelfSigned});
  DWORD rootLevel = 0;
  EXPECT_EQ(chain.Verify(FALSE, &rootLevel), CERT_E_UNTRUSTEDROOT);
  EXPECT_EQ(rootLevel, static_cast<DWORD>(ROOT_LEVEL_NONE));
  EXPECT_EQ(chain.Verify(TRUE, &rootLevel), 0);
  EXPECT_EQ(rootLevel, static_cast<DWORD>(ROOT_LEVEL_ODM));
}

TEST(CertificateChain, EdgeCases) {
  Keys k;
  const Bytes product = AnchorName(ROOT_LEVEL_PRODUCT);
  EVP_PKEY* productKey = AnchorKey(ROOT_LEVEL_PRODUCT).get();
  const Bytes caName = NameWithCommonName("CA"), signerName = NameWithCommonName("Signer");
  const Bytes aName = NameWithCommonName("A"), bName = NameWithCommonName("B");
  const Bytes testName = AnchorName(ROOT_LEVEL_TEST);
  const Bytes ca = Cert(product, caName, k.a.get(), productKey, {});

  struct Case {
    const char* what;
    std::vector<Bytes> certs;
    LONG expected;
    DWORD rootLevel;
  };
  const Case cases[] = {
      {"signer without the purpose",
       {Cert(caName, signerName, k.b.get(), k.a.get(), {"1.3.6.1.5.5.7.3.3"}), ca},
       CERT_E_PURPOSE,
       ROOT_LEVEL_PRODUCT},
      {"signer without any extensions",
       {MakeCertificate({.issuer = caName,
                         .subject = signerName,
                         .publicKeyInfo = PublicKeyInfo(k.b.get()),
                         .signer = k.a.get(),
                         .noExtensions = true}),
        ca},
       CERT_E_PURPOSE,
       ROOT_LEVEL_PRODUCT},
      {"purpose only on the intermediate",
       {Cert(caName, signerName, k.b.get(), k.a.get(), {}), Cert(product, caName, k.a.get(), productKey)},
       CERT_E_PURPOSE,
       ROOT_LEVEL_PRODUCT},
      {"purpose on the signer but not on the intermediate the anchor's child verified",
       {Cert(caName, signerName, k.b.get(), k.a.get()), Cert(bName, caName, k.a.get(), k.c.get(), {}),
        Cert(product, bName, k.c.get(), productKey)},
       CERT_E_PURPOSE,
       ROOT_LEVEL_PRODUCT},
      {"purpose on the signer and the intermediate the anchor's child verified",
       {Cert(caName, signerName, k.b.get(), k.a.get()), Cert(bName, caName, k.a.get(), k.c.get()),
        Cert(product, bName, k.c.get(), productKey, {})},
       0,
       ROOT_LEVEL_PRODUCT},
      {"signer issued directly by an anchor",
       {Cert(product, signerName, k.b.get(), productKey)},
       CERT_E_PURPOSE,
       ROOT_LEVEL_PRODUCT},
      {"self-issued with the test anchor's key",
       {MakeCertificate({.issuer = testName,
                         .subject = testName,
                         .publicKeyInfo = AnchorPublicKeyInfo(ROOT_LEVEL_TEST),
                         .signer = AnchorKey(ROOT_LEVEL_TEST).get(),
                         .purposes = kPurpose})},
       CERT_E_PURPOSE,
       ROOT_LEVEL_TEST},
      {"signer under a self-issued test-key certificate",
       {Cert(testName, signerName, k.b.get(), AnchorKey(ROOT_LEVEL_TEST).get()),
        MakeCertificate({.issuer = testName,
                         .subject = testName,
                         .publicKeyInfo = AnchorPublicKeyInfo(ROOT_LEVEL_TEST),
                         .signer = AnchorKey(ROOT_LEVEL_TEST).get()})},
       CERT_E_PURPOSE,  // the test anchor's name matches first: the signer is anchor-issued
       ROOT_LEVEL_TEST},
      {"untrusted self-issued root",
       {Cert(caName, signerName, k.b.get(), k.a.get()), Cert(aName, caName, k.a.get(), k.c.get()),
        Cert(aName, aName, k.c.get(), k.c.get())},
       CERT_E_UNTRUSTEDROOT,
       ROOT_LEVEL_NONE},
      {"self-issued signer with its own key",
       {Cert(signerName, signerName, k.b.get(), k.b.get())},
       CERT_E_UNTRUSTEDROOT,
       ROOT_LEVEL_NONE},
      {"issuer cycle",
       {Cert(aName, signerName, k.c.get(), k.a.get()), Cert(bName, aName, k.a.get(), k.b.get()),
        Cert(aName, bName, k.b.get(), k.a.get())},
       CERT_E_CHAINING,
       ROOT_LEVEL_NONE},
      {"issuer missing", {Cert(caName, signerName, k.b.get(), k.a.get())}, CERT_E_CHAINING, ROOT_LEVEL_NONE},
      {"intermediate signed by the wrong key",
       {Cert(caName, signerName, k.b.get(), k.a.get()), Cert(product, caName, k.a.get(), k.c.get())},
       NTE_BAD_SIGNATURE,
       ROOT_LEVEL_PRODUCT},
      {"signer signed by the wrong key",
       {Cert(caName, signerName, k.b.get(), k.c.get()), ca},
       NTE_BAD_SIGNATURE,
       ROOT_LEVEL_NONE},
      {"signature algorithm outside the table",
       {MakeCertificate({.issuer = caName,
                         .subject = signerName,
                         .publicKeyInfo = PublicKeyInfo(k.b.get()),
                         .signer = k.a.get(),
                         .signatureOid = "1.2.840.113549.1.1.11",
                         .purposes = kPurpose}),
        ca},
       CRYPT_E_UNKNOWN_ALGO,
       0x5A5A},
  };
  for (const Case& c : cases) {
    ParsedChain chain(c.certs);
    DWORD rootLevel = 0;
    EXPECT_EQ(chain.Verify(TRUE, &rootLevel), c.expected) << c.what;
    EXPECT_EQ(rootLevel, c.rootLevel) << c.what;
  }
}

// Links 0 .. count-1: link i is issued by link i + 1, the last by the
// product anchor.
std::vector<Bytes> LinkedChain(int count, int keySeed) {
  const Bytes product = AnchorName(ROOT_LEVEL_PRODUCT);
  std::vector<Pkey> keys;
  for (int i = 0; i < count; i++) keys.push_back(RsaKey(512, keySeed + i));
  auto name = [](int i) { return NameWithCommonName("Link " + std::to_string(i)); };
  std::vector<Bytes> certs;
  for (int i = 0; i < count; i++) {
    const bool last = i == count - 1;
    EVP_PKEY* signer = last ? AnchorKey(ROOT_LEVEL_PRODUCT).get() : keys[i + 1].get();
    certs.push_back(Cert(last ? product : name(i + 1), name(i), keys[i].get(), signer));
  }
  return certs;
}

// All ten certificates that a message may carry can form one chain.
TEST(CertificateChain, TenCertificateChain) {
  ParsedChain chain(LinkedChain(10, 50));
  DWORD rootLevel = 0;
  EXPECT_EQ(chain.Verify(TRUE, &rootLevel), 0);
  EXPECT_EQ(rootLevel, static_cast<DWORD>(ROOT_LEVEL_PRODUCT));
}

// A signer outside the message's ten certificates chains through all ten to an
// anchor: eleven signature checks, the most a walk may take.
TEST(CertificateChain, SignerOutsideTenCertificatesTakesElevenChecks) {
  const std::vector<Bytes> certs = LinkedChain(11, 70);
  ParsedChain signer({certs[0]});
  ParsedChain message(std::vector<Bytes>(certs.begin() + 1, certs.end()));
  ASSERT_EQ(message.cCert, static_cast<DWORD>(MINCRYPT_MAX_MESSAGE_CERTS));
  RootLevel = 0x5A5A;
  EXPECT_EQ(MinCryptVerifyCertificateChain(signer.rgrgCert[0], message.cCert, message.rgrgCert, TRUE), 0);
  EXPECT_EQ(RootLevel, static_cast<DWORD>(ROOT_LEVEL_PRODUCT));
}

TEST(KeyUsage, RequiredPurposeAmongTheFirstTenExtensions) {
  using namespace der;
  const Bytes purpose = Oid(kCatalogSignerPurpose);
  auto eku = [](const Bytes& list) { return Seq({Oid("2.5.29.37"), OctetString(list)}); };
  auto other = [](int n) { return Seq({Oid("2.5.29.19"), OctetString(Seq({Integer(n)}))}); };
  std::vector<Bytes> nineOthers;
  for (int i = 0; i < 9; i++) nineOthers.push_back(other(i));
  std::vector<Bytes> tenOthers = nineOthers;
  tenOthers.push_back(other(9));
  auto list = [](std::vector<Bytes> exts, const Bytes& last) {
    exts.push_back(last);
    return SeqOf(exts);
  };
  struct Case {
    const char* what;
    Bytes exts;
    BOOL expected;
  };
  const Case cases[] = {
      {"empty", {}, FALSE},
      {"purpose alone", SeqOf({eku(Seq({purpose}))}), TRUE},
      {"purpose after another", SeqOf({eku(Seq({Oid("1.3.6.1.5.5.7.3.3"), purpose}))}), TRUE},
      {"extension after others", SeqOf({other(1), other(2), eku(Seq({purpose}))}), TRUE},
      {"extension tenth", list(nineOthers, eku(Seq({purpose}))), TRUE},
      {"extension eleventh", list(tenOthers, eku(Seq({purpose}))), FALSE},
      {"other purposes only", SeqOf({eku(Seq({Oid("1.3.6.1.5.5.7.3.3")}))}), FALSE},
      {"longer identifier", SeqOf({eku(Seq({Oid("1.3.6.1.4.1.311.10.3.15.1")}))}), FALSE},
      {"identifier prefix", SeqOf({eku(Seq({Oid("1.3.6.1.4.1.311.10.3")}))}), FALSE},
      {"purpose under another extension type", SeqOf({Seq({Oid("2.5.29.15"), OctetString(Seq({purpose}))})}), FALSE},
      {"purpose list truncated", SeqOf({eku(Cat({{0x30, 0x20}, purpose}))}), FALSE},
      {"element header truncated after a good length", SeqOf({eku(Tlv(0x30, Cat({Oid("1.2.3"), {0x06}})))}), FALSE},
      {"list that does not parse", {0x30, 0x05, 0x30, 0x03}, FALSE},
  };
  for (const Case& c : cases) {
    DerBlob blob = Blob(c.exts);
    EXPECT_EQ(HasRequiredKeyUsage(&blob), c.expected) << c.what;
  }
}

TEST(AnchorLookup, OrderLevelsAndAcceptOdm) {
  for (int level : {ROOT_LEVEL_TEST, ROOT_LEVEL_ODM, ROOT_LEVEL_PRODUCT}) {
    const Bytes name = AnchorName(level), key = AnchorPublicKeyInfo(level);
    DerBlob n = Blob(name), k = Blob(key);
    for (BOOL fAcceptOdm : {FALSE, TRUE}) {
      const bool visible = level != ROOT_LEVEL_ODM || fAcceptOdm;
      RootLevel = 0x77;
      const DerBlob* byName = FindRootByName(&n, fAcceptOdm);
      EXPECT_EQ(RootLevel, visible ? static_cast<DWORD>(level) : 0u);
      RootLevel = 0x77;
      const DerBlob* byKey = FindRootByPublicKey(&k, fAcceptOdm);
      EXPECT_EQ(RootLevel, visible ? static_cast<DWORD>(level) : 0u);
      if (visible) {
        ASSERT_NE(byName, nullptr);
        ASSERT_NE(byKey, nullptr);
        EXPECT_EQ(Bytes(byName->pbData, byName->pbData + byName->cbData), key);
        EXPECT_EQ(byKey, byName);
      } else {
        EXPECT_EQ(byName, nullptr);
        EXPECT_EQ(byKey, nullptr);
      }
    }
  }
  const Bytes stranger = NameWithCommonName("Root Agency ");
  DerBlob s = Blob(stranger);
  RootLevel = 3;
  EXPECT_EQ(FindRootByName(&s, TRUE), nullptr);
  EXPECT_EQ(RootLevel, 0u);
}

}  // namespace
