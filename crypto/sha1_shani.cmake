# The SHA-extensions transform is the only code built with SHA and SSE4.1
# enabled; the library picks it at run time only when the CPU has them.
# Other targets compile the same file as a stub.
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|x86|i[3-6]86)$")
  set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/sha1_shani.cpp
    PROPERTIES COMPILE_OPTIONS "-msha;-msse4.1")
endif()
