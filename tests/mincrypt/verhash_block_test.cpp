// Hash algorithm table, key import and the signature-block rules. Portable:
// a public exponent of 1 makes the RSA operation the identity, so any block
// can be written directly as the "signature" without a private key.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "mincrypt/asn1parse.h"
#include "mincrypt/hashmem.h"
#include "mincrypt/verhash.h"
#include "tests/support/der_builder.h"

namespace {

using der::Bytes;
using namespace der;

DerBlob Blob(const Bytes& b) { return DerBlob{static_cast<DWORD>(b.size()), b.data()}; }

TEST(DecodeHashAlgorithm, TableRowsWithAndWithoutParameters) {
  struct Row {
    const char* oid;
    ALG_ID algId;
  };
  const Row rows[] = {
      {"1.3.14.3.2.26", CALG_SHA1},
      {"1.3.14.3.2.18", CALG_SHA1},
      {"1.2.840.113549.2.5", CALG_MD5},
      {"1.2.840.113549.1.1.5", CALG_SHA1},
      {"1.3.14.3.2.29", CALG_SHA1},
      {"1.3.14.3.2.15", CALG_SHA1},
      {"1.2.840.113549.1.1.4", CALG_MD5},
      {"1.3.14.3.2.3", CALG_MD5},
      {"2.16.840.1.101.3.4.2.1", 0},
      {"1.2.840.113549.1.1.11", 0},
      {"1.3.14.3.2", 0},
      {"1.3.14.3.2.26.1", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.oid);
    const Bytes withNull = AlgorithmIdentifier(row.oid);
    const Bytes bare = Seq({Oid(row.oid)});
    DerBlob a = Blob(withNull), b = Blob(bare);
    EXPECT_EQ(MinCryptDecodeHashAlgorithm(&a), row.algId);
    EXPECT_EQ(MinCryptDecodeHashAlgorithm(&b), row.algId);
  }
}

TEST(DecodeHashAlgorithm, UnparseableIdentifiersGiveZero) {
  const Bytes cases[] = {
      {},
      Seq({}),                                          // no OID
      Set({Oid("1.3.14.3.2.26")}),                      // wrong outer tag
      Seq({OctetString(OidContent("1.3.14.3.2.26"))}),  // OID bytes with the wrong tag
      {0x30, 0x07, 0x06, 0x05, 0x2B, 0x0E, 0x03},       // truncated
  };
  for (const Bytes& c : cases) {
    DerBlob blob = Blob(c);
    EXPECT_EQ(MinCryptDecodeHashAlgorithm(&blob), 0u) << ToHex(c);
  }
}

// Slots of an RSAPublicKey as the parser would hand them over.
struct KeySlots {
  Bytes modulus, exponent;
  DerBlob slots[MINASN1_RSA_PUBKEY_BLOB_CNT] = {};
  KeySlots(Bytes m, Bytes e) : modulus(std::move(m)), exponent(std::move(e)) {
    slots[MINASN1_RSA_PUBKEY_MODULUS_IDX] = Blob(modulus);
    slots[MINASN1_RSA_PUBKEY_EXPONENT_IDX] = Blob(exponent);
  }
};

TEST(ImportRsaPublicKey, FillsTheRecordLittleEndian) {
  Bytes modulus(64);
  for (size_t i = 0; i < modulus.size(); i++) modulus[i] = static_cast<uint8_t>(0x80 + i);
  struct Case {
    const char* what;
    Bytes modulus, exponent;
    DWORD cbModulus;
  };
  const Case cases[] = {
      {"512-bit modulus without the leading zero", modulus, {0x01, 0x00, 0x01}, 64},
      {"512-bit modulus with the leading zero", Cat({{0x00}, modulus}), {0x00, 0x01, 0x00, 0x01}, 64},
      {"only one zero byte is dropped", Cat({{0x00, 0x00}, modulus}), {0x03}, 65},
      {"a 61-byte modulus rounds the key length up", Bytes(modulus.begin(), modulus.begin() + 61), {0x03}, 61},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    KeySlots k(c.modulus, c.exponent);
    RsaPublicKeyRecord key;
    std::memset(&key, 0xA5, sizeof(key));
    ASSERT_EQ(MinCryptImportRsaPublicKey(k.slots, &key), 0);
    EXPECT_EQ(key.dwMagic, 0x31415352u);
    EXPECT_EQ(key.dwBitLength, 8 * c.cbModulus);
    EXPECT_EQ(key.dwDataLength, c.cbModulus - 1);
    EXPECT_EQ(key.dwKeyLength, ((c.cbModulus + 7) / 8) * 8 + 8);
    const Bytes& m = c.modulus;
    for (DWORD i = 0; i < c.cbModulus; i++) ASSERT_EQ(key.rgbModulus[i], m[m.size() - 1 - i]) << i;
    for (DWORD i = c.cbModulus; i < sizeof(key.rgbModulus); i++) ASSERT_EQ(key.rgbModulus[i], 0) << i;
  }
  KeySlots k(modulus, {0x01, 0x00, 0x01});
  RsaPublicKeyRecord key;
  ASSERT_EQ(MinCryptImportRsaPublicKey(k.slots, &key), 0);
  EXPECT_EQ(key.dwPubExp, 65537u);
}

TEST(ImportRsaPublicKey, RefusesOutOfRangeIntegers) {
  const Bytes m512(512, 0xC3);
  struct Case {
    const char* what;
    Bytes modulus, exponent;
    LONG expected;
  };
  const Case cases[] = {
      {"4096-bit modulus", m512, {0x03}, 0},
      {"4096-bit modulus with its zero byte", Cat({{0x00}, m512}), {0x03}, 0},
      {"513-byte modulus", Cat({{0x01}, m512}), {0x03}, NTE_BAD_PUBLIC_KEY},
      {"empty modulus", {}, {0x03}, NTE_BAD_PUBLIC_KEY},
      {"empty exponent", m512, {}, NTE_BAD_PUBLIC_KEY},
      {"4-byte exponent", m512, {0x7F, 0xFF, 0xFF, 0xFF}, 0},
      {"4-byte exponent with its zero byte", m512, {0x00, 0x80, 0x00, 0x00, 0x01}, 0},
      {"5-byte exponent", m512, {0x01, 0x00, 0x00, 0x00, 0x01}, NTE_BAD_PUBLIC_KEY},
  };
  for (const Case& c : cases) {
    KeySlots k(c.modulus, c.exponent);
    RsaPublicKeyRecord key;
    EXPECT_EQ(MinCryptImportRsaPublicKey(k.slots, &key), c.expected) << c.what;
  }
}

// A key whose exponent is 1: the "signature" comes back unchanged as the block.
Bytes IdentityKeyInfo(size_t cbModulus) {
  Bytes modulus(cbModulus, 0xFF);
  return Seq({AlgorithmIdentifier("1.2.840.113549.1.1.1"), BitString(Seq({UnsignedInteger(modulus), Integer(1)}))});
}

const Bytes kSha1Null = FromHex("3021300906052B0E03021A05000414");
const Bytes kSha1Bare = FromHex("301F300706052B0E03021A0414");
const Bytes kMd5Null = FromHex("3020300C06082A864886F70D020505000410");
const Bytes kMd5Bare = FromHex("301E300A06082A864886F70D02050410");

Bytes HashOf(size_t cb) {
  Bytes h(cb);
  for (size_t i = 0; i < cb; i++) h[i] = static_cast<uint8_t>(0x11 * (i + 1));
  return h;
}

// 00 01 FF.. 00 payload, padded to k bytes.
Bytes Block(size_t k, const Bytes& payload, uint8_t type = 0x01) {
  Bytes b = {0x00, type};
  b.insert(b.end(), k - 3 - payload.size(), 0xFF);
  b.push_back(0x00);
  return Cat({b, payload});
}

LONG Verify(ALG_ID algId, const Bytes& hash, const Bytes& signature, size_t cbModulus = 64) {
  const Bytes keyInfo = IdentityKeyInfo(cbModulus);
  DerBlob sig = Blob(signature), key = Blob(keyInfo);
  return MinCryptVerifyHashSignature(algId, hash.data(), static_cast<DWORD>(hash.size()), &sig, &key);
}

TEST(VerifyHashSignature, AcceptsEachPrefixFormAndTheBareHash) {
  const Bytes sha1 = HashOf(20), md5 = HashOf(16);
  struct Case {
    const char* what;
    ALG_ID algId;
    Bytes hash, payload;
  };
  const Case cases[] = {
      {"SHA-1 DigestInfo with NULL", CALG_SHA1, sha1, Cat({kSha1Null, sha1})},
      {"SHA-1 DigestInfo without parameters", CALG_SHA1, sha1, Cat({kSha1Bare, sha1})},
      {"SHA-1 bare hash", CALG_SHA1, sha1, sha1},
      {"MD5 DigestInfo with NULL", CALG_MD5, md5, Cat({kMd5Null, md5})},
      {"MD5 DigestInfo without parameters", CALG_MD5, md5, Cat({kMd5Bare, md5})},
      {"MD5 bare hash", CALG_MD5, md5, md5},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Verify(c.algId, c.hash, Block(64, c.payload)), 0) << c.what;
    EXPECT_EQ(Verify(c.algId, c.hash, Block(512, c.payload), 512), 0) << c.what << ", 4096-bit";
  }
  // No FF bytes at all: 00 01 00 hash fills the modulus exactly.
  EXPECT_EQ(Verify(CALG_SHA1, sha1, Cat({{0x00, 0x01, 0x00}, sha1}), 23), 0);
  EXPECT_EQ(Verify(CALG_MD5, md5, Cat({{0x00, 0x01, 0x00}, kMd5Null, md5}), 37), 0);
}

