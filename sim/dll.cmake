# tfsimwmdm.dll: the simulated service as an in-process COM server (Windows
# builds only). scripts/wine-register-sim registers it in a Wine prefix.
if(WIN32)
  add_library(tfsimwmdm SHARED ${CMAKE_CURRENT_LIST_DIR}/dll/dllmain_win.cpp ${CMAKE_CURRENT_LIST_DIR}/dll/tfsimwmdm.def)
  tf_strict(tfsimwmdm)
  set_target_properties(tfsimwmdm PROPERTIES PREFIX "" OUTPUT_NAME tfsimwmdm)
  target_link_libraries(tfsimwmdm PRIVATE tf_sim ole32 advapi32 uuid)
  # 32-bit exports are __stdcall-decorated; the .def names them undecorated.
  target_link_options(tfsimwmdm PRIVATE -Wl,--enable-stdcall-fixup)

  # tf_simclient: sim/simservice.h over the registered DLL, for test programs
  # that link it instead of tf_sim. Only the stateless parts of the service
  # are built in; everything with state lives in the DLL.
  add_library(tf_simclient STATIC
    ${CMAKE_CURRENT_LIST_DIR}/dll/simclient_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/insertrecord.cpp
    ${CMAKE_CURRENT_LIST_DIR}/faults.cpp
    ${CMAKE_CURRENT_LIST_DIR}/paths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/playerdesc.cpp
    ${CMAKE_CURRENT_LIST_DIR}/playerfolder.cpp)
  tf_strict(tf_simclient)
  target_link_libraries(tf_simclient PUBLIC tf_platform advapi32)
  add_dependencies(tf_simclient tfsimwmdm)
endif()
