# The arithmetic against GMP: operation and operands decoded from the input.
tf_add_fuzzer(bignum SOURCES bignum_fuzz.cpp LIBS tf_bignum gmp)
