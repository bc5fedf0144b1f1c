#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "mincrypt/asn1parse.h"
#include "tests/mincrypt/asn1_test_util.h"
#include "tests/support/der_builder.h"

using namespace der;
using asn1test::Blob;
using asn1test::Hex;
using asn1test::IsAbsent;

namespace {

const char kSha256Rsa[] = "1.2.840.113549.1.1.11";

struct CertParts {
  bool withVersion = true;
  Bytes serial = IntegerRaw(FromHex("00c0ffee"));
  Bytes issuer = NameWithCommonName("Issuer CA");
  Bytes notBefore = UtcTime("250101000000Z");
  Bytes notAfter = GeneralizedTime("20491231235959Z");
  Bytes subject = NameWithCommonName("Leaf");
  Bytes spki = Seq({AlgorithmIdentifier("1.2.840.113549.1.1.1"), BitString(Seq({Integer(0x00c5), Integer(3)}))});
  Bytes tail;  // unique identifiers and extensions
  Bytes signature = FromHex("5151515151");
};

Bytes Tbs(const CertParts& p) {
  return Seq({p.withVersion ? Explicit(0, {Integer(2)}) : Bytes{}, p.serial, AlgorithmIdentifier(kSha256Rsa), p.issuer,
              Seq({p.notBefore, p.notAfter}), p.subject, p.spki, p.tail});
}

Bytes Certificate(const CertParts& p) { return Seq({Tbs(p), AlgorithmIdentifier(kSha256Rsa), BitString(p.signature)}); }

Bytes Extension(const char* oid, bool critical, const Bytes& value) {
  return Seq({Oid(oid), critical ? Boolean(true) : Bytes{}, OctetString(value)});
}

TEST(Asn1ParseCertificate, V3SlotsPointAtTheirElements) {
  CertParts p;
  const Bytes exts =
      SeqOf({Extension("2.5.29.19", true, Seq({Boolean(true)})), Extension("2.5.29.14", false, FromHex("0401aa"))});
  p.tail = Cat({Implicit(1, FromHex("00 1122")), Implicit(2, FromHex("04 3340")), Explicit(3, {exts})});
  const Bytes cert = Certificate(p);
  DerBlob slots[MINASN1_CERT_BLOB_CNT];
  asn1test::Poison(slots);

  ASSERT_EQ(MinAsn1ParseCertificate(cert.data(), static_cast<DWORD>(cert.size()), slots),
            static_cast<LONG>(cert.size()));
  EXPECT_EQ(slots[0].cbData, 0xDEADu);
  EXPECT_EQ(slots[MINASN1_CERT_ENCODED_IDX].pbData, cert.data());
  EXPECT_EQ(Hex(slots[MINASN1_CERT_TO_BE_SIGNED_IDX]), ToHex(Tbs(p)));
  EXPECT_EQ(Hex(slots[MINASN1_CERT_SIGN_ALGID_IDX]), ToHex(AlgorithmIdentifier(kSha256Rsa)));
  EXPECT_EQ(Hex(slots[MINASN1_CERT_SIGNATURE_IDX]), "5151515151");
  EXPECT_EQ(Hex(slots[MINASN1_CERT_VERSION_IDX]), "02");
  EXPECT_EQ(Hex(slots[MINASN1_CERT_SERIAL_NUMBER_IDX]), "00c0ffee");  // as encoded, leading zero kept
  EXPECT_EQ(Hex(slots[MINASN1_CERT_ISSUER_IDX]), ToHex(p.issuer));
  EXPECT_EQ(Hex(slots[MINASN1_CERT_NOT_BEFORE_IDX]), ToHex(p.notBefore));
  EXPECT_EQ(Hex(slots[MINASN1_CERT_NOT_AFTER_IDX]), ToHex(p.notAfter));
  EXPECT_EQ(Hex(slots[MINASN1_CERT_SUBJECT_IDX]), ToHex(p.subject));
  EXPECT_EQ(Hex(slots[MINASN1_CERT_PUBKEY_INFO_IDX]), ToHex(p.spki));
  EXPECT_EQ(Hex(slots[MINASN1_CERT_ISSUER_UNIQUE_ID_IDX]), "1122");
  EXPECT_EQ(Hex(slots[MINASN1_CERT_SUBJECT_UNIQUE_ID_IDX]), "3340");
  EXPECT_EQ(Hex(slots[MINASN1_CERT_EXTS_IDX]), ToHex(exts));
}

TEST(Asn1ParseCertificate, WithoutVersionWrapperOrOptionalParts) {
  CertParts p;
  p.withVersion = false;
  const Bytes cert = Certificate(p);
  DerBlob slots[MINASN1_CERT_BLOB_CNT];
  asn1test::Poison(slots);
  ASSERT_EQ(MinAsn1ParseCertificate(cert.data(), static_cast<DWORD>(cert.size()), slots),
            static_cast<LONG>(cert.size()));
  EXPECT_TRUE(IsAbsent(slots[MINASN1_CERT_VERSION_IDX]));
  EXPECT_EQ(Hex(slots[MINASN1_CERT_SERIAL_NUMBER_IDX]), "00c0ffee");
  EXPECT_TRUE(IsAbsent(slots[MINASN1_CERT_ISSUER_UNIQUE_ID_IDX]));
  EXPECT_TRUE(IsAbsent(slots[MINASN1_CERT_SUBJECT_UNIQUE_ID_IDX]));
  EXPECT_TRUE(IsAbsent(slots[MINASN1_CERT_EXTS_IDX]));
  EXPECT_EQ(Hex(slots[MINASN1_CERT_SIGNATURE_IDX]), "5151515151");
}

TEST(Asn1ParseCertificate, EmptyUniqueIdentifiersStayEmpty) {
  // An implicitly tagged BIT STRING with no content has no unused-bits octet
  // to drop; the slot must not wrap around to 4 GiB.
  CertParts p;
  p.tail = Cat({Implicit(1, {}), Implicit(2, FromHex("00"))});
  const Bytes cert = Certificate(p);
  DerBlob slots[MINASN1_CERT_BLOB_CNT];
  ASSERT_GT(MinAsn1ParseCertificate(cert.data(), static_cast<DWORD>(cert.size()), slots), 0);
  EXPECT_EQ(slots[MINASN1_CERT_ISSUER_UNIQUE_ID_IDX].cbData, 0u);
  EXPECT_EQ(slots[MINASN1_CERT_SUBJECT_UNIQUE_ID_IDX].cbData, 0u);
}

TEST(Asn1ParseCertificate, TrailingBytesAreNotPartOfTheResult) {
  const Bytes cert = Certificate({});
  const Bytes in = Cat({cert, FromHex("30 00 ff")});
  DerBlob slots[MINASN1_CERT_BLOB_CNT];
  EXPECT_EQ(MinAsn1ParseCertificate(in.data(), static_cast<DWORD>(in.size()), slots), static_cast<LONG>(cert.size()));
}

size_t OffsetOf(const Bytes& haystack, const Bytes& needle) {
  return static_cast<size_t>(std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) -
                             haystack.begin());
}

