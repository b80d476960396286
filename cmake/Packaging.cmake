# The packages: CPack builds them from the install rules of each platform's packaging folder
# (an NSIS installer and a zip for Windows, a .deb for Linux). `scripts/build-packages` is the
# one command that makes them all.
set(CPACK_PACKAGE_NAME "till")
set(CPACK_PACKAGE_VENDOR "tillkey / tillpop")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "USB HID cash-drawer opener (tillpop, tillkey, tilldiag)")
set(CPACK_PACKAGE_CONTACT "Till maintainers <till@example.invalid>")
set(CPACK_RESOURCE_FILE_README "${CMAKE_SOURCE_DIR}/README.md")
if(WIN32)
  include(${CMAKE_SOURCE_DIR}/packaging/windows/Package.cmake)
else()
  include(${CMAKE_SOURCE_DIR}/packaging/linux/Package.cmake)
endif()
include(CPack)
