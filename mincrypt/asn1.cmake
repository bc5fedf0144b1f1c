# The DER parser needs nothing from crypto/. Until that folder has sources of
# its own, an empty stand-in keeps tf_mincrypt's link line valid.
if(TARGET tf_mincrypt AND NOT TARGET tf_crypto)
  add_library(tf_crypto INTERFACE)
  target_link_libraries(tf_crypto INTERFACE tf_platform)
endif()
