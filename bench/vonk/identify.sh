#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Speed of vonk against libmagic's file(1), measured in the same run.
#   bash bench/vonk/identify.sh [BUILD_DIR] [CORPUS_DIR]
# 1. one process over the whole corpus, and over the outside samples
#    (OUTSIDE, default shared/corpus-outside beside the checkout): vonk
#    with one worker and with its default workers beside `file -b`, on any
#    processor and held to each one (ROUNDS interleaved rounds, default 15);
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

# Warm the page cache so neither tool pays for the first read.
xargs -d '\n' cat < "$work/list" > /dev/null

# One process over a whole list: vonk with one worker and with its default
# workers, beside `file -b -f LIST`, in interleaved rounds (medians). On a
# virtual machine the processors may not be equal (a neighbour may share
# one), and a run lands on either: the ratio is also measured with every
# program held to one processor, each in turn.
throughput() {
    python3 - "$vonk" "$1" "$2" "${ROUNDS:-15}" <<'EOF2'
import os, shutil, statistics, sys, time
vonk, listfile, title, rounds = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])
paths = [l.rstrip("\n") for l in open(listfile) if l.strip()]
null = os.open(os.devnull, os.O_WRONLY)
def run(cmd):
    t = time.perf_counter()
    pid = os.posix_spawn(cmd[0], cmd, os.environ, file_actions=[(os.POSIX_SPAWN_DUP2, null, 1), (os.POSIX_SPAWN_DUP2, null, 2)])
    os.waitpid(pid, 0)
    return time.perf_counter() - t
filecmd = [shutil.which("file"), "-b", "-f", listfile]
cmds = {"vonk -j 1": [vonk, "-j", "1", "--tsv", "--"] + paths, "vonk": [vonk, "--tsv", "--"] + paths, "file -b": filecmd}
def measure(cpus):
    os.sched_setaffinity(0, cpus)
    times = {k: [] for k in cmds}
    for _ in range(rounds):
        for k, c in cmds.items():
            times[k].append(run(c))
    return {k: statistics.median(v) for k, v in times.items()}
allcpus = os.sched_getaffinity(0)
print(f"== {title}: one process over {len(paths)} files, medians of {rounds} interleaved rounds")
print(f"{'processors':<14}{'vonk -j 1':>22}{'vonk (default -j)':>24}{'file -b':>12}{'ratio -j 1':>12}{'ratio':>8}")
rows = [("any", allcpus)] + ([(f"only {c}", {c}) for c in sorted(allcpus)] if len(allcpus) > 1 else [])
for name, cpus in rows:
    m = measure(cpus)
    one, many, f = m["vonk -j 1"], m["vonk"], m["file -b"]
    n = len(paths)
    print(f"{name:<14}{one*1000:>9.1f} ms {n/one:>7.0f} f/s{many*1000:>11.1f} ms {n/many:>7.0f} f/s{f*1000:>9.1f} ms{f/one:>11.2f}x{f/many:>7.2f}x")
os.sched_setaffinity(0, allcpus)
EOF2
}
throughput "$work/list" "corpus $corpus"
outside=${OUTSIDE:-$root/../shared/corpus-outside}
if [ -d "$outside" ]; then
    for d in "$outside"/*/; do
        [ -f "$d/labels.tsv" ] && awk -F'\t' -v d="$d" '$1 != "path" && $1 !~ /^#/ && $1 != "" { print d $1 }' "$d/labels.tsv"
    done > "$work/outside"
    if [ -s "$work/outside" ]; then
        xargs -d '\n' cat < "$work/outside" > /dev/null
        throughput "$work/outside" "outside samples $outside"
    fi
fi

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
