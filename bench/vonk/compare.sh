#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Format-by-format top-1 accuracy of vonk beside libmagic's file(1) on the
# labelled corpus, as plain text for pasting into a note.
#   bash bench/vonk/compare.sh [BUILD_DIR] [CORPUS_DIR]
# BUILD_DIR needs bin/vonk and bin/VonkDefs.vkd (default: build/ of this
# checkout); CORPUS_DIR defaults to /tmp/corpus/out, and CORPUS_DIR_noext is
# compared too when it exists.
# file(1) is scored twice, as run_file.sh does: by `file -b --mime-type`, and
# by `file -b` descriptions mapped to labels through file_desc_map.tsv (falling
# back to the MIME type where no pattern matches). vonk is scored on its MIME
# column; VONK_COL=4 scores its id instead, VONK_COL=3 its extension.
# WAIT=N retries for up to N seconds while bin/vonk is missing (a rebuild).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
corpus=${2:-/tmp/corpus/out}
corpus=${corpus%/}
vonk_col=${VONK_COL:-2}
wait_s=${WAIT:-0}
scorer=${SCORER:-$root/../shared/corpus/score.py}
[ -f "$scorer" ] || scorer=/work/shared/corpus/score.py
descmap=${DESC_MAP:-$(dirname "$scorer")/file_desc_map.tsv}

die() { echo "compare.sh: $*" >&2; exit 2; }

vonk=$build/bin/vonk
while [ ! -x "$vonk" ] && [ "$wait_s" -gt 0 ]; do
    sleep 1
    wait_s=$((wait_s - 1))
done
[ -x "$vonk" ] || die "no vonk at $vonk (build it, or pass a build folder holding bin/vonk)"
[ -f "$build/bin/VonkDefs.vkd" ] || die "no definitions database at $build/bin/VonkDefs.vkd"
[ -f "$corpus/labels.tsv" ] || die "no corpus at $corpus (labels.tsv missing; see shared/corpus/README.md)"
[ -f "$scorer" ] || die "no scorer score.py (tried $scorer; set SCORER=)"
[ -f "$descmap" ] || die "no description map $descmap (set DESC_MAP=)"
command -v file >/dev/null || die "libmagic's file(1) is not installed"
command -v python3 >/dev/null || die "python3 is not installed"
case $vonk_col in 2|3|4) ;; *) die "VONK_COL must be 2 (MIME), 3 (extension) or 4 (id)";; esac
vonk_what=$(case $vonk_col in 2) echo "MIME type";; 3) echo "extension";; 4) echo "id";; esac)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "vonk $("$vonk" --version 2>/dev/null | head -1) ($vonk) against $(file --version | head -1)"

compare_dir() {
    local dir=$1 w=$tmp/$2
    mkdir -p "$w"
    # The header and comment lines are not samples.
    awk -F'\t' -v d="$dir" '$1 != "path" && $1 !~ /^#/ && $1 != "" { print d "/" $1 }' \
        "$dir/labels.tsv" > "$w/list"
    local n
    n=$(wc -l < "$w/list")
    [ "$n" -gt 0 ] || die "$dir/labels.tsv lists no samples"

    # vonk exits 1 when a file could not be read; the scorer counts those.
    # xargs keeps each vonk invocation within the argument-size limit.
    tr '\n' '\0' < "$w/list" | xargs -0 "$vonk" --tsv > "$w/vonk.tsv" 2> "$w/vonk.err" || true
    [ -s "$w/vonk.tsv" ] || die "vonk produced no results for $dir: $(head -3 "$w/vonk.err")"

    # file -b prints one line per list entry, in order; paste pairs them with
    # the paths, so a count mismatch would shift every answer.
    file -b --mime-type -f "$w/list" > "$w/mime.txt"
    file -b -f "$w/list" > "$w/desc.txt"
    if [ "$(wc -l < "$w/mime.txt")" -ne "$n" ] || [ "$(wc -l < "$w/desc.txt")" -ne "$n" ]; then
        die "file(1) answered a different number of lines than the $n samples of $dir"
    fi
    paste "$w/list" "$w/mime.txt" "$w/desc.txt" > "$w/file.tsv"

    # The scorer writes its per-format table only without --summary.
    python3 "$scorer" "$dir/labels.tsv" "$w/vonk.tsv" --col "$vonk_col" \
        --csv "$w/vonk.csv" > "$w/vonk.sum"
    python3 "$scorer" "$dir/labels.tsv" "$w/file.tsv" --csv "$w/fmime.csv" > /dev/null
    python3 "$scorer" "$dir/labels.tsv" "$w/file.tsv" --desc-map "$descmap" --desc-col 3 \
        --csv "$w/fdesc.csv" > /dev/null

    echo
    echo "== $dir ($n samples)"
    grep '^files with no result line' "$w/vonk.sum" | sed 's/^/vonk: /' || true
    python3 - "$w/vonk.csv" "$w/fmime.csv" "$w/fdesc.csv" "vonk ($vonk_what)" <<'EOF'
import sys

def load(path):
    rows = {}
    with open(path, encoding="utf-8") as f:
        next(f)
        for line in f:
            label, n, ok = line.rstrip("\n").split("\t")[:3]
            rows[label] = (int(n), int(ok))
    return rows

vonk, fmime, fdesc = (load(p) for p in sys.argv[1:4])
labels = list(vonk)

def pct(ok, n):
    return 100.0 * ok / n

def overall(name, t):
    n = sum(v[0] for v in t.values())
    ok = sum(v[1] for v in t.values())
    macro = sum(pct(o, m) for m, o in t.values()) / max(1, len(t))
    full = sum(1 for m, o in t.values() if o == m)
    print("  %-30s %4d/%-4d %5.1f%%   macro %5.1f%%   formats at 100%%: %d/%d"
          % (name, ok, n, pct(ok, n), macro, full, len(t)))

print("overall top-1 (samples; macro = mean of the per-format figures):")
overall(sys.argv[4], vonk)
overall("file --mime-type", fmime)
overall("file -b, mapped description", fdesc)

print()
print("  %-18s %7s %7s %11s %11s" % ("format", "samples", "vonk%", "file-mime%", "file-desc%"))
for l in labels:
    n = vonk[l][0]
    cells = [pct(t[l][1], t[l][0]) if l in t else float("nan") for t in (vonk, fmime, fdesc)]
    print("  %-18s %7d %7.1f %11.1f %11.1f" % (l, n, *cells))

def below(t):
    return [(l, t[l]) for l in labels if l in t and t[l][1] < t[l][0]]

def show(title, items):
    print()
    print(title)
    if not items:
        print("  none")
    for l, (n, ok) in items:
        print("  %-18s %3d/%-3d %5.1f%%" % (l, ok, n, pct(ok, n)))

show("formats where vonk is below 100%:", below(vonk))
show("formats where file (mapped description) is below 100%:", below(fdesc))

def tally(other, name):
    win = tie = lose = 0
    for l in labels:
        if l not in other:
            continue
        a = vonk[l][1] * other[l][0]
        b = other[l][1] * vonk[l][0]
        win += a > b
        tie += a == b
        lose += a < b
    print("vonk against %s, per format: beats %d, ties %d, loses %d" % (name, win, tie, lose))

print()
tally(fdesc, "file (mapped description)")
tally(fmime, "file --mime-type")
EOF
}

compare_dir "$corpus" out
if [ -f "${corpus}_noext/labels.tsv" ]; then
    compare_dir "${corpus}_noext" noext
fi
