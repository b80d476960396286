# Toolchain for the 32-bit Windows build (the windows-x86 preset): the x86_64 one's settings with
# the i686 compilers (Debian 12: g++-mingw-w64-i686). Its programs run on 32-bit Windows and, under
# WOW64, on 64-bit Windows. The host's kernel here runs no 32-bit code, so its tests run in the
# QEMU guest (tests/guest/wine-guest), with Wine's 32-bit loader from the wine32:i386 package.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TILL_MINGW_TRIPLET i686-w64-mingw32)
set(TILL_WINE_LOADER /usr/lib/wine/wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
