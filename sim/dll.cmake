# tfsimwmdm.dll: the simulated service as an in-process COM server (Windows
# builds only). scripts/wine-register-sim registers it in a Wine prefix.
if(WIN32)
  add_library(tfsimwmdm SHARED ${CMAKE_CURRENT_LIST_DIR}/dll/dllmain_win.cpp ${CMAKE_CURRENT_LIST_DIR}/dll/tfsimwmdm.def)
  tf_strict(tfsimwmdm)
  set_target_properties(tfsimwmdm PROPERTIES PREFIX "" OUTPUT_NAME tfsimwmdm)
  target_link_libraries(tfsimwmdm PRIVATE tf_sim ole32 advapi32 uuid)
  # 32-bit exports are __stdcall-decorated; the .def names them undecorated.
  target_link_options(tfsimwmdm PRIVATE -Wl,--enable-stdcall-fixup)
endif()
