# Digests (SHA-1, MD5, MD4), the hash-memory interface, DES and RC4.
# The known-answer suite is portable and also runs under wine64; the
# differential suite needs OpenSSL's libcrypto as its oracle.
tf_add_gtest(digests_tests
  SOURCES digest_kat_test.cpp hashmem_test.cpp cipher_kat_test.cpp
  LIBS tf_mincrypt tf_crypto)
tf_add_gtest(digests_oracle_tests
  SOURCES digest_oracle_test.cpp cipher_oracle_test.cpp
  LIBS tf_mincrypt tf_crypto
  OPENSSL)
