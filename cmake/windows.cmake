# Windows x64 build (MinGW-w64): the plugin DLL, the stand-in host library
# TakeCmd.dll, the stand-in host glimhost.exe, and the Windows test programs.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib)
set(CMAKE_SHARED_LIBRARY_PREFIX "")
set(CMAKE_IMPORT_LIBRARY_PREFIX "")

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN)
# The compiler's runtime is linked in, so that the binaries import only
# Windows system DLLs (and, for the plugin, TakeCmd.dll).
set(GLIM_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

# Two builds of one source, in any folders, give the same bytes: the linker
# writes no time stamps (it would put the time of the link into the file and
# export headers), the objects name no build folder, and an optimised build
# carries no debugging sections (the static runtime brings its own, naming
# the folders it was built in). The checksum the linker computes then comes
# out the same too. tests/resources/check-dll.sh checks the headers, and
# scripts/test builds the package twice in two folders and compares.
add_compile_options($<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}/=>
                    $<$<COMPILE_LANGUAGE:C,CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}/=>)
add_link_options(-Wl,--no-insert-timestamp $<$<CONFIG:Release,MinSizeRel>:-s>)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} --version OUTPUT_VARIABLE GLIM_COMPILER_VERSION
                OUTPUT_STRIP_TRAILING_WHITESPACE)
string(REGEX REPLACE "\n.*" "" GLIM_COMPILER_VERSION "${GLIM_COMPILER_VERSION}")
message(STATUS "Windows binaries compiled by ${CMAKE_CXX_COMPILER}: ${GLIM_COMPILER_VERSION}")
set(GLIM_COMPILER "${GLIM_COMPILER_VERSION}" CACHE INTERNAL "The compiler, for the package")

# The stand-in host library: the host services, exported by name.
add_library(TakeCmd SHARED ${SRC_HOST_FORMAT} ${SRC_HOST_SERVICES}
            ${PROJECT_SOURCE_DIR}/host/takecmd.def)
target_include_directories(TakeCmd PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
target_compile_options(TakeCmd PRIVATE ${GLIM_WARNINGS} -fno-exceptions -fno-rtti)
target_link_options(TakeCmd PRIVATE ${GLIM_STATIC_RUNTIME})

# The plugin.
add_library(glimpset SHARED ${SRC_COMMON} ${SRC_PLUGIN} ${SRC_COMMAND} ${SRC_FORMAT}
            ${SRC_SAVE} ${SRC_RESTORE} ${SRC_REPORT}
            ${PROJECT_SOURCE_DIR}/src/resources/glimpset.def
            ${PROJECT_SOURCE_DIR}/src/resources/glimpset.rc)
target_include_directories(glimpset PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
target_compile_options(glimpset PRIVATE ${GLIM_WARNINGS} -fno-exceptions -fno-rtti)
target_link_options(glimpset PRIVATE ${GLIM_STATIC_RUNTIME})
target_link_libraries(glimpset PRIVATE TakeCmd user32 advapi32 winmm)

# The stand-in host program.
add_executable(glimhost ${PROJECT_SOURCE_DIR}/host/glimhost.cpp
               ${PROJECT_SOURCE_DIR}/host/loadplugin.cpp ${PROJECT_SOURCE_DIR}/host/runlines.cpp
               ${PROJECT_SOURCE_DIR}/host/builtins.cpp ${PROJECT_SOURCE_DIR}/host/hostio.cpp)
target_compile_options(glimhost PRIVATE ${GLIM_WARNINGS} -municode)
target_link_options(glimhost PRIVATE ${GLIM_STATIC_RUNTIME} -municode)
target_link_libraries(glimhost PRIVATE TakeCmd)
add_dependencies(glimhost glimpset)

if(EXISTS ${PROJECT_SOURCE_DIR}/tools/CMakeLists.txt)
    add_subdirectory(tools)
endif()

# Windows test programs, run under Wine by scripts/test-wine.
add_executable(quietprobe ${PROJECT_SOURCE_DIR}/tests/wine/probe/quietprobe.cpp
               ${PROJECT_SOURCE_DIR}/src/command/quiet.cpp)
target_include_directories(quietprobe PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
target_compile_options(quietprobe PRIVATE ${GLIM_WARNINGS} -municode)
target_link_options(quietprobe PRIVATE ${GLIM_STATIC_RUNTIME} -municode)
target_link_libraries(quietprobe PRIVATE advapi32)
add_executable(drawprobe ${PROJECT_SOURCE_DIR}/tests/wine/probe/drawprobe.cpp)
target_compile_options(drawprobe PRIVATE ${GLIM_WARNINGS} -municode)
target_link_options(drawprobe PRIVATE ${GLIM_STATIC_RUNTIME} -municode)

file(GLOB WIN_TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/wine/*.cpp)
if(WIN_TEST_SOURCES AND EXISTS /usr/src/googletest/googletest)
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    add_executable(wintests ${WIN_TEST_SOURCES})
    target_include_directories(wintests PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
    target_compile_options(wintests PRIVATE ${GLIM_WARNINGS})
    target_link_options(wintests PRIVATE ${GLIM_STATIC_RUNTIME})
    target_link_libraries(wintests PRIVATE gtest gtest_main TakeCmd)
    add_dependencies(wintests glimpset glimhost)
endif()

# The wall-clock timing of a save and a restore against the bare console
# calls, run under Wine by scripts/wine-timing. The codec's sources are
# compiled in to time the plugin's own work apart.
add_executable(walltime ${PROJECT_SOURCE_DIR}/bench/wine/walltime.cpp
               ${PROJECT_SOURCE_DIR}/bench/screens.cpp
               ${PROJECT_SOURCE_DIR}/src/format/crc32.cpp
               ${PROJECT_SOURCE_DIR}/src/format/wordstream.cpp
               ${PROJECT_SOURCE_DIR}/src/save/encoder.cpp
               ${PROJECT_SOURCE_DIR}/src/restore/decoder.cpp)
target_include_directories(walltime PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
target_compile_options(walltime PRIVATE ${GLIM_WARNINGS})
target_link_options(walltime PRIVATE ${GLIM_STATIC_RUNTIME})
target_link_libraries(walltime PRIVATE TakeCmd)
add_dependencies(walltime glimpset)

# The wall-clock time of glim /I /S over a tree of saved screens, through
# glimhost.exe, against a bare walk of the same tree; run under Wine by
# scripts/wine-timing.
add_executable(treetime ${PROJECT_SOURCE_DIR}/bench/wine/treetime.cpp)
target_include_directories(treetime PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
target_compile_options(treetime PRIVATE ${GLIM_WARNINGS})
target_link_options(treetime PRIVATE ${GLIM_STATIC_RUNTIME})
add_dependencies(treetime glimhost)
