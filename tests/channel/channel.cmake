# The channel suites: data protection, credentials, the curve work with its
# known answers, the handshake in process, and OpenSSL as the oracle.

tf_add_gtest(channel_protection_tests SOURCES protection_test.cpp LIBS tf_channel)
tf_add_gtest(channel_credentials_tests SOURCES credentials_test.cpp LIBS tf_channel)
add_library(tf_channel_test_support STATIC channel_test_support.cpp)
tf_strict(tf_channel_test_support)
target_link_libraries(tf_channel_test_support PUBLIC tf_channel tf_sim)
tf_add_gtest(channel_handshake_tests SOURCES handshake_test.cpp LIBS tf_channel_test_support)
tf_add_gtest(channel_initiator_tests SOURCES initiator_test.cpp LIBS tf_channel_test_support)
tf_add_gtest(channel_oracle_tests SOURCES oracle_test.cpp LIBS tf_channel_test_support OPENSSL)

# The channel's timings in the Windows builds, where the benchmarks (Google
# Benchmark, OpenSSL) are not built: run by hand under Wine.
if(CMAKE_CROSSCOMPILING AND TARGET tf_sim)
  add_executable(channel_timing ${CMAKE_SOURCE_DIR}/bench/channel_timing.cpp)
  tf_strict(channel_timing)
  target_link_libraries(channel_timing PRIVATE tf_channel tf_sim)
endif()
