# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-building the Windows edition (64-bit) on Debian with MinGW-w64:
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Needs g++-mingw-w64-x86-64-posix (the "posix" flavour: std::thread and
# std::mutex come with it), and wine with wine64 to run what was built:
# CTest starts every Windows test program through Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GV_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${GV_MINGW_TRIPLET}-windres)
set(CMAKE_ASM_COMPILER ${GV_MINGW_TRIPLET}-gcc-posix)

# Libraries and packages come from the target's own tree only; programs
# (code generators, Wine) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${GV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian puts the 64-bit loader on the path as wine64 (plain "wine" wants
# the 32-bit half as well, which a 64-bit build does not need).
find_program(GV_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(GV_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${GV_WINE})
endif()
