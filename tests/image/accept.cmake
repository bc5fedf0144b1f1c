# Image acceptance. The refusals that need no signature and the digest's
# coverage are portable; the signed cases sign their catalogs with the
# catalog builder (OpenSSL) and run natively.
tf_add_gtest(accept_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/accept_test.cpp
  LIBS tf_image tf_image_builder)
# Image descriptions name only the fields that differ from the defaults.
target_compile_options(accept_tests PRIVATE -Wno-missing-field-initializers)

if(TF_HAVE_OPENSSL)
  tf_add_gtest(accept_signed_tests NATIVE_ONLY OPENSSL
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/accept_signed_test.cpp
    LIBS tf_image tf_image_builder tf_image_stamp tf_catalog_builder tf_signed_image)
  target_compile_options(accept_signed_tests PRIVATE -Wno-missing-field-initializers)
endif()
