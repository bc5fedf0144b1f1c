tf_add_gtest(wmdm_layout_tests SOURCES wmdm_layout_test.cpp LIBS tf_platform)
