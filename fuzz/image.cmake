include(${CMAKE_SOURCE_DIR}/tests/support/image_builder.cmake)
tf_add_fuzzer(image SOURCES image_fuzz.cpp LIBS tf_image)
# Writes fuzz/corpus/image/: image_fuzz_seeds <directory>
add_executable(image_fuzz_seeds image_seeds.cpp)
tf_strict(image_fuzz_seeds)
target_link_libraries(image_fuzz_seeds PRIVATE tf_image_builder)
target_compile_options(image_fuzz_seeds PRIVATE -Wno-missing-field-initializers)
