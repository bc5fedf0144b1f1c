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
  SOURCES event_sink_test.cpp transfer_rules_test.cpp handle_checks_test.cpp com_ptr_test.cpp fake_image.cpp ${TF_TEST_WINDOW}
  LIBS tf_device)

# The device layer against the simulated service, reached through CoCreateInstance.
tf_add_gtest(device_sim_tests
  SOURCES devicemanager_test.cpp transfer_test.cpp readback_test.cpp console_support_test.cpp sim_fixture.cpp
          fake_image.cpp ${TF_TEST_WINDOW}
  LIBS tf_device tf_sim)

# On Windows the same suite once more against the COM server DLL that the
# registry names, driven through tf_simclient.
if(WIN32)
  tf_add_gtest(device_sim_dll_tests
    SOURCES devicemanager_test.cpp transfer_test.cpp readback_test.cpp sim_fixture.cpp fake_image.cpp ${TF_TEST_WINDOW}
    LIBS tf_device tf_simclient)
  set_tests_properties(device_sim_dll_tests PROPERTIES FIXTURES_REQUIRED tf_sim_dll)
endif()

# Under Wine a message box needs a display: scripts/wine-run gives every
# Windows suite one (the caller's, or a private Xvfb when there is none).

# The real image reader and acceptance on the way to the simulated player;
# images are signed here with the development chain (OpenSSL), so natively only.
tf_add_gtest(device_end_to_end_tests NATIVE_ONLY OPENSSL
  SOURCES end_to_end_test.cpp sim_fixture.cpp ${TF_TEST_WINDOW}
  LIBS tf_device tf_sim tf_signed_image)
if(TARGET device_end_to_end_tests)
  target_compile_options(device_end_to_end_tests PRIVATE -Wno-missing-field-initializers)
endif()
