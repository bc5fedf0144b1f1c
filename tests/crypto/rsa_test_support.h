// Shared helpers of the RSA suites: digit arrays from big-endian bytes or hex
// and back, and a key record filled the way the verification library's key
// import fills it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "crypto/rsa.h"

namespace rsatest {

std::vector<uint8_t> FromHex(const std::string& hex);
std::string ToHex(const std::vector<uint8_t>& bytes);

// Big-endian bytes -> n little-endian digits (zero-padded). Bytes beyond n
// digits must be zero.
std::vector<Digit> DigitsFromBigEndian(const std::vector<uint8_t>& be, size_t n);
// n digits -> big-endian bytes, exactly `len` of them (higher bytes dropped).
std::vector<uint8_t> BigEndianFromDigits(const std::vector<Digit>& digits, size_t len);

// The record for a modulus given big-endian (one leading zero byte dropped
// as the import does) and a public exponent.
RsaPublicKeyRecord MakeKeyRecord(const std::vector<uint8_t>& modulusBigEndian, DWORD exponent);

// Raises `input` (big-endian, as long as the modulus) with RsaPublicOp through
// 528-byte buffers, as the signature check does; returns the big-endian
// result of the modulus's length, or an empty vector when RsaPublicOp fails.
std::vector<uint8_t> PublicOpBigEndian(const RsaPublicKeyRecord& key, const std::vector<uint8_t>& input);

}  // namespace rsatest
