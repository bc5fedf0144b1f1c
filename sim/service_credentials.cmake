# The service's credentials come from the same folder as the program's
# (TF_CHANNEL_KEY_DIR, see channel/credentials.cmake), falling back to the
# development pair when a vendor's folder holds none: against a vendor's root
# the simulated service then fails the handshake, as a foreign service would.
set(_tf_service_dir "${TF_CHANNEL_KEY_DIR_ABSOLUTE}")
if(NOT EXISTS "${_tf_service_dir}/service.cert" OR NOT EXISTS "${_tf_service_dir}/service.key")
  set(_tf_service_dir "${CMAKE_SOURCE_DIR}/keys/dev/channel")
endif()
set(_tf_service_source "${CMAKE_CURRENT_BINARY_DIR}/service_credentials.cpp")
add_custom_command(
  OUTPUT "${_tf_service_source}"
  COMMAND "${CMAKE_COMMAND}" "-DKEY_DIR=${_tf_service_dir}" "-DOUTPUT=${_tf_service_source}" -DWHAT=service -P
          "${CMAKE_SOURCE_DIR}/channel/credentials.cmake"
  DEPENDS "${_tf_service_dir}/service.cert" "${_tf_service_dir}/service.key"
          "${CMAKE_SOURCE_DIR}/channel/credentials.cmake"
  COMMENT "Compiling in the simulated service's channel credentials from ${_tf_service_dir}"
  VERBATIM)
target_sources(tf_sim PRIVATE "${_tf_service_source}")
