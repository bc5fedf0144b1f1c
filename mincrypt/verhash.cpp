#include "mincrypt/verhash.h"

#include <cstring>

#include "mincrypt/asn1parse.h"
#include "mincrypt/hashmem.h"
#include "platform/diag.h"

namespace {

// Object identifiers (content octets) that select a hash, in lookup order.
struct HashAlgorithmOid {
  BYTE cbOid;
  BYTE rgbOid[9];
  ALG_ID AlgId;
};

const HashAlgorithmOid HashAlgorithmOids[] = {
    {5, {0x2B, 0x0E, 0x03, 0x02, 0x1A}, CALG_SHA1},                          // 1.3.14.3.2.26 sha1
    {5, {0x2B, 0x0E, 0x03, 0x02, 0x12}, CALG_SHA1},                          // 1.3.14.3.2.18 sha
    {8, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05}, CALG_MD5},         // 1.2.840.113549.2.5 md5
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x05}, CALG_SHA1},  // sha1WithRSAEncryption
    {5, {0x2B, 0x0E, 0x03, 0x02, 0x1D}, CALG_SHA1},                          // 1.3.14.3.2.29 sha1WithRSA
    {5, {0x2B, 0x0E, 0x03, 0x02, 0x0F}, CALG_SHA1},                          // 1.3.14.3.2.15 shaWithRSA
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x04}, CALG_MD5},   // md5WithRSAEncryption
    {5, {0x2B, 0x0E, 0x03, 0x02, 0x03}, CALG_MD5},                           // 1.3.14.3.2.3 md5WithRSA
};

// DigestInfo prefixes that may precede the hash in a signature block, most
// significant byte first, as length-prefixed entries ended by a zero length.
// DER with NULL parameters first, then the form without parameters.
// clang-format off
const BYTE rgbSha1Prefixes[] = {
    15, 0x30, 0x21, 0x30, 0x09, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A, 0x05, 0x00, 0x04, 0x14,
    13, 0x30, 0x1F, 0x30, 0x07, 0x06, 0x05, 0x2B, 0x0E, 0x03, 0x02, 0x1A, 0x04, 0x14,
    0,
};
const BYTE rgbMd5Prefixes[] = {
    18, 0x30, 0x20, 0x30, 0x0C, 0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05, 0x05, 0x00, 0x04, 0x10,
    16, 0x30, 0x1E, 0x30, 0x0A, 0x06, 0x08, 0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02, 0x05, 0x04, 0x10,
    0,
};
// clang-format on

constexpr DWORD kMaxModulusBytes = 512;
constexpr DWORD kMaxExponentBytes = 4;
constexpr DWORD kBSafeBytes = RSA_MODULUS_FIELD_BYTES;

// Drops the one leading zero octet that DER puts before an INTEGER whose top
// bit is set.
DerBlob StripLeadingZero(const DerBlob& integer) {
  DerBlob stripped = integer;
  if (stripped.cbData > 1 && stripped.pbData[0] == 0) {
    stripped.cbData--;
    stripped.pbData++;
  }
  return stripped;
}

// Checks the little-endian RSA output B of a k-byte modulus against
// 00 01 FF..FF 00 [DigestInfo prefix] hash (big-endian view).
LONG CheckSignatureBlock(ALG_ID AlgId, const BYTE* pbHash, DWORD cbHash, const BYTE* B, DWORD k) {
  const BYTE* pbPrefixes;
  if (AlgId == CALG_SHA1) {
    pbPrefixes = rgbSha1Prefixes;
  } else if (AlgId == CALG_MD5) {
    pbPrefixes = rgbMd5Prefixes;
  } else {
    return NTE_BAD_ALGID;
  }

  // The block needs at least 00 01 00 around the hash; a smaller modulus
  // would make the checks below overlap the hash or read below the buffer.
  if (cbHash + 3 > k) return NTE_BAD_SIGNATURE;
  for (DWORD i = 0; i < cbHash; i++) {
    if (B[i] != pbHash[cbHash - 1 - i]) return NTE_BAD_SIGNATURE;
  }

  DWORD p = cbHash;
  for (const BYTE* pbEntry = pbPrefixes; *pbEntry != 0; pbEntry += 1 + *pbEntry) {
    const DWORD cbPrefix = *pbEntry;
    const BYTE* pbPrefix = pbEntry + 1;
    if (cbHash + cbPrefix > k) continue;
    bool fMatch = true;
    for (DWORD j = 0; j < cbPrefix && fMatch; j++) {
      fMatch = B[cbHash + j] == pbPrefix[cbPrefix - 1 - j];
    }
    if (fMatch) {
      p = cbHash + cbPrefix;
      break;
    }
  }

  if (p + 3 > k) return NTE_BAD_SIGNATURE;
  if (B[p] != 0x00 || B[k - 1] != 0x00 || B[k - 2] != 0x01) return NTE_BAD_SIGNATURE;
  for (DWORD i = p + 1; i < k - 2; i++) {
    if (B[i] != 0xFF) return NTE_BAD_SIGNATURE;
  }
  return 0;
}

}  // namespace

