# Verifying a signed catalog (signer <- intermediate CA <- product anchor, the
# openssl-made development chain) against OpenSSL's PKCS #7 and chain
# verification of the same catalog, in the same run.
if(TF_HAVE_OPENSSL)
  if(NOT TARGET tf_der_builder)
    include(${CMAKE_SOURCE_DIR}/tests/support/der_builder.cmake)
  endif()
  include(${CMAKE_SOURCE_DIR}/tests/support/catalog_builder.cmake)
  tf_add_bench(bench_verify SOURCES ${CMAKE_CURRENT_LIST_DIR}/verify_bench.cpp LIBS tf_mincrypt tf_catalog_builder)
  target_compile_definitions(bench_verify PRIVATE "TF_DEV_KEY_DIR=\"${CMAKE_SOURCE_DIR}/keys/dev\"")
endif()