TEST(Asn1ParseCertificate, FailuresReportTheOffsetOfTheOffendingElement) {
  CertParts badSerial;
  badSerial.serial = OctetString(FromHex("77"));
  CertParts badTime;
  badTime.notAfter = PrintableString("20491231");
  const struct {
    const char* name;
    Bytes in;
    Bytes offending;  // empty: the end of the input
  } cases[] = {
      {"not a SEQUENCE", OctetString(FromHex("00")), OctetString(FromHex("00"))},
      {"serial is not an INTEGER", Certificate(badSerial), badSerial.serial},
      {"notAfter is not a time", Certificate(badTime), badTime.notAfter},
      {"signature missing", Seq({Tbs(CertParts{}), AlgorithmIdentifier(kSha256Rsa)}), {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const size_t offset = c.offending.empty() ? c.in.size() : OffsetOf(c.in, c.offending);
    DerBlob slots[MINASN1_CERT_BLOB_CNT];
    EXPECT_EQ(MinAsn1ParseCertificate(c.in.data(), static_cast<DWORD>(c.in.size()), slots),
              -static_cast<LONG>(offset) - 1);
  }
}

TEST(Asn1ParseCertificate, EveryTruncationFailsInsideTheBuffer) {
  CertParts p;
  p.tail =
      Cat({Implicit(1, FromHex("00 11")), Explicit(3, {SeqOf({Extension("2.5.29.15", true, FromHex("030205a0"))})})});
  const Bytes cert = Certificate(p);
  for (size_t cb = 0; cb < cert.size(); cb++) {
    // An exact-size copy lets ASan catch reads past the end.
    const std::vector<BYTE> prefix(cert.begin(), cert.begin() + static_cast<std::ptrdiff_t>(cb));
    DerBlob slots[MINASN1_CERT_BLOB_CNT];
    const LONG result = MinAsn1ParseCertificate(prefix.data(), static_cast<DWORD>(cb), slots);
    EXPECT_LE(result, 0) << cb;
    EXPECT_GE(result, -static_cast<LONG>(cb) - 1) << cb;
  }
}

// ---------------------------------------------------------------------------

const char kSignedDataOid[] = "1.2.840.113549.1.7.2";
const char kDataOid[] = "1.2.840.113549.1.7.1";

Bytes SignerInfo(int serial, const Bytes& authAttrs, const Bytes& unauthAttrs) {
  return Seq({Integer(1), Seq({NameWithCommonName("Issuer CA"), Integer(serial)}), AlgorithmIdentifier("1.3.14.3.2.26"),
              authAttrs, AlgorithmIdentifier("1.2.840.113549.1.1.1"), OctetString(FromHex("abcdef")), unauthAttrs});
}

Bytes SignedData(const Bytes& innerContent, const Bytes& certs, const Bytes& crls, const Bytes& signerInfos) {
  return Seq({Oid(kSignedDataOid), Explicit(0, {Seq({Integer(1), Set({AlgorithmIdentifier("1.3.14.3.2.26")}),
                                                     Seq({Oid(kDataOid), innerContent}), certs, crls, signerInfos})})});
}

TEST(Asn1ParseSignedData, AllSlotsOfTheFirstSigner) {
  const Bytes cert = Certificate({});
  const Bytes certs = Explicit(0, {cert});
  const Bytes crls = Explicit(1, {Seq({Integer(0)})});
  const Bytes authAttrs = Explicit(0, {Seq({Oid("1.2.840.113549.1.9.3"), Set({Oid(kDataOid)})})});
  const Bytes unauthAttrs = Explicit(1, {Seq({Oid("1.2.3.4"), Set({Null()})})});
  const Bytes first = SignerInfo(0x42, authAttrs, unauthAttrs);
  const Bytes signerInfos = Set({first, SignerInfo(0x43, {}, {})});
  const Bytes in = SignedData(Explicit(0, {OctetString(FromString("hello"))}), certs, crls, signerInfos);
  DerBlob slots[MINASN1_SIGNED_DATA_BLOB_CNT];
  asn1test::Poison(slots);

  ASSERT_EQ(MinAsn1ParseSignedData(in.data(), static_cast<DWORD>(in.size()), slots), static_cast<LONG>(in.size()));
  EXPECT_EQ(slots[MINASN1_SIGNED_DATA_ENCODED_IDX].pbData, in.data());
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_OUTER_OID_IDX]), ToHex(OidContent(kSignedDataOid)));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_VERSION_IDX]), "01");
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_DIGEST_ALGIDS_IDX]), ToHex(Set({AlgorithmIdentifier("1.3.14.3.2.26")})));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_CONTENT_OID_IDX]), ToHex(OidContent(kDataOid)));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_CONTENT_DATA_IDX]), ToHex(OctetString(FromString("hello"))));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_CERTS_IDX]), ToHex(certs));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_CRLS_IDX]), ToHex(crls));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_SIGNER_INFOS_IDX]), ToHex(signerInfos));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_ENCODED_IDX]), ToHex(first));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_VERSION_IDX]), "01");
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_ISSUER_IDX]), ToHex(NameWithCommonName("Issuer CA")));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_SERIAL_NUMBER_IDX]), "42");
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_DIGEST_ALGID_IDX]), ToHex(AlgorithmIdentifier("1.3.14.3.2.26")));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_AUTH_ATTRS_IDX]), ToHex(authAttrs));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_ENCRYPT_DIGEST_ALGID_IDX]),
            ToHex(AlgorithmIdentifier("1.2.840.113549.1.1.1")));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_ENCRYPT_DIGEST_IDX]), "abcdef");
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_UNAUTH_ATTRS_IDX]), ToHex(unauthAttrs));
}

