# Multi-precision and modular arithmetic. The differential suites need GMP
# (native only); the narrow variant builds the library's sources again with
# the digit-by-digit Montgomery loop that the i686 deliverable runs.
set(_tf_bignum_oracle bignum_oracle_test.cpp bignum_karatsuba_test.cpp bignum_modular_test.cpp)
tf_add_gtest(bignum_oracle_tests SOURCES ${_tf_bignum_oracle} LIBS tf_bignum GMP)
