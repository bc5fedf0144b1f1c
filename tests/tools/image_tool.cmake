# The image tool run as a child process. Native, with libcrypto: it signs
# with keys/dev.
if(TF_HAVE_OPENSSL)
  tf_add_gtest(image_tool_tests NATIVE_ONLY OPENSSL
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/image_tool_test.cpp
    LIBS tf_catalog_builder)
  add_dependencies(image_tool_tests tessfold-image)

  # The release check (build, sign with each dev chain, verify), also runnable
  # by hand against the release build:
  #   tests/tools/acceptance_check.sh build/release/tools/tessfold-image keys/dev /tmp/check
  add_test(NAME image_tool_acceptance
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/acceptance_check.sh $<TARGET_FILE:tessfold-image>
            ${CMAKE_SOURCE_DIR}/keys/dev ${CMAKE_CURRENT_BINARY_DIR}/acceptance)
endif()

# The tool's unsigned paths in every build; the Windows tool runs under Wine.
add_test(NAME image_tool_smoke
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/tool_smoke.sh $<TARGET_FILE:tessfold-image>
          ${CMAKE_CURRENT_BINARY_DIR}/smoke ${CMAKE_CROSSCOMPILING_EMULATOR})
set_tests_properties(image_tool_smoke PROPERTIES ENVIRONMENT "TF_BINARY_DIR=${CMAKE_BINARY_DIR}")
