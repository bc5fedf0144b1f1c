#include <gtest/gtest.h>

#include <algorithm>
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

Bytes Extension(const std::string& oid, bool critical, const Bytes& value) {
  return Seq({Oid(oid), critical ? Boolean(true) : Bytes{}, OctetString(value)});
}

std::vector<Bytes> FiveExtensions() {
  std::vector<Bytes> exts;
  for (int i = 1; i <= 5; i++) exts.push_back(Extension("2.5.29." + std::to_string(10 + i), i == 2, Bytes(i, 0x40)));
  return exts;
}

size_t TotalSize(const std::vector<Bytes>& items, size_t count) {
  size_t total = 0;
  for (size_t i = 0; i < count; i++) total += items[i].size();
  return total;
}

TEST(Asn1ParseExtensions, StopsAtTheMaximumWithoutFailing) {
  const std::vector<Bytes> exts = FiveExtensions();
  const Bytes list = SeqOf(exts);
  const DerBlob blob = Blob(list);
  for (DWORD cMax : {0u, 1u, 3u, 5u, 8u}) {
    SCOPED_TRACE(cMax);
    DerBlob records[8][MINASN1_EXT_BLOB_CNT];
    DWORD cExt = cMax;
    const DWORD cParsed = std::min<DWORD>(cMax, 5);
    const LONG result = MinAsn1ParseExtensions(&blob, &cExt, records);
    EXPECT_EQ(cExt, cParsed);
    EXPECT_EQ(result, static_cast<LONG>(2 + TotalSize(exts, cParsed)));
    for (DWORD i = 0; i < cParsed; i++) {
      EXPECT_EQ(Hex(records[i][MINASN1_EXT_ENCODED_IDX]), ToHex(exts[i]));
      EXPECT_EQ(Hex(records[i][MINASN1_EXT_OID_IDX]), ToHex(OidContent("2.5.29." + std::to_string(11 + i))));
      EXPECT_EQ(Hex(records[i][MINASN1_EXT_VALUE_IDX]), ToHex(Bytes(i + 1, 0x40)));
      if (i == 1) {
        EXPECT_EQ(Hex(records[i][MINASN1_EXT_CRITICAL_IDX]), "0101ff");
      } else {
        EXPECT_TRUE(IsAbsent(records[i][MINASN1_EXT_CRITICAL_IDX]));
      }
    }
  }
}

