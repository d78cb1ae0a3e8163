#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# vonk on one large folder of small files: wall time, CPU share and peak
# memory with one worker and with two, and whether both reports are equal.
#   bash bench/vonk/scale.sh [BUILD_DIR] [CORPUS_DIR] [FILES]
# The folder (copies of the corpus's samples of at most 16 KiB) is made
# under /tmp and removed afterwards.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
corpus=${2:-/tmp/corpus/out}
count=${3:-100000}
vonk=$build/bin/vonk
[ -x "$vonk" ] || { echo "scale.sh: build vonk first ($vonk missing)" >&2; exit 2; }
[ -x /usr/bin/time ] || { echo "scale.sh: install Debian's 'time' package" >&2; exit 2; }
work=$(mktemp -d /tmp/vonk-scale-XXXXXX)
trap 'rm -rf "$work"' EXIT

mkdir "$work/files"
python3 - "$corpus" "$work/files" "$count" <<'EOF'
import os, sys
src, dst, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
samples = []
for top, _, names in os.walk(src):
    for n in sorted(names):
        p = os.path.join(top, n)
        if n not in ("labels.tsv", "generation.log") and os.path.getsize(p) <= 16384:
            with open(p, "rb") as f:
                samples.append(f.read())
if not samples:
    sys.exit("scale.sh: no samples of at most 16 KiB in " + src)
for i in range(count):
    with open(os.path.join(dst, "f%07d" % i), "wb") as f:
        f.write(samples[i % len(samples)])
EOF
# Warm the page cache so both runs read from memory.
find "$work/files" -type f -exec cat {} + > /dev/null

for j in 1 2; do
    /usr/bin/time -v "$vonk" -j "$j" --tsv "$work/files" > "$work/report-$j.tsv" 2> "$work/time-$j.txt" || true
    wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time-$j.txt")
    cpu=$(sed -n 's/.*Percent of CPU this job got: //p' "$work/time-$j.txt")
    rss=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/time-$j.txt")
    echo "-j $j: $count files in $wall, CPU $cpu, peak RSS $rss KiB"
done
if cmp -s "$work/report-1.tsv" "$work/report-2.tsv"; then
    echo "reports: identical ($(wc -l < "$work/report-1.tsv") lines)"
else
    echo "reports: DIFFER"
    exit 1
fi
