// OpenSSL's numbers to and from the hexadecimal text that the curve tests
// compare in (lowercase, no leading zeros, "0" for zero), for the suites,
// the fuzzer and the benchmark that use OpenSSL as the oracle.
#pragma once

#include <openssl/bn.h>
#include <openssl/crypto.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace ectest {

inline std::string OpenSslHex(const BIGNUM* b) {
  char* s = BN_bn2hex(b);
  std::string r(s);
  OPENSSL_free(s);
  std::transform(r.begin(), r.end(), r.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const size_t first = r.find_first_not_of('0');
  return first == std::string::npos ? "0" : r.substr(first);
}

// A new number (the caller frees it with BN_free).
inline BIGNUM* OpenSslBn(const std::string& hex) {
  BIGNUM* b = nullptr;
  BN_hex2bn(&b, hex.c_str());
  return b;
}

}  // namespace ectest