TEST(VerifyHashSignature, RefusesMalformedBlocks) {
  const Bytes sha1 = HashOf(20);
  Bytes otherHash = sha1;
  otherHash[19] ^= 1;
  const Bytes good = Block(64, Cat({kSha1Null, sha1}));
  auto with = [&](size_t i, uint8_t v) {
    Bytes b = good;
    b[i] = v;
    return b;
  };
  struct Case {
    const char* what;
    ALG_ID algId;
    Bytes signature;
    LONG expected;
  };
  const Case cases[] = {
      {"block type 0", CALG_SHA1, Block(64, Cat({kSha1Null, sha1}), 0x00), NTE_BAD_SIGNATURE},
      {"block type 2", CALG_SHA1, Block(64, Cat({kSha1Null, sha1}), 0x02), NTE_BAD_SIGNATURE},
      {"leading byte not zero", CALG_SHA1, with(0, 0x01), NTE_BAD_SIGNATURE},
      {"first padding byte not FF", CALG_SHA1, with(2, 0x00), NTE_BAD_SIGNATURE},
      {"FF run broken", CALG_SHA1, with(10, 0xFE), NTE_BAD_SIGNATURE},
      {"last padding byte not FF", CALG_SHA1, with(64 - 37, 0x00), NTE_BAD_SIGNATURE},
      {"separator not zero", CALG_SHA1, with(64 - 36, 0xFF), NTE_BAD_SIGNATURE},
      {"other hash", CALG_SHA1, Block(64, Cat({kSha1Null, otherHash})), NTE_BAD_SIGNATURE},
      {"MD5 prefix under SHA-1", CALG_SHA1, Block(64, Cat({kMd5Null, sha1})), NTE_BAD_SIGNATURE},
      {"prefix damaged", CALG_SHA1, with(64 - 25, 0x2C), NTE_BAD_SIGNATURE},
      {"one byte short", CALG_SHA1, Bytes(good.begin() + 1, good.end()), NTE_BAD_SIGNATURE},
      {"one byte long", CALG_SHA1, Cat({{0x00}, good}), NTE_BAD_SIGNATURE},
      {"hash with a trailing byte", CALG_SHA1, Block(64, Cat({kSha1Null, sha1, {0x00}})), NTE_BAD_SIGNATURE},
      {"all zero", CALG_SHA1, Bytes(64, 0), NTE_BAD_SIGNATURE},
      {"algorithm 0", 0, good, NTE_BAD_ALGID},
      {"algorithm MD4", 0x8002, good, NTE_BAD_ALGID},
  };
  for (const Case& c : cases) EXPECT_EQ(Verify(c.algId, sha1, c.signature), c.expected) << c.what;
}

