#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Top-1 accuracy of vonk on the text model's held-out files, by content alone
# (the files carry no names), per format and overall, and how often prose is
# called a programming or data language.
#   bash bench/vonk/text.sh [BUILD_DIR] HELD_OUT_DIR
# HELD_OUT_DIR is written by `definitions/text-model/train.py export`
# (folders named by format, and labels.tsv).
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
[ -d "$build" ] && build=$(cd "$build" && pwd)
held=${2:?usage: text.sh [BUILD_DIR] HELD_OUT_DIR}
vonk=$build/bin/vonk
[ -x "$vonk" ] || { echo "text.sh: build vonk first ($vonk missing)" >&2; exit 2; }
[ -f "$held/labels.tsv" ] || { echo "text.sh: no labels.tsv in $held" >&2; exit 2; }
answers=$(mktemp)
trap 'rm -f "$answers"' EXIT
(cd "$held" && tail -n +2 labels.tsv | cut -f1 | xargs -d '\n' "$vonk" --tsv --content-only) > "$answers"
python3 - "$held/labels.tsv" "$answers" <<'PY'
import sys
# Answers that name the same format under a finer or older id.
same = {'plain-tex': 'tex', 'xhtml': 'html', 'mime:application/schema+json': 'json'}
prose = {'text', 'markdown', 'restructuredtext'}
documents = prose | {'troff', 'tex', 'html', 'po', 'diff'}
labels = {}
for line in open(sys.argv[1]).read().splitlines()[1:]:
    path, label, _ = line.split('\t')
    labels[path] = label
got = {}
for line in open(sys.argv[2]):
    f = line.rstrip('\n').split('\t')
    got[f[0]] = same.get(f[3], f[3])
tp, fp, n, confused = {}, {}, {}, {}
prose_files = prose_code = 0
for path, label in labels.items():
    a = got.get(path, 'unknown')
    n[label] = n.get(label, 0) + 1
    if a == label:
        tp[label] = tp.get(label, 0) + 1
    else:
        fp[a] = fp.get(a, 0) + 1
        confused[(label, a)] = confused.get((label, a), 0) + 1
    if label in prose:
        prose_files += 1
        prose_code += a not in documents and a != 'unknown'
print('format\tfiles\tprecision\trecall')
for label in sorted(n):
    t = tp.get(label, 0)
    print(f'{label}\t{n[label]}\t{100 * t / max(1, t + fp.get(label, 0)):.1f}\t{100 * t / n[label]:.1f}')
right = sum(tp.values())
print(f'overall\t{len(labels)}\t\t{100 * right / max(1, len(labels)):.2f}')
print(f'prose called code\t{prose_code} of {prose_files}')
for (label, a), k in sorted(confused.items(), key=lambda kv: (-kv[1], kv[0]))[:30]:
    print(f'confused\t{label} -> {a}\t{k}')
PY
