#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds and starts the window program. Without a
# display it starts under a virtual X server (Xvfb) of its own and says how
# to look at it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
build=${BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$build/bin/gui-vonk"
fi

# The first free display from :99 on, and an authority file that this
# script owns, so that the screenshot command printed below can be run as
# it stands from another shell of the same user.
display=99
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
done
xdir=$(mktemp -d "${TMPDIR:-/tmp}/gui-vonk-x.XXXXXX")
auth="$xdir/Xauthority"
xauth -q -f "$auth" add ":$display" . "$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
Xvfb ":$display" -auth "$auth" -screen 0 1280x1024x24 -nolisten tcp >"$xdir/xvfb.log" 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null; wait "$xvfb_pid" 2>/dev/null; rm -rf "$xdir"' EXIT
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$display" ] && break
    sleep 0.05
done
echo "No display found: starting gui-vonk under Xvfb (virtual screen :$display, nothing visible here)."
echo "Take a screenshot with:  XAUTHORITY=$auth DISPLAY=:$display import -window root shot.png   (package imagemagick)"
DISPLAY=":$display" XAUTHORITY="$auth" "$build/bin/gui-vonk"