// A lax check anywhere in the block's fixed parts is room for a forged
// signature: every single byte changed, in each form of the block, refuses it.
TEST(VerifyHashSignature, EveryByteOfTheBlockIsChecked) {
  const Bytes sha1 = HashOf(20), md5 = HashOf(16);
  struct Form {
    const char* what;
    ALG_ID algId;
    Bytes hash, payload;
  };
  const Form forms[] = {
      {"SHA-1 DigestInfo with NULL", CALG_SHA1, sha1, Cat({kSha1Null, sha1})},
      {"SHA-1 DigestInfo without parameters", CALG_SHA1, sha1, Cat({kSha1Bare, sha1})},
      {"SHA-1 bare hash", CALG_SHA1, sha1, sha1},
      {"MD5 DigestInfo with NULL", CALG_MD5, md5, Cat({kMd5Null, md5})},
  };
  for (const Form& f : forms) {
    SCOPED_TRACE(f.what);
    const Bytes good = Block(64, f.payload);
    ASSERT_EQ(Verify(f.algId, f.hash, good), 0);
    for (size_t i = 0; i < good.size(); ++i) {
      for (const uint8_t mask : {0x01, 0x80, 0xFF}) {
        Bytes bad = good;
        bad[i] ^= mask;
        ASSERT_EQ(Verify(f.algId, f.hash, bad), NTE_BAD_SIGNATURE) << "byte " << i << " ^ " << int{mask};
      }
    }
  }
}

