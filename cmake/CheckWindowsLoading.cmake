# cmake -DOBJDUMP=<the toolchain's objdump> -DPROGRAM=<program.exe> -P CheckWindowsLoading.cmake
#
# Fails unless a Windows program we ship loads nothing that a user could plant beside it. The
# programs' folder is writable by the till's users, and the point-of-sale software may start them
# elevated, so:
# - the program carries its own manifest (resource type 24, RT_MANIFEST, id 1): without one,
#   Windows honours a <program>.exe.manifest, or a <program>.exe.local folder, found beside it;
# - it imports at load time only KnownDLLs, which the loader maps from the system folder whatever
#   lies in the program's folder (nothing else can restrict the search for load-time imports).
#   Any other library is loaded at run time by its system path (hid/SystemLibrary.h).
# It also fails when the manifest names a processor architecture other than the program's own:
# Windows refuses to start such a program ("side-by-side configuration is incorrect"), where Wine
# starts it all the same, so no test run under Wine would notice.
# objdump's output is the same for 32-bit and 64-bit programs.
cmake_minimum_required(VERSION 3.25)

# The KnownDLLs of Windows 7 SP1 and of Windows 10 and 11 alike, 64-bit and 32-bit (registry key
# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs, and KnownDlls32 on 64-bit
# Windows), plus ntdll.dll, which the system maps before anything else. Lower case, without
# ".dll". Not here, though often imported: comctl32 (no KnownDLL; a manifest redirects it) and
# version, winmm, uxtheme, dbghelp, which are searched for beside the program first.
set(known_dlls
    advapi32 clbcatq comdlg32 gdi32 imagehlp imm32 kernel32 msctf msvcrt normaliz nsi ntdll ole32
    oleaut32 psapi rpcrt4 sechost setupapi shell32 shlwapi user32 wldap32 ws2_32)

execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE dump ERROR_VARIABLE error
                RESULT_VARIABLE status)
get_filename_component(program "${PROGRAM}" NAME)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${program}: ${OBJDUMP} -p failed: ${error}")
endif()

set(problems)
# The manifest is stored as text: every processorArchitecture it names must be the program's.
if(dump MATCHES "file format pei-i386")
  set(architecture x86)
elseif(dump MATCHES "file format pei-x86-64")
  set(architecture amd64)
else()
  list(APPEND problems "objdump names no known file format")
endif()
file(STRINGS "${PROGRAM}" manifest_lines REGEX "processorArchitecture=")
foreach(line IN LISTS manifest_lines)
  string(REGEX MATCHALL "processorArchitecture=\"[^\"]*\"" named "${line}")
  foreach(name IN LISTS named)
    if(NOT name STREQUAL "processorArchitecture=\"${architecture}\"")
      list(APPEND problems "its manifest says ${name}, but it is an ${architecture} program")
    endif()
  endforeach()
endforeach()
# Under the resource directory's type 24, the first name entry (ids come in ascending order).
if(NOT dump MATCHES "\n[0-9a-f]+ +Entry: ID: 0x0+18,[^\n]*\n[0-9a-f]+ +Name Table: [^\n]*Num Names: 0,[^\n]*\n[0-9a-f]+ +Entry: ID: 0x0+1,")
  list(APPEND problems "it carries no manifest of its own (resource 1 of type 24)")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(seen_kernel32 FALSE)
foreach(import IN LISTS imports)
  string(REGEX REPLACE "^DLL Name: (.+)$" "\\1" dll "${import}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" base)
  string(REGEX REPLACE "\\.dll$" "" base "${base}")
  if(base STREQUAL "kernel32")
    set(seen_kernel32 TRUE)
  endif()
  if(NOT base IN_LIST known_dlls)
    list(APPEND problems "it imports ${dll}, which is no KnownDLL: load it by its system path")
  endif()
endforeach()
# Every program imports kernel32: without it, objdump's output was not understood.
if(NOT seen_kernel32)
  list(APPEND problems "no imports read (not even kernel32.dll)")
endif()
# Delay-loaded libraries are searched for when first called, not checked here.
if(dump MATCHES "\n[^\n]* [0-9a-f]+ ([0-9a-f]+) Delay Import Directory" AND
   NOT CMAKE_MATCH_1 MATCHES "^0+$")
  list(APPEND problems "it has delay-loaded imports")
endif()

if(problems)
  list(JOIN problems "; " text)
  message(FATAL_ERROR "${program} fails the loader check: ${text}")
endif()
