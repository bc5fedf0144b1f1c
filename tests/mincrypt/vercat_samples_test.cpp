// Catalogs that nothing of ours wrote or signed (vercat_samples/make-samples:
// openssl command line and osslsigncode over the development chains),
// verified as the acceptance front does. Portable: also runs on Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "mincrypt/rootlevel.h"
#include "mincrypt/vercat.h"

namespace {

using Bytes = std::vector<BYTE>;

// SHA-1 of the eight bytes "firmware" (sha1sum): the one member of every sample.
const Bytes kImageHash = {0x9b, 0xcf, 0x18, 0xe4, 0xb2, 0x2c, 0x07, 0x10, 0xed, 0x69,
                          0xd3, 0xe9, 0x1f, 0xb8, 0x28, 0x5b, 0x93, 0x6c, 0xde, 0xa7};
const Bytes kNameValueOid = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x0C, 0x02, 0x01};

Bytes ReadSample(const char* name) {
  std::ifstream in(std::string(TF_VERCAT_SAMPLES) + "/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes Utf16(const std::string& ascii, bool bigEndian, bool terminator) {
  Bytes out;
  for (char c : ascii) {
    out.push_back(bigEndian ? 0 : static_cast<BYTE>(c));
    out.push_back(bigEndian ? static_cast<BYTE>(c) : 0);
  }
  if (terminator) out.insert(out.end(), {0, 0});
  return out;
}

LONG CheckNameValue(const MapCatInfo& info, const std::string& name, const std::string& value) {
  const Bytes n = Utf16(name, true, false);
  const Bytes v = Utf16(value, false, true);
  return MinCryptCheckCatalogNameValue(info, static_cast<DWORD>(kNameValueOid.size()), kNameValueOid.data(),
                                       static_cast<DWORD>(n.size()), n.data(), static_cast<DWORD>(v.size()), v.data());
}

TEST(CatalogSamples, IndependentlySignedCatalogs) {
  struct Case {
    const char* file;
    BOOL fAcceptOdm;
    LONG lErrCode;
    LONG lFound;
    DWORD rootLevel;
  };
  const Case cases[] = {
      {"test.cat", TRUE, 0, 0, ROOT_LEVEL_TEST},
      {"odm.cat", TRUE, 0, 0, ROOT_LEVEL_ODM},
      {"odm.cat", FALSE, CERT_E_CHAINING, ERROR_FILE_NOT_FOUND, ROOT_LEVEL_NONE},
      {"product.cat", TRUE, 0, 0, ROOT_LEVEL_PRODUCT},
      {"product.cat", FALSE, 0, 0, ROOT_LEVEL_PRODUCT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.file << " accept-ODM " << c.fAcceptOdm);
    const Bytes catalog = ReadSample(c.file);
    ASSERT_GT(catalog.size(), 1000u);
    MapCatInfo info = {};
    info.EncodedBlob = {static_cast<DWORD>(catalog.size()), catalog.data()};
    const DerBlob hash = {static_cast<DWORD>(kImageHash.size()), kImageHash.data()};
    LONG lFound = -1;
    RootLevel = 0x5A;
    EXPECT_EQ(MinCryptFindHashesInCatalogs(CALG_SHA1, 1, &hash, 1, &info, c.fAcceptOdm, &lFound), 0);
    EXPECT_EQ(info.lErrCode, c.lErrCode);
    EXPECT_EQ(lFound, c.lFound);
    EXPECT_EQ(RootLevel, c.rootLevel);
    if (lFound != 0) continue;
    EXPECT_EQ(CheckNameValue(info, "Manufacturer", "Corvane"), 0);
    EXPECT_EQ(CheckNameValue(info, "Model", "ZR-7"), 0);
    EXPECT_EQ(CheckNameValue(info, "Model", "ZR-8"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(CheckNameValue(info, "Manufacturer", "corvane"), ERROR_FILE_NOT_FOUND);

    Bytes other = kImageHash;
    other[19] ^= 1;
    const DerBlob otherHash = {static_cast<DWORD>(other.size()), other.data()};
    EXPECT_EQ(MinCryptFindHashesInCatalogs(CALG_SHA1, 1, &otherHash, 1, &info, c.fAcceptOdm, &lFound), 0);
    EXPECT_EQ(lFound, ERROR_FILE_NOT_FOUND);
  }
}

TEST(CatalogSamples, DamagedCopiesFail) {
  const Bytes good = ReadSample("product.cat");
  ASSERT_FALSE(good.empty());
  // The member hash sits in the signed trust list; the last byte is in the
  // signature.
  const auto at = std::search(good.begin(), good.end(), kImageHash.begin(), kImageHash.end());
  ASSERT_NE(at, good.end());
  Bytes flippedContent = good;
  flippedContent[static_cast<size_t>(at - good.begin())] ^= 1;
  Bytes flippedSignature = good;
  flippedSignature.back() ^= 1;
  const Bytes cut(good.begin(), good.end() - 1);
  struct Case {
    const char* what;
    const Bytes& catalog;
    LONG lErrCode;
  };
  const Case cases[] = {
      {"content", flippedContent, CRYPT_E_HASH_VALUE},
      {"signature", flippedSignature, NTE_BAD_SIGNATURE},
      {"cut short", cut, CRYPT_E_BAD_MSG},
  };
  for (const Case& c : cases) {
    MapCatInfo info = {};
    info.EncodedBlob = {static_cast<DWORD>(c.catalog.size()), c.catalog.data()};
    EXPECT_EQ(MinCryptVerifyCatalog(&info, TRUE), c.lErrCode) << c.what;
  }
}

}  // namespace