TEST(Asn1ParseExtensions, EmptyTruncatedAndBrokenLists) {
  const std::vector<Bytes> exts = FiveExtensions();
  struct Case {
    const char* name;
    Bytes list;
    LONG result;
    DWORD cExt;
  };
  // The third item's value is not an OCTET STRING: the failure offset is the
  // value's position inside the list blob.
  const Bytes third = Seq({Oid("2.5.29.13"), Integer(1)});
  const Bytes withBrokenThird = SeqOf({exts[0], exts[1], third, exts[3]});
  const size_t thirdValueOffset = 2 + exts[0].size() + exts[1].size() + 2 + Oid("2.5.29.13").size();
  const Case cases[] = {
      {"empty blob", {}, 0, 0},
      {"header only, no length", FromHex("30"), -1, 0},
      {"length runs off", FromHex("30 82 01"), -1, 0},
      {"content longer than the blob", FromHex("30 05 30 03"), -1, 0},
      {"indefinite length", FromHex("30 80 00 00"), -1, 0},
      {"empty SEQUENCE OF", FromHex("30 00"), 2, 0},
      {"broken third item", withBrokenThird, -static_cast<LONG>(thirdValueOffset) - 1, 2},
      // An item that claims more than the list holds fails at its own start,
      // even though the bytes after the list would cover it.
      {"item overruns the list", Cat({FromHex("30 05"), exts[0]}), -3, 0},
      {"garbage after the items", Cat({Tlv(0x30, Cat({exts[0], FromHex("00")}))}),
       -static_cast<LONG>(2 + exts[0].size()) - 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DerBlob records[4][MINASN1_EXT_BLOB_CNT];
    DWORD cExt = 4;
    const DerBlob blob = c.list.empty() ? DerBlob{0, nullptr} : Blob(c.list);
    EXPECT_EQ(MinAsn1ParseExtensions(&blob, &cExt, records), c.result);
    EXPECT_EQ(cExt, c.cExt);
  }
}

TEST(Asn1ParseAttributes, SetOrContextTaggedListsAndEmptyValueSets) {
  const Bytes first = Seq({Oid("1.3.6.1.4.1.311.2.1.4"), Set({Seq({Null()}), Integer(2)})});
  const Bytes second = Seq({Oid("1.2.3.4"), Set({})});
  for (uint8_t tag : {uint8_t{0x31}, uint8_t{0xA0}}) {
    SCOPED_TRACE(static_cast<int>(tag));
    const Bytes list = Tlv(tag, Cat({first, second}));
    const DerBlob blob = Blob(list);
    DerBlob records[3][MINASN1_ATTR_BLOB_CNT];
    DWORD cAttr = 3;
    ASSERT_EQ(MinAsn1ParseAttributes(&blob, &cAttr, records), static_cast<LONG>(list.size()));
    ASSERT_EQ(cAttr, 2u);
    EXPECT_EQ(Hex(records[0][MINASN1_ATTR_ENCODED_IDX]), ToHex(first));
    EXPECT_EQ(Hex(records[0][MINASN1_ATTR_OID_IDX]), ToHex(OidContent("1.3.6.1.4.1.311.2.1.4")));
    EXPECT_EQ(Hex(records[0][MINASN1_ATTR_VALUES_IDX]), ToHex(Cat({Seq({Null()}), Integer(2)})));
    EXPECT_EQ(Hex(records[0][MINASN1_ATTR_VALUE_IDX]), ToHex(Seq({Null()})));
    EXPECT_EQ(records[1][MINASN1_ATTR_VALUES_IDX].cbData, 0u);
    EXPECT_TRUE(IsAbsent(records[1][MINASN1_ATTR_VALUE_IDX]));
  }
}

TEST(Asn1ParseCertificates, ContextTaggedListOfCertificates) {
  const auto cert = [](int serial) {
    const Bytes alg = AlgorithmIdentifier("1.2.840.113549.1.1.11");
    return Seq({Seq({Explicit(0, {Integer(2)}), Integer(serial), alg, NameWithCommonName("CA"),
                     Seq({UtcTime("250101000000Z"), UtcTime("260101000000Z")}), NameWithCommonName("EE"),
                     Seq({alg, BitString(FromHex("00"))})}),
                alg, BitString(FromHex("99"))});
  };
  const Bytes certs[] = {cert(1), cert(2), cert(3)};
  const Bytes list = Explicit(0, {certs[0], certs[1], certs[2]});
  const size_t cbHeader = list.size() - TotalSize({certs[0], certs[1], certs[2]}, 3);
  const DerBlob blob = Blob(list);
  DerBlob records[2][MINASN1_CERT_BLOB_CNT];
  DWORD cCert = 2;
  EXPECT_EQ(MinAsn1ParseCertificates(&blob, &cCert, records),
            static_cast<LONG>(cbHeader + certs[0].size() + certs[1].size()));
  ASSERT_EQ(cCert, 2u);
  EXPECT_EQ(Hex(records[0][MINASN1_CERT_SERIAL_NUMBER_IDX]), "01");
  EXPECT_EQ(Hex(records[1][MINASN1_CERT_SERIAL_NUMBER_IDX]), "02");
  EXPECT_EQ(records[1][MINASN1_CERT_ENCODED_IDX].pbData, list.data() + cbHeader + certs[0].size());

  // The second certificate truncated inside the list: offset is counted from the list blob.
  const Bytes truncated = Tlv(0x30, FromHex("02 01"));
  const Bytes broken = Explicit(0, {certs[0], truncated});
  const size_t cbBrokenHeader = broken.size() - certs[0].size() - truncated.size();
  const DerBlob brokenBlob = Blob(broken);
  cCert = 2;
  EXPECT_EQ(MinAsn1ParseCertificates(&brokenBlob, &cCert, records),
            -static_cast<LONG>(cbBrokenHeader + certs[0].size() + 2) - 1);
  EXPECT_EQ(cCert, 1u);
}

TEST(Asn1Find, FirstMatchInArrayOrderOrNull) {
  const Bytes oidA = OidContent("2.5.29.19");
  const Bytes oidB = OidContent("2.5.29.37");
  const Bytes oidLonger = OidContent("2.5.29.37.1");
  DerBlob records[4][MINASN1_EXT_BLOB_CNT] = {};
  records[0][MINASN1_EXT_OID_IDX] = Blob(oidA);
  records[1][MINASN1_EXT_OID_IDX] = Blob(oidLonger);
  records[2][MINASN1_EXT_OID_IDX] = Blob(oidB);
  records[3][MINASN1_EXT_OID_IDX] = Blob(oidB);
  const DerBlob wantB = Blob(oidB);
  EXPECT_EQ(MinAsn1FindExtension(&wantB, 4, records), records[2]);
  EXPECT_EQ(MinAsn1FindAttribute(&wantB, 4, records), records[2]);
  EXPECT_EQ(MinAsn1FindExtension(&wantB, 2, records), nullptr) << "only cExt records are searched";
  const Bytes other = OidContent("2.5.29.38");
  const DerBlob wantOther = Blob(other);
  EXPECT_EQ(MinAsn1FindAttribute(&wantOther, 4, records), nullptr);
  // An empty identifier matches an empty slot and nothing else.
  const DerBlob empty{0, nullptr};
  EXPECT_EQ(MinAsn1FindExtension(&empty, 4, records), nullptr);
  records[3][MINASN1_EXT_OID_IDX] = {0, nullptr};
  EXPECT_EQ(MinAsn1FindExtension(&empty, 4, records), records[3]);
}

}  // namespace
