# Curve arithmetic on the channel's curve against OpenSSL's EC_POINT_mul on
# the same curve given by its numbers, in the same run.
if(TF_HAVE_OPENSSL)
  tf_add_bench(bench_ec SOURCES ec_bench.cpp ${CMAKE_SOURCE_DIR}/tests/crypto/ec_test_support.cpp LIBS tf_ec
               OpenSSL::Crypto)
endif()
