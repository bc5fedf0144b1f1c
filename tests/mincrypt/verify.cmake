# Suites of the certificate, signed-message and catalog verification code.
# The block tests and the checked-in samples are portable (they also run under
# wine64); the rest sign their fixtures with OpenSSL and run natively.
tf_add_gtest(verhash_block_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/verhash_block_test.cpp
  LIBS tf_mincrypt tf_der_builder)

# Everything below chains to the development anchors (keys/dev): a build with
# a vendor's own anchors cannot sign for them.
get_filename_component(_tf_ver_anchor_dir "${TF_ANCHOR_DIR}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
if(NOT _tf_ver_anchor_dir STREQUAL "${CMAKE_SOURCE_DIR}/keys/dev")
  return()
endif()

# Catalogs signed by osslsigncode (vercat_samples/make-samples).
tf_add_gtest(vercat_samples_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/vercat_samples_test.cpp
  LIBS tf_mincrypt)
target_compile_definitions(vercat_samples_test PRIVATE
  "TF_VERCAT_SAMPLES=\"${CMAKE_CURRENT_LIST_DIR}/vercat_samples\"")

if(TF_HAVE_OPENSSL)
  add_library(tf_ver_fixture STATIC ${CMAKE_CURRENT_LIST_DIR}/ver_fixture.cpp)
  tf_strict(tf_ver_fixture)
  target_link_libraries(tf_ver_fixture PUBLIC tf_mincrypt tf_catalog_builder)

  tf_add_gtest(verify_signed_test NATIVE_ONLY OPENSSL
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/verhash_rsa_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/vercert_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/verdata_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/vercat_test.cpp
    LIBS tf_ver_fixture)

  # The catalog builder against OpenSSL's verification, and osslsigncode as
  # an independent catalog signer.
  find_program(TF_OSSLSIGNCODE osslsigncode)
  tf_add_gtest(vercat_signers_test NATIVE_ONLY OPENSSL
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/vercat_signers_test.cpp
    LIBS tf_ver_fixture)
  if(TARGET vercat_signers_test)
    set(tool "${TF_OSSLSIGNCODE}")
    if(NOT TF_OSSLSIGNCODE)
      set(tool "")
    endif()
    target_compile_definitions(vercat_signers_test PRIVATE "TF_OSSLSIGNCODE=\"${tool}\"")
  endif()
endif()

# Seed writer for the verification fuzzers (not a test).
if(TF_HAVE_OPENSSL AND NOT CMAKE_CROSSCOMPILING)
  add_executable(ver_seedgen ${CMAKE_CURRENT_LIST_DIR}/ver_seedgen.cpp)
  tf_strict(ver_seedgen)
  target_link_libraries(ver_seedgen PRIVATE tf_ver_fixture)
endif()
