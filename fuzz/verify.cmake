# The verification entry points on arbitrary bytes. Seeds (fuzz/corpus/verify_*)
# are signed catalogs: small ones with 512-bit chains written by
# tests/mincrypt/ver_seedgen, and osslsigncode's test-level sample from
# tests/mincrypt/vercat_samples.
tf_add_fuzzer(verify_message SOURCES ${CMAKE_CURRENT_LIST_DIR}/verify_message_fuzz.cpp LIBS tf_mincrypt)
tf_add_fuzzer(verify_catalog SOURCES ${CMAKE_CURRENT_LIST_DIR}/verify_catalog_fuzz.cpp LIBS tf_mincrypt)
