# GoogleTest for every preset: Debian's packaged build natively, Debian's googletest sources when
# cross-building (there is no packaged mingw build of it).
include(GoogleTest)

macro(till_find_gtest)
  if(CMAKE_CROSSCOMPILING)
    if(NOT TARGET gtest)
      set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
      set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
      add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    endif()
    set(TILL_GTEST_LIBS gmock gtest)
    set(TILL_GTEST_MAIN gtest_main)
  else()
    find_package(GTest REQUIRED)
    set(TILL_GTEST_LIBS GTest::gmock GTest::gtest)
    set(TILL_GTEST_MAIN GTest::gtest_main)
  endif()
endmacro()

# till_add_gtest(<name> SOURCES ... LIBS ... [OWN_MAIN] [LABELS ...] [RESOURCE_LOCK <name>])
# RESOURCE_LOCK keeps tests that share a file (the result file beside the test program) apart.
# Tests are discovered when CTest runs (never by running a cross-built exe during the build).
function(till_add_gtest name)
  cmake_parse_arguments(ARG "OWN_MAIN" "RESOURCE_LOCK" "SOURCES;LIBS;LABELS" ${ARGN})
  till_find_gtest()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} ${TILL_GTEST_LIBS} Threads::Threads)
  till_use_test_pch(${name})
  till_test_code_generation(${name})
  if(NOT ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE ${TILL_GTEST_MAIN})
  endif()
  set(properties)
  if(ARG_LABELS)
    till_escape_test_property_value(labels "${ARG_LABELS}")
    list(APPEND properties LABELS "${labels}")
  endif()
  if(ARG_RESOURCE_LOCK)
    list(APPEND properties RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
  endif()
  # TILL_TEST_PROPERTIES (set by a toolchain file): name/value pairs; a list value is one element
  # with its ';' escaped, e.g. set(TILL_TEST_PROPERTIES ENVIRONMENT "A=1\;B=2").
  foreach(item IN LISTS TILL_TEST_PROPERTIES)
    till_escape_test_property_value(item "${item}")
    list(APPEND properties "${item}")
  endforeach()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ${properties})
endfunction()

# The test framework's headers are most of each test file's compile time (about 2 s of a trivial
# test's 3.5 s here): every test program reuses one precompiled header of them. The flags and
# definitions of the programs must match the header's for GCC to use it, and GCC falls back to
# the plain headers without a word when they do not: -Winvalid-pch turns that into an error, so a
# target given other flags shows instead of silently building slowly again.
function(till_use_test_pch name)
  if(NOT TARGET till_test_pch)
    set(source ${CMAKE_BINARY_DIR}/till_test_pch.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT "// Only carries the test framework's precompiled header.\n")
    add_library(till_test_pch OBJECT ${source})
    target_link_libraries(till_test_pch PRIVATE till_headers ${TILL_GTEST_LIBS} Threads::Threads)
      target_precompile_headers(till_test_pch PRIVATE <gmock/gmock.h> <gtest/gtest.h>)
    till_test_code_generation(till_test_pch)
  endif()
  target_precompile_headers(${name} REUSE_FROM till_test_pch)
  target_compile_options(${name} PRIVATE -Winvalid-pch)
endfunction()

# What the framework's macros expand to is the rest: optimising and describing it takes about half
# of a test file's compile time at -O2 -g. The code under test is built as shipped; the tests' own
# code is built at -O1 with line tables only (-g1), which still names file and line in a backtrace,
# and takes about half the time (6.0 s down to 3.3 s for a typical test file here). The sanitizer
# presets build for debugging and keep full debug information.
function(till_test_code_generation name)
  target_compile_options(${name} PRIVATE $<$<CONFIG:RelWithDebInfo,Release>:-O1 -g1>)
endfunction()

# On its way to set_tests_properties in the generated test file, a PROPERTIES value goes through
# eight list expansions (CMake 3.25's GoogleTest module: the calls, cmake_parse_arguments and
# add_command, in gtest_discover_tests and again at test time); each splits on ';' and takes one
# backslash off an escaped one. So a list value (ENVIRONMENT, several LABELS) stays one value only
# with eight backslashes before each of its ';'. Check: ctest --show-only=json-v1.
function(till_escape_test_property_value out value)
  string(REPEAT "\\" 8 backslashes)
  string(REPLACE ";" "${backslashes};" value "${value}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()
