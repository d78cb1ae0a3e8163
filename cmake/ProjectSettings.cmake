# SPDX-License-Identifier: GPL-3.0-or-later
# Shared settings for every target of the project: link gv_settings instead
# of setting flags per folder.
add_library(gv_settings INTERFACE)
target_compile_features(gv_settings INTERFACE cxx_std_20)
target_compile_options(gv_settings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra>)
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

# Registers a test with the environment every test runs in, whatever the
# caller's shell: headless Qt, UTF-8 locale.
#   gv_add_test(NAME name COMMAND cmd... [LABELS l...] [TIMEOUT s])
function(gv_add_test)
    cmake_parse_arguments(T "" "NAME;TIMEOUT;WORKING_DIRECTORY" "COMMAND;LABELS;ENVIRONMENT" ${ARGN})
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
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LANG=C.UTF-8;LC_ALL=C.UTF-8;ASAN_OPTIONS=detect_leaks=0;${T_ENVIRONMENT}")
endfunction()
