#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Top-1 accuracy of vonk on labelled sample files that nobody on this project
# made (shared/corpus-outside: one folder per source, each with labels.tsv),
# per source and overall, beside libmagic's `file --mime-type` on the same
# files, and vonk's wrong answers grouped by cause.
#   bash bench/vonk/outside.sh [BUILD_DIR] [OUTSIDE_DIR]
# BUILD_DIR needs bin/vonk and bin/VonkDefs.vkd (default: build/ of this
# checkout); OUTSIDE_DIR defaults to shared/corpus-outside beside the checkout.
# Both are scored on their MIME type, leniently: the label's MIME aliases
# count (shared/corpus/score.py decides, as for the generated corpus).
# Environment:
#   SOURCES="magika menagerie"  score only these sources
#   WRONG=0                     leave out the list of wrong answers
#   DEFS_DIR=DIR                definition sources that built the database
#                               (default: definitions/ of this checkout), read
#                               for the parent of each type
#   MIME_DIR=DIR                the type lists the database imported
#                               (default: third_party/ of this checkout;
#                               every *.xml under it), read for the parents
#                               of imported types
#   SCORER=FILE                 score.py (default shared/corpus/score.py)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
# Absolute: the samples are identified from inside their own folders.
[ -d "$build" ] && build=$(cd "$build" && pwd)
outside=${2:-$root/../shared/corpus-outside}
[ -d "$outside" ] || outside=/work/shared/corpus-outside
outside=$(cd "$outside" && pwd)
scorer=${SCORER:-$root/../shared/corpus/score.py}
[ -f "$scorer" ] || scorer=/work/shared/corpus/score.py
defs_dir=${DEFS_DIR:-$root/definitions}
mime_dir=${MIME_DIR:-$root/third_party}

die() { echo "outside.sh: $*" >&2; exit 2; }

vonk=$build/bin/vonk
[ -x "$vonk" ] || die "no vonk at $vonk (build it, or pass a build folder holding bin/vonk)"
[ -f "$build/bin/VonkDefs.vkd" ] || die "no definitions database at $build/bin/VonkDefs.vkd"
[ -f "$scorer" ] || die "no scorer score.py (tried $scorer; set SCORER=)"
command -v file >/dev/null || die "libmagic's file(1) is not installed (apt-get install file)"
command -v python3 >/dev/null || die "python3 is not installed"

if [ -n "${SOURCES:-}" ]; then
    read -r -a sources <<< "$SOURCES"
