# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows edition, cross-built with cmake/mingw-w64-x86_64.cmake: the
# identifier, its compiler and learner, the database, the native window
# program and their tests. Qt is not at hand for this target: the window is
# drawn with Win32 itself, and the Qt layers are left out.
include_guard(GLOBAL)

# Resource scripts (windres): the carried files, icons, version text.
enable_language(RC)

set(GV_BUILD_GUI OFF CACHE BOOL "Build the window program (needs Qt 6 Widgets)" FORCE)
set(GV_BUILD_BENCH OFF CACHE BOOL "Build the benchmarks" FORCE)

# One self-contained executable each: no MinGW runtime DLL to carry along
# or to find on the path under Wine.
target_link_options(gv_settings INTERFACE -static)
# zlib from Debian's MinGW-w64 package, linked in like everything else.
set(ZLIB_USE_STATIC_LIBS ON)
# Standard streams and files carry bytes unchanged by default, as on Linux:
# no CR put before each LF (a report compares equal byte for byte, and
# CTest reads the test programs' lists of cases line by line).
find_file(GV_MINGW_BINMODE binmode.o PATHS ${CMAKE_FIND_ROOT_PATH} PATH_SUFFIXES lib NO_CMAKE_FIND_ROOT_PATH REQUIRED)
target_link_libraries(gv_settings INTERFACE ${GV_MINGW_BINMODE})
# Unicode entry points and wide Win32 calls throughout; no min/max macros.
# The C runtime's POSIX names (gmtime_r) and its standard printf formats;
# what it lacks altogether comes from one header given to every C++ file.
target_compile_definitions(gv_settings INTERFACE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _POSIX_C_SOURCE=200809L)
target_compile_options(gv_settings INTERFACE
    $<$<COMPILE_LANGUAGE:CXX>:-include ${PROJECT_SOURCE_DIR}/vonk/base/PosixOnWindows.h>)

# Header-only libraries of the build machine (CLI11, nlohmann-json) serve
# any target, but their folder /usr/include must not reach the cross
# compiler: it holds the build machine's C library. Their headers are
# copied into a folder of their own, and find_package() is redirected to
# targets made from it.
set(GV_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
function(gv_header_only_package package target)
    cmake_parse_arguments(P "" "" "FOLDERS" ${ARGN})
    foreach(folder IN LISTS P_FOLDERS)
        if(NOT EXISTS /usr/include/${folder})
            message(FATAL_ERROR "/usr/include/${folder} is missing: run scripts/deps.sh")
        endif()
        file(COPY /usr/include/${folder} DESTINATION ${GV_HOST_HEADERS})
    endforeach()
    string(TOLOWER ${package} lower)
    file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config.cmake
        "if(NOT TARGET ${target})\n"
        "    add_library(${target} INTERFACE IMPORTED GLOBAL)\n"
        "    set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${GV_HOST_HEADERS})\n"
        "endif()\n"
        "set(${package}_FOUND TRUE)\n")
    file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/${lower}-config-version.cmake
        "set(PACKAGE_VERSION_COMPATIBLE TRUE)\nset(PACKAGE_VERSION 99)\n")
endfunction()
gv_header_only_package(CLI11 CLI11::CLI11 FOLDERS CLI)
gv_header_only_package(nlohmann_json nlohmann_json::nlohmann_json FOLDERS nlohmann)
if(NOT EXISTS /usr/include/xxhash.h)
    message(FATAL_ERROR "/usr/include/xxhash.h is missing: run scripts/deps.sh --windows")
endif()
file(COPY /usr/include/xxhash.h DESTINATION ${CMAKE_BINARY_DIR}/xxhash-header)
set(GV_XXHASH_DIR ${CMAKE_BINARY_DIR}/xxhash-header CACHE PATH "Folder holding xxhash.h for the cross build" FORCE)

