# SPDX-License-Identifier: GPL-3.0-or-later
# Shared settings for every target of the project: link gv_settings instead
# of setting flags per folder.
add_library(gv_settings INTERFACE)
target_compile_features(gv_settings INTERFACE cxx_std_20)
# Third-party headers (Qt, GoogleTest, nlohmann-json, CLI11) come in through
# imported targets or the compiler's own folders, so they are system headers
# and these warnings speak of our code only.
target_compile_options(gv_settings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Wshadow -Wold-style-cast -Wcast-qual
        -Wnon-virtual-dtor -Woverloaded-virtual -Wpedantic>)
option(GV_WERROR "Turn compiler warnings into errors" OFF)
if(GV_WERROR)
    target_compile_options(gv_settings INTERFACE $<$<COMPILE_LANGUAGE:CXX>:-Werror>)
endif()
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
    set(CMAKE_BUILD_TYPE RelWithDebInfo CACHE STRING "Build type" FORCE)
endif()

# Qt targets: strict string conversions, no keywords as macros.
function(gv_qt_target target)
    set_target_properties(${target} PROPERTIES AUTOMOC ON)
    target_compile_definitions(${target} PRIVATE
        QT_NO_CAST_FROM_ASCII QT_NO_KEYWORDS QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
endfunction()

# Every test runs in the same environment, whatever the caller's shell:
# headless Qt, UTF-8 locale.
set(GV_TEST_ENVIRONMENT QT_QPA_PLATFORM=offscreen LANG=C.UTF-8 LC_ALL=C.UTF-8 ASAN_OPTIONS=detect_leaks=0)

# Registers one test that is a whole program (a QTest class, a script).
# LABELS is required: "ctest -L" selects by layer, and by "gui" for what
# needs a display.
#   gv_add_test(NAME name COMMAND cmd... LABELS l... [TIMEOUT s]
#               [WORKING_DIRECTORY dir] [ENVIRONMENT VAR=value...])
function(gv_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT;WORKING_DIRECTORY" "COMMAND;LABELS;ENVIRONMENT" ${ARGN})
    if(NOT T_LABELS)
        message(FATAL_ERROR "gv_add_test(${T_NAME}): give it LABELS")
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    if(NOT T_WORKING_DIRECTORY)
        set(T_WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_COMMAND} WORKING_DIRECTORY ${T_WORKING_DIRECTORY})
    set_tests_properties(${T_NAME} PROPERTIES
        TIMEOUT ${T_TIMEOUT}
        LABELS "${T_LABELS}"
        ENVIRONMENT "${GV_TEST_ENVIRONMENT};${T_ENVIRONMENT}")
endfunction()

# Registers every case of a GoogleTest program as a test of its own, named
# PREFIX.Suite.Case, so a failure names its case and "ctest -R" runs one.
# The cases are listed by running the program after each build; the
# generous DISCOVERY_TIMEOUT is for a loaded machine, not a slow listing.
# TIMEOUT bounds each case.
#   gv_add_gtest(TARGET exe PREFIX prefix LABELS l... [TIMEOUT s]
#                [ENVIRONMENT VAR=value...])
function(gv_add_gtest)
    cmake_parse_arguments(T "" "TARGET;PREFIX;TIMEOUT" "LABELS;ENVIRONMENT" ${ARGN})
    if(NOT T_LABELS)
        message(FATAL_ERROR "gv_add_gtest(${T_TARGET}): give it LABELS")
    endif()
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    # A list value (several labels, several variables) passes through four
    # evaluations on its way to the discovered tests, each of which would
    # split it into words of its own and shift the property names: its ";"
    # go in escaped once for each.
    set(escaped_semicolon [[\\\\\\\\;]])
    string(REPLACE ";" "${escaped_semicolon}" labels "${T_LABELS}")
    string(REPLACE ";" "${escaped_semicolon}" environment "${GV_TEST_ENVIRONMENT};${T_ENVIRONMENT}")
    include(GoogleTest)
    # A Windows program is listed under Wine when CTest starts rather than
    # after each build, so a build never waits on Wine.
    set(mode POST_BUILD)
    if(CMAKE_CROSSCOMPILING)
        set(mode PRE_TEST)
    endif()
    gtest_discover_tests(${T_TARGET}
        DISCOVERY_MODE ${mode}
        TEST_PREFIX ${T_PREFIX}.
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        DISCOVERY_TIMEOUT 60
        PROPERTIES
            TIMEOUT ${T_TIMEOUT}
            LABELS "${labels}"
            ENVIRONMENT "${environment}")
endfunction()
