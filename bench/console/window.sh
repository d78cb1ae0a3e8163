#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window beside the console: how long gui-vonk takes to show a folder's
# report against the same command line in a terminal, how its time per MB
# of report holds at 1, 20 and 100 MB, and how much memory it keeps.
#
#   bench/console/window.sh [BUILD] [FOLDER] [RUNS]
#
# BUILD defaults to ./build. FOLDER defaults to 200,000 small files of a
# few kinds made once under ${TMPDIR:-/tmp}/gv-window-bench. Console and
# window runs alternate, RUNS times each (default 5), and medians are
# printed. The window is the real one, on the X server in DISPLAY (a
# private Xvfb when there is none), driven from its Execute action to its
# "Lettura completa"; "offscreen" repeats it without any X server.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
folder=${2:-}
runs=${3:-5}
bin=$build/bin
for tool in "$bin/cmd" "$bin/vonk" "$bin/bench-console" "$bin/bench-console-emit"; do
    [ -x "$tool" ] || { echo "missing $tool: build it first (ninja -C $build bench-console cmd vonk)" >&2; exit 1; }
done

if [ -z "${DISPLAY:-}" ] && [ -z "${GV_BENCH_UNDER_XVFB:-}" ]; then
    command -v xvfb-run >/dev/null || { echo "no DISPLAY and no xvfb-run" >&2; exit 1; }
    GV_BENCH_UNDER_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" "$0" "$build" "$folder" "$runs"
fi

if [ -z "$folder" ]; then
    folder=${TMPDIR:-/tmp}/gv-window-bench/200k
    if [ "$(find "$folder" -maxdepth 1 -type f 2>/dev/null | wc -l)" -ne 200000 ]; then
        echo "making $folder (200,000 files) ..."
        mkdir -p "$folder"
        zeros() { printf '\\0%.0s' $(seq "$1"); }
        kinds=("\\x89PNG\\r\\n\\x1a\\n\\0\\0\\0\\rIHDR$(zeros 20)" "GIF89a$(zeros 20)" '%%PDF-1.4\n' 'hello world\n'
               "PK\\x03\\x04$(zeros 26)" '#!/bin/sh\necho hi\n' '' "\\x7fELF\\x02\\x01\\x01$(zeros 9)")
        for ((i = 0; i < 200000; i++)); do
            printf -v name '%s/f%06d.dat' "$folder" "$i"
            printf "${kinds[i % 8]}" >"$name"
        done
    fi
fi
command_line="cmd /c vonk $folder/*"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# One window run: prints its key=value line.
window() { QT_QPA_PLATFORM=$1 "$bin/bench-console" --case "$2" "$3" 2>/dev/null | grep '^seconds='; }
field() { sed -n "s/.*\<$1=\([^ ]*\).*/\1/p"; }

cd "$bin"
echo "command line: $command_line"
echo "machine: $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
report_bytes=$("$bin/cmd" /c vonk "$folder/*" | wc -c)
echo "report: $report_bytes bytes"
echo
printf '%-4s %10s %12s %12s %10s %12s %10s\n' run console xcb offscreen "xcb cpu" "console cpu" "kept/text"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
for i in $(seq "$runs"); do
    # Elapsed, then the processor time of the command and its children.
    read -r console ccpu < <({ TIMEFORMAT='%R %U %S'; time "$bin/cmd" /c vonk "$folder/*" >/dev/null; } 2>&1 |
        awk '{ print $1, $2 + $3 }')
    xcb=$(window xcb command "$command_line")
    off=$(window offscreen command "$command_line")
    xs=$(echo "$xcb" | field seconds)
    os=$(echo "$off" | field seconds)
    cpu=$(echo "$xcb" | field cpu)
    kept=$(echo "$xcb" | awk -v b="$report_bytes" '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] } }
        END { printf "%.2f", (v["rss_after_kb"] - v["rss_before_kb"]) * 1024 / b }')
    echo "$console" >>"$tmp/console"
    echo "$xs" >>"$tmp/xcb"
    echo "$os" >>"$tmp/offscreen"
    echo "$cpu" >>"$tmp/cpu"
    echo "$ccpu" >>"$tmp/ccpu"
    echo "$kept" >>"$tmp/kept"
    printf '%-4s %10.3f %12.3f %12.3f %10.3f %12.3f %10s\n' "$i" "$console" "$xs" "$os" "$cpu" "$ccpu" "$kept"
done
c=$(median <"$tmp/console")
x=$(median <"$tmp/xcb")
o=$(median <"$tmp/offscreen")
wc=$(median <"$tmp/cpu")
cc=$(median <"$tmp/ccpu")
printf '%-4s %10.3f %12.3f %12.3f %10.3f %12.3f %10s\n' med "$c" "$x" "$o" "$wc" "$cc" "$(median <"$tmp/kept")"
echo
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
echo "window / console (medians): xcb $(ratio "$x" "$c"), offscreen $(ratio "$o" "$c") (target <= 1.25)"
# On a busy machine the elapsed times mostly measure the neighbours. The
# work does not: when the identifier keeps every processor busy, the window
# can at best finish when the CPU time of both is spent.
echo "processor time, window run / console run: $(ratio "$(awk -v a="$cc" -v b="$wc" 'BEGIN { print a + b }')" "$cc") (the ratio a quiet machine whose processors the identifier fills would show)"
echo

echo "time per MB of report (bench-console-emit, one window run each)"
printf '%-8s %-10s %10s %12s %12s %14s\n' size platform seconds "s per MB" "cpu per MB" "kept / text"
for mb in 1 20 100; do
    for platform in xcb offscreen; do
        line=$(window "$platform" pane $((mb * 1048576)))
        echo "$line" | awk -v mb="$mb" -v p="$platform" '{ for (i = 1; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] } }
            END { printf "%-8s %-10s %10.3f %12.4f %12.4f %14.2f\n", mb " MB", p, v["seconds"], v["seconds"] / mb,
                  v["cpu"] / mb, (v["rss_after_kb"] - v["rss_before_kb"]) * 1024 / (mb * 1048576) }'
    done
done
