# tf_catalog_builder moved to authoring/, which the top level adds before the suites,
# benchmarks and fuzzers. This fragment stays for the programs that still
# include it, and fails when the library is not there.
if(TF_HAVE_OPENSSL AND NOT TARGET tf_catalog_builder)
  message(FATAL_ERROR "tf_catalog_builder is defined in authoring/CMakeLists.txt, which must be added first")
endif()
