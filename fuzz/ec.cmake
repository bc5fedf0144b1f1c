# Fixed-base multiplication against OpenSSL (fuzz_ec). The curve code is what
# is explored here, so the arithmetic under it is compiled into the harness
# without comparison tracing, which otherwise takes most of the time of an
# execution; its own fuzzing is done elsewhere.
if(TF_HAVE_OPENSSL)
  file(GLOB _tf_ec_arith ${CMAKE_SOURCE_DIR}/crypto/bignum/*.cpp)
  file(GLOB _tf_ec_curve ${CMAKE_SOURCE_DIR}/crypto/ec/*.cpp)
  tf_add_fuzzer(ec SOURCES ${CMAKE_CURRENT_LIST_DIR}/ec_fuzz.cpp ${CMAKE_SOURCE_DIR}/tests/crypto/ec_test_support.cpp
                ${_tf_ec_curve} ${_tf_ec_arith} LIBS tf_random tf_platform OpenSSL::Crypto)
  set_source_files_properties(${_tf_ec_arith} PROPERTIES COMPILE_OPTIONS -fno-sanitize-coverage=trace-cmp)
endif()
