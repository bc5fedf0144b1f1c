# OpenImage + AcceptImage on a 64 MiB signed OS image against OpenSSL's SHA-1
# of the same file, in the same run. Signs its image with keys/dev.
if(TF_HAVE_OPENSSL)
  include(${CMAKE_SOURCE_DIR}/tests/support/signed_image.cmake)
  tf_add_bench(bench_accept SOURCES accept_bench.cpp LIBS tf_image tf_signed_image OpenSSL::Crypto)
  target_compile_definitions(bench_accept PRIVATE TF_DEFAULT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  target_compile_options(bench_accept PRIVATE -Wno-missing-field-initializers)
endif()
