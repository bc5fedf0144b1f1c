# RSA-2048 public operation (exponent 65537) against OpenSSL's raw public
# operation in the same run.
if(TF_HAVE_OPENSSL)
  tf_add_bench(bench_rsa SOURCES rsa_bench.cpp LIBS tf_crypto OpenSSL::Crypto)
endif()
