// Catalogs: verification, hash lookup across catalogs and name-value checks.
#include "mincrypt/vercat.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "mincrypt/asn1parse.h"
#include "mincrypt/hashmem.h"
#include "mincrypt/rootlevel.h"
#include "tests/mincrypt/ver_fixture.h"

namespace {

using namespace verfix;
using der::Cat;

const Bytes kNameValueOid = der::OidContent("1.3.6.1.4.1.311.12.2.1");
const std::u16string kManufacturer = u"Manufacturer";

Bytes HashN(uint8_t n) { return Bytes(20, n); }

Bytes Catalog(int level, const std::vector<Bytes>& members, const std::vector<Bytes>& exts = {}) {
  static std::map<int, Chain> chains;
  if (!chains.count(level)) chains[level] = StandardChain(level);
  return MakeSignedData(SignedDataFor(chains[level], MakeCtl(members, exts)));
}

MapCatInfo Record(const Bytes& catalog) {
  MapCatInfo info = {};
  info.EncodedBlob = Blob(catalog);
  return info;
}

// Verifies one catalog and looks one hash up, as the acceptance front does.
LONG FindOne(const Bytes& catalog, const Bytes& hash, BOOL fAcceptOdm = TRUE, MapCatInfo* pOut = nullptr) {
  MapCatInfo info = Record(catalog);
  DerBlob h = Blob(hash);
  LONG result = -7;
  EXPECT_EQ(MinCryptFindHashesInCatalogs(CALG_SHA1, 1, &h, 1, &info, fAcceptOdm, &result), 0);
  if (pOut) *pOut = info;
  return result;
}

LONG CheckName(const MapCatInfo& info, std::u16string_view name, const Bytes& value, const Bytes& oid = kNameValueOid) {
  Bytes nameBytes = der::BmpString(name);
  nameBytes.erase(nameBytes.begin(), nameBytes.begin() + 2);  // content octets only
  return MinCryptCheckCatalogNameValue(info, static_cast<DWORD>(oid.size()), oid.data(),
                                       static_cast<DWORD>(nameBytes.size()), nameBytes.data(),
                                       static_cast<DWORD>(value.size()), value.data());
}

TEST(Catalog, ListedHashAtEachAnchorLevel) {
  struct Case {
    int level;
    BOOL fAcceptOdm;
    LONG expected;
    DWORD rootLevel;
  };
  const Case cases[] = {
      {ROOT_LEVEL_TEST, TRUE, 0, ROOT_LEVEL_TEST},
      {ROOT_LEVEL_ODM, TRUE, 0, ROOT_LEVEL_ODM},
      {ROOT_LEVEL_ODM, FALSE, ERROR_FILE_NOT_FOUND, ROOT_LEVEL_NONE},
      {ROOT_LEVEL_PRODUCT, TRUE, 0, ROOT_LEVEL_PRODUCT},
      {ROOT_LEVEL_PRODUCT, FALSE, 0, ROOT_LEVEL_PRODUCT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "level " << c.level << " accept-ODM " << c.fAcceptOdm);
    const Bytes catalog = Catalog(
        c.level, {Member("other", {MemberHashAttribute(HashN(1))}), Member("image", {MemberHashAttribute(HashN(2))})});
    RootLevel = 0;
    MapCatInfo info;
    EXPECT_EQ(FindOne(catalog, HashN(2), c.fAcceptOdm, &info), c.expected);
    EXPECT_EQ(RootLevel, c.rootLevel);
    EXPECT_EQ(FindOne(catalog, HashN(3), c.fAcceptOdm), ERROR_FILE_NOT_FOUND);
  }
}

TEST(Catalog, RecordAfterVerification) {
  const Bytes catalog = Catalog(ROOT_LEVEL_PRODUCT, {Member("image", {MemberHashAttribute(HashN(2))})},
                                {NameValueExtension(kManufacturer, Utf16LeWithTerminator(u"Corvane"))});
  MapCatInfo info = Record(catalog);
  ASSERT_EQ(MinCryptVerifyCatalog(&info, TRUE), 0);
  EXPECT_EQ(info.lErrCode, 0);
  ASSERT_GT(info.MembersBlob.cbData, 0u);
  EXPECT_EQ(info.MembersBlob.pbData[0], 0x30);
  ASSERT_GT(info.ExtensionsBlob.cbData, 0u);
  EXPECT_EQ(info.ExtensionsBlob.pbData[0], 0x30);
  ASSERT_GT(info.AuthAttrsBlob.cbData, 0u);
  EXPECT_EQ(info.AuthAttrsBlob.pbData[0], 0xA0);
  // Every blob points into the catalog.
  for (const DerBlob* b : {&info.MembersBlob, &info.ExtensionsBlob, &info.AuthAttrsBlob}) {
    EXPECT_GE(b->pbData, catalog.data());
    EXPECT_LE(b->pbData + b->cbData, catalog.data() + catalog.size());
  }
}

TEST(Catalog, FailedVerificationIsNotFound) {
  const Bytes ctl = MakeCtl({Member("image", {MemberHashAttribute(HashN(2))})}, {});
  Chain chain = StandardChain(ROOT_LEVEL_PRODUCT);
  const Bytes good = MakeSignedData(SignedDataFor(chain, ctl));

  Bytes flipped = good;
  const auto at = std::search(flipped.begin(), flipped.end(), ctl.begin(), ctl.end());
  ASSERT_NE(at, flipped.end());
  at[static_cast<long>(ctl.size()) - 1] ^= 0x80;  // last byte of the member's hash

  SignedDataSpec dataSpec = SignedDataFor(chain, ctl);
  dataSpec.contentType = "1.3.6.1.4.1.311.2.1.4";                       // indirect data, not a trust list
  SignedDataSpec notCtl = SignedDataFor(chain, der::OctetString(ctl));  // right type, wrong content

  struct Case {
    const char* what;
    Bytes catalog;
    LONG lErrCode;
  };
  const Case cases[] = {
      {"flipped content byte", flipped, CRYPT_E_HASH_VALUE},
      {"other content type", MakeSignedData(dataSpec), CRYPT_E_BAD_MSG},
      {"trust-list type over other content", MakeSignedData(notCtl), CRYPT_E_BAD_MSG},
      {"not a message", ctl, CRYPT_E_BAD_MSG},
  };
  for (const Case& c : cases) {
    MapCatInfo info;
    EXPECT_EQ(FindOne(c.catalog, HashN(2), TRUE, &info), ERROR_FILE_NOT_FOUND) << c.what;
    EXPECT_EQ(info.lErrCode, c.lErrCode) << c.what;
    EXPECT_EQ(info.MembersBlob.cbData, 0u) << c.what;
    EXPECT_EQ(info.ExtensionsBlob.cbData, 0u) << c.what;
  }
}

TEST(Catalog, HashAttributePositionAndBrokenMembers) {
  using namespace der;
  const Bytes h = HashN(9);
  const Bytes hashAttr = MemberHashAttribute(h);
  const Bytes o1 = OtherAttribute(1), o2 = OtherAttribute(2), o3 = OtherAttribute(3);
  const Bytes unparseableMember = Seq({Integer(5)});
  const Bytes badIndirect = Seq({Oid("1.3.6.1.4.1.311.2.1.4"), Set({Seq({Integer(1)})})});
  struct Case {
    const char* what;
    std::vector<Bytes> members;
    LONG expected;
  };
  const Case cases[] = {
      {"first attribute", {Member("m", {hashAttr, o1, o2})}, 0},
      {"second attribute", {Member("m", {o1, hashAttr, o2})}, 0},
      {"third attribute", {Member("m", {o1, o2, hashAttr})}, 0},
      {"fourth attribute", {Member("m", {o1, o2, o3, hashAttr})}, ERROR_FILE_NOT_FOUND},
      {"hash one byte longer", {Member("m", {MemberHashAttribute(Cat({h, {0x00}}))})}, ERROR_FILE_NOT_FOUND},
      {"hash one byte shorter",
       {Member("m", {MemberHashAttribute(Bytes(h.begin(), h.end() - 1))})},
       ERROR_FILE_NOT_FOUND},
      {"later member", {Member("a", {o1}), Member("b", {}), Member("c", {o1, hashAttr})}, 0},
      {"member without attributes", {Seq({OctetString({1})}), Member("c", {hashAttr})}, 0},
      {"member that fails to parse hides the rest",
       {Member("a", {o1}), unparseableMember, Member("c", {hashAttr})},
       ERROR_FILE_NOT_FOUND},
      {"member that fails to parse after the match", {Member("c", {hashAttr}), unparseableMember}, 0},
      {"broken indirect data moves on", {Member("a", {badIndirect}), Member("c", {hashAttr})}, 0},
      {"attribute list that fails to parse moves on",
       {Seq({OctetString({1}), Tlv(0x31, Seq({Oid("1.2.3")}))}), Member("c", {hashAttr})},
       0},
      {"no members", {}, ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) EXPECT_EQ(FindOne(Catalog(ROOT_LEVEL_TEST, c.members), h), c.expected) << c.what;
}

TEST(Catalog, MemberInformationAndMapIndex) {
  const Bytes member0 = Member("zero", {MemberHashAttribute(HashN(1)), OtherAttribute(0)});
  const Bytes member1 = Member("one", {MemberHashAttribute(HashN(1)), OtherAttribute(1)});
  const Bytes member1only = Member("one-only", {MemberHashAttribute(HashN(2))});
  const Bytes member0only = Member("zero-only", {MemberHashAttribute(HashN(4))});
  const Bytes cat0 = Catalog(ROOT_LEVEL_TEST, {member0, member0only});
  const Bytes cat1 = Catalog(ROOT_LEVEL_PRODUCT, {member1, member1only});
  const Bytes broken = Bytes(cat1.begin(), cat1.end() - 1);
  MapCatInfo rec[3] = {Record(cat0), Record(cat1), Record(broken)};
  MinCryptVerifyCatalogs(3, rec, TRUE);
  ASSERT_EQ(rec[0].lErrCode, 0);
  ASSERT_EQ(rec[1].lErrCode, 0);
  ASSERT_NE(rec[2].lErrCode, 0);

  // The attribute SET of the member that matched.
  auto attrsOf = [](const Bytes& member) {
    SCOPED_TRACE("member");
    DerBlob slots[MINASN1_CTL_SUBJECT_BLOB_CNT];
    EXPECT_GT(MinAsn1ParseCTLSubject(member.data(), static_cast<DWORD>(member.size()), slots), 0);
    const DerBlob& a = slots[MINASN1_CTL_SUBJECT_ATTRS_IDX];
    return Bytes(a.pbData, a.pbData + a.cbData);
  };
  struct Case {
    const char* what;
    LONG lIndexIn;
    Bytes hash;
    LONG expected;
    LONG lIndexOut;
    Bytes memberAttrs;
  };
  const Case cases[] = {
      {"first catalog", 0, HashN(1), 0, 0, attrsOf(member0)},
      {"second catalog only", 1, HashN(1), 0, 1, attrsOf(member1)},
      {"second first, then all", 0x10001, HashN(1), 0, 1, attrsOf(member1)},
      {"second first, then the first", 0x10001, HashN(4), 0, 0, attrsOf(member0only)},
      {"second catalog lacks it", 1, HashN(4), ERROR_FILE_NOT_FOUND, -1, {}},
      {"first catalog lacks it", 0, HashN(2), ERROR_FILE_NOT_FOUND, -1, {}},
      {"first then all", 0x10000, HashN(2), 0, 1, attrsOf(member1only)},
      {"failed catalog first, then all", 0x10002, HashN(2), 0, 1, attrsOf(member1only)},
      {"failed catalog alone", 2, HashN(2), ERROR_FILE_NOT_FOUND, -1, {}},
      {"nothing searched", -1, HashN(1), ERROR_FILE_NOT_FOUND, -1, {}},
      {"not anywhere", 0x10000, HashN(3), ERROR_FILE_NOT_FOUND, -1, {}},
  };
  for (const Case& c : cases) {
    LONG lIndex = c.lIndexIn;
    DerBlob memberInfo = {5, cat0.data()};
    const DerBlob h = Blob(c.hash);
    EXPECT_EQ(MinCryptFindHashInCatalogs(CALG_SHA1, &h, 3, rec, &lIndex, &memberInfo), c.expected) << c.what;
    EXPECT_EQ(lIndex, c.lIndexOut) << c.what;
    const Bytes got = memberInfo.pbData ? Bytes(memberInfo.pbData, memberInfo.pbData + memberInfo.cbData) : Bytes{};
    EXPECT_EQ(got, c.memberAttrs) << c.what;
  }
}

TEST(CatalogDeathTest, FirstCatalogIndexMustExist) {
  const Bytes cat = Catalog(ROOT_LEVEL_TEST, {Member("a", {MemberHashAttribute(HashN(1))})});
  MapCatInfo rec[2] = {Record(cat), Record(cat)};
  MinCryptVerifyCatalogs(2, rec, TRUE);
  const Bytes h = HashN(1);
  const DerBlob hash = Blob(h);
  DerBlob memberInfo;
  LONG lIndex = 0x10002;
  EXPECT_DEATH(MinCryptFindHashInCatalogs(CALG_SHA1, &hash, 2, rec, &lIndex, &memberInfo),
               "Assertion failed: \\(DWORD\\) lMapCatIdx < cMapCatInfo, file .*vercat\\.cpp");
}

TEST(Catalog, SeveralHashesAreLookedForInCatalogZero) {
  const Bytes cat0 = Catalog(ROOT_LEVEL_TEST, {Member("a", {MemberHashAttribute(HashN(1))})});
  const Bytes cat1 = Catalog(ROOT_LEVEL_TEST, {Member("b", {MemberHashAttribute(HashN(2))})});
  MapCatInfo rec[2] = {Record(cat0), Record(cat1)};
  const Bytes h1 = HashN(1), h2 = HashN(2), h3 = HashN(3);
  const DerBlob hashes[3] = {Blob(h1), Blob(h2), Blob(h3)};
  LONG results[3] = {-1, -1, -1};
  EXPECT_EQ(MinCryptFindHashesInCatalogs(CALG_SHA1, 3, hashes, 2, rec, TRUE, results), 0);
  EXPECT_EQ(results[0], 0);
  EXPECT_EQ(results[1], ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(results[2], ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(rec[1].lErrCode, 0);  // verified all the same
}

TEST(Catalog, NoCatalogMeansNotFound) {
  const Bytes h = HashN(1);
  const DerBlob hash = Blob(h);
  LONG result = 0;
  EXPECT_EQ(MinCryptFindHashesInCatalogs(CALG_SHA1, 1, &hash, 0, nullptr, TRUE, &result), 0);
  EXPECT_EQ(result, ERROR_FILE_NOT_FOUND);
}

TEST(CatalogNameValue, ExtensionPositionNameAndValue) {
  using namespace der;
  const Bytes corvane = Utf16LeWithTerminator(u"Corvane");
  const Bytes manufacturer = NameValueExtension(kManufacturer, corvane);
  const Bytes e1 = OtherExtension(1), e2 = OtherExtension(2), e3 = OtherExtension(3);
  struct Case {
    const char* what;
    std::vector<Bytes> exts;
    Bytes value;
    LONG expected;
  };
  const Case cases[] = {
      {"first extension", {manufacturer, e1}, corvane, 0},
      {"second extension", {e1, manufacturer}, corvane, 0},
      {"third extension", {e1, e2, manufacturer}, corvane, 0},
      {"fourth extension", {e1, e2, e3, manufacturer}, corvane, ERROR_FILE_NOT_FOUND},
      {"other case", {manufacturer}, Utf16LeWithTerminator(u"CORVANE"), ERROR_FILE_NOT_FOUND},
      {"without terminator", {manufacturer}, Bytes(corvane.begin(), corvane.end() - 2), ERROR_FILE_NOT_FOUND},
      {"stored without terminator",
       {NameValueExtension(kManufacturer, Bytes(corvane.begin(), corvane.end() - 2))},
       corvane,
       ERROR_FILE_NOT_FOUND},
      {"trailing blank", {manufacturer}, Utf16LeWithTerminator(u"Corvane "), ERROR_FILE_NOT_FOUND},
      {"other name", {NameValueExtension(u"Model", corvane)}, corvane, ERROR_FILE_NOT_FOUND},
      {"name in other case", {NameValueExtension(u"manufacturer", corvane)}, corvane, ERROR_FILE_NOT_FOUND},
      {"other extension type",
       {NameValueExtension(kManufacturer, corvane, "1.3.6.1.4.1.311.12.2.2")},
       corvane,
       ERROR_FILE_NOT_FOUND},
      {"unparseable name-value, then a good one",
       {Seq({Oid("1.3.6.1.4.1.311.12.2.1"), OctetString(Seq({BmpString(kManufacturer)}))}), manufacturer},
       corvane,
       0},
      {"second of two values",
       {NameValueExtension(kManufacturer, Utf16LeWithTerminator(u"X")), manufacturer},
       corvane,
       0},
      {"no extensions", {}, corvane, ERROR_FILE_NOT_FOUND},
      // A list that fails part-way counts as none, the entries before the
      // broken one included.
      {"broken extension after the match", {manufacturer, Seq({Oid("1.2.3")})}, corvane, ERROR_FILE_NOT_FOUND},
  };
  for (const Case& c : cases) {
    const Bytes catalog = Catalog(ROOT_LEVEL_TEST, {Member("m", {MemberHashAttribute(HashN(1))})}, c.exts);
    MapCatInfo info;
    ASSERT_EQ(FindOne(catalog, HashN(1), TRUE, &info), 0) << c.what;
    EXPECT_EQ(CheckName(info, kManufacturer, c.value), c.expected) << c.what;
  }
}

TEST(CatalogNameValue, UnparseableExtensionListCountsAsNone) {
  MapCatInfo info = {};
  const Bytes broken = {0x30, 0x10, 0x30, 0x02};
  info.ExtensionsBlob = Blob(broken);
  EXPECT_EQ(CheckName(info, kManufacturer, Utf16LeWithTerminator(u"Corvane")), ERROR_FILE_NOT_FOUND);
  info.ExtensionsBlob = {0, nullptr};
  EXPECT_EQ(CheckName(info, kManufacturer, Utf16LeWithTerminator(u"Corvane")), ERROR_FILE_NOT_FOUND);
}

}  // namespace
