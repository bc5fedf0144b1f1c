include(${CMAKE_SOURCE_DIR}/tests/support/image_builder.cmake)
tf_add_bench(bench_image SOURCES image_bench.cpp LIBS tf_image tf_image_builder)
target_compile_options(bench_image PRIVATE -Wno-missing-field-initializers)
