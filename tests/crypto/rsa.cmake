# RSA public operation: portable known answers and edge cases (also under
# wine64), and a native differential suite against OpenSSL and GMP.
tf_add_gtest(rsa_tests SOURCES rsa_test.cpp rsa_test_support.cpp LIBS tf_crypto)
tf_add_gtest(rsa_oracle_tests SOURCES rsa_oracle_test.cpp rsa_test_support.cpp LIBS tf_crypto gmp NATIVE_ONLY OPENSSL)
