# Signed-catalog builder on libcrypto: fixtures for the verification suites,
# and the signing engine of the image tool. Native only. Programs built
# without the test tree (benchmarks, tools) include this fragment after
# der_builder.cmake; the guard makes a second inclusion harmless.
if(TF_HAVE_OPENSSL AND NOT CMAKE_CROSSCOMPILING AND NOT TARGET tf_catalog_builder)
  add_library(tf_catalog_builder STATIC ${CMAKE_CURRENT_LIST_DIR}/catalog_builder.cpp)
  tf_strict(tf_catalog_builder)
  # Specs are written with designated initializers that name only what
  # differs from the defaults.
  target_compile_options(tf_catalog_builder PUBLIC -Wno-missing-field-initializers)
  target_link_libraries(tf_catalog_builder PUBLIC tf_der_builder OpenSSL::Crypto)
endif()