# GoogleTest from Debian's sources (package googletest), built for this
# target; nothing is downloaded.
if(GV_BUILD_TESTS)
    set(GV_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build for Windows")
    if(NOT EXISTS ${GV_GOOGLETEST_SOURCE}/CMakeLists.txt)
        message(FATAL_ERROR "No GoogleTest sources in ${GV_GOOGLETEST_SOURCE}: install the googletest package")
    endif()
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory(${GV_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
    file(WRITE ${CMAKE_FIND_PACKAGE_REDIRECTS_DIR}/gtest-config.cmake
        "foreach(t gtest gtest_main gmock gmock_main)\n"
        "    if(NOT TARGET GTest::\${t})\n"
        "        add_library(GTest::\${t} ALIAS \${t})\n"
        "    endif()\n"
        "endforeach()\n"
        "set(GTest_FOUND TRUE)\n")
endif()

# Every Windows program the build or CTest starts goes through Wine with a
# prefix of this build folder's own, made here once: making it takes long,
# and must not count against a test's time limit.
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
    set(GV_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
    set(GV_WINE_RUN ${CMAKE_BINARY_DIR}/wine-run.sh)
    # The server itself, not Debian's wrapper script (which makes it end
    # with its last program).
    get_filename_component(wine_dir ${CMAKE_CROSSCOMPILING_EMULATOR} DIRECTORY)
    find_program(GV_XVFB NAMES Xvfb NO_CMAKE_FIND_ROOT_PATH)
    find_program(GV_WINESERVER NAMES wineserver64 wineserver PATHS ${wine_dir} /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
    file(CONFIGURE OUTPUT ${GV_WINE_RUN} @ONLY CONTENT [[#!/bin/sh
# Runs a Windows program of this build under Wine, quietly, in the build's
# own prefix (generated by cmake/Windows.cmake).
export WINEPREFIX='@GV_WINEPREFIX@' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='
# Windows get a virtual display of the build's own, never the user's
# desktop: every program of one server must see the same display (Wine's
# desktop process starts once, with the first of them), and the tests'
# boxes and dialogs must not flash on a real screen. It ends by itself
# once the last program (Wine's desktop among them) has let it go.
if [ -x '@GV_XVFB@' ]; then
    display=$(( $(printf '%s' '@CMAKE_BINARY_DIR@' | cksum | cut -d' ' -f1) % 800 + 100 ))
    if [ ! -S "/tmp/.X11-unix/X$display" ]; then
        setsid '@GV_XVFB@' ":$display" -screen 0 1280x1024x24 -nolisten tcp -terminate </dev/null >/dev/null 2>&1 &
        tries=0
        while [ ! -S "/tmp/.X11-unix/X$display" ] && [ $tries -lt 100 ]; do
            sleep 0.05
            tries=$((tries + 1))
        done
    fi
    export DISPLAY=":$display"
fi
# A server that outlives each program by a while: Wine's own services then
# start once for a whole test run (seconds) rather than once per program.
# Those services inherit the output of the program they start with and
# hold it open until the server ends, so whoever reads that program's
# output to its end (CTest listing a test program's cases, say) would wait
# for the server's two minutes: they are started here, by a program with
# no output of ours, whenever no server runs yet ("-k0" only asks).
if [ -x '@GV_WINESERVER@' ] && ! '@GV_WINESERVER@' -k0 >/dev/null 2>&1; then
    '@GV_WINESERVER@' -p120 </dev/null >/dev/null 2>&1 || true
    '@CMAKE_CROSSCOMPILING_EMULATOR@' cmd /c exit 0 </dev/null >/dev/null 2>&1 || true
fi
exec '@CMAKE_CROSSCOMPILING_EMULATOR@' "$@"
]])
    file(CHMOD ${GV_WINE_RUN} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    if(NOT EXISTS ${GV_WINEPREFIX}/system.reg)
        message(STATUS "Making the Wine prefix ${GV_WINEPREFIX}")
        execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${GV_WINEPREFIX} WINEDEBUG=-all
                WINEDLLOVERRIDES=mscoree,mshtml= ${CMAKE_CROSSCOMPILING_EMULATOR} wineboot --init
            RESULT_VARIABLE wineboot_result OUTPUT_QUIET ERROR_QUIET TIMEOUT 600)
        # Its server lingers a while; the next start must find it gone or
        # finished with the prefix.
        if(GV_WINESERVER)
            execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${GV_WINEPREFIX} ${GV_WINESERVER} --wait
                OUTPUT_QUIET ERROR_QUIET TIMEOUT 120)
        endif()
        if(NOT EXISTS ${GV_WINEPREFIX}/system.reg)
            message(WARNING "Wine could not make its prefix (${wineboot_result}): the Windows tests will not run")
        endif()
    endif()
    # Windows of their own, not handed to a window manager: there is none
    # on the virtual display, and Wine waits two seconds for one at every
    # window that goes away.
    if(EXISTS ${GV_WINEPREFIX}/user.reg)
        file(STRINGS ${GV_WINEPREFIX}/user.reg unmanaged REGEX "^\"Managed\"=\"N\"")
        if(NOT unmanaged)
            execute_process(COMMAND ${GV_WINE_RUN} reg add "HKCU\\Software\\Wine\\X11 Driver" /v Managed /d N /f
                OUTPUT_QUIET ERROR_QUIET TIMEOUT 120)
        endif()
    endif()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${GV_WINE_RUN})
endif()
