# The reader itself needs only the platform layer (files and diagnostics).
target_link_libraries(tf_image PUBLIC tf_platform)
