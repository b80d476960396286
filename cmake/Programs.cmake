# How the programs we ship are linked. On Linux the C++ runtime and libgcc go into the executable
# itself: a one-shot program pays for every shared library the dynamic loader has to find, map and
# relocate before main, and these two are the largest it would load. The C library stays shared
# (libudev, loaded at run time when the hidraw services are chosen, needs the system's own).
# The Windows toolchain file already links every executable fully static. The sanitizer presets
# keep the shared runtime their run-time libraries expect.
add_library(till_program INTERFACE)
if(NOT WIN32 AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize")
  target_link_options(till_program INTERFACE -static-libstdc++ -static-libgcc)
endif()

# till_check_windows_loading(<target>): after each link, fails the build unless the program
# carries its own manifest and imports only libraries the loader never looks for beside it
# (cmake/CheckWindowsLoading.cmake says why and lists them).
function(till_check_windows_loading target)
  add_custom_command(TARGET ${target} POST_BUILD VERBATIM
                     COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP}
                             -DPROGRAM=$<TARGET_FILE:${target}>
                             -P ${PROJECT_SOURCE_DIR}/cmake/CheckWindowsLoading.cmake)
endfunction()
