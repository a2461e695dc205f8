# Helpers shared by every folder's CMakeLists.txt.

function(tarvu_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion)
    if(TARVU_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# tarvu_library(NAME <target> DEPS <targets...> [EXCLUDE <files...>] [EXTRA <files...>])
# A static library from every .cpp directly in the calling folder, less the EXCLUDE files and
# with the EXTRA ones (paths relative to the folder).
function(tarvu_library)
    cmake_parse_arguments(ARG "" "NAME" "DEPS;EXCLUDE;EXTRA" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
    foreach(file IN LISTS ARG_EXCLUDE)
        list(REMOVE_ITEM sources "${CMAKE_CURRENT_SOURCE_DIR}/${file}")
    endforeach()
    foreach(file IN LISTS ARG_EXTRA)
        list(APPEND sources "${CMAKE_CURRENT_SOURCE_DIR}/${file}")
    endforeach()
    if(NOT sources)
        # A folder with headers only (or not started yet) still gives a linkable target.
        add_library(${ARG_NAME} INTERFACE)
        target_include_directories(${ARG_NAME} INTERFACE ${PROJECT_SOURCE_DIR})
        target_link_libraries(${ARG_NAME} INTERFACE ${ARG_DEPS})
        return()
    endif()
    add_library(${ARG_NAME} STATIC ${sources})
    target_include_directories(${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${ARG_NAME} PUBLIC ${ARG_DEPS})
    tarvu_warnings(${ARG_NAME})
endfunction()

# Time limits of registered tests, in seconds, so that a hang fails with the test's name instead
# of running into the CI's own limit. They sit well above the slowest runs measured under the
# sanitizers on a loaded two-core machine (docs/performance.md, "Test time limits"): one
# GoogleTest case, and one whole test program under Wine.
set(TARVU_TEST_TIMEOUT 120 CACHE STRING "Time limit of one GoogleTest case, in seconds")
set(TARVU_WINDOWS_TEST_TIMEOUT 900 CACHE STRING
    "Time limit of one whole test program under the cross-compiling emulator, in seconds")

# The warnings of a test program. GCC 12 at Release's -O3 reports false overlaps inside
# std::string for a literal joined in front of a string ("K" + std::to_string(i); GCC bug
# 105329) and a false non-heap delete in std::vector's range constructor. The programs' code is
# written around them; the tests, full of such lines, are spared the noise in that build alone.
function(tarvu_test_warnings target)
    tarvu_warnings(${target})
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
        target_compile_options(${target} PRIVATE
                               "$<$<CONFIG:Release>:-Wno-restrict;-Wno-free-nonheap-object>")
    endif()
endfunction()

# tarvu_tests(NAME <target> DEPS <targets...> [POSIX_ONLY <files...>] [WINDOWS_ONLY <files...>]
#             [WINDOWS_EXCLUDE <test patterns...>] [LABELLED_SUITE <suite> <label>])
# One GoogleTest executable from every .cpp in the calling folder, registered with ctest.
# POSIX_ONLY files use facilities Windows lacks (pseudo-terminals, fork, file modes) and are
# left out of a Windows build; WINDOWS_ONLY files are built for Windows alone. A Windows build
# runs each executable as one ctest test through the cross-compiling emulator (Wine), leaving
# out the WINDOWS_EXCLUDE cases; the reasons stand beside the lists.
# The tests of a labelled suite carry <label> instead of the target's name, so that a build can
# select them alone (the ThreadSanitizer build runs the application's stress test that way).
function(tarvu_tests)
    cmake_parse_arguments(ARG "" "NAME"
                          "DEPS;POSIX_ONLY;WINDOWS_ONLY;WINDOWS_EXCLUDE;LABELLED_SUITE" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
    foreach(file IN LISTS ARG_WINDOWS_ONLY)
        list(REMOVE_ITEM sources "${CMAKE_CURRENT_SOURCE_DIR}/${file}")
    endforeach()
    if(WIN32)
        foreach(file IN LISTS ARG_POSIX_ONLY)
            list(REMOVE_ITEM sources "${CMAKE_CURRENT_SOURCE_DIR}/${file}")
        endforeach()
        foreach(file IN LISTS ARG_WINDOWS_ONLY)
            list(APPEND sources "${CMAKE_CURRENT_SOURCE_DIR}/${file}")
        endforeach()
    endif()
    if(NOT sources)
        return()
    endif()
    add_executable(${ARG_NAME} ${sources})
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
    target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(${ARG_NAME} PRIVATE
        TARVU_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
    tarvu_test_warnings(${ARG_NAME})
    if(WIN32)
        tarvu_windows_executable(${ARG_NAME})
        set(filter "")
        if(ARG_WINDOWS_EXCLUDE)
            list(JOIN ARG_WINDOWS_EXCLUDE ":" excluded)
            set(filter "--gtest_filter=-${excluded}")
        endif()
        add_test(NAME ${ARG_NAME} COMMAND ${ARG_NAME} ${filter})
        set_tests_properties(${ARG_NAME} PROPERTIES LABELS ${ARG_NAME}
                                                    TIMEOUT ${TARVU_WINDOWS_TEST_TIMEOUT})
        return()
    endif()
    if(ARG_LABELLED_SUITE)
        list(GET ARG_LABELLED_SUITE 0 suite)
        list(GET ARG_LABELLED_SUITE 1 label)
        gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                             TEST_FILTER "-${suite}.*"
                             PROPERTIES LABELS ${ARG_NAME} TIMEOUT ${TARVU_TEST_TIMEOUT})
        gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                             TEST_FILTER "${suite}.*"
                             PROPERTIES LABELS ${label} TIMEOUT ${TARVU_TEST_TIMEOUT})
        return()
    endif()
    gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS ${ARG_NAME} TIMEOUT ${TARVU_TEST_TIMEOUT})
endfunction()

# A Windows program that runs from a folder with nothing beside it: the C++ runtime, libgcc
# and winpthread are linked in. No effect elsewhere.
function(tarvu_windows_executable target)
    if(WIN32 AND MINGW)
        target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
endfunction()

# tarvu_benchmark(<source-stem> DEPS <targets...>): bench/<stem>_bench.cpp -> tarvu_bench_<stem>.
function(tarvu_benchmark stem)
    cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
    add_executable(tarvu_bench_${stem} ${CMAKE_CURRENT_SOURCE_DIR}/${stem}_bench.cpp)
    target_link_libraries(tarvu_bench_${stem} PRIVATE ${ARG_DEPS} benchmark::benchmark)
    target_include_directories(tarvu_bench_${stem} PRIVATE ${PROJECT_SOURCE_DIR})
    tarvu_warnings(tarvu_bench_${stem})
    add_dependencies(tarvu_bench tarvu_bench_${stem})
endfunction()
