# Suites of the certificate, signed-message and catalog verification code.
# The block and table tests are portable (they also run under wine64); the rest
# sign their fixtures with OpenSSL and run natively.
tf_add_gtest(verhash_block_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/verhash_block_test.cpp
  LIBS tf_mincrypt tf_der_builder)

if(TF_HAVE_OPENSSL)
  add_library(tf_ver_fixture STATIC ${CMAKE_CURRENT_LIST_DIR}/ver_fixture.cpp)
  tf_strict(tf_ver_fixture)
  # Fixture specs are written with designated initializers that name only
  # what differs from the defaults.
  target_compile_options(tf_ver_fixture PUBLIC -Wno-missing-field-initializers)
  target_link_libraries(tf_ver_fixture PUBLIC tf_mincrypt tf_der_builder OpenSSL::Crypto)

  tf_add_gtest(verify_signed_test NATIVE_ONLY OPENSSL
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/verhash_rsa_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/vercert_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/verdata_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/vercat_test.cpp
    LIBS tf_ver_fixture)
endif()