else
    sources=()
    for d in "$outside"/*/; do
        [ -f "$d/labels.tsv" ] && sources+=("$(basename "$d")")
    done
fi
[ "${#sources[@]}" -gt 0 ] || die "no source folder with labels.tsv in $outside"

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$vonk" --list > "$tmp/list.tsv"
for s in "${sources[@]}"; do
    dir=$outside/$s
    [ -f "$dir/labels.tsv" ] || die "no labels.tsv in $dir"
    awk -F'\t' '$1 != "path" && $1 !~ /^#/ && $1 != "" { print $1 }' "$dir/labels.tsv" > "$tmp/$s.list"
    # Relative paths: the scorer matches results to labels on label/name.
    # Twenty candidates are enough to see whether the right one was listed.
    (cd "$dir" && tr '\n' '\0' < "$tmp/$s.list" | xargs -0 "$vonk" --json -r:20) \
        > "$tmp/$s.json" 2> "$tmp/$s.err" || true
    # file -b answers one line per list entry, in order.
    (cd "$dir" && file -b --mime-type -f "$tmp/$s.list") > "$tmp/$s.file"
    [ "$(wc -l < "$tmp/$s.file")" -eq "$(wc -l < "$tmp/$s.list")" ] \
        || die "file(1) answered a different number of lines than the samples of $s"
done

echo "vonk $("$vonk" --version 2>/dev/null | head -1) ($vonk) against $(file --version | head -1)"
echo "samples: $outside"
python3 - "$scorer" "$outside" "$tmp" "$defs_dir" "$mime_dir" "${WRONG:-1}" "${sources[@]}" <<'EOF'
import collections
import glob
import json
import os
import runpy
import sys
import types
import xml.etree.ElementTree as ET

scorer_path, outside, tmp, defs_dir, mime_dir, show_wrong = sys.argv[1:7]
sources = sys.argv[7:]
# The generated corpus's scorer decides what counts as right, here too.
score = types.SimpleNamespace(**runpy.run_path(scorer_path))

# The database's definitions: id -> MIME types (canonical first), and the
# ids that list each MIME type.
defs = {}
matches_by = {}
by_mime = collections.defaultdict(set)
with open(os.path.join(tmp, "list.tsv"), encoding="utf-8") as f:
    for line in f:
        if line.startswith("#") or not line.strip():
            continue
        cols = line.rstrip("\n").split("\t")
        if len(cols) < 3:
            continue
        mimes = [m.lower() for m in cols[2].split()]
        defs[cols[0]] = mimes
        if len(cols) >= 6:
            matches_by[cols[0]] = cols[5]
        for m in mimes:
            by_mime[m].add(cols[0])

def ids_of(mime):
    return by_mime.get(mime.lower(), set())

# Parents: ours from the sources' `parent` lines, imported ones from
# the imported lists' sub-class-of (an imported type's parent may be ours).
parents = collections.defaultdict(set)
for path in sorted(glob.glob(os.path.join(defs_dir, "*.vdef"))):
    current = None
    with open(path, encoding="utf-8-sig") as f:
        for line in f:
            words = line.split("#", 1)[0].split()
            if len(words) >= 2 and words[0] == "type":
                current = words[1]
            elif len(words) >= 2 and words[0] == "parent" and current:
                parents[current].add(words[1])

# shared-mime-info's files are namespaced, Tika's are not.
for path in sorted(glob.glob(os.path.join(mime_dir, "**", "*.xml"), recursive=True)):
    try:
        tree = ET.parse(path)
    except ET.ParseError:
        continue
    for t in tree.getroot():
        if not t.tag.endswith("mime-type"):
            continue
        name = t.get("type", "").strip().lower()
        for sub in t:
            if sub.tag.endswith("sub-class-of"):
                for me in ids_of(name):
                    for pid in ids_of(sub.get("type", "")):
                        parents[me].add(pid)

def ancestors(i):
    seen, todo = set(), list(parents.get(i, ()))
    while todo:
        p = todo.pop()
        if p not in seen:
            seen.add(p)
            todo.extend(parents.get(p, ()))
    return seen

# `vonk --list` says how each definition matches.
def has_content_rule(i):
    return matches_by.get(i, "content") != "name only"

CAUSES = [
    ("other-mime", "right type, under a MIME name the labels do not accept"),
    ("no-definition", "no definition for the format"),
    ("name-only", "known only by name (imported, no content rule)"),
    ("ranked-lower", "the right answer listed but ranked lower"),
    ("plain-text", "a text format called plain text"),
    ("parent", "the parent format given"),
    ("other", "other (a content rule did not fire, or another type won)"),
]

def cause(row, result):
    cands = result.get("candidates") or []
    expected = set()
    for m in [row["mime"]] + row["mime_aliases"]:
        expected |= ids_of(m)
    top = cands[0] if cands else None
    if top and top.get("id") in expected:
        return "other-mime"
    if not expected:
        return "no-definition"
    if not any(has_content_rule(i) for i in expected):
        return "name-only"
    for c in cands[1:]:
        if c.get("id") in expected or score.is_correct(c.get("mime", ""), row, False):
            return "ranked-lower"
    # Most text types refine text/plain: plain text for one of them is the
    # text judgement winning, not a container that was not looked into.
    if top and top.get("id") == "text" and result.get("text"):
        return "plain-text"
    if top and any(top.get("id") in ancestors(i) for i in expected):
        return "parent"
    return "other"

totals = collections.OrderedDict()
wrong = collections.defaultdict(list)
cause_counts = collections.defaultdict(collections.Counter)
for s in sources:
    labels = score.read_labels(os.path.join(outside, s, "labels.tsv"))
    results = {}
    with open(os.path.join(tmp, s + ".json"), encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.strip()
            if line:
                r = json.loads(line)
                results[score.key(r.get("path", ""))] = r
    with open(os.path.join(tmp, s + ".list"), encoding="utf-8") as f:
        paths = [l.rstrip("\n") for l in f]
    with open(os.path.join(tmp, s + ".file"), encoding="utf-8", errors="replace") as f:
        file_answers = dict(zip((score.key(p) for p in paths), (l.strip() for l in f)))
    n = v_ok = f_ok = 0
    for k, row in labels.items():
        n += 1
        r = results.get(k, {})
        cands = r.get("candidates") or []
        answer = cands[0].get("mime", "") if cands else ""
        if score.is_correct(answer, row, False):
            v_ok += 1
        else:
            c = cause(row, r)
            cause_counts[s][c] += 1
            desc = cands[0].get("description", "") if cands else r.get("status", "no result")
            wrong[c].append((s + "/" + row["path"], row["label"], row["mime"], answer or "(none)", desc))
        if score.is_correct(file_answers.get(k, ""), row, False):
            f_ok += 1
    totals[s] = (n, v_ok, f_ok, len(set(r["label"] for r in labels.values())))

def pct(a, b):
    return 100.0 * a / max(1, b)

print()
print("top-1 by MIME type (label aliases accepted)")
print("  %-16s %6s %7s %14s %18s" % ("source", "files", "formats", "vonk", "file --mime-type"))
for s, (n, v, f, fm) in totals.items():
    print("  %-16s %6d %7d %5d  %5.1f%% %9d  %5.1f%%" % (s, n, fm, v, pct(v, n), f, pct(f, n)))
n = sum(t[0] for t in totals.values())
v = sum(t[1] for t in totals.values())
f = sum(t[2] for t in totals.values())
print("  %-16s %6d %7s %5d  %5.1f%% %9d  %5.1f%%" % ("overall", n, "", v, pct(v, n), f, pct(f, n)))

print()
print("vonk's wrong answers by cause")
print("  %-58s %s  %s" % ("cause", " ".join("%13s" % s[:13] for s in sources), "  all"))
for c, title in CAUSES:
    counts = [cause_counts[s][c] for s in sources]
    print("  %-58s %s  %5d" % (title, " ".join("%13d" % x for x in counts), sum(counts)))

if show_wrong != "0":
    for c, title in CAUSES:
        if not wrong[c]:
            continue
        print()
        print("%s (%d):" % (title, len(wrong[c])))
        for path, label, mime, answer, desc in sorted(wrong[c], key=lambda w: (w[1], w[0])):
            print("  %-14s %-44s %s -> %s (%s)" % (label, path, mime, answer, desc))
EOF
