# The channel's built-in credentials are compiled from three files of
# TF_CHANNEL_KEY_DIR:
#   root.pub              one line "X Y", 40 hex digits each, most significant first
#   program.cert          the program's ChannelCertificate, 100 bytes
#   program.keycontainer  its KeyContainer, 4096 bytes
# and the simulated service's pair (service.cert, service.key) is taken from the
# same folder when it has one. Run with -P this file writes the sources:
#   cmake -DKEY_DIR=<dir> -DOUTPUT=<file.cpp> -DWHAT=program|service -P credentials.cmake

if(CMAKE_SCRIPT_MODE_FILE)
  # Hex digits as a C array body, 16 bytes a line.
  function(tf_hex_array hex out_var)
    set(lines "")
    string(LENGTH "${hex}" digits)
    set(at 0)
    while(at LESS digits)
      string(SUBSTRING "${hex}" ${at} 32 chunk)
      string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1, " chunk "${chunk}")
      string(STRIP "${chunk}" chunk)
      string(APPEND lines "    ${chunk}\n")
      math(EXPR at "${at} + 32")
    endwhile()
    set(${out_var} "${lines}" PARENT_SCOPE)
  endfunction()

  function(tf_binary_file path bytes out_var)
    if(NOT EXISTS "${path}")
      message(FATAL_ERROR "channel credential file missing: ${path}")
    endif()
    file(SIZE "${path}" size)
    if(NOT size EQUAL ${bytes})
      message(FATAL_ERROR "${path}: ${size} bytes, expected ${bytes}")
    endif()
    file(READ "${path}" hex HEX)
    tf_hex_array("${hex}" lines)
    set(${out_var} "${lines}" PARENT_SCOPE)
  endfunction()

  # 40 hex digits, most significant first, to 20 bytes least significant first.
  function(tf_le_number text out_var)
    string(TOLOWER "${text}" text)
    if(NOT text MATCHES "^[0-9a-f]+$")
      message(FATAL_ERROR "not a 40-digit hexadecimal number: '${text}'")
    endif()
    string(LENGTH "${text}" digits)
    if(NOT digits EQUAL 40)
      message(FATAL_ERROR "not a 40-digit hexadecimal number: '${text}'")
    endif()
    set(le "")
    foreach(at RANGE 38 0 -2)
      string(SUBSTRING "${text}" ${at} 2 byte)
      string(APPEND le "${byte}")
    endforeach()
    set(${out_var} "${le}" PARENT_SCOPE)
  endfunction()

  function(tf_text_line path out_var)
    if(NOT EXISTS "${path}")
      message(FATAL_ERROR "channel credential file missing: ${path}")
    endif()
    file(STRINGS "${path}" lines LIMIT_COUNT 1)
    string(STRIP "${lines}" line)
    set(${out_var} "${line}" PARENT_SCOPE)
  endfunction()

  set(body "// Generated at build time by channel/credentials.cmake from\n// ${KEY_DIR}.\n// Do not edit.\n")
  if(WHAT STREQUAL "program")
    tf_text_line("${KEY_DIR}/root.pub" root)
    string(REGEX MATCHALL "[^ \t]+" coordinates "${root}")
    list(LENGTH coordinates count)
    if(NOT count EQUAL 2)
      message(FATAL_ERROR "${KEY_DIR}/root.pub: expected one line \"X Y\"")
    endif()
    list(GET coordinates 0 x)
    list(GET coordinates 1 y)
    tf_le_number("${x}" x)
    tf_le_number("${y}" y)
    tf_hex_array("${x}${y}" root_lines)
    tf_binary_file("${KEY_DIR}/program.cert" 100 cert_lines)
    tf_binary_file("${KEY_DIR}/program.keycontainer" 4096 container_lines)
    string(APPEND body "#include \"channel/credentials.h\"\n\n"
           "const BYTE kChannelRootPublicKey[40] = {\n${root_lines}};\n\n"
           "const BYTE kBuiltinChannelCertificate[100] = {\n${cert_lines}};\n\n"
           "const BYTE kBuiltinKeyContainer[4096] = {\n${container_lines}};\n")
  else()
    tf_binary_file("${KEY_DIR}/service.cert" 100 cert_lines)
    tf_text_line("${KEY_DIR}/service.key" key)
    tf_le_number("${key}" key)
    tf_hex_array("${key}" key_lines)
    string(APPEND body "#include \"sim/service_credentials.h\"\n\n"
           "const BYTE kSimServiceCertificate[100] = {\n${cert_lines}};\n\n"
           "const BYTE kSimServicePrivateKey[20] = {\n${key_lines}};\n")
  endif()
  file(WRITE "${OUTPUT}" "${body}")
  return()
endif()

# --- build setup ------------------------------------------------------------
set(TF_CHANNEL_KEY_DIR "${CMAKE_SOURCE_DIR}/keys/dev/channel" CACHE PATH
    "Folder of the channel's root public key and the program's certificate and key container (keys/dev/channel holds public development credentials)")
get_filename_component(_tf_channel_dir "${TF_CHANNEL_KEY_DIR}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
if(_tf_channel_dir STREQUAL "${CMAKE_SOURCE_DIR}/keys/dev/channel")
  message(STATUS "Channel credentials: public development credentials from keys/dev/channel (set TF_CHANNEL_KEY_DIR for a product build)")
else()
  message(STATUS "Channel credentials: ${_tf_channel_dir}")
endif()
set(TF_CHANNEL_KEY_DIR_ABSOLUTE "${_tf_channel_dir}" CACHE INTERNAL "")

set(_tf_channel_inputs "${_tf_channel_dir}/root.pub" "${_tf_channel_dir}/program.cert"
                       "${_tf_channel_dir}/program.keycontainer")
foreach(_tf_input IN LISTS _tf_channel_inputs)
  if(NOT EXISTS "${_tf_input}")
    message(FATAL_ERROR "channel credential file missing: ${_tf_input} (see keys/dev/README.md)")
  endif()
endforeach()

set(_tf_channel_source "${CMAKE_CURRENT_BINARY_DIR}/channel_credentials.cpp")
add_custom_command(
  OUTPUT "${_tf_channel_source}"
  COMMAND "${CMAKE_COMMAND}" "-DKEY_DIR=${_tf_channel_dir}" "-DOUTPUT=${_tf_channel_source}" -DWHAT=program -P
          "${CMAKE_CURRENT_LIST_FILE}"
  DEPENDS ${_tf_channel_inputs} "${CMAKE_CURRENT_LIST_FILE}"
  COMMENT "Compiling in the channel credentials from ${_tf_channel_dir}"
  VERBATIM)
target_sources(tf_channel PRIVATE "${_tf_channel_source}")