TEST(Asn1ParseSignedData, OptionalPartsAbsentAndEmptySignerInfos) {
  const Bytes in = SignedData({}, {}, {}, Set({}));
  DerBlob slots[MINASN1_SIGNED_DATA_BLOB_CNT];
  asn1test::Poison(slots);
  ASSERT_EQ(MinAsn1ParseSignedData(in.data(), static_cast<DWORD>(in.size()), slots), static_cast<LONG>(in.size()));
  EXPECT_TRUE(IsAbsent(slots[MINASN1_SIGNED_DATA_CONTENT_DATA_IDX]));
  EXPECT_TRUE(IsAbsent(slots[MINASN1_SIGNED_DATA_CERTS_IDX]));
  EXPECT_TRUE(IsAbsent(slots[MINASN1_SIGNED_DATA_CRLS_IDX]));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_SIGNER_INFOS_IDX]), "3100");
  for (DWORD i = MINASN1_SIGNED_DATA_SIGNER_INFO_ENCODED_IDX; i < MINASN1_SIGNED_DATA_BLOB_CNT; i++) {
    EXPECT_TRUE(IsAbsent(slots[i])) << i;
  }
}

TEST(Asn1ParseSignedData, SignerInfoWithoutAttributesAndMissingSignerInfos) {
  const Bytes in = SignedData({}, {}, {}, Set({SignerInfo(7, {}, {})}));
  DerBlob slots[MINASN1_SIGNED_DATA_BLOB_CNT];
  ASSERT_EQ(MinAsn1ParseSignedData(in.data(), static_cast<DWORD>(in.size()), slots), static_cast<LONG>(in.size()));
  EXPECT_TRUE(IsAbsent(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_AUTH_ATTRS_IDX]));
  EXPECT_TRUE(IsAbsent(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_UNAUTH_ATTRS_IDX]));
  EXPECT_EQ(Hex(slots[MINASN1_SIGNED_DATA_SIGNER_INFO_ENCRYPT_DIGEST_IDX]), "abcdef");

  // signerInfos is required: without it the parse fails where it should be.
  const Bytes noSigners = SignedData({}, {}, {}, {});
  EXPECT_EQ(MinAsn1ParseSignedData(noSigners.data(), static_cast<DWORD>(noSigners.size()), slots),
            -static_cast<LONG>(noSigners.size()) - 1);
}

