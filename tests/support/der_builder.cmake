# A small DER writer for fixtures of the verification-library suites.
add_library(tf_der_builder STATIC ${CMAKE_CURRENT_LIST_DIR}/der_builder.cpp)
tf_strict(tf_der_builder)
