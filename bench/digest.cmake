# SHA-1 and MD5 throughput against OpenSSL's EVP digests.
if(TF_HAVE_OPENSSL)
  tf_add_bench(bench_digest SOURCES digest_bench.cpp LIBS tf_crypto OpenSSL::Crypto)
endif()
