#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# gui-vonk.exe end to end under Wine, on the virtual display the build's
# Wine programs share: the window shows at its designed size, the
# identifier and its database are written beside it, a PNG chosen in the
# file dialog is identified, and after the close both files are gone.
#   gui_end_to_end.sh WINE_RUN GUI_EXE PROBE_EXE SAMPLE_PNG [SCREENSHOT.png]
# A screenshot of the display is taken when asked (here or in
# GV_SCREENSHOT).
set -euo pipefail
wine_run=$1 gui=$2 probe=$3 sample=$4
shot=${5:-${GV_SCREENSHOT:-}}

work=$(mktemp -d)
gui_pid=
cleanup() {
    [ -n "$gui_pid" ] && kill "$gui_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "gui_end_to_end: $*" >&2; exit 1; }

# The program's own folder: a fresh one, so what appears there is its own.
cp "$gui" "$work/gui-vonk.exe"
cp "$sample" "$work/sample.png"
bin=$(dirname "$gui")

"$wine_run" "$work/gui-vonk.exe" &
gui_pid=$!

# Wine's console may end lines with CR LF.
size=$("$wine_run" "$probe" size | tr -d '\r') || fail "no window"
[ "$size" = "586 401" ] || fail "the window is $size, not 586 401"
cmp -s "$work/vonk.exe" "$bin/vonk.exe" || fail "vonk.exe is not written out beside the program"
cmp -s "$work/VonkDefs.vkd" "$bin/VonkDefs.vkd" || fail "VonkDefs.vkd is not written out beside the program"

if [ -n "$shot" ] && command -v xwd >/dev/null && command -v convert >/dev/null; then
    # The display Wine draws on, as its programs see it.
    display=$("$wine_run" cmd /c echo %DISPLAY% | tr -d '\r')
    sleep 1
    xwd -display "$display" -root -silent | convert xwd:- "$shot" && echo "gui_end_to_end: screenshot in $shot"
fi

report=$("$wine_run" "$probe" identify "Z:$(echo "$work/sample.png" | tr / '\\')" | tr -d '\r') ||
    fail "the identification did not run"
echo "$report"
grep -q '^command: cmd /c vonk .*sample.png --literal' <<<"$report" || fail "not the file's command line"
grep -q 'Portable Network Graphics' <<<"$report" || fail "the report does not say PNG"

"$wine_run" "$probe" close || fail "the window did not close"
for _ in $(seq 300); do kill -0 "$gui_pid" 2>/dev/null || break; sleep 0.2; done
kill -0 "$gui_pid" 2>/dev/null && fail "gui-vonk.exe did not end"
gui_pid=
[ ! -e "$work/vonk.exe" ] || fail "vonk.exe is still there after the close"
[ ! -e "$work/VonkDefs.vkd" ] || fail "VonkDefs.vkd is still there after the close"
echo "gui_end_to_end: passed"
