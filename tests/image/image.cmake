# Portable: also runs under wine64, where the Windows file calls do the work.
tf_add_gtest(image_tests
  SOURCES binutils_test.cpp extension_test.cpp traverse_test.cpp builder_test.cpp
  LIBS tf_image tf_image_builder)
# Image descriptions use designated initializers that leave the remaining
# fields at their defaults; g++ 12 warns about exactly that.
target_compile_options(image_tests PRIVATE -Wno-missing-field-initializers)
