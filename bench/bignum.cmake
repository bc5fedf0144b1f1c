# Multi-precision and modular arithmetic against OpenSSL's BN and GMP.
if(TF_HAVE_OPENSSL)
  tf_add_bench(bench_bignum SOURCES bignum_bench.cpp LIBS tf_bignum OpenSSL::Crypto gmp)
endif()
