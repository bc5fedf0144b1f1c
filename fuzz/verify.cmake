# The verification entry points on arbitrary bytes; seeds are signed catalogs
# written by tests/mincrypt/ver_seedgen (fuzz/corpus/verify_*).
tf_add_fuzzer(verify_message SOURCES ${CMAKE_CURRENT_LIST_DIR}/verify_message_fuzz.cpp LIBS tf_mincrypt)
tf_add_fuzzer(verify_catalog SOURCES ${CMAKE_CURRENT_LIST_DIR}/verify_catalog_fuzz.cpp LIBS tf_mincrypt)
