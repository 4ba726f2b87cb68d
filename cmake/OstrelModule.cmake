# Shared compile settings and the helpers every module and test folder uses.

add_library(ostrel_options INTERFACE)
target_compile_options(ostrel_options INTERFACE -Wall -Wextra -Wpedantic)
if(OSTREL_WERROR)
    target_compile_options(ostrel_options INTERFACE -Werror)
endif()
if(OSTREL_SANITIZE)
    target_compile_options(ostrel_options INTERFACE -fsanitize=${OSTREL_SANITIZE} -fno-omit-frame-pointer)
    target_link_options(ostrel_options INTERFACE -fsanitize=${OSTREL_SANITIZE})
    # Asio's fenced blocks use atomic_thread_fence, which GCC reports under ThreadSanitizer.
    if(OSTREL_SANITIZE MATCHES "thread" AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(ostrel_options INTERFACE -Wno-tsan)
    endif()
endif()
target_include_directories(ostrel_options INTERFACE ${PROJECT_SOURCE_DIR}/src)
if(WIN32)
    # Windows 10 APIs, <windows.h> without min/max macros, and the C library's localtime_r.
    target_compile_definitions(ostrel_options INTERFACE _WIN32_WINNT=0x0A00 WINVER=0x0A00 NOMINMAX
                               WIN32_LEAN_AND_MEAN _POSIX_THREAD_SAFE_FUNCTIONS)
endif()
target_link_libraries(ostrel_options INTERFACE Threads::Threads nlohmann_json::nlohmann_json)

# ostrel_module(NAME [DIR <folder>] [EXCLUDE <file>...] [DEPS ...]) — one static library from
# the .cpp files of a folder (not its subfolders). A folder without sources yet gives a
# header-only interface target, so the link graph holds from the first commit.
function(ostrel_module name)
    cmake_parse_arguments(ARG "" "DIR" "DEPS;EXCLUDE" ${ARGN})
    if(NOT ARG_DIR)
        set(ARG_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
    foreach(ex IN LISTS ARG_EXCLUDE)
        list(REMOVE_ITEM sources ${ARG_DIR}/${ex})
    endforeach()
    if(sources)
        add_library(ostrel_${name} STATIC ${sources})
        target_link_libraries(ostrel_${name} PUBLIC ostrel_options ${ARG_DEPS})
    else()
        add_library(ostrel_${name} INTERFACE)
        target_link_libraries(ostrel_${name} INTERFACE ostrel_options ${ARG_DEPS})
    endif()
endfunction()

# ostrel_test(NAME [DIR <folder>] LABEL <labels> [TIMEOUT s] [EXCLUDE <file>...]
#             [ENVIRONMENT VAR=value...] [RESOURCE_LOCK name] DEPS ...) — one GoogleTest program
# from the .cpp files of a folder; every test carries the given CTest labels, runs with the given
# environment and, with a lock, never at the same time as another test holding it.
function(ostrel_test name)
    cmake_parse_arguments(ARG "" "DIR;TIMEOUT;RESOURCE_LOCK" "DEPS;LABEL;EXCLUDE;ENVIRONMENT" ${ARGN})
    if(NOT ARG_DIR)
        set(ARG_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    endif()
    if(NOT ARG_TIMEOUT)
        set(ARG_TIMEOUT 300)
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${ARG_DIR}/*.cpp)
    foreach(ex IN LISTS ARG_EXCLUDE)
        list(REMOVE_ITEM sources ${ARG_DIR}/${ex})
    endforeach()
    if(NOT sources)
        return()
    endif()
    add_executable(test_${name} ${sources})
    if(WIN32)
        target_compile_options(test_${name} PRIVATE -include
                               ${PROJECT_SOURCE_DIR}/tests/posix_on_windows.hpp)
    endif()
    target_link_libraries(test_${name} PRIVATE ostrel_options ${ARG_DEPS}
                          GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(test_${name} PRIVATE
        OSTREL_SOURCE_DIR="${PROJECT_SOURCE_DIR}" OSTREL_BINARY_DIR="${PROJECT_BINARY_DIR}")
    # Listing the tests starts the program; under Wine the first start also starts its server.
    gtest_discover_tests(test_${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        TEST_PREFIX "${name}."
        PROPERTIES LABELS "${ARG_LABEL}" TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${ARG_ENVIRONMENT}"
                   RESOURCE_LOCK "${ARG_RESOURCE_LOCK}")
endfunction()
