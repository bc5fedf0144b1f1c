# Elliptic curves: known answers and special cases on the channel's curve
# (also in the i686 build under Wine), and a native differential suite
# against OpenSSL on several curves.
tf_add_gtest(ec_tests SOURCES ec_test.cpp ec_test_support.cpp LIBS tf_ec)
tf_add_gtest(ec_oracle_tests SOURCES ec_oracle_test.cpp ec_test_support.cpp LIBS tf_ec NATIVE_ONLY OPENSSL)

# The curve's timings in the Windows builds, where the benchmarks (Google
# Benchmark, OpenSSL) are not built: run by hand under Wine.
if(CMAKE_CROSSCOMPILING)
  add_executable(ec_timing ${CMAKE_SOURCE_DIR}/bench/ec_timing.cpp ec_test_support.cpp)
  tf_strict(ec_timing)
  target_link_libraries(ec_timing PRIVATE tf_ec)
endif()
