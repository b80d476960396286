# Windows packages: install rules and the NSIS and zip settings.
#
# Everything lands at the root of one folder: the programs keep their result file (DEDORO.TXT) and
# their settings (ROVUDIZ.INI) beside themselves, so there is nothing to split into bin/ or doc/.
# The installer (NSIS.template.in beside this file) puts that folder at the top of the system
# drive, C:\Till, and gives it the access list of FolderRights.txt: users create and replace the
# programs' files, and nobody but administrators changes what was installed. The zip holds the
# same files for those who copy them by hand (README says how to give them the same rights).

# Stripping stamps an exe's header with the time strip ran (SOURCE_DATE_EPOCH when set): the
# installer's and the zip's copies, stripped one after the other, would differ by that stamp.
# Each is stamped with its build's time instead, so both packages carry the very same exes.
foreach(program IN ITEMS tillkey tillpop tilldiag)
  install(CODE "
    set(till_epoch_before \"\$ENV{SOURCE_DATE_EPOCH}\")
    file(TIMESTAMP \"$<TARGET_FILE:${program}>\" till_epoch \"%s\" UTC)
    set(ENV{SOURCE_DATE_EPOCH} \"\${till_epoch}\")")
  install(TARGETS ${program} RUNTIME DESTINATION .)
  install(CODE "set(ENV{SOURCE_DATE_EPOCH} \"\${till_epoch_before}\")")
endforeach()

# The README under a name Windows opens with a double click, with the line ends older Notepads
# need. Read and written as data: nothing in it is substituted.
set(till_package_dir ${CMAKE_BINARY_DIR}/packaging/windows)
file(READ ${CMAKE_SOURCE_DIR}/README.md till_readme_text)
string(REPLACE "\n" "\r\n" till_readme_text "${till_readme_text}")
file(CONFIGURE OUTPUT ${till_package_dir}/README.txt CONTENT "@till_readme_text@" @ONLY)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/README.md)
install(FILES ${till_package_dir}/README.txt DESTINATION .)

# The example scenarios, so that a technician can try the programs on the virtual drawer before
# the real one is plugged in.
file(GLOB till_scenarios CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/scenarios/*.ini)
install(FILES ${CMAKE_SOURCE_DIR}/scenarios/README.md ${till_scenarios} DESTINATION scenarios)

# What the programs create inside the installed folder, which the uninstaller removes with the
# installed files so that the folder can go: the result file and the settings beside the
# programs, the temporary files a program ended half-way through writing them left, and the open
# logs the shipped scenarios name (written beside the scenario).
set(till_created_files DEDORO.TXT ROVUDIZ.INI DEDORO.TXT.*.tmp ROVUDIZ.INI.*.tmp)
foreach(scenario IN LISTS till_scenarios)
  file(STRINGS ${scenario} open_logs REGEX "^[ \t]*[Oo][Pp][Ee][Nn][Ll][Oo][Gg][ \t]*=")
  foreach(line IN LISTS open_logs)
    string(REGEX REPLACE "^[^=]*=[ \t]*" "" name "${line}")
    string(STRIP "${name}" name)
    string(REPLACE "/" "\\" name "${name}")
    list(APPEND till_created_files "scenarios\\${name}")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES till_created_files)
set(CPACK_TILL_DELETE_CREATED_FILES "")
foreach(name IN LISTS till_created_files)
  string(APPEND CPACK_TILL_DELETE_CREATED_FILES "  Delete \"$INSTDIR\\${name}\"\n")
endforeach()

# The folder's access list (FolderRights.txt beside this file) as the installer's icacls calls, in
# the order they run: NSIS lines for the template, and the same calls as a list the installer test
# compares with what the installer ran. A call is "TARGET<tab>ARGUMENTS", TARGET relative to the
# install folder ("." for the folder itself).
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/FolderRights.txt till_rights REGEX "^[a-z]")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_CURRENT_LIST_DIR}/FolderRights.txt)
foreach(step IN ITEMS lock protect open)
  set(till_grant_${step} "")
endforeach()
set(till_grant_protect_folder "")
foreach(row IN LISTS till_rights)
  string(REGEX MATCHALL "[^ \t]+" columns "${row}")
  list(GET columns 0 step)
  list(GET columns 1 principal)
  list(GET columns 2 inheritance)
  list(GET columns 3 rights)
  if(inheritance STREQUAL "-")
    set(inheritance "")
  endif()
  string(APPEND till_grant_${step} " ${principal}:${inheritance}${rights}")
  if(step STREQUAL "protect")
    # A protected folder passes the same entries on to what it holds.
    string(APPEND till_grant_protect_folder " ${principal}:(OI)(CI)${inheritance}${rights}")
  endif()
endforeach()
set(till_icacls_lock
    ".\t/setowner *S-1-5-32-544 /T /C /L /Q" ".\t/reset /T /C /L /Q"
    ".\t/inheritance:r /grant:r${till_grant_lock}")
set(till_icacls_protect "")
foreach(file IN ITEMS tillkey.exe tillpop.exe tilldiag.exe Uninstall.exe README.txt)
  list(APPEND till_icacls_protect "${file}\t/inheritance:r /grant:r${till_grant_protect}")
endforeach()
list(APPEND till_icacls_protect "scenarios\t/inheritance:r /grant:r${till_grant_protect_folder}")
set(till_icacls_open ".\t/grant${till_grant_open}")
set(till_icacls_expected "")
foreach(step IN ITEMS lock protect open)
  set(CPACK_TILL_ICACLS_${step} "")
  foreach(call IN LISTS till_icacls_${step})
    string(REPLACE "\t" ";" parts "${call}")
    list(GET parts 0 target)
    list(GET parts 1 arguments)
    set(path "$INSTDIR")
    if(NOT target STREQUAL ".")
      set(path "$INSTDIR\\${target}")
    endif()
    string(APPEND CPACK_TILL_ICACLS_${step} "  !insertmacro ICACLS \"${path}\" \"${arguments}\"\n")
    string(APPEND till_icacls_expected "${target}\t${arguments}\n")
  endforeach()
endforeach()
file(WRITE ${till_package_dir}/icacls-calls.txt "${till_icacls_expected}")

set(CPACK_GENERATOR NSIS ZIP)
# Shipped stripped: the build's exes carry their debug information (about 21 MB each). The
# install rules strip with the toolchain's strip.
set(CPACK_STRIP_FILES ON)
# The values below hold NSIS's $ and quotes: written to CPackConfig.cmake as they are.
set(CPACK_VERBATIM_VARIABLES ON)

# The zip's files at its root: unpacked into a folder of one's choice (C:\Till, as the installer
# does), not into a folder named after the zip inside another one.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)

# The installer: our own template (CPack looks for NSIS.template.in on its module path first).
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Till")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Till")
set(CPACK_NSIS_DISPLAY_NAME "Till cash drawer opener")
set(CPACK_NSIS_PACKAGE_NAME "${CPACK_NSIS_DISPLAY_NAME}")
set(CPACK_TILL_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.0.0")
if(PROJECT_VERSION_PATCH MATCHES "^[0-9]+$")
  set(CPACK_TILL_VERSION_QUAD
      "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
endif()
# The installer is built for the programs' architecture: a 32-bit till runs neither 64-bit programs
# nor a 64-bit installer. CPack names the packages win64 or win32 by the same measure.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_TILL_NSIS_TARGET amd64-unicode)
else()
  set(CPACK_TILL_NSIS_TARGET x86-unicode)
endif()
set(CPACK_TILL_ICON "${CMAKE_SOURCE_DIR}/apps/resources/till.ico")
