tf_add_gtest(platform_tests SOURCES text_test.cpp fileio_test.cpp diag_test.cpp LIBS tf_platform)
