# tf_subsystem(name DEPS dep...) builds the folder's sources into one static
# library tf_<name>. Sources are every *.cpp of the folder; *_win.cpp files are
# built only for Windows and *_posix.cpp files only elsewhere. Fragments
# (*.cmake) in the folder are included afterwards for per-file settings.
function(tf_subsystem name)
  cmake_parse_arguments(S "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_posix\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win\\.cpp$")
  endif()
  # A folder without sources is a mistake in the tree, not a smaller build.
  if(NOT sources)
    message(FATAL_ERROR "tf_subsystem(${name}): no sources in ${CMAKE_CURRENT_SOURCE_DIR}")
  endif()
  add_library(tf_${name} STATIC ${sources})
  tf_strict(tf_${name})
  target_link_libraries(tf_${name} PUBLIC ${S_DEPS})
endfunction()

# Includes every *.cmake fragment of the current folder, in name order.
macro(tf_include_fragments)
  file(GLOB _tf_fragments CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cmake)
  list(SORT _tf_fragments)
  foreach(_tf_fragment IN LISTS _tf_fragments)
    include(${_tf_fragment})
  endforeach()
endmacro()
