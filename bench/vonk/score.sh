#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Top-1 accuracy of vonk on the corpus (with and without extensions).
#   bash bench/vonk/score.sh [BUILD_DIR] [CORPUS_DIR]
# vonk --tsv prints "path TAB mime TAB ext TAB id TAB description" per file;
# the scorer reads the MIME type in column 2 (or, with COL=4, our id, which
# for most types is the corpus label).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
corpus=${2:-/tmp/corpus/out}
col=${COL:-2}
scorer=${SCORER:-$root/../shared/corpus/score.py}
[ -f "$scorer" ] || scorer=/work/shared/corpus/score.py
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for dir in "$corpus" "${corpus}_noext"; do
    [ -f "$dir/labels.tsv" ] || continue
    cut -f1 "$dir/labels.tsv" | grep -v '^path$' | grep -v '^#' | sed "s|^|$dir/|" > "$out/list"
    # xargs keeps each vonk invocation within the argument-size limit.
    tr '\n' '\0' < "$out/list" | xargs -0 "$build/bin/vonk" --tsv > "$out/results.tsv" || true
    echo "== $dir"
    python3 "$scorer" "$dir/labels.tsv" "$out/results.tsv" --col "$col" ${SCORE_ARGS:-}
done
