# SPDX-License-Identifier: GPL-3.0-or-later
# Installed layout (PREFIX is /usr for the Debian package, /usr/local by default):
#
#   PREFIX/lib/gui-vonk/      gui-vonk, cmd, vonk, VonkDefs.vkd, vonk-defs, vonk-scan
#   PREFIX/bin/               relative symlinks to the programs people start
#   PREFIX/share/applications, share/metainfo, share/icons/hicolor, share/man/man1
#
# The window program finds the interpreter stand-in and the identifier in the
# folder of its own resolved executable, and the identifier finds its database
# the same way, so the programs live together in one private folder and bin/
# only points there. That folder is "lib/gui-vonk" on purpose rather than the
# multiarch CMAKE_INSTALL_LIBDIR: it holds executables private to this
# package, not libraries, and Debian keeps those in /usr/lib/<package>.
#
# Targets are defined in other folders, some of them optional (GV_BUILD_GUI),
# so every rule is guarded and this file stays harmless
# whatever subset of the tree is built.

include_guard(GLOBAL)
include(GNUInstallDirs)

set(GV_PROGRAM_DIR "lib/gui-vonk")
set(GV_APP_ID "org.example.GuiVonk")
# Release date in the metadata and manual pages; it honours SOURCE_DATE_EPOCH,
# which keeps package builds reproducible.
string(TIMESTAMP GV_RELEASE_DATE "%Y-%m-%d" UTC)

# Programs of the program folder. The interpreter stand-in gets no link in
# bin/: it exists only for the window program, and a "cmd" on every user's
# PATH would only confuse.
set(GV_INSTALLED_PROGRAMS gui-vonk cmd vonk vonk-defs vonk-scan)
set(GV_LINKED_PROGRAMS gui-vonk vonk vonk-defs vonk-scan)

foreach(program IN LISTS GV_INSTALLED_PROGRAMS)
    if(TARGET ${program})
        install(TARGETS ${program} RUNTIME DESTINATION ${GV_PROGRAM_DIR})
    endif()
endforeach()

if(TARGET vonk_database AND GV_VONK_DATABASE)
    install(FILES ${GV_VONK_DATABASE} DESTINATION ${GV_PROGRAM_DIR})
    # The sources the database was compiled from, with the format reference:
    # a user adds a type by compiling them together with a source of their own.
    install(DIRECTORY ${PROJECT_SOURCE_DIR}/definitions/
        DESTINATION ${CMAKE_INSTALL_DATADIR}/gui-vonk/definitions
        FILES_MATCHING PATTERN "*.vdef" PATTERN "README.md")
endif()

# The links are made in the build tree and installed as links (file(INSTALL)
# keeps a symlink a symlink), so they land in DESTDIR staging, in CPack's
# package and in install_manifest.txt like any other file. Their target is
# relative, so the same link is right for every prefix and inside DESTDIR.
file(RELATIVE_PATH GV_BIN_TO_PROGRAM_DIR
    ${CMAKE_INSTALL_FULL_BINDIR} ${CMAKE_INSTALL_PREFIX}/${GV_PROGRAM_DIR})
set(GV_LINK_DIR ${CMAKE_BINARY_DIR}/install-links)
file(MAKE_DIRECTORY ${GV_LINK_DIR})
foreach(program IN LISTS GV_LINKED_PROGRAMS)
    if(TARGET ${program})
        file(CREATE_LINK ${GV_BIN_TO_PROGRAM_DIR}/${program} ${GV_LINK_DIR}/${program} SYMBOLIC)
        install(FILES ${GV_LINK_DIR}/${program} DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
endforeach()

# The licence, where Debian looks for it; the same file on other prefixes.
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/gui-vonk)

# Desktop integration only makes sense with the window program.
if(TARGET gui-vonk)
    set(GV_DESKTOP_DIR ${PROJECT_SOURCE_DIR}/resources/desktop)
    install(FILES ${GV_DESKTOP_DIR}/${GV_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

    # The release entry carries the project's version, so the metadata never
    # lags behind a version bump.
    configure_file(${GV_DESKTOP_DIR}/${GV_APP_ID}.metainfo.xml.in
        ${CMAKE_BINARY_DIR}/desktop/${GV_APP_ID}.metainfo.xml @ONLY)
    install(FILES ${CMAKE_BINARY_DIR}/desktop/${GV_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    foreach(size 16 22 24 32 48 64 128 256 512)
        set(icon ${PROJECT_SOURCE_DIR}/resources/art/icon${size}.png)
        if(EXISTS ${icon})
            install(FILES ${icon}
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME gui-vonk.png)
        endif()
    endforeach()
endif()

add_subdirectory(${PROJECT_SOURCE_DIR}/doc/man ${CMAKE_BINARY_DIR}/doc/man)

include(${CMAKE_CURRENT_LIST_DIR}/Packaging.cmake)