// ---------------------------------------------------------------------------

TEST(Asn1ParseCTL, AllFieldsAndOnlyTheRequiredOnes) {
  const Bytes usage = Seq({Oid("1.3.6.1.4.1.311.12.1.1")});
  const Bytes algId = AlgorithmIdentifier("1.3.14.3.2.26");
  const Bytes subjects = SeqOf({Seq({OctetString(FromHex("0102")), Set({})})});
  const Bytes exts = SeqOf({Extension("1.2.3", false, FromHex("05"))});
  const Bytes full = Seq({Integer(1), usage, OctetString(FromHex("aa55")), Integer(300), UtcTime("250101000000Z"),
                          GeneralizedTime("20300101000000Z"), algId, subjects, Explicit(0, {exts})});
  DerBlob slots[MINASN1_CTL_BLOB_CNT];
  asn1test::Poison(slots);
  const DerBlob fullBlob = Blob(full);
  ASSERT_EQ(MinAsn1ParseCTL(&fullBlob, slots), static_cast<LONG>(full.size()));
  EXPECT_EQ(slots[MINASN1_CTL_ENCODED_IDX].pbData, full.data());
  EXPECT_EQ(Hex(slots[MINASN1_CTL_VERSION_IDX]), "01");
  EXPECT_EQ(Hex(slots[MINASN1_CTL_SUBJECT_USAGE_IDX]), ToHex(usage));
  EXPECT_EQ(Hex(slots[MINASN1_CTL_LIST_ID_IDX]), "aa55");
  EXPECT_EQ(Hex(slots[MINASN1_CTL_SEQUENCE_NUMBER_IDX]), "012c");
  EXPECT_EQ(Hex(slots[MINASN1_CTL_THIS_UPDATE_IDX]), ToHex(UtcTime("250101000000Z")));
  EXPECT_EQ(Hex(slots[MINASN1_CTL_NEXT_UPDATE_IDX]), ToHex(GeneralizedTime("20300101000000Z")));
  EXPECT_EQ(Hex(slots[MINASN1_CTL_SUBJECT_ALGID_IDX]), ToHex(algId));
  EXPECT_EQ(Hex(slots[MINASN1_CTL_SUBJECTS_IDX]), ToHex(subjects));
  EXPECT_EQ(Hex(slots[MINASN1_CTL_EXTS_IDX]), ToHex(exts));

  const Bytes minimal = Seq({usage, UtcTime("250101000000Z"), algId});
  asn1test::Poison(slots);
  const DerBlob minimalBlob = Blob(minimal);
  ASSERT_EQ(MinAsn1ParseCTL(&minimalBlob, slots), static_cast<LONG>(minimal.size()));
  for (DWORD i : {MINASN1_CTL_VERSION_IDX, MINASN1_CTL_LIST_ID_IDX, MINASN1_CTL_SEQUENCE_NUMBER_IDX,
                  MINASN1_CTL_NEXT_UPDATE_IDX, MINASN1_CTL_SUBJECTS_IDX, MINASN1_CTL_EXTS_IDX}) {
    EXPECT_TRUE(IsAbsent(slots[i])) << i;
  }
  EXPECT_EQ(Hex(slots[MINASN1_CTL_SUBJECT_ALGID_IDX]), ToHex(algId));
}

