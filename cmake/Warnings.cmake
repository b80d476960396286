add_library(till_warnings INTERFACE)
target_compile_options(till_warnings INTERFACE -Wall -Wextra -Werror -Wshadow=local
                                               -Wnon-virtual-dtor -Wold-style-cast)
