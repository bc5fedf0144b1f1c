# The secure channel's cases of the GUI suite, in a source of their own.
if(WIN32)
  target_sources(gui_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/gui_channel_test.cpp)
endif()