// The small parsers, one table of inputs and expected slots (hex; "-" means
// absent). Slot 1 is always the whole input.
struct SmallCase {
  const char* name;
  std::function<LONG(const Bytes&, DerBlob*)> parse;
  DWORD cSlots;
  Bytes in;
  std::vector<std::string> slots;  // slots 2...
  LONG result;                     // 0: the whole input
};

LONG ParseCTLSubject(const Bytes& in, DerBlob* slots) {
  return MinAsn1ParseCTLSubject(in.data(), static_cast<DWORD>(in.size()), slots);
}
template <LONG (*Parser)(const DerBlob*, DerBlob*)>
LONG ByBlob(const Bytes& in, DerBlob* slots) {
  const DerBlob blob = Blob(in);
  return Parser(&blob, slots);
}

TEST(Asn1SmallStructures, SlotsAndFailures) {
  const Bytes attrs = Set({Seq({Oid("1.2.3"), Set({Null()})})});
  const Bytes algId = AlgorithmIdentifier("1.3.14.3.2.26");
  const std::string digest = "000102030405060708090a0b0c0d0e0f10111213";
  const Bytes spcLink = Explicit(2, {Implicit(0, {})});
  const SmallCase cases[] = {
      {"CTL subject with attributes",
       ParseCTLSubject,
       MINASN1_CTL_SUBJECT_BLOB_CNT,
       Seq({OctetString(FromHex("a1a2")), attrs}),
       {"a1a2", ToHex(attrs)},
       0},
      {"CTL subject without attributes",
       ParseCTLSubject,
       MINASN1_CTL_SUBJECT_BLOB_CNT,
       Seq({OctetString(FromHex("a1a2"))}),
       {"a1a2", "-"},
       0},
      {"CTL subject without identifier", ParseCTLSubject, MINASN1_CTL_SUBJECT_BLOB_CNT, Seq({attrs}), {}, -3},
      {"algorithm with NULL",
       ByBlob<MinAsn1ParseAlgorithmIdentifier>,
       MINASN1_ALGID_BLOB_CNT,
       AlgorithmIdentifier("1.2.840.113549.1.1.5"),
       {ToHex(OidContent("1.2.840.113549.1.1.5")), "0500"},
       0},
      {"algorithm without parameters",
       ByBlob<MinAsn1ParseAlgorithmIdentifier>,
       MINASN1_ALGID_BLOB_CNT,
       Seq({Oid("1.3.101.112")}),
       {"2b6570", "-"},
       0},
      {"algorithm with an OID of 0x80 length",
       ByBlob<MinAsn1ParseAlgorithmIdentifier>,
       MINASN1_ALGID_BLOB_CNT,
       FromHex("30 03 06 80 00"),
       {},
       -3},
      {"public key info",
       ByBlob<MinAsn1ParsePublicKeyInfo>,
       MINASN1_PUBKEY_INFO_BLOB_CNT,
       Seq({AlgorithmIdentifier("1.2.840.113549.1.1.1"), BitString(FromHex("3006020100020103"))}),
       {ToHex(AlgorithmIdentifier("1.2.840.113549.1.1.1")), "3006020100020103"},
       0},
      {"public key info with a non-BIT STRING key",
       ByBlob<MinAsn1ParsePublicKeyInfo>,
       MINASN1_PUBKEY_INFO_BLOB_CNT,
       Seq({AlgorithmIdentifier("1.2.840.113549.1.1.1"), OctetString(FromHex("00"))}),
       {},
       -18},
      {"RSA public key",
       ByBlob<MinAsn1ParseRSAPublicKey>,
       MINASN1_RSA_PUBKEY_BLOB_CNT,
       Seq({UnsignedInteger(FromHex("c3f1")), Integer(65537)}),
       {"00c3f1", "010001"},
       0},
      {"RSA public key, modulus without leading zero",
       ByBlob<MinAsn1ParseRSAPublicKey>,
       MINASN1_RSA_PUBKEY_BLOB_CNT,
       Seq({IntegerRaw(FromHex("c3f1")), Integer(3)}),
       {"c3f1", "03"},
       0},
      {"RSA public key without exponent",
       ByBlob<MinAsn1ParseRSAPublicKey>,
       MINASN1_RSA_PUBKEY_BLOB_CNT,
       Seq({Integer(5)}),
       {},
       -6},
      {"indirect data",
       ByBlob<MinAsn1ParseIndirectData>,
       MINASN1_INDIRECT_DATA_BLOB_CNT,
       Seq({Seq({Oid("1.3.6.1.4.1.311.2.1.15"), spcLink}), Seq({algId, OctetString(FromHex(digest))})}),
       {ToHex(OidContent("1.3.6.1.4.1.311.2.1.15")), ToHex(spcLink), ToHex(algId), digest},
       0},
      {"indirect data without value",
       ByBlob<MinAsn1ParseIndirectData>,
       MINASN1_INDIRECT_DATA_BLOB_CNT,
       Seq({Seq({Oid("1.2.3")}), Seq({algId, OctetString(FromHex("01"))})}),
       {"2a03", "-", ToHex(algId), "01"},
       0},
      {"name-value",
       ByBlob<MinAsn1ParseNameValue>,
       MINASN1_NAME_VALUE_BLOB_CNT,
       Seq({BmpString(u"Model"), Integer(0x10010001), OctetString(FromHex("5a0052000000"))}),
       {"004d006f00640065006c", "10010001", "5a0052000000"},
       0},
      {"name-value with a UTF8String name",
       ByBlob<MinAsn1ParseNameValue>,
       MINASN1_NAME_VALUE_BLOB_CNT,
       Seq({Utf8String("Model"), Integer(1), OctetString({})}),
       {},
       -3},
  };
  for (const SmallCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<DerBlob> slots(c.cSlots, DerBlob{0xDEAD, asn1test::kPoison});
    const LONG result = c.parse(c.in, slots.data());
    if (c.result != 0) {
      EXPECT_EQ(result, c.result);
      continue;
    }
    ASSERT_EQ(result, static_cast<LONG>(c.in.size()));
    EXPECT_EQ(slots[1].pbData, c.in.data());
    ASSERT_EQ(c.slots.size(), c.cSlots - 2);
    for (size_t i = 0; i < c.slots.size(); i++) {
      if (c.slots[i] == "-") {
        EXPECT_TRUE(IsAbsent(slots[i + 2])) << "slot " << i + 2;
      } else {
        EXPECT_EQ(Hex(slots[i + 2]), c.slots[i]) << "slot " << i + 2;
      }
    }
  }
}

}  // namespace
