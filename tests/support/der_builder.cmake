# A small DER writer for fixtures of the verification-library suites, the
# catalog builder and the signing tool. Builds without the tests include this
# file directly; the guard makes a second include harmless.
if(TARGET tf_der_builder)
  return()
endif()
add_library(tf_der_builder STATIC ${CMAKE_CURRENT_LIST_DIR}/der_builder.cpp)
tf_strict(tf_der_builder)