TEST(VerifyHashSignature, ModulusTooSmallForTheBlockIsRefusedWithoutOverrun) {
  const Bytes sha1 = HashOf(20);
  // k = 22: the hash plus 00 01 cannot also hold the separator.
  EXPECT_EQ(Verify(CALG_SHA1, sha1, Cat({{0x01, 0x00}, sha1}), 22), NTE_BAD_SIGNATURE);
  // A 1-byte modulus would put the 01 byte below the start of the block.
  EXPECT_EQ(Verify(CALG_SHA1, sha1, {0x00}, 1), NTE_BAD_SIGNATURE);
  EXPECT_EQ(Verify(CALG_SHA1, {}, {0x00}, 1), NTE_BAD_SIGNATURE);
  // 23 bytes are enough.
  EXPECT_EQ(Verify(CALG_SHA1, sha1, Cat({{0x00, 0x01, 0x00}, sha1}), 23), 0);
}

TEST(VerifyHashSignature, RefusesKeysThatDoNotParse) {
  const Bytes sha1 = HashOf(20);
  const Bytes sig = Block(64, sha1);
  const Bytes m = Bytes(64, 0xFF);
  const Bytes keys[] = {
      {},
      Seq({AlgorithmIdentifier("1.2.840.113549.1.1.1")}),                                        // no key bits
      Seq({AlgorithmIdentifier("1.2.840.113549.1.1.1"), BitString(Seq({UnsignedInteger(m)}))}),  // no exponent
      Seq({AlgorithmIdentifier("1.2.840.113549.1.1.1"), OctetString(Seq({UnsignedInteger(m), Integer(1)}))}),
      Seq({AlgorithmIdentifier("1.2.840.113549.1.1.1"),
           BitString(Seq({UnsignedInteger(Bytes(513, 0xFF)), Integer(1)}))}),  // modulus over 512 bytes
      Seq({AlgorithmIdentifier("1.2.840.113549.1.1.1"),
           BitString(Seq({UnsignedInteger(m), IntegerRaw({1, 0, 0, 0, 1})}))}),  // exponent over 4 bytes
  };
  for (const Bytes& k : keys) {
    DerBlob s = Blob(sig), key = Blob(k);
    EXPECT_EQ(MinCryptVerifyHashSignature(CALG_SHA1, sha1.data(), 20, &s, &key), NTE_BAD_PUBLIC_KEY) << ToHex(k);
  }
}

// Known answer: a 512-bit key and its signatures of "abc" made with OpenSSL 3.0
// (`openssl dgst -sha1 -sign` and `-md5 -sign`, DigestInfo with NULL
// parameters). The digests are the FIPS 180 and RFC 1321 vectors for "abc".
TEST(VerifyHashSignature, KnownAnswer512) {
  const Bytes keyInfo = FromHex(
      "305c300d06092a864886f70d0101010500034b003048024100db689e0377bf9eecf1eed03f4ea48f7f28dd114a853a973fbadffe89"
      "d3f1080f9af9f46983bc73b284f6666155534333c49df06913c9a9869bccdeeea34100f90203010001");
  const Bytes sha1 = FromHex("a9993e364706816aba3e25717850c26c9cd0d89d");
  const Bytes md5 = FromHex("900150983cd24fb0d6963f7d28e17f72");
  const Bytes sha1Sig = FromHex(
      "095670bb0a0b7c1ab689088c5428d5aa61e9a6686183b4269cbc4db4804fc385086dff7b4cbb055171cb9ca291dc97832f6180396d2e"
      "276e8e319b3eb46c43f7");
  const Bytes md5Sig = FromHex(
      "5df92f17f555d48441eac70fd023348353ad12cfc9feb8f9c13a8e5da67d0eb9d115309d97983634a5dd6d3ac331fd3c24508ea5de49"
      "75205b5b1c6cd5defdbd");
  DerBlob key = Blob(keyInfo), s1 = Blob(sha1Sig), s5 = Blob(md5Sig);
  EXPECT_EQ(MinCryptVerifyHashSignature(CALG_SHA1, sha1.data(), 20, &s1, &key), 0);
  EXPECT_EQ(MinCryptVerifyHashSignature(CALG_MD5, md5.data(), 16, &s5, &key), 0);
  EXPECT_EQ(MinCryptVerifyHashSignature(CALG_MD5, md5.data(), 16, &s1, &key), NTE_BAD_SIGNATURE);
  EXPECT_EQ(MinCryptVerifyHashSignature(CALG_SHA1, sha1.data(), 20, &s5, &key), NTE_BAD_SIGNATURE);
  Bytes flipped = sha1Sig;
  flipped[40] ^= 0x01;
  DerBlob f = Blob(flipped);
  EXPECT_EQ(MinCryptVerifyHashSignature(CALG_SHA1, sha1.data(), 20, &f, &key), NTE_BAD_SIGNATURE);
}

}  // namespace
