# tessfold-flash as users run it: the program of the build's width under Wine against
# the simulated service's COM server, in a Wine prefix of the suite's own
# (flash_wine), and the release archive unpacked and run (flash_dist). Signed
# images come from the native tessfold-image (build/native or build/release,
# or TF_IMAGE_TOOL); without one those cases are skipped.
# The program's options, verdicts and texts, without the device service: natively
# and in the Windows builds.
tf_add_gtest(flash_unit_tests SOURCES options_test.cpp render_test.cpp LIBS tf_flash)

if(NOT WIN32)
  return()
endif()
find_program(TF_PYTHON3 python3 REQUIRED)

# The program of this build's width under the Wine of that width; the release
# archive (i686 only) unpacked and run.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TF_FLASH_ARCH win32)
else()
  set(TF_FLASH_ARCH win64)
endif()
set(TF_FLASH_SUITE ${CMAKE_CURRENT_LIST_DIR}/flash_tests.py --dll $<TARGET_FILE:tfsimwmdm>
    --version ${PROJECT_VERSION} --arch ${TF_FLASH_ARCH})
add_test(NAME flash_wine
  COMMAND ${TF_PYTHON3} ${TF_FLASH_SUITE} --exe $<TARGET_FILE:tessfold-flash> --work ${CMAKE_CURRENT_BINARY_DIR}/wine)
set(TF_FLASH_TESTS flash_wine)
if(TF_FLASH_ARCH STREQUAL win32)
  add_test(NAME flash_dist
    COMMAND ${TF_PYTHON3} ${TF_FLASH_SUITE} --pack ${CMAKE_BINARY_DIR} --work ${CMAKE_CURRENT_BINARY_DIR}/dist)
  list(APPEND TF_FLASH_TESTS flash_dist)
endif()
set_tests_properties(${TF_FLASH_TESTS} PROPERTIES
  TIMEOUT 900
  SKIP_RETURN_CODE 77
  # One Wine prefix each, but one machine: not both at once.
  RESOURCE_LOCK tf_flash_wine)
