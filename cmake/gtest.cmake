# Natively we use Debian's GoogleTest; for the Windows builds it is compiled
# from Debian's source package with the cross compiler.
if(CMAKE_CROSSCOMPILING)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  set(TF_GTEST_LIBS gtest gtest_main)
else()
  find_package(GTest REQUIRED)
  set(TF_GTEST_LIBS GTest::gtest GTest::gtest_main)
endif()

# tf_add_gtest(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [NATIVE_ONLY] [OPENSSL] [GMP])
# One executable per suite, one ctest entry per executable (so the Windows
# build starts each program under Wine only once).
#   NATIVE_ONLY: skipped in the Windows builds.
#   OPENSSL:     needs libcrypto as an oracle; skipped where it is missing.
#   GMP:         needs libgmp as an oracle; native builds only.
function(tf_add_gtest name)
  cmake_parse_arguments(T "NATIVE_ONLY;OPENSSL;GMP" "" "SOURCES;LIBS" ${ARGN})
  if(T_GMP AND CMAKE_CROSSCOMPILING)
    return()
  endif()
  if(T_NATIVE_ONLY AND CMAKE_CROSSCOMPILING)
    return()
  endif()
  if(T_OPENSSL AND NOT TF_HAVE_OPENSSL)
    return()
  endif()
  add_executable(${name} ${T_SOURCES})
  tf_strict(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${TF_GTEST_LIBS})
  if(T_OPENSSL)
    target_link_libraries(${name} PRIVATE OpenSSL::Crypto)
  endif()
  if(T_GMP)
    target_link_libraries(${name} PRIVATE gmp)
  endif()
  # Each run gets a temporary folder of its own (TEST_TMPDIR): natively from
  # with-scratch-dir, on Windows from the emulator, scripts/wine-run.
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
  else()
    add_test(NAME ${name} COMMAND ${CMAKE_SOURCE_DIR}/scripts/with-scratch-dir $<TARGET_FILE:${name}>)
  endif()
  set_tests_properties(${name} PROPERTIES
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    ENVIRONMENT "TF_SOURCE_DIR=${CMAKE_SOURCE_DIR};TF_BINARY_DIR=${CMAKE_BINARY_DIR}")
endfunction()
