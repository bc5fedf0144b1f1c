#include "tests/crypto/rsa_test_support.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace rsatest {

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> out;
  int hi = -1;
  for (char ch : hex) {
    int v;
    if (ch >= '0' && ch <= '9') {
      v = ch - '0';
    } else if (ch >= 'a' && ch <= 'f') {
      v = ch - 'a' + 10;
    } else if (ch >= 'A' && ch <= 'F') {
      v = ch - 'A' + 10;
    } else {
      continue;  // whitespace and separators
    }
    if (hi < 0) {
      hi = v;
    } else {
      out.push_back(static_cast<uint8_t>(hi * 16 + v));
      hi = -1;
    }
  }
  if (hi >= 0) throw std::invalid_argument("odd number of hex digits");
  return out;
}

std::string ToHex(const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string s;
  for (uint8_t b : bytes) {
    s += kDigits[b >> 4];
    s += kDigits[b & 15];
  }
  return s;
}

std::vector<Digit> DigitsFromBigEndian(const std::vector<uint8_t>& be, size_t n) {
  std::vector<Digit> d(n, 0);
  for (size_t i = 0; i < be.size(); ++i) {
    const size_t pos = be.size() - 1 - i;  // little-endian byte index
    if (pos / 4 >= n) {
      if (be[i] != 0) throw std::invalid_argument("value does not fit");
      continue;
    }
    d[pos / 4] |= static_cast<Digit>(be[i]) << (8 * (pos % 4));
  }
  return d;
}

std::vector<uint8_t> BigEndianFromDigits(const std::vector<Digit>& digits, size_t len) {
  std::vector<uint8_t> be(len, 0);
  for (size_t pos = 0; pos < len && pos / 4 < digits.size(); ++pos) {
    be[len - 1 - pos] = static_cast<uint8_t>(digits[pos / 4] >> (8 * (pos % 4)));
  }
  return be;
}

RsaPublicKeyRecord MakeKeyRecord(const std::vector<uint8_t>& modulusBigEndian, DWORD exponent) {
  std::vector<uint8_t> m = modulusBigEndian;
  if (m.size() > 1 && m[0] == 0) m.erase(m.begin());
  if (m.size() > 512) throw std::invalid_argument("modulus too long");
  RsaPublicKeyRecord key;
  std::memset(&key, 0, sizeof key);
  const DWORD len = static_cast<DWORD>(m.size());
  key.dwMagic = RSA_PUBLIC_KEY_MAGIC;
  key.dwKeyLength = (len + 7) / 8 * 8 + 8;
  key.dwBitLength = 8 * len;
  key.dwDataLength = len - 1;
  key.dwPubExp = exponent;
  std::reverse_copy(m.begin(), m.end(), key.rgbModulus);
  return key;
}

std::vector<uint8_t> PublicOpBigEndian(const RsaPublicKeyRecord& key, const std::vector<uint8_t>& input) {
  Digit in[RSA_MAX_OPERAND_DIGITS] = {};
  Digit out[RSA_MAX_OPERAND_DIGITS] = {};
  uint8_t* inBytes = reinterpret_cast<uint8_t*>(in);
  std::reverse_copy(input.begin(), input.end(), inBytes);
  if (!RsaPublicOp(&key, in, out)) return {};
  const size_t len = key.dwDataLength + 1;
  std::vector<uint8_t> be(len);
  const uint8_t* outBytes = reinterpret_cast<const uint8_t*>(out);
  for (size_t i = 0; i < len; ++i) be[len - 1 - i] = outBytes[i];
  return be;
}

}  // namespace rsatest
