# The compiled trust anchors against the anchor files they were made from.
tf_add_gtest(anchors_tests SOURCES anchors_test.cpp LIBS tf_mincrypt)
get_filename_component(_tf_test_anchor_dir "${TF_ANCHOR_DIR}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
target_compile_definitions(anchors_tests PRIVATE "TF_ANCHOR_DIR=\"${_tf_test_anchor_dir}\"")
# The documented shapes of the development anchors hold only for keys/dev.
if(_tf_test_anchor_dir STREQUAL "${CMAKE_SOURCE_DIR}/keys/dev")
  target_compile_definitions(anchors_tests PRIVATE TF_DEV_ANCHORS)
endif()
