// The trust anchors compiled into the library must be the anchor files byte
// for byte; for the development set, also the documented shapes (attribute
// lists of the names, key sizes, and the test key's modulus without its
// leading zero byte). Runs natively and under wine64.
#include "mincrypt/anchors.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct Level {
  const char* name;  // file prefix
  const TrustAnchor* anchors;
  DWORD count;
};

const Level kLevels[] = {
    {"test", rgTestRoots, cTestRoots},
    {"odm", rgOdmRoots, cOdmRoots},
    {"product", rgProductRoots, cProductRoots},
};

Bytes ReadAnchorFile(const std::string& file) {
  std::ifstream in(std::string(TF_ANCHOR_DIR) + "/" + file, std::ios::binary);
  EXPECT_TRUE(in.good()) << file;
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes FromBlob(const DerBlob& b) { return Bytes(b.pbData, b.pbData + b.cbData); }

TEST(TrustAnchors, OneAnchorPerLevelEqualToItsFiles) {
  for (const Level& level : kLevels) {
    ASSERT_EQ(level.count, 1u) << level.name;
    const std::string prefix = std::string(level.name) + "-root";
    EXPECT_EQ(FromBlob(level.anchors[0].Name), ReadAnchorFile(prefix + ".name.der")) << level.name;
    EXPECT_EQ(FromBlob(level.anchors[0].PublicKeyInfo), ReadAnchorFile(prefix + ".spki.der")) << level.name;
  }
}

#ifdef TF_DEV_ANCHORS

// A DER element: tag, content and what follows it. Short and long length forms
// up to two length octets, which covers every anchor.
struct Element {
  uint8_t tag = 0;
  Bytes content;
  Bytes rest;
};

bool Take(const Bytes& in, Element* e) {
  if (in.size() < 2) return false;
  size_t header = 2;
  size_t length = in[1];
  if (length == 0x81 || length == 0x82) {
    const size_t octets = length & 0x7F;
    if (in.size() < 2 + octets) return false;
    length = 0;
    for (size_t i = 0; i < octets; ++i) length = (length << 8) | in[2 + i];
    header += octets;
  } else if (length > 0x7F) {
    return false;
  }
  if (in.size() - header < length) return false;
  e->tag = in[0];
  e->content.assign(in.begin() + header, in.begin() + header + length);
  e->rest.assign(in.begin() + header + length, in.end());
  return true;
}

// The attribute types (last OID byte of 2.5.4.x) and values of a Name, one
// single-attribute RDN after another; empty on any structural fault.
struct Attribute {
  uint8_t type;
  std::string value;
};

std::vector<Attribute> ParseName(const Bytes& name) {
  Element seq;
  if (!Take(name, &seq) || seq.tag != 0x30 || !seq.rest.empty()) return {};
  std::vector<Attribute> out;
  Bytes rdns = seq.content;
  while (!rdns.empty()) {
    Element set, atv, oid, value;
    if (!Take(rdns, &set) || set.tag != 0x31 || !Take(set.content, &atv) || atv.tag != 0x30 || !atv.rest.empty() ||
        !Take(atv.content, &oid) || oid.tag != 0x06 || !Take(oid.rest, &value) || !value.rest.empty() ||
        oid.content.size() != 3 || oid.content[0] != 0x55 || oid.content[1] != 0x04) {
      return {};
    }
    out.push_back({oid.content[2], std::string(value.content.begin(), value.content.end())});
    rdns = set.rest;
  }
  return out;
}

// The modulus INTEGER's content octets, or empty if the key info is not
// SEQUENCE { SEQUENCE { rsaEncryption, NULL }, BIT STRING { 0, SEQUENCE { n, 65537 } } }.
Bytes ParseRsaModulus(const Bytes& keyInfo) {
  const Bytes rsaEncryption = {0x06, 0x09, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01, 0x05, 0x00};
  Element spki, algorithm, bits, key, n, e;
  if (!Take(keyInfo, &spki) || spki.tag != 0x30 || !spki.rest.empty() || !Take(spki.content, &algorithm) ||
      algorithm.content != rsaEncryption || !Take(algorithm.rest, &bits) || bits.tag != 0x03 || !bits.rest.empty() ||
      bits.content.empty() || bits.content[0] != 0) {
    return {};
  }
  const Bytes inner(bits.content.begin() + 1, bits.content.end());
  if (!Take(inner, &key) || key.tag != 0x30 || !key.rest.empty() || !Take(key.content, &n) || n.tag != 0x02 ||
      !Take(n.rest, &e) || e.tag != 0x02 || !e.rest.empty() || e.content != Bytes{0x01, 0x00, 0x01}) {
    return {};
  }
  return n.content;
}

constexpr uint8_t kCommonName = 3, kCountry = 6, kLocality = 7, kState = 8, kOrganisation = 10, kUnit = 11;

TEST(TrustAnchors, DevelopmentAnchorsHaveTheirDocumentedShapes) {
  struct Case {
    const TrustAnchor& anchor;
    size_t nameBytes;
    std::vector<uint8_t> attributeTypes;
    size_t keyInfoBytes;
    size_t modulusOctets;  // content octets of the modulus INTEGER
  } cases[] = {
      {rgTestRoots[0], 24, {kCommonName}, 93, 64},
      {rgOdmRoots[0], 150, {kCountry, kState, kLocality, kOrganisation, kCommonName}, 294, 257},
      {rgProductRoots[0], 114, {kUnit, kUnit, kCommonName}, 294, 257},
  };
  for (const Case& c : cases) {
    const Bytes name = FromBlob(c.anchor.Name);
    EXPECT_EQ(name.size(), c.nameBytes);
    const std::vector<Attribute> attributes = ParseName(name);
    std::vector<uint8_t> types;
    for (const Attribute& a : attributes) types.push_back(a.type);
    EXPECT_EQ(types, c.attributeTypes) << "name of " << c.nameBytes << " bytes";

    const Bytes keyInfo = FromBlob(c.anchor.PublicKeyInfo);
    EXPECT_EQ(keyInfo.size(), c.keyInfoBytes);
    const Bytes modulus = ParseRsaModulus(keyInfo);
    ASSERT_EQ(modulus.size(), c.modulusOctets) << "key info of " << c.keyInfoBytes << " bytes";
    // Either the top bit is set in the first octet (the test key, written
    // without the zero byte DER requires) or a zero byte precedes it.
    const size_t top = modulus.size() % 2;  // 257 octets: the zero comes first
    if (top == 1) {
      EXPECT_EQ(modulus[0], 0x00);
    }
    EXPECT_GE(modulus[top], 0x80);
  }
  ASSERT_EQ(ParseName(FromBlob(rgTestRoots[0].Name)).size(), 1u);
  EXPECT_EQ(ParseName(FromBlob(rgTestRoots[0].Name))[0].value, "Root Agency");
}

#endif  // TF_DEV_ANCHORS

}  // namespace
