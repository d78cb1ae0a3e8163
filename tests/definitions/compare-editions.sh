#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows edition answers as the Linux edition does: both identify the
# same sample files, each with the database the other built too, and their
# --tsv reports must agree line by line once the path column is reduced to
# the file's name (one edition writes "dir/x", the other "dir\x").
#   compare-editions.sh LINUX_VONK WINE_RUN VONK_EXE WINDOWS_DATABASE CORPUS
set -euo pipefail
linux_vonk=$1 wine_run=$2 vonk_exe=$3 windows_db=$4 corpus=$5
linux_db=$(dirname "$linux_vonk")/VonkDefs.vkd
[ -d "$corpus" ] && [ -n "$(ls -A "$corpus")" ] || { echo "no samples in $corpus (the sample test makes them)"; exit 1; }
[ -x "$linux_vonk" ] && [ -f "$linux_db" ] || { echo "no Linux edition at $linux_vonk"; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
names() { sed -E 's#^[^\t]*[/\\]([^/\\\t]*)\t#\1\t#'; }
"$linux_vonk" --tsv -d "$linux_db" "$corpus/*" | names > "$out/linux"
[ -s "$out/linux" ] || { echo "the Linux edition gave no answers"; exit 1; }
status=0
for db in "$linux_db" "$windows_db"; do
    # The pattern as a Windows user writes it: backslashes, one * at the end.
    "$wine_run" "$vonk_exe" --tsv -d "$db" "$(echo "$corpus" | tr / '\\')\\*" | names > "$out/windows"
    if ! diff -u "$out/linux" "$out/windows"; then
        echo "vonk.exe with $db answers otherwise than vonk (lines above)"
        status=1
    fi
done
[ $status -eq 0 ] && echo "$(wc -l < "$out/linux") files: the same answers from both editions and both databases"
exit $status
