# Linux native build: the plugin sources over winsim, the host services as a
# library, and the tests, benchmarks and tools.
find_package(GTest REQUIRED)
find_package(ZLIB REQUIRED)

if(GLIM_SANITIZE)
    set(GLIM_SAN_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
        -fno-omit-frame-pointer)
    add_compile_options(${GLIM_SAN_FLAGS})
    add_link_options(${GLIM_SAN_FLAGS})
endif()

function(glim_library name)
    add_library(${name} STATIC ${ARGN})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/src)
    target_compile_options(${name} PRIVATE ${GLIM_WARNINGS})
endfunction()

glim_sources(SRC_WINSIM winsim)
glim_library(hostformat ${SRC_HOST_FORMAT})
glim_library(winsim ${SRC_WINSIM})
target_link_libraries(winsim PUBLIC hostformat)
glim_library(hostsvc ${SRC_HOST_SERVICES})
target_link_libraries(hostsvc PUBLIC winsim hostformat)

# The plugin, one library a folder, each linked only to the ones below it:
#   glim_command                          glim, the exported command (top)
#   glim_save, glim_restore, glim_report  the three operations
#   glim_format                           the file format
#   glim_plugin                           the other exports, help texts, last name
#   glim_common                           error messages, text helpers, tokenizer
#   hostsvc                               the host interface (bottom)
# The save records its outcome in the last-name store and plays its sound
# from the module handle, so the plugin frame lies below the operations.
glim_library(glim_common ${SRC_COMMON})
target_link_libraries(glim_common PUBLIC hostsvc)
glim_library(glim_plugin ${SRC_PLUGIN})
target_link_libraries(glim_plugin PUBLIC glim_common)
glim_library(glim_format ${SRC_FORMAT})
target_link_libraries(glim_format PUBLIC glim_common)
glim_library(glim_save ${SRC_SAVE})
target_link_libraries(glim_save PUBLIC glim_format glim_plugin)
glim_library(glim_restore ${SRC_RESTORE})
target_link_libraries(glim_restore PUBLIC glim_format)
glim_library(glim_report ${SRC_REPORT})
target_link_libraries(glim_report PUBLIC glim_format)
glim_library(glim_command ${SRC_COMMAND})
target_link_libraries(glim_command PUBLIC glim_save glim_restore glim_report glim_plugin)

enable_testing()
file(GLOB SRC_TEST_SUPPORT CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/support/*.cpp)
glim_library(testsupport ${SRC_TEST_SUPPORT})
target_link_libraries(testsupport PUBLIC glim_command GTest::gtest)

# One test program for each folder of tests/ that holds tests.
foreach(dir winsim host plugin common command format save restore report sweep)
    file(GLOB TEST_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/${dir}/*.cpp)
    if(TEST_SOURCES)
        add_executable(test_${dir} ${TEST_SOURCES})
        target_compile_options(test_${dir} PRIVATE ${GLIM_WARNINGS})
        target_link_libraries(test_${dir} PRIVATE testsupport glim_command ZLIB::ZLIB
                              GTest::gtest_main)
        add_test(NAME ${dir} COMMAND test_${dir})
    endif()
endforeach()

if(EXISTS ${PROJECT_SOURCE_DIR}/tools/CMakeLists.txt)
    add_subdirectory(tools)
endif()
if(GLIM_BENCH AND EXISTS ${PROJECT_SOURCE_DIR}/bench/CMakeLists.txt)
    add_subdirectory(bench)
endif()
