# The built-in trust anchors are compiled from six DER files, two per level:
#   <level>-root.name.der  the anchor's encoded subject Name
#   <level>-root.spki.der  the anchor's encoded SubjectPublicKeyInfo
# for the levels test, odm and product, taken byte for byte from TF_ANCHOR_DIR.
# The C++ source is written at build time by this same file run as a CMake
# script (cmake -P), so cross builds need no host program.
#
# Included from mincrypt/CMakeLists.txt it sets up the build; run with -P it
# writes the source: cmake -DANCHOR_DIR=<dir> -DOUTPUT=<file.cpp> -P anchors.cmake

set(_tf_anchor_levels test odm product)

if(CMAKE_SCRIPT_MODE_FILE)
  # --- generation -----------------------------------------------------------
  # One file as a C array body, 16 bytes a line. Empty or missing files stop
  # the build: an anchor that cannot match anything would fail silently later.
  function(tf_anchor_array path out_var)
    if(NOT EXISTS "${path}")
      message(FATAL_ERROR "trust anchor file missing: ${path}")
    endif()
    file(READ "${path}" hex HEX)
    string(LENGTH "${hex}" digits)
    if(digits EQUAL 0)
      message(FATAL_ERROR "trust anchor file empty: ${path}")
    endif()
    if(NOT hex MATCHES "^30")
      message(FATAL_ERROR "trust anchor file is not a DER SEQUENCE: ${path}")
    endif()
    set(lines "")
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

  set(body "// Generated at build time by mincrypt/anchors.cmake from\n// ${ANCHOR_DIR}.\n// Do not edit.\n")
  string(APPEND body "#include \"mincrypt/anchors.h\"\n\nnamespace {\n")
  foreach(level IN LISTS _tf_anchor_levels)
    tf_anchor_array("${ANCHOR_DIR}/${level}-root.name.der" name)
    tf_anchor_array("${ANCHOR_DIR}/${level}-root.spki.der" key)
    string(APPEND body "\nconst BYTE k_${level}_name[] = {\n${name}};\n")
    string(APPEND body "const BYTE k_${level}_key_info[] = {\n${key}};\n")
  endforeach()
  string(APPEND body "\n}  // namespace\n")
  foreach(pair IN ITEMS "test;Test" "odm;Odm" "product;Product")
    list(GET pair 0 level)
    list(GET pair 1 list_name)
    string(APPEND body "\nconst TrustAnchor rg${list_name}Roots[] = {\n"
           "    {{sizeof k_${level}_name, k_${level}_name}, {sizeof k_${level}_key_info, k_${level}_key_info}},\n"
           "};\nconst DWORD c${list_name}Roots = sizeof rg${list_name}Roots / sizeof rg${list_name}Roots[0];\n")
  endforeach()

  file(WRITE "${OUTPUT}" "${body}")
  return()
endif()

# --- build setup ------------------------------------------------------------
set(TF_ANCHOR_DIR "${CMAKE_SOURCE_DIR}/keys/dev" CACHE PATH
    "Folder of the trust-anchor files compiled into the verifier (keys/dev holds public development anchors)")
get_filename_component(_tf_anchor_dir "${TF_ANCHOR_DIR}" ABSOLUTE BASE_DIR "${CMAKE_SOURCE_DIR}")
if(_tf_anchor_dir STREQUAL "${CMAKE_SOURCE_DIR}/keys/dev")
  message(STATUS "Trust anchors: public development anchors from keys/dev (set TF_ANCHOR_DIR for a product build)")
else()
  message(STATUS "Trust anchors: ${_tf_anchor_dir}")
endif()

set(_tf_anchor_inputs)
foreach(_tf_level IN LISTS _tf_anchor_levels)
  list(APPEND _tf_anchor_inputs "${_tf_anchor_dir}/${_tf_level}-root.name.der"
       "${_tf_anchor_dir}/${_tf_level}-root.spki.der")
endforeach()
foreach(_tf_input IN LISTS _tf_anchor_inputs)
  if(NOT EXISTS "${_tf_input}")
    message(FATAL_ERROR "trust anchor file missing: ${_tf_input} (see keys/dev/README.md)")
  endif()
endforeach()

set(_tf_anchor_source "${CMAKE_CURRENT_BINARY_DIR}/trust_anchors.cpp")
add_custom_command(
  OUTPUT "${_tf_anchor_source}"
  COMMAND "${CMAKE_COMMAND}" "-DANCHOR_DIR=${_tf_anchor_dir}" "-DOUTPUT=${_tf_anchor_source}" -P
          "${CMAKE_CURRENT_LIST_FILE}"
  DEPENDS ${_tf_anchor_inputs} "${CMAKE_CURRENT_LIST_FILE}"
  COMMENT "Compiling in the trust anchors from ${_tf_anchor_dir}"
  VERBATIM)

target_sources(tf_mincrypt PRIVATE "${_tf_anchor_source}")
