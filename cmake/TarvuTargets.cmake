# Helpers shared by every folder's CMakeLists.txt.

function(tarvu_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion)
    if(TARVU_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# tarvu_library(NAME <target> DEPS <targets...>)
# A static library from every .cpp directly in the calling folder.
function(tarvu_library)
    cmake_parse_arguments(ARG "" "NAME" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
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

# tarvu_tests(NAME <target> DEPS <targets...> [LABELLED_SUITE <suite> <label>])
# One GoogleTest executable from every .cpp in the calling folder, registered with ctest.
# The tests of a labelled suite carry <label> instead of the target's name, so that a build can
# select them alone (the ThreadSanitizer build runs the application's stress test that way).
function(tarvu_tests)
    cmake_parse_arguments(ARG "" "NAME" "DEPS;LABELLED_SUITE" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
    if(NOT sources)
        return()
    endif()
    add_executable(${ARG_NAME} ${sources})
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gmock)
    target_include_directories(${ARG_NAME} PRIVATE ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
    target_compile_definitions(${ARG_NAME} PRIVATE
        TARVU_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data")
    tarvu_warnings(${ARG_NAME})
    if(ARG_LABELLED_SUITE)
        list(GET ARG_LABELLED_SUITE 0 suite)
        list(GET ARG_LABELLED_SUITE 1 label)
        gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                             TEST_FILTER "-${suite}.*" PROPERTIES LABELS ${ARG_NAME})
        gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                             TEST_FILTER "${suite}.*" PROPERTIES LABELS ${label})
        return()
    endif()
    gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                         PROPERTIES LABELS ${ARG_NAME})
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
