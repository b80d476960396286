# Toolchain for the Windows build: mingw-w64 x86_64 (or i686, through mingw-w64-i686.cmake) with posix threads (the -win32 variant has no
# std::thread/std::mutex), fully static executables (no libwinpthread-1.dll/libstdc++ DLLs next to
# them), and tests run under Wine through cmake/wine-run.sh.
#
#   cmake --preset windows                     (CMakePresets.json points here)
#   cmake -S . -B build/windows -G Ninja --toolchain cmake/mingw-w64.cmake
#
# Debian 12 packages: g++-mingw-w64-x86-64 (compilers, windres) and wine64 (the emulator).

set(CMAKE_SYSTEM_NAME Windows)
if(NOT TILL_MINGW_TRIPLET)
  set(CMAKE_SYSTEM_PROCESSOR x86_64)
  set(TILL_MINGW_TRIPLET x86_64-w64-mingw32)
endif()
set(CMAKE_C_COMPILER ${TILL_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TILL_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${TILL_MINGW_TRIPLET}-windres)

# Headers, libraries and packages come from the mingw sysroot only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${TILL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Every cross-built exe that CMake or CTest runs (test discovery included) goes through the
# wrapper: it sets WINEPREFIX to the build tree's prefix, WINEDEBUG/WINEDLLOVERRIDES defaults,
# makes sure a wineserver for the prefix is up and warmed with its helper processes detached from
# the caller's pipes, then execs /usr/lib/wine/wine64 (not on PATH in Debian 12).
set(TILL_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
set(TILL_WINEDLLOVERRIDES "hid,setupapi=b")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;--prefix;${TILL_WINEPREFIX}")
# wine-run.sh runs wine64 unless told of another loader (the 32-bit build's).
if(TILL_WINE_LOADER)
  list(PREPEND CMAKE_CROSSCOMPILING_EMULATOR env "TILL_WINE=${TILL_WINE_LOADER}")
endif()

# Extra properties of every discovered test (see till_add_gtest in cmake/Testing.cmake): name/value
# pairs, a list value being one element with its ';' escaped.
set(TILL_TEST_PROPERTIES
    ENVIRONMENT
    "WINEDEBUG=-all\;WINEDLLOVERRIDES=${TILL_WINEDLLOVERRIDES}\;WINEPREFIX=${TILL_WINEPREFIX}")
