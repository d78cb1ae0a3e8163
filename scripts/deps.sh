#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the build and the tests need, only those
# that are missing. Runs as root (or through sudo when available).
#   deps.sh             the Linux edition
#   deps.sh --windows   what cross-building the Windows edition, running
#                       its tests under Wine and packaging it needs besides
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libcli11-dev nlohmann-json3-dev zlib1g-dev libxxhash-dev
    xvfb xauth openbox xdotool fonts-dejavu-core fonts-liberation2 help2man
    file shared-mime-info
    desktop-file-utils appstream
)
if [ "${1:-}" = --windows ]; then
    packages=(
        g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
        wine wine64 nsis
        googletest libcli11-dev nlohmann-json3-dev libxxhash-dev libz-mingw-w64-dev shared-mime-info
        cmake ninja-build
        xvfb
    )
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "deps.sh: run as root to install: ${missing[*]}" >&2; exit 1; }
    sudo=sudo
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
