# tf_der_builder moved to authoring/, which the top level adds before the suites,
# benchmarks and fuzzers. This fragment stays for the programs that still
# include it, and fails when the library is not there.
if(NOT TARGET tf_der_builder)
  message(FATAL_ERROR "tf_der_builder is defined in authoring/CMakeLists.txt, which must be added first")
endif()
