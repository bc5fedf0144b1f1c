# The secure channel's handshake and its ECDSA against OpenSSL doing the same
# elliptic-curve operations on the same curve, in the same run.
if(TF_HAVE_OPENSSL AND TARGET tf_sim)
  tf_add_bench(bench_channel SOURCES channel_bench.cpp LIBS tf_channel tf_sim OpenSSL::Crypto)
endif()
