tf_add_fuzzer(sim SOURCES sim_fuzz.cpp LIBS tf_sim)
