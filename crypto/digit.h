// The digit of the multi-precision code: numbers are arrays of 32-bit digits,
// least significant digit first, with the digit count passed beside them.
#pragma once

#include <bit>
#include <cstdint>

typedef uint32_t Digit;
typedef uint64_t DoubleDigit;

// Byte strings are packed into digits little-endian (byte i of the string is
// bits 8*(i%4).. of digit i/4), which lets callers treat a digit buffer as the
// byte string it holds. Every target we build for is little-endian.
static_assert(std::endian::native == std::endian::little, "digit buffers double as little-endian byte strings");
