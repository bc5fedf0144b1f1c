if(WIN32)
  set(TF_TEST_WINDOW test_window_win.cpp)
else()
  set(TF_TEST_WINDOW test_window_posix.cpp)
endif()

tf_add_gtest(wmdm_layout_tests SOURCES wmdm_layout_test.cpp LIBS tf_platform)

# Until the image folder provides the reader and the acceptance, the device
# layer's calls into them are answered by pending_image.cpp.
set(TF_DEVICE_PENDING "")
if(NOT EXISTS ${CMAKE_SOURCE_DIR}/image/binutils.cpp OR NOT EXISTS ${CMAKE_SOURCE_DIR}/image/accept.cpp)
  set(TF_DEVICE_PENDING pending_image.cpp)
endif()

tf_add_gtest(device_unit_tests
  SOURCES event_sink_test.cpp transfer_rules_test.cpp handle_checks_test.cpp ${TF_TEST_WINDOW} ${TF_DEVICE_PENDING}
  LIBS tf_device)
