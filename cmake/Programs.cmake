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
