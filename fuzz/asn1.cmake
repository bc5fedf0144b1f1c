tf_add_fuzzer(asn1_parsers SOURCES asn1_parsers.cpp LIBS tf_mincrypt)
tf_add_fuzzer(asn1_values SOURCES asn1_values.cpp LIBS tf_mincrypt)
