if(WIN32)
  set(TF_TEST_WINDOW test_window_win.cpp)
else()
  set(TF_TEST_WINDOW test_window_posix.cpp)
endif()

tf_add_gtest(wmdm_layout_tests SOURCES wmdm_layout_test.cpp LIBS tf_platform)

# fake_image.cpp answers the transfer's calls into the image reader and the
# acceptance; being an object of the test program, it is linked ahead of the
# real libraries.
tf_add_gtest(device_unit_tests
  SOURCES event_sink_test.cpp transfer_rules_test.cpp handle_checks_test.cpp fake_image.cpp ${TF_TEST_WINDOW}
  LIBS tf_device)

# The device layer against the simulated service, reached through CoCreateInstance.
if(TARGET tf_sim)
  tf_add_gtest(device_sim_tests
    SOURCES session_test.cpp transfer_test.cpp sim_fixture.cpp fake_image.cpp ${TF_TEST_WINDOW}
    LIBS tf_device tf_sim)
endif()

# Under Wine a message box needs a display: give the suite a private Xvfb.
if(CMAKE_CROSSCOMPILING AND TARGET device_sim_tests)
  find_program(TF_XVFB_RUN xvfb-run)
  if(TF_XVFB_RUN)
    set_property(TARGET device_sim_tests PROPERTY CROSSCOMPILING_EMULATOR ${TF_XVFB_RUN} -a ${CMAKE_CROSSCOMPILING_EMULATOR})
  endif()
endif()