ALG_ID MinCryptDecodeHashAlgorithm(const DerBlob* pAlgIdBlob) {
  DerBlob rgAlgIdBlob[MINASN1_ALGID_BLOB_CNT];
  if (MinAsn1ParseAlgorithmIdentifier(pAlgIdBlob, rgAlgIdBlob) <= 0) return 0;
  const DerBlob& oid = rgAlgIdBlob[MINASN1_ALGID_OID_IDX];
  for (const HashAlgorithmOid& row : HashAlgorithmOids) {
    if (oid.cbData == row.cbOid && std::memcmp(oid.pbData, row.rgbOid, row.cbOid) == 0) return row.AlgId;
  }
  return 0;
}

LONG MinCryptImportRsaPublicKey(const DerBlob rgRsaPubKeyBlob[], RsaPublicKeyRecord* pKey) {
  const DerBlob modulus = StripLeadingZero(rgRsaPubKeyBlob[MINASN1_RSA_PUBKEY_MODULUS_IDX]);
  const DerBlob exponent = StripLeadingZero(rgRsaPubKeyBlob[MINASN1_RSA_PUBKEY_EXPONENT_IDX]);
  if (modulus.cbData == 0 || modulus.cbData > kMaxModulusBytes) return NTE_BAD_PUBLIC_KEY;
  if (exponent.cbData == 0 || exponent.cbData > kMaxExponentBytes) return NTE_BAD_PUBLIC_KEY;

  std::memset(pKey, 0, sizeof(*pKey));
  pKey->dwMagic = RSA_PUBLIC_KEY_MAGIC;
  pKey->dwKeyLength = ((modulus.cbData + 7) & ~7u) + 8;
  pKey->dwBitLength = modulus.cbData * 8;
  pKey->dwDataLength = modulus.cbData - 1;
  DWORD dwExponent = 0;
  for (DWORD i = 0; i < exponent.cbData; i++) dwExponent = (dwExponent << 8) | exponent.pbData[i];
  pKey->dwPubExp = dwExponent;
  for (DWORD i = 0; i < modulus.cbData; i++) pKey->rgbModulus[i] = modulus.pbData[modulus.cbData - 1 - i];
  return 0;
}

LONG MinCryptVerifyHashSignature(ALG_ID AlgId, const BYTE* pbHash, DWORD cbHash, const DerBlob* pSignatureBlob,
                                 const DerBlob* pPubKeyInfoBlob) {
  DerBlob rgPubKeyInfoBlob[MINASN1_PUBKEY_INFO_BLOB_CNT];
  if (MinAsn1ParsePublicKeyInfo(pPubKeyInfoBlob, rgPubKeyInfoBlob) <= 0) return NTE_BAD_PUBLIC_KEY;
  DerBlob rgRsaPubKeyBlob[MINASN1_RSA_PUBKEY_BLOB_CNT];
  if (MinAsn1ParseRSAPublicKey(&rgPubKeyInfoBlob[MINASN1_PUBKEY_INFO_PUBKEY_IDX], rgRsaPubKeyBlob) <= 0) {
    return NTE_BAD_PUBLIC_KEY;
  }
  RsaPublicKeyRecord key;
  LONG lErr = MinCryptImportRsaPublicKey(rgRsaPubKeyBlob, &key);
  if (lErr != 0) return lErr;

  const DWORD cbSignature = pSignatureBlob->cbData;
  if (cbSignature != key.dwBitLength / 8) return NTE_BAD_SIGNATURE;
  // Digit buffers double as little-endian byte strings (crypto/digit.h).
  Digit rgBSafeIn[kBSafeBytes / sizeof(Digit)];
  Digit rgBSafeOut[kBSafeBytes / sizeof(Digit)];
  BYTE(&rgbBSafeIn)[kBSafeBytes] = *reinterpret_cast<BYTE(*)[kBSafeBytes]>(rgBSafeIn);
  TF_ASSERT(sizeof(rgbBSafeIn) >= cbSignature);
  std::memset(rgBSafeIn, 0, sizeof(rgBSafeIn));
  std::memset(rgBSafeOut, 0, sizeof(rgBSafeOut));
  for (DWORD i = 0; i < cbSignature; i++) rgbBSafeIn[i] = pSignatureBlob->pbData[cbSignature - 1 - i];

  if (!RsaPublicOp(&key, rgBSafeIn, rgBSafeOut)) return NTE_BAD_SIGNATURE;
  return CheckSignatureBlock(AlgId, pbHash, cbHash, reinterpret_cast<const BYTE*>(rgBSafeOut), key.dwDataLength + 1);
}
