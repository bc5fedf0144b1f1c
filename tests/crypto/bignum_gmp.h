// Conversions between digit arrays and GMP integers for the differential
// suites.
#pragma once

#include <gmp.h>

#include <string>

#include "tests/crypto/bignum_test_support.h"

namespace bntest {

struct Mpz {
  mpz_t z;
  Mpz() { mpz_init(z); }
  explicit Mpz(const Num& v) : Mpz(v.data(), static_cast<DWORD>(v.size())) {}
  Mpz(const Digit* p, DWORD n) {
    mpz_init(z);
    if (n != 0) mpz_import(z, n, -1, sizeof(Digit), 0, 0, p);
  }
  explicit Mpz(unsigned long v) { mpz_init_set_ui(z, v); }
  ~Mpz() { mpz_clear(z); }
  Mpz(Mpz&& o) noexcept {
    mpz_init(z);
    mpz_swap(z, o.z);
  }
  Mpz(const Mpz&) = delete;
  Mpz& operator=(const Mpz&) = delete;
  operator mpz_ptr() { return z; }
  operator mpz_srcptr() const { return z; }
  std::string Hex() const {
    char* s = mpz_get_str(nullptr, 16, z);
    std::string r(s);
    void (*freefunc)(void*, size_t);
    mp_get_memory_functions(nullptr, nullptr, &freefunc);
    freefunc(s, r.size() + 1);
    return r;
  }
};

// v as exactly n digits (v must fit).
inline Num ToDigits(mpz_srcptr v, DWORD n) {
  Num out(n + 2 + mpz_sizeinbase(v, 2) / 32, 0);
  size_t count = 0;
  EXPECT_LE(mpz_sizeinbase(v, 2), 32u * n + (mpz_sgn(v) == 0 ? 1 : 0));
  mpz_export(out.data(), &count, -1, sizeof(Digit), 0, 0, v);
  out.resize(n);
  return out;
}

// One repeatable GMP random state for the suites.
inline gmp_randstate_t& GmpRandom() {
  static gmp_randstate_t state;
  static bool ready = false;
  if (!ready) {
    gmp_randinit_default(state);
    gmp_randseed_ui(state, 4242);
    ready = true;
  }
  return state;
}

inline std::string Hex(const Digit* p, DWORD n) { return Mpz(p, n).Hex(); }
inline std::string Hex(const Num& v) { return Mpz(v).Hex(); }

}  // namespace bntest
