#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Not a test: time from starting the real gui-vonk to its window being mapped
# on an X server (Xvfb), over several runs, each from a fresh copy of the
# program folder (so every start writes the identifier out), and the size of
# the executable with its payloads.
#
#   startup_figures.sh BIN_DIR [RUNS]
set -u
bin=$1
runs=${2:-10}
tmp=$(mktemp -d)
# A free display number well away from the usual ones, which other
# programs on the machine may take and drop meanwhile.
display=$((200 + $$ % 500))
while [ -e /tmp/.X$display-lock ]; do display=$((display + 1)); done
Xvfb :$display -screen 0 1280x1024x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -rf "$tmp"' EXIT
export DISPLAY=:$display QT_QPA_PLATFORM=xcb
for _ in $(seq 200); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.05; done

times=()
for i in $(seq "$runs"); do
    dir=$tmp/run$i
    mkdir -p "$dir/program" "$dir/runtime"
    chmod 700 "$dir/runtime"
    cp "$bin/gui-vonk" "$bin/cmd" "$dir/program/"
    start=$(date +%s%N)
    XDG_RUNTIME_DIR=$dir/runtime "$dir/program/gui-vonk" >"$dir/log" 2>&1 &
    pid=$!
    until xwininfo -name "VONK Gui" 2>/dev/null | grep -q IsViewable; do
        kill -0 $pid 2>/dev/null || { echo "run $i: the program ended before its window showed:"; cat "$dir/log"; exit 1; }
        sleep 0.005
    done
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000000 )))
    kill -TERM $pid
    wait $pid
    [ -e "$dir/program/vonk" ] && echo "run $i: vonk left behind"
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start to window mapped (ms), $runs runs: min ${sorted[0]} median ${sorted[$((runs / 2))]} max ${sorted[$((runs - 1))]}"
echo "gui-vonk size: $(stat -c %s "$bin/gui-vonk") bytes; stripped: $(strip -o "$tmp/s" "$bin/gui-vonk" && stat -c %s "$tmp/s") bytes"
