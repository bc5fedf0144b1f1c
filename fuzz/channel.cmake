# The channel's handshake messages from both ends and key containers
# (fuzz_channel, with the exchanges that its seeds start from written by
# channel_fuzz_seeds), and its verification and key opening against OpenSSL
# on the same curve (fuzz_channel_oracle).
#
# What is explored here is the channel's own code, so the arithmetic under it
# is compiled into both harnesses without comparison tracing (which otherwise
# takes half the time of an execution); its objects come before the channel's
# libraries, so the arithmetic archives contribute nothing. fuzz_bignum and
# fuzz_ec explore the arithmetic itself.
file(GLOB _tf_channel_fuzz_arith ${CMAKE_SOURCE_DIR}/crypto/bignum/*.cpp ${CMAKE_SOURCE_DIR}/crypto/ec/*.cpp)
add_library(tf_channel_fuzz_arith OBJECT ${_tf_channel_fuzz_arith})
tf_strict(tf_channel_fuzz_arith)
target_compile_options(tf_channel_fuzz_arith PRIVATE -fno-sanitize-coverage=trace-cmp)
tf_add_fuzzer(channel SOURCES channel_fuzz.cpp $<TARGET_OBJECTS:tf_channel_fuzz_arith> LIBS tf_channel)
# Writes fuzz/corpus/channel/initiator-exchange and responder-exchange:
# channel_fuzz_seeds <directory>
add_executable(channel_fuzz_seeds channel_seeds.cpp)
tf_strict(channel_fuzz_seeds)
target_link_libraries(channel_fuzz_seeds PRIVATE tf_channel)
if(TF_HAVE_OPENSSL)
  tf_add_fuzzer(channel_oracle SOURCES channel_oracle_fuzz.cpp $<TARGET_OBJECTS:tf_channel_fuzz_arith>
                LIBS tf_channel OpenSSL::Crypto)
endif()
