# Fixed-base multiplication against OpenSSL (fuzz_ec). The curve code is what
# is explored here, so the arithmetic under it is compiled into the harness
# (as a private object library) without comparison tracing, which otherwise
# takes most of the time of an execution; its own harness is fuzz_bignum.
if(TF_HAVE_OPENSSL)
  file(GLOB _tf_ec_arith ${CMAKE_SOURCE_DIR}/crypto/bignum/*.cpp)
  file(GLOB _tf_ec_curve ${CMAKE_SOURCE_DIR}/crypto/ec/*.cpp)
  add_library(tf_ec_fuzz_arith OBJECT ${_tf_ec_arith})
  tf_strict(tf_ec_fuzz_arith)
  target_compile_options(tf_ec_fuzz_arith PRIVATE -fno-sanitize-coverage=trace-cmp)
  tf_add_fuzzer(ec SOURCES ${CMAKE_CURRENT_LIST_DIR}/ec_fuzz.cpp ${CMAKE_SOURCE_DIR}/tests/crypto/ec_test_support.cpp
                ${_tf_ec_curve} $<TARGET_OBJECTS:tf_ec_fuzz_arith> LIBS tf_random tf_platform OpenSSL::Crypto)
endif()
