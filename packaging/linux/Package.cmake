# Linux package: install rules and the .deb settings.
#
# The programs live in a folder of their own, /opt/till, because tillpop writes its result file
# beside its executable: that folder must be writable by the till's user, which no folder on the
# PATH may be. The commands reach the PATH as links; the programs resolve /proc/self/exe, so a
# run through /usr/bin/tillpop still writes /opt/till/DEDORO.TXT. The destinations are relative
# to the packaging prefix "/", so the staging tree is the machine's own layout.
set(TILL_DEB_HOME opt/till)
set(TILL_DEB_DOC usr/share/doc/till)
# Debian 12's udev reads packaged rules here (its own are here too); lintian's udev checks look
# only here. The /usr/lib move belongs to later releases.
set(TILL_DEB_UDEV_RULES lib/udev/rules.d)
# The group whose members may open the drawer and write the result file. The maintainer scripts
# take it from here; the udev rule, the manual pages and the package's test spell it out, so a
# new name goes into all of them.
set(TILL_DEB_GROUP cashdrawer)

set(till_deb_src ${CMAKE_CURRENT_LIST_DIR})
set(till_deb_gen ${CMAKE_BINARY_DIR}/packaging/linux)

install(TARGETS tillpop tilldiag RUNTIME DESTINATION ${TILL_DEB_HOME})
# CPack's stripping (CPACK_STRIP_FILES) runs a plain strip, which keeps the compiler's .comment
# notes; drop them as Debian's own packages do.
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program tillpop tilldiag)
      execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                              \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TILL_DEB_HOME}/\${program}\"
                      COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${TILL_DEB_HOME})
# The examples only: a developer's scenario runs leave logs in the source folder.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/scenarios/ DESTINATION ${TILL_DEB_HOME}/scenarios
        FILES_MATCHING PATTERN "*.ini" PATTERN "README.md")

# Absolute links: /usr and /opt are different top-level folders (Debian policy 10.5). They are
# made at configure time and installed as links (install(FILES) keeps a link a link).
foreach(program IN ITEMS tillpop tilldiag)
  file(MAKE_DIRECTORY ${till_deb_gen}/bin)
  file(CREATE_LINK /${TILL_DEB_HOME}/${program} ${till_deb_gen}/bin/${program} SYMBOLIC)
  install(FILES ${till_deb_gen}/bin/${program} DESTINATION usr/bin)
endforeach()

install(FILES ${till_deb_src}/70-till-cash-drawer.rules DESTINATION ${TILL_DEB_UDEV_RULES})
install(FILES ${till_deb_src}/copyright DESTINATION ${TILL_DEB_DOC})
install(FILES ${till_deb_src}/lintian-overrides DESTINATION usr/share/lintian/overrides
        RENAME till)

# The changelog and the manual pages are shipped compressed, as debhelper would: gzip -9 for
# size, -n so that no name and time stamp make two builds of the same text differ.
find_program(TILL_GZIP gzip REQUIRED)
set(till_deb_gzipped)
function(till_deb_gzip from to)
  set(plain ${till_deb_gen}/${to})
  get_filename_component(to_dir ${plain} DIRECTORY)
  add_custom_command(
    OUTPUT ${plain}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${to_dir}
    COMMAND ${CMAKE_COMMAND} -E copy ${till_deb_src}/${from} ${plain}
    COMMAND ${TILL_GZIP} -9nf ${plain}
    DEPENDS ${till_deb_src}/${from}
    VERBATIM)
  set(till_deb_gzipped ${till_deb_gzipped} ${plain}.gz PARENT_SCOPE)
endfunction()
till_deb_gzip(changelog changelog)
till_deb_gzip(tillpop.1 man/tillpop.1)
till_deb_gzip(tilldiag.1 man/tilldiag.1)
add_custom_target(till_deb_docs ALL DEPENDS ${till_deb_gzipped})
install(FILES ${till_deb_gen}/changelog.gz DESTINATION ${TILL_DEB_DOC})
install(FILES ${till_deb_gen}/man/tillpop.1.gz ${till_deb_gen}/man/tilldiag.1.gz
        DESTINATION usr/share/man/man1)

# The maintainer scripts name the group and the folder from here, so that they cannot drift
# apart from the install rules.
foreach(script IN ITEMS postinst postrm)
  configure_file(${till_deb_src}/${script}.in ${till_deb_gen}/${script} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                  WORLD_READ WORLD_EXECUTE)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /)
set(CPACK_STRIP_FILES TRUE)
# The Linux package has no tillkey.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "USB HID cash-drawer opener (tillpop, tilldiag)")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Opens the cash drawer of a point-of-sale PC through its USB HID interface.
tillpop is started by the point-of-sale software whenever the drawer must
open: it finds the drawer interface, sends the open command, writes OK,
ERROR or NOT_FOUND into /opt/till/DEDORO.TXT and exits. tilldiag lists the
drawer interfaces it can reach and opens the drawer on request, for
technicians and scripts.

A udev rule gives the user at the machine's seat, and the members of the
group ${TILL_DEB_GROUP} (created by the package), access to the drawer.
TILL_SIMULATION selects a virtual drawer; examples are in /opt/till/scenarios.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)  # dpkg-deb's own choice; CPack would take gzip
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# libc6 comes from dpkg-shlibdeps. libudev1 is loaded with dlopen, which it cannot see; adduser
# creates the group.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libudev1, adduser")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${till_deb_gen}/postinst ${till_deb_gen}/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
