// Signatures made by OpenSSL for 512- to 4096-bit keys, checked by our block
// rules and our RSA operation.
#include <gtest/gtest.h>

#include "mincrypt/hashmem.h"
#include "mincrypt/verhash.h"
#include "tests/mincrypt/ver_fixture.h"

namespace {

using namespace verfix;
using der::Cat;

struct Form {
  const char* what;
  bool digestInfo;
  bool nullParameters;
};
const Form kForms[] = {
    {"DigestInfo with NULL", true, true}, {"DigestInfo without parameters", true, false}, {"bare hash", false, false}};

class RsaSizes : public ::testing::TestWithParam<int> {};

TEST_P(RsaSizes, OpenSslSignaturesVerifyAndDamagedOnesDoNot) {
  const int bits = GetParam();
  Pkey key = RsaKey(bits);
  const Bytes keyInfo = PublicKeyInfo(key.get());
  const Bytes message = der::FromString("the catalog content");
  struct Alg {
    const EVP_MD* md;
    ALG_ID algId;
  };
  for (const Alg& alg : {Alg{EVP_sha1(), CALG_SHA1}, Alg{EVP_md5(), CALG_MD5}}) {
    const Bytes hash = Digest(alg.md, message);
    for (const Form& form : kForms) {
      SCOPED_TRACE(std::string(EVP_MD_get0_name(alg.md)) + ", " + form.what);
      const Bytes payload = form.digestInfo ? Cat({DigestInfoPrefix(alg.md, form.nullParameters), hash}) : hash;
      const Bytes signature = SignPayload(key.get(), payload);
      ASSERT_EQ(signature.size(), static_cast<size_t>(bits / 8));
      DerBlob sig = Blob(signature), ki = Blob(keyInfo);
      EXPECT_EQ(MinCryptVerifyHashSignature(alg.algId, hash.data(), static_cast<DWORD>(hash.size()), &sig, &ki), 0);

      Bytes flipped = signature;
      flipped[flipped.size() / 2] ^= 0x40;
      DerBlob f = Blob(flipped);
      EXPECT_EQ(MinCryptVerifyHashSignature(alg.algId, hash.data(), static_cast<DWORD>(hash.size()), &f, &ki),
                NTE_BAD_SIGNATURE);

      Bytes otherHash = hash;
      otherHash[0] ^= 0x01;
      EXPECT_EQ(MinCryptVerifyHashSignature(alg.algId, otherHash.data(), static_cast<DWORD>(hash.size()), &sig, &ki),
                NTE_BAD_SIGNATURE);
    }
  }
}

TEST_P(RsaSizes, MalformedBlocksFromTheRealKeyAreRefused) {
  const int bits = GetParam();
  const size_t k = static_cast<size_t>(bits / 8);
  Pkey key = RsaKey(bits);
  const Bytes keyInfo = PublicKeyInfo(key.get());
  const Bytes hash = Digest(EVP_sha1(), der::FromString("x"));
  const Bytes prefix = DigestInfoPrefix(EVP_sha1(), true);
  auto block = [&](uint8_t type, uint8_t separator) {
    Bytes b = {0x00, type};
    b.insert(b.end(), k - 3 - prefix.size() - hash.size(), 0xFF);
    b.push_back(separator);
    return Cat({b, prefix, hash});
  };
  auto verify = [&](const Bytes& signature) {
    DerBlob sig = Blob(signature), ki = Blob(keyInfo);
    return MinCryptVerifyHashSignature(CALG_SHA1, hash.data(), 20, &sig, &ki);
  };
  EXPECT_EQ(verify(SignRawBlock(key.get(), block(0x01, 0x00))), 0);
  EXPECT_EQ(verify(SignRawBlock(key.get(), block(0x02, 0x00))), NTE_BAD_SIGNATURE);
  EXPECT_EQ(verify(SignRawBlock(key.get(), block(0x01, 0x01))), NTE_BAD_SIGNATURE);
  Bytes gap = block(0x01, 0x00);
  gap[5] = 0x00;  // a zero inside the FF run
  EXPECT_EQ(verify(SignRawBlock(key.get(), gap)), NTE_BAD_SIGNATURE);

  // A signature not below the modulus is refused by the RSA operation.
  Bytes modulusPlus(k, 0xFF);
  EXPECT_EQ(verify(modulusPlus), NTE_BAD_SIGNATURE);
}

INSTANTIATE_TEST_SUITE_P(Bits, RsaSizes, ::testing::Values(512, 1024, 2048, 4096));

TEST(VerifyHashSignature, SmallExponentKeys) {
  for (unsigned long e : {3ul, 17ul}) {
    Pkey key = RsaKeyWithExponent(1024, e);
    const Bytes keyInfo = PublicKeyInfo(key.get());
    const Bytes hash = Digest(EVP_sha1(), der::FromString("e"));
    const Bytes signature = SignPayload(key.get(), Cat({DigestInfoPrefix(EVP_sha1(), true), hash}));
    DerBlob sig = Blob(signature), ki = Blob(keyInfo);
    EXPECT_EQ(MinCryptVerifyHashSignature(CALG_SHA1, hash.data(), 20, &sig, &ki), 0) << e;
  }
}

}  // namespace
