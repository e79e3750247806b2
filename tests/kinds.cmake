# The four ways a test is declared; every CMakeLists.txt under tests/ uses these
# and nothing else. Included by tests/CMakeLists.txt (the Windows builds) and by
# tools/native/CMakeLists.txt (the Linux-side tools).
#
#   korvane_gtest(NAME SOURCES... [LIBS ...] [DEPENDS ...] [TIMEOUT s])
#       A GoogleTest program run in-process under Wine, with the program's
#       objects (korvane_core), its resources and the UI driver's helpers.
#   korvane_e2e(NAME FILTER gtest-filter [TIMEOUT s] [WINDOWS 95|98] [THROUGH cmd...] [PROPERTIES ...])
#       One CTest test of the end-to-end program e2e_tests (tests/e2e): the
#       GoogleTest cases that FILTER picks, which drive KORVANE.EXE from outside.
#       WINDOWS runs them with KORVANE.EXE told it runs on that Windows; THROUGH
#       runs them through a command that is given the program and its filter.
#   korvane_script_test(NAME COMMAND... [TIMEOUT s] [PROPERTIES ...])
#       A script (python3, bash) that checks files or drives a tool.
#   korvane_native_test(NAME SOURCES... [LIBS ...])
#       A GoogleTest program of the Linux-side tools, built with the host compiler.
#
# Every test counts exit code 77 as skipped (scripts/bin/wine ends an i686
# program with it where the host runs no 32-bit code). Where the build's Windows
# programs cannot run here at all (KORVANE_HOST_RUNS OFF), korvane_gtest and
# korvane_e2e build nothing and list the test as skipped, with the reason.

find_program(KORVANE_PYTHON3 NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
find_program(KORVANE_BASH bash REQUIRED)
set(KORVANE_TESTS_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KORVANE_DEFAULT_TIMEOUT 300)
# A command prefix that holds the lock the drive model's tests of every build
# folder share (build/drivemodel.lock): two models serving from real-time
# threads at once would each delay the other's replies.
set(KORVANE_MODEL_LOCK flock ${CMAKE_BINARY_DIR}/../drivemodel.lock)
# Test code is compiled without optimisation, which takes a third to a half off
# the time of each of its files (3.3 to 2.2 s for one test file, 9.6 to 4.7 s for
# GoogleTest); the program's objects it tests (korvane_core) keep the build's flags.
set(KORVANE_TEST_CODE_OPTIONS -O0)
if(TARGET gtest)
    target_compile_options(gtest PRIVATE ${KORVANE_TEST_CODE_OPTIONS})
    # What every test file includes (windows.h, gtest.h), parsed once for all of them:
    # the x86_64 build from nothing took 61 s with it, 85 s without.
    add_library(korvane_test_pch STATIC ${KORVANE_TESTS_DIR}/support/pch.cpp)
    target_link_libraries(korvane_test_pch PRIVATE gtest)
    target_compile_options(korvane_test_pch PRIVATE ${KORVANE_TEST_CODE_OPTIONS})
    target_precompile_headers(korvane_test_pch PRIVATE <windows.h> <gtest/gtest.h>)
endif()

function(korvane_test_properties name timeout)
    if(NOT timeout)
        set(timeout ${KORVANE_DEFAULT_TIMEOUT})
    endif()
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT ${timeout} ${ARGN})
endfunction()

# A test whose program this host cannot run: listed, and skipped with the reason.
function(korvane_not_here name)
    add_test(NAME ${name} COMMAND ${KORVANE_BASH} -c
             "echo 'skipped: this host runs no 32-bit x86 programs, so ${name} is not built for ${CMAKE_SYSTEM_PROCESSOR}'; exit 77")
    korvane_test_properties(${name} 60)
endfunction()

function(korvane_gtest name)
    cmake_parse_arguments(arg "" "TIMEOUT" "LIBS;DEPENDS" ${ARGN})
    if(NOT KORVANE_HOST_RUNS)
        korvane_not_here(${name})
        return()
    endif()
    add_executable(${name} ${arg_UNPARSED_ARGUMENTS} ${KORVANE_TESTS_DIR}/support/testmain.cpp
                   ${CMAKE_SOURCE_DIR}/res/korvane.rc)
    target_link_libraries(${name} PRIVATE korvane_core gtest uidriver ${arg_LIBS})
    target_compile_options(${name} PRIVATE ${KORVANE_TEST_CODE_OPTIONS})
    target_precompile_headers(${name} REUSE_FROM korvane_test_pch)
    # Its files compiled a few at a time as one (they share no names): the x86_64
    # build from nothing took 44 s and 88 s of processor time this way, 54 s and 107 s without.
    set_target_properties(${name} PROPERTIES UNITY_BUILD ON)
    if(arg_DEPENDS)
        add_dependencies(${name} ${arg_DEPENDS})
    endif()
    add_test(NAME ${name} COMMAND ${name})
    korvane_test_properties(${name} "${arg_TIMEOUT}")
endfunction()

function(korvane_e2e name)
    cmake_parse_arguments(arg "" "FILTER;TIMEOUT;WINDOWS" "THROUGH;PROPERTIES" ${ARGN})
    if(NOT KORVANE_HOST_RUNS)
        korvane_not_here(${name})
        return()
    endif()
    set(program $<TARGET_FILE:e2e_tests> --gtest_filter=${arg_FILTER})
    if(arg_WINDOWS)
        add_test(NAME ${name} COMMAND ${KORVANE_PYTHON3} ${KORVANE_TESTS_DIR}/e2e/win9x_mode.py
                 --windows ${arg_WINDOWS} $<TARGET_FILE:versionprobe> -- ${CMAKE_CROSSCOMPILING_EMULATOR} ${program})
        set(arg_PROPERTIES ${arg_PROPERTIES} FIXTURES_REQUIRED win9x_mode RUN_SERIAL ON)
    elseif(arg_THROUGH)
        add_test(NAME ${name} COMMAND ${arg_THROUGH} ${program})
    else()
        add_test(NAME ${name} COMMAND e2e_tests --gtest_filter=${arg_FILTER})
    endif()
    if(NOT arg_TIMEOUT)
        set(arg_TIMEOUT 180)
    endif()
    korvane_test_properties(${name} ${arg_TIMEOUT} ${arg_PROPERTIES})
endfunction()

function(korvane_script_test name)
    cmake_parse_arguments(arg "" "TIMEOUT" "COMMAND;PROPERTIES" ${ARGN})
    add_test(NAME ${name} COMMAND ${arg_COMMAND})
    korvane_test_properties(${name} "${arg_TIMEOUT}" ${arg_PROPERTIES})
endfunction()

function(korvane_native_test name)
    cmake_parse_arguments(arg "" "" "LIBS" ${ARGN})
    add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE ${arg_LIBS} GTest::gtest_main)
    target_compile_options(${name} PRIVATE ${KORVANE_TEST_CODE_OPTIONS})
    add_test(NAME ${name} COMMAND ${name})
    korvane_test_properties(${name} 120)
endfunction()
