tf_add_gtest(sim_tests SOURCES playerdesc_test.cpp filecopy_test.cpp service_test.cpp LIBS tf_sim)
