# tessfold-image verify as whole processes against `openssl sha1` of the same
# files (64 MiB with 2 and 16 MiB parts), and its peak memory on a 400 MiB
# image with 100 MiB parts (/usr/bin/time -v). Signs its images with keys/dev.
if(TF_HAVE_OPENSSL)
  include(${CMAKE_SOURCE_DIR}/tests/support/signed_image.cmake)
  tf_add_bench(bench_tool_verify SOURCES tool_verify_bench.cpp LIBS tf_signed_image)
  target_compile_definitions(bench_tool_verify PRIVATE TF_DEFAULT_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TF_DEFAULT_IMAGE_TOOL="$<TARGET_FILE:tessfold-image>")
  target_compile_options(bench_tool_verify PRIVATE -Wno-missing-field-initializers)
  add_dependencies(bench_tool_verify tessfold-image)
endif()
