#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Speed of vonk against libmagic's file(1), measured in the same run.
#   bash bench/vonk/identify.sh [BUILD_DIR] [CORPUS_DIR]
# 1. one process over the whole corpus: files/s for each and the ratio;
# 2. one process per file (start-up dominates): milliseconds per call;
# 3. database load time and in-process time per file, with the real
#    database and with one doubled by synthetic definitions (vonk_bench).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
corpus=${2:-/tmp/corpus/out}
vonk=$build/bin/vonk
[ -x "$vonk" ] || { echo "identify.sh: build vonk first ($vonk missing)" >&2; exit 2; }
command -v file >/dev/null || { echo "identify.sh: install Debian's 'file' package" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

find "$corpus" -type f ! -name labels.tsv ! -name generation.log | sort > "$work/list"
n=$(wc -l < "$work/list")
[ "$n" -gt 0 ] || { echo "identify.sh: no files under $corpus" >&2; exit 2; }

now() { date +%s.%N; }
rate() { python3 -c "import sys; n,a,b=float(sys.argv[1]),float(sys.argv[2]),float(sys.argv[3]); print(f'{n/(b-a):.0f}')" "$@"; }

# Warm the page cache so neither tool pays for the first read.
xargs -d '\n' cat < "$work/list" > /dev/null

best_vonk=0; best_file=0
for round in 1 2 3; do
    t0=$(now); xargs -d '\n' "$vonk" --tsv < "$work/list" > /dev/null || true; t1=$(now)
    r=$(rate "$n" "$t0" "$t1"); [ "$r" -gt "$best_vonk" ] && best_vonk=$r
    t0=$(now); file --mime-type -f "$work/list" > /dev/null; t1=$(now)
    r=$(rate "$n" "$t0" "$t1"); [ "$r" -gt "$best_file" ] && best_file=$r
done
echo "== one process, $n files (best of 3)"
echo "vonk: $best_vonk files/s"
echo "file: $best_file files/s"
python3 -c "import sys; print(f'ratio: {int(sys.argv[1])/int(sys.argv[2]):.1f}x (goal >= 5x)')" "$best_vonk" "$best_file"

calls=${CALLS:-200}
head -n "$calls" "$work/list" > "$work/some"
m=$(wc -l < "$work/some")
t0=$(now); while IFS= read -r f; do "$vonk" "$f" > /dev/null || true; done < "$work/some"; t1=$(now)
tv=$(python3 -c "import sys; print(f'{(float(sys.argv[2])-float(sys.argv[1]))*1000/int(sys.argv[3]):.2f}')" "$t0" "$t1" "$m")
t0=$(now); while IFS= read -r f; do file --mime-type "$f" > /dev/null; done < "$work/some"; t1=$(now)
tf=$(python3 -c "import sys; print(f'{(float(sys.argv[2])-float(sys.argv[1]))*1000/int(sys.argv[3]):.2f}')" "$t0" "$t1" "$m")
t0=$(now); while IFS= read -r f; do /bin/true "$f" > /dev/null; done < "$work/some"; t1=$(now)
tt=$(python3 -c "import sys; print(f'{(float(sys.argv[2])-float(sys.argv[1]))*1000/int(sys.argv[3]):.2f}')" "$t0" "$t1" "$m")
echo "== one process per file, $m calls (the shell's own cost of starting a process is the /bin/true line)"
echo "vonk: $tv ms per call (goal < 5 ms)"
echo "file: $tf ms per call"
echo "/bin/true: $tt ms per call"
python3 -c "import sys; v,f,t=map(float,sys.argv[1:]); print(f'start-up beyond /bin/true: vonk {v-t:.2f} ms, file {f-t:.2f} ms')" "$tv" "$tf" "$tt"

if [ -x "$build/bin/vonk_bench" ]; then
    echo "== database load and per-file matching, in process"
    VONK_BENCH_DB="$build/bin/VonkDefs.vkd" "$build/bin/vonk_bench" "$root/definitions" "$work/list"
fi
