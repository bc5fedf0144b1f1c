# The signed-image recipe and the development signers for the suites and the
# benchmarks (which include this file themselves when the suites are not
# built). Native, with libcrypto.
include_guard(GLOBAL)
if(TF_HAVE_OPENSSL)
  add_library(tf_signed_image STATIC ${CMAKE_CURRENT_LIST_DIR}/signed_image.cpp)
  tf_strict(tf_signed_image)
  target_link_libraries(tf_signed_image PUBLIC tf_image tf_image_stamp tf_image_builder tf_catalog_builder)
  # The benchmarks run by hand, without TF_SOURCE_DIR, and find keys/dev here.
  target_compile_definitions(tf_signed_image PRIVATE TF_DEFAULT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
endif()
