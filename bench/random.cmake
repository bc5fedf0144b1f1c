# The random generator's requests against OpenSSL's RAND_bytes.
if(TF_HAVE_OPENSSL)
  tf_add_bench(bench_random SOURCES random_bench.cpp LIBS tf_random OpenSSL::Crypto)
endif()
