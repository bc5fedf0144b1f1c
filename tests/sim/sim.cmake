tf_add_gtest(sim_tests SOURCES playerdesc_test.cpp filecopy_test.cpp service_test.cpp insertrecord_test.cpp LIBS tf_sim)

if(WIN32)
  # The service suite once more, now against the COM server DLL that the
  # registry names (through tf_simclient), and the DLL's own checks.
  # sim_dll_register puts the DLL into the build tree's Wine prefix first;
  # other suites that need it there ask for the fixture tf_sim_dll.
  tf_add_gtest(sim_dll_tests SOURCES service_test.cpp dll_test.cpp LIBS tf_simclient tf_channel)
  add_test(NAME sim_dll_register COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-register-sim ${CMAKE_BINARY_DIR})
  set_tests_properties(sim_dll_register PROPERTIES FIXTURES_SETUP tf_sim_dll)
  set_tests_properties(sim_dll_tests PROPERTIES FIXTURES_REQUIRED tf_sim_dll)
endif()
