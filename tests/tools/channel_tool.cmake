# tessfold-channel end to end in every build; the Windows tool runs under Wine.
add_test(NAME channel_tool_check
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/channel_tool_check.sh $<TARGET_FILE:tessfold-channel>
          ${CMAKE_SOURCE_DIR}/keys/dev/channel ${CMAKE_CURRENT_BINARY_DIR}/channel_tool ${CMAKE_CROSSCOMPILING_EMULATOR})
