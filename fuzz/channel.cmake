# The channel's handshake messages from both ends, and key containers. The
# simulated service's credentials are compiled in for the responder's side.
if(TARGET tf_sim)
  tf_add_fuzzer(channel SOURCES channel_fuzz.cpp LIBS tf_channel tf_sim)
endif()
