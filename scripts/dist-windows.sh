#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Windows edition's downloads (fresh Debian 12, as root: installs
# what is missing first):
#   dist/gui-vonk-VERSION-win64.zip        gui-vonk.exe alone: it carries
#                                          the identifier and its database
#   dist/gui-vonk-VERSION-win64-setup.exe  installer with a Start-menu entry
#                                          and an uninstaller
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --windows
winbuild=${WIN_BUILD_DIR:-build-win}
# The same configuration as the test stage, so one build serves both.
cmake -S . -B "$winbuild" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The build runs vonk-defs.exe to make the database, so it needs Wine.
if ! "$winbuild/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1; then
    echo "dist-windows.sh: Wine cannot start here, and the database is made by vonk-defs.exe under Wine" >&2
    exit 1
fi
cmake --build "$winbuild" --target gui-vonk -j "$(nproc)"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$winbuild/CMakeCache.txt")
[ -n "$version" ] || { echo "dist-windows.sh: no project version in $winbuild" >&2; exit 1; }
mkdir -p dist
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
# What users get carries no debugging information.
x86_64-w64-mingw32-strip -o "$stage/gui-vonk.exe" "$winbuild/bin/gui-vonk.exe"

zip="dist/gui-vonk-$version-win64.zip"
rm -f "$zip"
(cd "$stage" && cmake -E tar cf "$OLDPWD/$zip" --format=zip gui-vonk.exe)

setup="dist/gui-vonk-$version-win64-setup.exe"
makensis -V2 -DVERSION="$version" -DPROGRAM="$stage/gui-vonk.exe" \
    -DICON="$PWD/resources/win32/art/gui-vonk.ico" -DOUTFILE="$PWD/$setup" resources/win32/installer.nsi
echo "dist-windows.sh: $zip, $setup"
