# SPDX-License-Identifier: GPL-3.0-or-later
# gui-vonk.exe, the Windows window program: one executable that carries
# everything it needs (the identifier and its database as resources).
if(NOT TARGET gv_winhelpers OR NOT TARGET gv_app_core)
    message(STATUS "gui-vonk.exe: the Win32 helpers are not built here; no window program")
    return()
endif()
add_executable(gui-vonk WIN32
    ${CMAKE_CURRENT_LIST_DIR}/WinMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ProgramStartWin32.h
    ${CMAKE_CURRENT_LIST_DIR}/ProgramStartWin32.cpp
    $<TARGET_OBJECTS:gv_resources_win32>)
target_include_directories(gui-vonk PRIVATE ${CMAKE_CURRENT_LIST_DIR} ${PROJECT_SOURCE_DIR})
target_link_libraries(gui-vonk PRIVATE gv_mainwindow_win32 gv_about_win32 gv_app_core gv_winhelpers
    gv_winhelpers_core gv_settings)
target_link_options(gui-vonk PRIVATE -municode)
