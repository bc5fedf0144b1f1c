# Multi-precision and modular arithmetic. The differential suites need GMP
# (native only); the narrow variant builds the library's sources again with
# the digit-by-digit Montgomery loop that the i686 deliverable runs.
set(_tf_bignum_oracle bignum_oracle_test.cpp bignum_karatsuba_test.cpp bignum_modular_test.cpp)
tf_add_gtest(bignum_oracle_tests SOURCES ${_tf_bignum_oracle} LIBS tf_bignum GMP)

# Portable: failure codes, refused blocks and the known answers (also the
# i686 and x86_64 builds under Wine).
tf_add_gtest(bignum_tests SOURCES bignum_failure_test.cpp bignum_kat_test.cpp LIBS tf_bignum)

# Regenerates bignum_known_answers.h from GMP:
#   make_bignum_known_answers tests/crypto/bignum_known_answers.h
if(NOT CMAKE_CROSSCOMPILING AND NOT TARGET make_bignum_known_answers)
  add_executable(make_bignum_known_answers EXCLUDE_FROM_ALL make_bignum_known_answers.cpp)
  tf_strict(make_bignum_known_answers)
  target_link_libraries(make_bignum_known_answers PRIVATE gmp)
endif()

# The same differential suites over the library rebuilt with the digit-wide
# Montgomery loop that the i686 deliverable runs (x86-64 builds otherwise
# interleave two digits at a time).
file(GLOB _tf_bignum_sources ${CMAKE_SOURCE_DIR}/crypto/bignum/*.cpp)
tf_add_gtest(bignum_narrow_oracle_tests SOURCES ${_tf_bignum_oracle} ${_tf_bignum_sources}
             LIBS tf_random tf_platform GMP)
if(TARGET bignum_narrow_oracle_tests)
  target_compile_definitions(bignum_narrow_oracle_tests PRIVATE TF_BIGNUM_NARROW)
endif()
