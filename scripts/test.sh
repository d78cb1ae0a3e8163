#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds everything and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
# GV_WERROR=ON in the environment turns compiler warnings into errors.
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGV_WERROR="${GV_WERROR:-OFF}"
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"

# The Windows edition: cross-built with MinGW-w64 and tested under Wine,
# its answers compared with the Linux edition's. GV_WINDOWS=OFF leaves it out.
if [ "${GV_WINDOWS:-ON}" = OFF ]; then
    echo "test.sh: GV_WINDOWS=OFF: the Windows edition is not built"
    exit 0
fi
started=$(date +%s)
bash scripts/deps.sh --windows
winbuild=${WIN_BUILD_DIR:-build-win}
linux_vonk="$(cd "$build" && pwd)/bin/vonk"
# Configuring makes the build's own Wine prefix (once; it takes a while).
cmake -S . -B "$winbuild" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGV_WERROR="${GV_WERROR:-OFF}" -DGV_LINUX_VONK="$linux_vonk"
# The build runs vonk-defs.exe to make the database, so it needs Wine too.
if ! "$winbuild/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1; then
    echo "test.sh: Wine cannot start here: the Windows edition is neither built nor tested"
    exit 0
fi
cmake --build "$winbuild" -j "$(nproc)"
# A test that fails is run once more: under emulation a program now and
# then does not start at all (no output, gone in milliseconds); a real
# fault fails both times.
ctest --test-dir "$winbuild" --output-on-failure -j "$(nproc)" --repeat until-pass:2
echo "test.sh: the Windows stage took $(( $(date +%s) - started )) s"
