# The version. The project's version in CMakeLists.txt is the only place it
# is written; everything that shows it (the version record, the load line,
# the "/??" line, glimhost's ver, glimview --version, the package's name)
# takes it from there through glimversion.h or from CMake itself.
set(GLIM_VERSION_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/../src/resources/glimversion.h.in)

# glim_version_header(VERSION DIR): writes DIR/glimversion.h for VERSION, which
# must be four numbers (major.minor.build.revision); stops the configuration
# otherwise.
function(glim_version_header version dir)
    if(NOT version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
        message(FATAL_ERROR "The version must be four numbers, not \"${version}\"")
    endif()
    set(GLIM_VERSION ${version})
    set(GLIM_VERSION_MAJOR ${CMAKE_MATCH_1})
    set(GLIM_VERSION_MINOR ${CMAKE_MATCH_2})
    set(GLIM_VERSION_BUILD ${CMAKE_MATCH_3})
    set(GLIM_VERSION_REVISION ${CMAKE_MATCH_4})
    configure_file(${GLIM_VERSION_TEMPLATE} ${dir}/glimversion.h @ONLY)
endfunction()

# glim_project_version(VAR ROOT): VAR becomes the version that ROOT/CMakeLists.txt
# declares, for the builds that are projects of their own (the fuzzers).
function(glim_project_version var root)
    file(STRINGS ${root}/CMakeLists.txt line REGEX "^project\\(Glimpset VERSION ")
    if(NOT line MATCHES "VERSION ([0-9.]+)")
        message(FATAL_ERROR "No project(Glimpset VERSION ...) in ${root}/CMakeLists.txt")
    endif()
    set(${var} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()
