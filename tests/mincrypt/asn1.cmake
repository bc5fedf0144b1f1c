tf_add_gtest(asn1_tests
  SOURCES asn1_decode_test.cpp asn1_values_test.cpp asn1_structures_test.cpp asn1_lists_test.cpp
  LIBS tf_mincrypt tf_der_builder)

# OpenSSL's decoding of openssl-made certificates, signed data and keys as the
# oracle.
tf_add_gtest(asn1_openssl_tests
  SOURCES asn1_openssl_test.cpp
  LIBS tf_mincrypt tf_der_builder
  NATIVE_ONLY OPENSSL)
