# Verifying a signed catalog (signer <- intermediate CA <- product anchor, the
# openssl-made development chain) against OpenSSL's PKCS #7 and chain
# verification of the same catalog, in the same run.
if(TF_HAVE_OPENSSL)
  tf_add_bench(bench_verify SOURCES ${CMAKE_CURRENT_LIST_DIR}/verify_bench.cpp LIBS tf_mincrypt tf_catalog_builder)
  target_compile_definitions(bench_verify PRIVATE TF_DEFAULT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endif()
