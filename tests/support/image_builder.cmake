# ".bin" ROM image builder: test fixtures, fuzz seeds, and later the image tool
# and the demo. Plain C++ on the platform layer only, so that native tools and
# the Windows builds can link it too. Builds without the tests (benchmarks,
# fuzzers, tools) include this file directly; the guard makes that harmless.
if(TARGET tf_image_builder)
  return()
endif()
add_library(tf_image_builder STATIC ${CMAKE_CURRENT_LIST_DIR}/image_builder.cpp)
tf_strict(tf_image_builder)
target_link_libraries(tf_image_builder PUBLIC tf_platform)
