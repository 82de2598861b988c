# Cross-compiling for 64-bit Windows with MinGW-w64. The compiler is looked
# for under its usual names, the POSIX threads model first (the C++ runtime
# needs it for std::mutex in the test programs; Debian's plain name may be
# the win32 model): x86_64-w64-mingw32-g++-posix, then x86_64-w64-mingw32-g++.
# The C compiler is the one beside it with the same suffix. Configuring
# prints the one chosen; set CMAKE_CXX_COMPILER (and CMAKE_C_COMPILER) to
# choose another. The runtime is linked statically, so nothing of it is
# imported.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

if(NOT CMAKE_CXX_COMPILER)
    find_program(GLIM_MINGW_CXX NAMES x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++)
    if(NOT GLIM_MINGW_CXX)
        message(FATAL_ERROR "No MinGW-w64 cross-compiler for x86_64 found (looked for "
                            "x86_64-w64-mingw32-g++-posix and x86_64-w64-mingw32-g++); on "
                            "Debian install g++-mingw-w64-x86-64")
    endif()
    set(CMAKE_CXX_COMPILER ${GLIM_MINGW_CXX})
endif()
if(NOT CMAKE_C_COMPILER)
    # A compiler given by its bare name has its C compiler looked up by name.
    get_filename_component(GLIM_MINGW_NAME ${CMAKE_CXX_COMPILER} NAME)
    string(REPLACE "g++" "gcc" GLIM_MINGW_NAME ${GLIM_MINGW_NAME})
    string(REGEX REPLACE "[^/]+$" "${GLIM_MINGW_NAME}" CMAKE_C_COMPILER ${CMAKE_CXX_COMPILER})
endif()
if(NOT CMAKE_RC_COMPILER)
    find_program(GLIM_MINGW_RC NAMES x86_64-w64-mingw32-windres)
    set(CMAKE_RC_COMPILER ${GLIM_MINGW_RC})
endif()
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
