# The reader itself needs only the platform layer (files and diagnostics).
target_link_libraries(tf_image PUBLIC tf_platform)
# Until the verification library has sources of its own there is no tf_mincrypt
# target, and the dependency above it would turn into a missing -ltf_mincrypt.
if(NOT TARGET tf_mincrypt)
  add_library(tf_mincrypt INTERFACE)
endif()
