# SPDX-License-Identifier: GPL-3.0-or-later
# Debian package of the installed layout:  cpack -G DEB  (in the build folder)
#
# Package dependencies are computed by dpkg-shlibdeps from the libraries the
# installed executables really link (Qt 6, libstdc++, ...), so they follow
# whatever the build links instead of a hand-kept list that drifts.

include_guard(GLOBAL)

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "gui-vonk")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "GUI-Vonk developers")
set(CPACK_PACKAGE_CONTACT "GUI-Vonk maintainers <gui-vonk@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "file-type identifier with a console window")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
# Release binaries are installed stripped; the identifier inside gui-vonk is
# data and is not affected.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://example.org/gui-vonk")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Links in the About window and the identifier's home page are opened
# through the desktop's default handler.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
# The extended description: CPack puts the summary line above it and indents
# every line; "." stands for an empty line in a control file.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "vonk identifies files by their content, not their name: for every file it
prints a ranked list of the types it matches, judged against a compiled
database of type definitions (magic numbers, container members, text and
XML/JSON structure). It takes files, folders and wildcard patterns and can
write plain text, JSON lines or TSV.
.
gui-vonk is a small Qt window around it: choose or drop a file or folder
and read the report as it streams into a console pane.
.
vonk-defs compiles definition sources into the database, so new types can
be added without rebuilding the programs, and vonk-scan drafts a definition
from a folder of sample files.")

include(CPack)
