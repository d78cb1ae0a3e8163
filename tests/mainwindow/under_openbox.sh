#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs one program on a private virtual X server managed by openbox, so that
# what only a real window manager does (moving a window by its title, the
# buttons it offers) can be tested. Exits 77, which CTest counts as skipped,
# when Xvfb, openbox or xdotool is missing (scripts/deps.sh installs them).
#
#   under_openbox.sh PROGRAM [ARGUMENTS...]
set -u

for tool in Xvfb openbox xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIPPED: $tool is not installed; run scripts/deps.sh to test under a window manager"
        exit 77
    fi
done

work=$(mktemp -d)
xvfb_pid=""
wm_pid=""
cleanup() {
    [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# The server picks a free display number itself and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.05
done
if [ ! -s "$work/display" ]; then
    echo "Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

openbox --sm-disable --startup "touch $work/wm-ready" >"$work/openbox.log" 2>&1 &
wm_pid=$!
for _ in $(seq 100); do
    [ -e "$work/wm-ready" ] && break
    sleep 0.05
done
if [ ! -e "$work/wm-ready" ]; then
    echo "openbox did not start:" >&2
    cat "$work/openbox.log" >&2
    exit 1
fi

QT_QPA_PLATFORM=xcb "$@"
