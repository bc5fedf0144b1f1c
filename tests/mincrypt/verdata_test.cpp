// PKCS #7 signed messages: signer lookup, message digest, signature and the
// information handed back.
#include "mincrypt/verdata.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "mincrypt/rootlevel.h"
#include "tests/mincrypt/ver_fixture.h"

namespace {

using namespace verfix;
using der::Cat;

Bytes SampleContent() { return MakeCtl({Member("a", {MemberHashAttribute(Bytes(20, 0xAB))})}, {}); }

Bytes ToBytes(const DerBlob& b) { return b.pbData ? Bytes(b.pbData, b.pbData + b.cbData) : Bytes{}; }

LONG Verify(const Bytes& message, SignedMessageInfo* info, BOOL fAcceptOdm = TRUE) {
  return MinCryptVerifySignedMessage(message.data(), static_cast<DWORD>(message.size()), fAcceptOdm, info);
}

TEST(SignedMessage, VerifiesAndReportsItsParts) {
  const Bytes content = SampleContent();
  for (const EVP_MD* md : {EVP_sha1(), EVP_md5()}) {
    for (bool authAttrs : {true, false}) {
      SCOPED_TRACE(testing::Message() << EVP_MD_get0_name(md) << (authAttrs ? " with" : " without") << " attributes");
      Chain chain = StandardChain(ROOT_LEVEL_PRODUCT, md);
      SignedDataSpec spec = SignedDataFor(chain, content);
      spec.hashAlg = md;
      spec.authAttrs = authAttrs;
      spec.unauthAttrs = true;
      const Bytes message = MakeSignedData(spec);
      SignedMessageInfo info;
      RootLevel = 0;
      ASSERT_EQ(Verify(message, &info), 0);
      EXPECT_EQ(RootLevel, static_cast<DWORD>(ROOT_LEVEL_PRODUCT));
      EXPECT_EQ(ToBytes(info.ContentTypeBlob), der::OidContent(kCtlOid));
      EXPECT_EQ(ToBytes(info.ContentBlob), content);
      EXPECT_EQ(ToBytes(info.SignerCertBlob), chain.signerCert);
      if (authAttrs) {
        ASSERT_GT(info.AuthAttrsBlob.cbData, 2u);
        EXPECT_EQ(info.AuthAttrsBlob.pbData[0], 0xA0);
      } else {
        EXPECT_EQ(info.AuthAttrsBlob.cbData, 0u);
      }
      ASSERT_GT(info.UnauthAttrsBlob.cbData, 2u);
      EXPECT_EQ(info.UnauthAttrsBlob.pbData[0], 0xA1);
    }
  }
}

TEST(SignedMessage, Failures) {
  const Bytes content = SampleContent();
  Chain chain = StandardChain(ROOT_LEVEL_PRODUCT);
  Chain odm = StandardChain(ROOT_LEVEL_ODM);
  using Edit = std::function<void(SignedDataSpec&)>;
  std::vector<Bytes> nineAttrs, eightAttrs;
  for (int i = 0; i < 9; i++) nineAttrs.push_back(OtherAttribute(i));
  eightAttrs.assign(nineAttrs.begin(), nineAttrs.begin() + 8);

  struct Case {
    const char* what;
    Edit edit;
    LONG expected;
    BOOL fAcceptOdm = TRUE;
  };
  const Case cases[] = {
      {"message digest one byte too long", [](SignedDataSpec& s) { s.messageDigestSuffix = {0x00}; },
       CRYPT_E_HASH_VALUE},
      {"no signer", [](SignedDataSpec& s) { s.noSignerInfo = true; }, CRYPT_E_NO_SIGNER},
      {"no certificates", [](SignedDataSpec& s) { s.certs.clear(); }, CRYPT_E_NO_SIGNER},
      {"signer certificate missing", [&](SignedDataSpec& s) { s.certs = {chain.certs[1]}; }, CRYPT_E_NO_SIGNER},
      {"serial number with a leading zero", [](SignedDataSpec& s) { s.signerSerial.insert(s.signerSerial.begin(), 0); },
       CRYPT_E_NO_SIGNER},
      {"signer is the eleventh certificate",
       [&](SignedDataSpec& s) {
         s.certs.clear();
         for (int i = 0; i < 10; i++) s.certs.push_back(chain.certs[1]);
         s.certs.push_back(chain.signerCert);
       },
       CRYPT_E_NO_SIGNER},
      {"signer is the tenth certificate",
       [&](SignedDataSpec& s) {
         s.certs.clear();
         for (int i = 0; i < 9; i++) s.certs.push_back(chain.certs[1]);
         s.certs.push_back(chain.signerCert);
       },
       0},
      {"digest attribute missing", [](SignedDataSpec& s) { s.omitMessageDigest = true; }, CRYPT_E_AUTH_ATTR_MISSING},
      {"digest attribute tenth", [&](SignedDataSpec& s) { s.extraAuthAttrs = eightAttrs; }, 0},
      {"digest attribute eleventh", [&](SignedDataSpec& s) { s.extraAuthAttrs = nineAttrs; },
       CRYPT_E_AUTH_ATTR_MISSING},
      {"attribute without values", [](SignedDataSpec& s) { s.extraAuthAttrs = {der::Seq({der::Oid("1.2.3")})}; },
       CRYPT_E_AUTH_ATTR_MISSING},
      {"digest algorithm outside the table", [](SignedDataSpec& s) { s.digestOid = "2.16.840.1.101.3.4.2.1"; },
       CRYPT_E_UNKNOWN_ALGO},
      {"signed by another key", [](SignedDataSpec& s) { s.signerKey = RsaKey(2048, 7).get(); }, NTE_BAD_SIGNATURE},
      {"signed by another key, no attributes",
       [](SignedDataSpec& s) {
         s.signerKey = RsaKey(2048, 7).get();
         s.authAttrs = false;
       },
       NTE_BAD_SIGNATURE},
      {"ODM chain refused", [&](SignedDataSpec& s) { s = SignedDataFor(odm, s.content); }, CERT_E_CHAINING, FALSE},
      {"ODM chain accepted", [&](SignedDataSpec& s) { s = SignedDataFor(odm, s.content); }, 0, TRUE},
  };
  for (const Case& c : cases) {
    SignedDataSpec spec = SignedDataFor(chain, content);
    c.edit(spec);
    SignedMessageInfo info;
    EXPECT_EQ(Verify(MakeSignedData(spec), &info, c.fAcceptOdm), c.expected) << c.what;
  }
}

TEST(SignedMessage, FlippedContentByte) {
  const Bytes content = SampleContent();
  Chain chain = StandardChain(ROOT_LEVEL_TEST);
  for (bool authAttrs : {true, false}) {
    SignedDataSpec spec = SignedDataFor(chain, content);
    spec.authAttrs = authAttrs;
    const Bytes message = MakeSignedData(spec);
    // Find the content inside the message and flip one of its member bytes.
    const auto at = std::search(message.begin(), message.end(), content.begin(), content.end());
    ASSERT_NE(at, message.end());
    Bytes damaged = message;
    damaged[static_cast<size_t>(at - message.begin()) + content.size() - 3] ^= 0x01;
    SignedMessageInfo info;
    EXPECT_EQ(Verify(damaged, &info), authAttrs ? CRYPT_E_HASH_VALUE : NTE_BAD_SIGNATURE);
    // The signer was found before the failure and stays reported.
    EXPECT_EQ(ToBytes(info.SignerCertBlob), chain.signerCert);
  }
}

TEST(SignedMessage, NotASignedMessage) {
  using namespace der;
  const Bytes content = SampleContent();
  Chain chain = StandardChain(ROOT_LEVEL_PRODUCT);
  const Bytes good = MakeSignedData(SignedDataFor(chain, content));
  Bytes otherOuter = good;
  // 1.2.840.113549.1.7.2 -> 1.2.840.113549.1.7.1 (data)
  const Bytes signedDataOid = OidContent("1.2.840.113549.1.7.2");
  auto at = std::search(otherOuter.begin(), otherOuter.end(), signedDataOid.begin(), signedDataOid.end());
  ASSERT_NE(at, otherOuter.end());
  at[8] = 0x01;

  const Bytes noInnerContent =
      Seq({Oid("1.2.840.113549.1.7.2"), Explicit(0, {Seq({Integer(1), Set({}), Seq({Oid(kCtlOid)}), Tlv(0x31, {})})})});
  struct Case {
    const char* what;
    Bytes message;
    LONG expected;
  };
  const Case cases[] = {
      {"empty", {}, CRYPT_E_BAD_MSG},
      {"truncated", Bytes(good.begin(), good.begin() + static_cast<long>(good.size() / 2)), CRYPT_E_BAD_MSG},
      {"outer type data", otherOuter, CRYPT_E_BAD_MSG},
      {"a certificate", chain.signerCert, CRYPT_E_BAD_MSG},
      {"no inner content", noInnerContent, ERROR_NO_DATA},
  };
  for (const Case& c : cases) {
    SignedMessageInfo info;
    std::memset(&info, 0xCC, sizeof(info));
    EXPECT_EQ(Verify(c.message, &info), c.expected) << c.what;
    EXPECT_EQ(info.ContentBlob.cbData, 0u) << c.what;
    EXPECT_EQ(info.SignerCertBlob.pbData, nullptr) << c.what;
  }
}

}  // namespace
