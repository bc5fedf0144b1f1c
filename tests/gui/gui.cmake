# The GUI suite: both programs under Wine (32-bit Wine for the i686 build) on
# a private Xvfb display, driven by gui_tests.exe against the simulated
# service's COM server of the same build.
if(NOT WIN32)
  return()
endif()

# Loaded into the program under test by a message hook (gui_probe.h).
add_library(gui_probe SHARED ${CMAKE_CURRENT_LIST_DIR}/gui_probe.cpp)
set_target_properties(gui_probe PROPERTIES PREFIX "")
tf_strict(gui_probe)
target_link_libraries(gui_probe PRIVATE user32)
# The driver looks the hook up as "ProbeHook"; a 32-bit __stdcall export would
# otherwise be named _ProbeHook@12.
target_link_options(gui_probe PRIVATE -Wl,--kill-at)

# Starting, reading and driving a program; shared by the suite and the demo.
add_library(gui_driver STATIC ${CMAKE_CURRENT_LIST_DIR}/gui_app.cpp)
tf_strict(gui_driver)
target_link_libraries(gui_driver PUBLIC user32 gdi32 comctl32)

add_executable(gui_tests ${CMAKE_CURRENT_LIST_DIR}/gui_tests.cpp)
tf_strict(gui_tests)
target_link_libraries(gui_tests PRIVATE gui_driver ${TF_GTEST_LIBS})
add_dependencies(gui_tests gui_probe tessfold-update tessfold-recovery tfsimwmdm)

# make demo's walk through the update program when no one watches.
add_executable(demo_walk ${CMAKE_CURRENT_LIST_DIR}/demo_walk.cpp)
tf_strict(demo_walk)
target_link_options(demo_walk PRIVATE -municode)
target_link_libraries(demo_walk PRIVATE gui_driver)
add_dependencies(demo_walk gui_probe tessfold-update tfsimwmdm)

add_test(NAME gui
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/run-gui-tests ${CMAKE_BINARY_DIR} $<TARGET_FILE_DIR:tessfold-update>
          $<TARGET_FILE:gui_tests> $<TARGET_FILE:gui_probe> $<TARGET_FILE:tfsimwmdm>)
set_tests_properties(gui PROPERTIES
  TIMEOUT 900
  ENVIRONMENT "TF_SOURCE_DIR=${CMAKE_SOURCE_DIR};TF_BINARY_DIR=${CMAKE_BINARY_DIR}")
