# Only the parsers are built in, so that the harness does not depend on the
# rest of the service (or on the channel it links).
tf_add_fuzzer(sim
  SOURCES sim_fuzz.cpp ${CMAKE_SOURCE_DIR}/sim/playerdesc.cpp ${CMAKE_SOURCE_DIR}/sim/faults.cpp
          ${CMAKE_SOURCE_DIR}/sim/insertrecord.cpp
  LIBS tf_platform)
