# RSA public operation: portable known answers and edge cases (also under
# wine64), and a native differential suite against OpenSSL and GMP.
tf_add_gtest(rsa_tests SOURCES rsa_test.cpp rsa_test_support.cpp LIBS tf_crypto)
tf_add_gtest(rsa_oracle_tests SOURCES rsa_oracle_test.cpp rsa_test_support.cpp LIBS tf_crypto gmp NATIVE_ONLY OPENSSL)

# The same differential suite over the digit-by-digit kernels that the i686
# deliverable runs (x86-64 builds otherwise use the two-digit kernels).
file(GLOB _tf_rsa_sources ${CMAKE_SOURCE_DIR}/crypto/rsa_*.cpp)
tf_add_gtest(rsa_narrow_oracle_tests SOURCES rsa_oracle_test.cpp rsa_test_support.cpp ${_tf_rsa_sources}
             LIBS tf_platform gmp NATIVE_ONLY OPENSSL)
if(TARGET rsa_narrow_oracle_tests)
  target_compile_definitions(rsa_narrow_oracle_tests PRIVATE TF_RSA_NARROW_KERNELS)
endif()
