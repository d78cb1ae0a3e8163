#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Trains vonk's text model from the files of the Debian packages listed in
packages.txt (installed by train.sh) and writes it as model.bin, the section
vonk-defs copies into VonkDefs.vkd.

    train.py collect OUT.pickle [CACHE_DIR]  label and de-duplicate the files
    train.py fit OUT.pickle model.bin [REPORT.tsv]
    train.py export OUT.pickle DIR  the held-out files (whole), for bench/vonk/text.sh

Labels come from where a file lies and its name (and a script's "#!" line);
the held-out part is chosen by package (by folder for the formats that only
one or two packages serve), never by file, so that near copies inside a
package cannot leak into it. Everything is sorted before use and no clock or
random source is read: the same package versions give the same model file.

The tokenizer here must stay byte for byte the one in vonk/match/TextTokens.cpp.
"""

import gzip
import hashlib
import io
import math
import os
import pickle
import re
import struct
import subprocess
import sys
import zipfile

HEAD = 8192          # bytes of a file the model reads
TRAIN_CAP = 1200     # training files per format at most
HELD_CAP = 300       # held-out files per format at most
FEATURES = 12000     # features kept in the model
SLOT_BITS = 14       # hash table slots: 2^SLOT_BITS, well above FEATURES
MODEL_VERSION = 1
MIN_FILES = 12       # training files a format needs to be learnt
# The first line of a machine-readable copyright file.
MACHINE_COPYRIGHT = re.compile(rb'Format(-[A-Za-z]+)?:')

HERE = os.path.dirname(os.path.abspath(__file__))

# ---------------------------------------------------------------- tokenizer

FNV_OFFSET = 0x811C9DC5
FNV_PRIME = 0x01000193


def fnv(data, h=FNV_OFFSET):
    for c in data:
        h = ((h ^ c) * FNV_PRIME) & 0xFFFFFFFF
    return h


def final(h):
    return h if h else 1


def word_byte(c):
    return (48 <= c <= 57) or (65 <= c <= 90) or (97 <= c <= 122) or c == 95 or c >= 0x80


def space_byte(c):
    return c in (32, 9, 13, 11, 12)


MAX_WORD = 24


def line_tokens(line):
    """The tokens of one line: (kind, bytes) with kind b'w' word, b'n'
    number, b'p' punctuation (runs cut into pieces of at most 3)."""
    out = []
    i, n = 0, len(line)
    while i < n:
        c = line[i]
        if space_byte(c):
            i += 1
            continue
        if 48 <= c <= 57:
            j = i
            while j < n and (word_byte(line[j]) or line[j] == 46):
                j += 1
            out.append((b'n', b'0'))
            i = j
        elif word_byte(c):
            j = i
            while j < n and word_byte(line[j]):
                j += 1
            out.append((b'w', line[i:min(j, i + MAX_WORD)]))
            i = j
        else:
            j = i
            while j < n and not space_byte(line[j]) and not word_byte(line[j]):
                j += 1
            k = i
            while k < j:
                out.append((b'p', line[k:min(j, k + 3)]))
                k += 3
            i = j
    return out


def bucket(part, whole):
    if whole == 0 or part == 0:
        return 0
    r = part * 8 // whole
    return 1 + min(r, 7)


ADORNMENT = b'=-~^"\'*+#`:._'
KEY_BYTES = b'.-'


def value_kind(v):
    """What a `key = value` line's value looks like: typed (quoted, a
    number, a boolean, a list, a table) or bare words."""
    if not v:
        return b'-'
    c = v[0]
    if c in b'"\'':
        return b'q'
    if 48 <= c <= 57 or (c == 45 and len(v) > 1 and 48 <= v[1] <= 57):
        return b'0'
    if v in (b'true', b'false'):
        return b'b'
    if c in b'[{':
        return bytes([c])
    return b'w'


def line_shape(line, prev_kind, prev_len):
    """The shape of one line, given the kind and length of the previous
    non-blank one: (feature name or None, kind of this line). Kinds: b't'
    a make target, b'r' a recipe line, b'x' other text, b'a' an adornment."""
    body = line.rstrip(b' \t\r\v\f')
    s = body.lstrip(b' \t\r\v\f')
    if not s:
        return None, None
    c = s[0]
    if len(s) >= 3 and c in ADORNMENT and s.count(bytes([c])) == len(s):
        if prev_kind == b'x' and len(s) >= prev_len and body[0] == c:
            return b'U' + bytes([c]), b'a'
        return b'O' + bytes([c]), b'a'
    if body[0] == 9 and prev_kind in (b't', b'r'):
        return b'R', b'r'
    if s.startswith(b'.. '):
        k = 3
        while k < len(s) and (word_byte(s[k]) or s[k] == 45):
            k += 1
        if k > 3 and s[k:k + 2] == b'::':
            return b'D', b'x'
    if s.startswith(b'```') or s.startswith(b'~~~'):
        return b'F', b'x'
    if c == 91 and s[-1] == 93:
        return (b'[[' if s.startswith(b'[[') and s.endswith(b']]') else b'['), b'x'
    k = 0
    while k < len(s) and (word_byte(s[k]) or s[k] in KEY_BYTES):
        k += 1
    if k > 0:
        j = k
        while j < len(s) and s[j] in b' \t':
            j += 1
        if j < len(s) and s[j] == 61 and s[j + 1:j + 2] != b'=':
            v = s[j + 1:].lstrip(b' \t')
            return b'K' + (b's' if j > k else b'n') + value_kind(v), b'x'
        if j + 1 < len(s) and s[j] in b':?+' and s[j + 1] == 61:
            return b'A', b'x'
        if body[0] == c and j < len(s) and s[j] == 58 and s[j + 1:j + 2] != b'=' and (j + 1 == len(s) or s[j + 1] in b' \t:'):
            return b'T', b't'
    return None, b'x'


def comment_line(line):
    """Whether a line is a comment in one of the usual notations. Of the
    comment block a file opens with only the first line's marker counts:
    that block is mostly a licence, which says more about the package a file
    comes from than about its language."""
    k = 0
    while k < len(line) and space_byte(line[k]):
        k += 1
    s = line[k:]
    after = s[1:2]
    if s.startswith((b'//', b'/*', b';')):
        return True
    if s[:1] == b'%':
        return after in (b'', b' ', b'\t', b'\r', b'%')
    if s[:2] == b'--':
        return s[2:3] in (b'', b' ', b'\t', b'\r')
    if s[:1] == b'*' and k == 1 and line[0] == 32:
        return after in (b'', b' ', b'\t', b'\r', b'/')
    return False


def features(data):
    """Hashed features of a head with their counts."""
    if data.startswith(b'\xef\xbb\xbf'):
        data = data[3:]
    data = data[:HEAD]
    counts = {}

    def add(h):
        h = final(h)
        counts[h] = counts.get(h, 0) + 1

    lines = data.split(b'\n')
    nonblank = tabbed = spaced = 0
    words = tokens = 0  # outside the opening comment block
    total_len = 0
    prev_kind, prev_len = b'', 0
    opening = True  # still in the comment block the file opens with
    marked = False  # that block's marker counted (once: its length is the licence's)
    opened = False  # the first line past that block seen
    for line in lines:
        shape, kind = line_shape(line, prev_kind, prev_len)
        if shape:
            add(fnv(b'K' + shape))
        if kind:
            prev_kind, prev_len = kind, len(line.strip(b' \t\r\v\f'))
        toks = line_tokens(line)
        if not toks:
            continue
        nonblank += 1
        total_len += len(line)
        indent = b'n'
        if line[:1] == b'\t':
            indent = b't'
            tabbed += 1
        elif line[:1] == b' ':
            indent = b's'
            spaced += 1
        prev = b'^'
        opening = opening and comment_line(line)
        comment = opening
        used = toks if not comment else [] if marked else toks[:1]
        marked = marked or comment
        for idx, (kind, text) in enumerate(used):
            add(fnv(kind + text))
            add(fnv(b'B' + prev + b' ' + text))
            if idx == 0:
                add(fnv(b'L' + indent + text))
                if not comment and not opened:
                    # What a text opens with once past its licence: a
                    # package clause, an import, a declaration, a heading.
                    add(fnv(b'F' + text))
                    opened = True
            prev = text
        if not comment:
            add(fnv(b'E' + toks[-1][1]))
            words += sum(1 for k, _ in toks if k == b'w')
            tokens += len(toks)
    add(fnv(b'S' + b'tab' + bytes([48 + bucket(tabbed, nonblank)])))
    add(fnv(b'S' + b'spc' + bytes([48 + bucket(spaced, nonblank)])))
    mean = total_len // nonblank if nonblank else 0
    add(fnv(b'S' + b'len' + bytes([48 + min(mean.bit_length(), 12)])))
    # Prose is mostly words, code and data much punctuation.
    add(fnv(b'S' + b'wrd' + bytes([48 + bucket(words, tokens)])))
    return counts


def weight(n):
    """What n occurrences of a feature count: one, and one more per doubling."""
    return n.bit_length()


# ---------------------------------------------------------------- labelling

EXT = {
    'md': 'markdown', 'markdown': 'markdown',
    'rst': 'restructuredtext',
    'tex': 'tex', 'sty': 'tex', 'cls': 'tex', 'ltx': 'tex', 'dtx': 'tex',
    'c': 'c-source', 'h': 'c-header',
    'cpp': 'cpp-source', 'cc': 'cpp-source', 'cxx': 'cpp-source', 'hpp': 'cpp-source', 'hh': 'cpp-source',
    'hxx': 'cpp-source', 'ipp': 'cpp-source', 'tcc': 'cpp-source',
    'py': 'python-script', 'pm': 'perl-script', 'pl': 'perl-script',
    'rb': 'ruby-script', 'rake': 'ruby-script', 'gemspec': 'ruby-script',
    'lua': 'lua-script', 'js': 'javascript', 'mjs': 'javascript', 'cjs': 'javascript',
    'ts': 'typescript', 'mts': 'typescript', 'cts': 'typescript',
    'css': 'css', 'html': 'html', 'htm': 'html', 'xml': 'xml', 'svg': 'svg', 'json': 'json',
    'yml': 'yaml', 'yaml': 'yaml', 'toml': 'toml', 'ini': 'ini', 'desktop': 'desktop-entry',
    'service': 'systemd-unit', 'socket': 'systemd-unit', 'timer': 'systemd-unit', 'target': 'systemd-unit',
    'mount': 'systemd-unit', 'automount': 'systemd-unit', 'path': 'systemd-unit', 'slice': 'systemd-unit',
    'swap': 'systemd-unit',
    'csv': 'csv', 'tsv': 'tsv', 'sh': 'shell-script', 'bash': 'shell-script',
    'mk': 'makefile', 'make': 'makefile', 'cmake': 'cmake', 'sql': 'sql',
    'diff': 'diff', 'patch': 'diff', 'po': 'po', 'pot': 'po',
    'java': 'java-source', 'go': 'go-source', 'rs': 'rust-source', 'php': 'php',
    'tcl': 'tcl-script', 'r': 'r-source', 'el': 'elisp', 'scm': 'scheme-source', 'sld': 'scheme-source',
    'lisp': 'lisp-source', 'lsp': 'lisp-source', 'asd': 'lisp-source', 'awk': 'awk-script',
    'm4': 'm4', 'ac': 'm4', 'dockerfile': 'dockerfile', 'ps1': 'powershell', 'psm1': 'powershell',
    'psd1': 'powershell', 'bat': 'batch', 'cmd': 'batch', 's': 'asm-source', 'asm': 'asm-source',
}

SHEBANG = {
    'sh': 'shell-script', 'bash': 'shell-script', 'dash': 'shell-script', 'python': 'python-script',
    'perl': 'perl-script', 'ruby': 'ruby-script', 'lua': 'lua-script', 'node': 'javascript',
    'nodejs': 'javascript', 'tclsh': 'tcl-script', 'wish': 'tcl-script', 'awk': 'awk-script',
    'gawk': 'awk-script', 'php': 'php',
}

PROSE_NAMES = ('readme', 'news', 'todo', 'authors', 'thanks', 'changelog', 'changes', 'history', 'faq',
               'install', 'notes', 'bugs', 'credits', 'contributors', 'hacking')


def shebang_label(data):
    if not data.startswith(b'#!'):
        return None
    words = data[2:data.find(b'\n')].split()
    if not words:
        return None
    cmd = os.path.basename(words[0]).decode('latin-1')
    if cmd == 'env':
        rest = [w for w in words[1:] if not w.startswith(b'-') and b'=' not in w]
        if not rest:
            return None
        cmd = os.path.basename(rest[0]).decode('latin-1')
    for name, label in SHEBANG.items():
        if cmd == name or (cmd.startswith(name) and cmd[len(name):].replace('.', '').isdigit()):
            return label
    return None


# Folders that keep the inputs of a parser's tests: such files are often
# broken or wrapped on purpose (invalid TOML, JSON lines, archives of
# several texts), so their names do not say what they hold.
TEST_INPUT_FOLDERS = ('testdata', 'test-data', 'invalid', 'fixtures')

LICENSE_NAMES = ('copying', 'license', 'licence')

# Extensions of template engines' sources.
TEMPLATE_EXTENSIONS = ('j2', 'jinja', 'jinja2')


def label_of(path, pkg):
    """The format a file's location and name say, or None."""
    base = os.path.basename(path)
    low = base.lower()
    if low.endswith('.gz'):
        low = low[:-3]
    if any(part in TEST_INPUT_FOLDERS for part in path.lower().split('/')[:-1]):
        return None
    # A package's copyright file is the licences' prose (or a list of them).
    if low == 'copyright':
        return 'text' if path.startswith('/usr/share/doc/') else None
    # A licence's text, not code whose name starts with "license".
    if low.split('.')[0].split('-')[0] in LICENSE_NAMES and ('.' not in low or low.endswith('.txt')):
        return 'text'
    if '/man/' in path and ('/man' in os.path.dirname(path)):
        parts = low.split('.')
        if len(parts) >= 2 and parts[-1][:1].isdigit() or parts[-1] in ('n', 'l', 'man'):
            return 'troff'
    # A template engine's source (Dockerfile.j2) is that engine's format,
    # whatever it renders: its name's stem says what it makes, not what it is.
    templated = low.rsplit('.', 1)[-1] in TEMPLATE_EXTENSIONS if '.' in low[1:] else False
    if not templated and (low in ('makefile', 'gnumakefile') or low.startswith('makefile.')):
        return 'makefile'
    if low == 'cmakelists.txt':
        return 'cmake'
    if not templated and (low.startswith('dockerfile') or low.endswith('.dockerfile')):
        return 'dockerfile'
    if low in ('configure.ac', 'configure.in', 'aclocal.m4'):
        return 'm4'
    if low.endswith('.rst.txt'):
        return 'restructuredtext'
    if '/usr/share/bash-completion/completions/' in path:
        return 'shell-script'
    ext = low.rsplit('.', 1)[1] if '.' in low[1:] else ''
    if pkg == 'fail2ban' and ext in ('conf', 'local') and path.startswith('/etc/fail2ban/'):
        return 'ini'
    if ext in EXT:
        return EXT[ext]
    stem = low.split('.')[0]
    if '/usr/share/doc/' in path or '/doc/' in path:
        # The Debian maintainer's notes are prose too.
        if ext in ('', 'txt', 'debian', 'source') and (stem in PROSE_NAMES or ext == 'txt' or stem.startswith(PROSE_NAMES)):
            return 'text' if (ext, stem) != ('debian', 'changelog') else None
    return None


# ---------------------------------------------------------------- collection

def read_head(path):
    try:
        if path.endswith('.gz'):
            with gzip.open(path, 'rb') as f:
                return f.read(HEAD + 3)
        with open(path, 'rb') as f:
            return f.read(HEAD + 3)
    except (OSError, EOFError, gzip.BadGzipFile):
        return None


def plausible_text(data, label):
    if not data or len(data) < 32 or b'\x00' in data:
        return False
    try:
        data.decode('utf-8')
    except UnicodeDecodeError as e:
        if e.start < len(data) - 4:  # not merely cut inside a character
            return False
    if label == 'text':
        letters = sum(1 for c in data if 65 <= (c | 32) <= 122 and (c | 32) >= 97)
        if letters * 2 < len(data):
            return False
        # Mostly comment lines of code ("///" doc fragments meant to be
        # included in a source file) are code, not a document.
        lines = [l.lstrip() for l in data.split(b'\n') if l.strip()]
        if sum(1 for l in lines if l.startswith((b'//', b';;'))) * 2 > len(lines):
            return False
    return True


def package_files(pkg):
    out = subprocess.run(['dpkg', '-L', pkg], capture_output=True, check=False).stdout
    return sorted(p for p in out.decode('utf-8', 'replace').split('\n') if p.startswith('/'))


def package_items(pkg):
    """The labelled, plausible files of one package, sorted by path."""
    items = []  # (label, pkg, folder, sha, data)

    def take(label, path, data):
        if plausible_text(data, label):
            items.append((label, pkg, os.path.dirname(path), hashlib.sha1(data).hexdigest(), data))

    for path in package_files(pkg):
        if not os.path.isfile(path) or os.path.islink(path):
            continue
        if path.endswith('/src.zip'):
            with zipfile.ZipFile(path) as z:
                for name in sorted(z.namelist()):
                    if name.endswith('.java'):
                        with z.open(name) as f:
                            take('java-source', '/src.zip/' + name, f.read(HEAD + 3))
            continue
        label = label_of(path, pkg)
        data = None
        if label is None and '.' not in os.path.basename(path):
            data = read_head(path)
            label = shebang_label(data) if data else None
        if label is None:
            continue
        if data is None:
            data = read_head(path)
        take(label, path, data)
    return items


def installed(pkg):
    out = subprocess.run(['dpkg-query', '-W', '-f', '${Status}', pkg], capture_output=True, check=False).stdout
    return out.decode() == 'install ok installed'


def collect(out_path, cache_dir=None):
    """Every package's files, de-duplicated by content in the order of
    packages.txt (the first package that has a file keeps it). With
    `cache_dir`, each installed package's files are kept there and read
    back on the next run."""
    pkgs = []
    with open(os.path.join(HERE, 'packages.txt')) as f:
        for line in f:
            line = line.split('#', 1)[0].strip()
            if line:
                pkgs.append(line)
    seen = set()
    items = []
    for pkg in pkgs:
        cached = os.path.join(cache_dir, pkg + '.pickle') if cache_dir else None
        if cached and os.path.exists(cached):
            with open(cached, 'rb') as f:
                its = pickle.load(f)
        else:
            if not installed(pkg):
                print(f'{pkg}: not installed', file=sys.stderr)
            its = package_items(pkg)
            if cached and installed(pkg):
                with open(cached, 'wb') as f:
                    pickle.dump(its, f)
        for it in its:
            # A copyright file in the machine-readable format is a format of
            # its own, which the rules tell; only free-form ones are prose.
            # Its first line names the format: 'Format:', or a hyphenated
            # field name in the format's early drafts.
            if it[0] == 'text' and MACHINE_COPYRIGHT.match(it[4]):
                continue
            if it[3] not in seen:
                seen.add(it[3])
                items.append(it)
        print(f'{pkg}: {len(items)} files so far', file=sys.stderr)
    with open(out_path, 'wb') as f:
        pickle.dump(items, f)


# ---------------------------------------------------------------- split

def unit_hash(s):
    return int.from_bytes(hashlib.sha1(s.encode()).digest()[:4], 'little')


def split(items):
    """Held-out units are a fifth of the packages, chosen by hash. Where one
    or two packages hold most of a format's files (more than half of them),
    their folders are the units instead: otherwise the format would be
    learnt from one package and measured on others, or not measured; and
    where such a package keeps them in fewer than five folders, its files."""
    per_pkg = {}
    for label, pkg, folder, sha, data in items:
        per_pkg.setdefault(label, {}).setdefault(pkg, 0)
        per_pkg[label][pkg] += 1
    folders = {}
    for label, pkg, folder, sha, data in items:
        folders.setdefault((label, pkg), set()).add(folder)
    groups = {}
    for it in items:
        label, pkg, folder = it[0], it[1], it[2]
        counts = per_pkg[label]
        by_package = len(counts) >= 3 and counts[pkg] * 2 <= sum(counts.values())
        # A package that keeps a format in a folder or two is split by file.
        unit = pkg if by_package else pkg + ':' + (folder if len(folders[(label, pkg)]) >= 5 else it[3])
        groups.setdefault((label, unit), []).append(it)
    train, held = {}, {}
    for (label, unit), its in sorted(groups.items()):
        side = held if unit_hash(unit) % 5 == 0 else train
        side.setdefault(label, []).append((unit, sorted(its, key=lambda x: x[3])))
    # A format that fell wholly on one side gives one unit in five to the other.
    for label in sorted(set(train) | set(held)):
        if label not in held and len(train[label]) >= 2:
            units = sorted(train[label], key=lambda u: unit_hash(u[0]))
            held[label] = units[:max(1, len(units) // 5)]
            train[label] = units[len(held[label]):]
        if label not in train and len(held[label]) >= 2:
            units = sorted(held[label], key=lambda u: unit_hash(u[0]))
            train[label] = units[len(units) // 5:]
            held[label] = units[:len(units) // 5]

    def capped(units, cap):
        # Round robin over the units, so one big package does not fill the quota.
        units = sorted(units, key=lambda u: unit_hash(u[0]))
        out, k = [], 0
        while len(out) < cap:
            added = False
            for unit, its in units:
                if k < len(its) and len(out) < cap:
                    out.append(its[k])
                    added = True
            if not added:
                break
            k += 1
        return out

    tr = {label: capped(units, TRAIN_CAP) for label, units in train.items()}
    he = {label: capped(units, HELD_CAP) for label, units in held.items()}
    return tr, he


# ---------------------------------------------------------------- model

def featurize(split_set):
    docs, labels = [], []
    for label in sorted(split_set):
        for it in split_set[label]:
            docs.append(features(it[4]))
            labels.append(label)
    return docs, labels


def select_features(docs, labels, classes):
    per_class = {c: {} for c in classes}
    n_class = {c: 0 for c in classes}
    for d, l in zip(docs, labels):
        n_class[l] += 1
        pc = per_class[l]
        for h in d:
            pc[h] = pc.get(h, 0) + 1
    best = {}
    for c in classes:
        n = n_class[c]
        for h, df in per_class[c].items():
            if df >= 3:
                s = df / n
                if s > best.get(h, 0.0):
                    best[h] = s
    ranked = sorted(best.items(), key=lambda kv: (-kv[1], kv[0]))
    return sorted(h for h, _ in ranked[:FEATURES])


def train_weights(docs, labels, classes, feats):
    """Naive Bayes log probabilities, then softmax regression from there."""
    import numpy as np
    index = {h: i for i, h in enumerate(feats)}
    C, F = len(classes), len(feats)
    cls = {c: i for i, c in enumerate(classes)}
    rows = []
    for d in docs:
        idx = sorted(index[h] for h in d if h in index)
        w = [weight(d[feats[i]]) for i in idx]
        rows.append((np.array(idx, dtype=np.int64), np.array(w, dtype=np.float64)))
    y = np.array([cls[l] for l in labels])
    counts = np.zeros((F, C))
    for (idx, w), c in zip(rows, y):
        counts[idx, c] += w
    alpha = 0.2
    theta = np.log((counts + alpha) / (counts.sum(axis=0, keepdims=True) + alpha * F))
    W = theta - theta.mean(axis=1, keepdims=True)
    b = np.zeros(C)
    # Softmax regression, started from naive Bayes, in a fixed order. A
    # format with few files weighs more per file (up to BALANCE_MAX times):
    # otherwise the big ones absorb every text unlike all of them, prose
    # (few files, all sorts) most of all. The weights are averaged over
    # RUNS orders of the files: one order's model is one random draw, and a
    # small change to the labels draws another; the average holds still.
    n_class = np.bincount(y, minlength=C)
    cw = np.minimum(BALANCE_MAX, np.sqrt(n_class.max() / np.maximum(n_class, 1)))
    start_W, start_b = W, b
    sum_W, sum_b = np.zeros_like(W), np.zeros_like(b)
    for run in range(RUNS):
        W, b = start_W.copy(), start_b.copy()
        order = np.argsort(np.array([unit_hash(f'{run}:{i}') for i in range(len(rows))]), kind='stable')
        lr = 0.05
        for epoch in range(EPOCHS):
            for k in order:
                idx, w = rows[k]
                s = w @ W[idx] + b
                s -= s.max()
                p = np.exp(s)
                p /= p.sum()
                p[y[k]] -= 1.0
                p *= cw[y[k]]
                W[idx] -= lr * np.outer(w, p)
                b -= lr * 0.1 * p
            lr *= 0.5
        sum_W += W
        sum_b += b
    return sum_W / RUNS, sum_b / RUNS, rows


# Update orders the weights are averaged over.
RUNS = 4


EPOCHS = 3
BALANCE_MAX = 4.0


def quantize(W, b):
    import numpy as np
    W = W - W.mean(axis=1, keepdims=True)
    scale = float(np.abs(W).max()) / 127.0
    q = np.clip(np.rint(W / scale), -127, 127).astype(np.int8)
    qb = np.rint(b / scale).astype(np.int64)
    return q, qb, scale


def scores_q(q, qb, feats_index, doc):
    import numpy as np
    s = qb.astype(np.int64).copy()
    for h, n in doc.items():
        i = feats_index.get(h)
        if i is not None:
            s += weight(n) * q[i].astype(np.int64)
    return s


def softmax(s, units):
    m = max(s)
    e = [math.exp((v - m) / units) for v in s]
    t = sum(e)
    return [v / t for v in e]


def fit_temperature(all_scores, truth):
    """The score units per nat that give the held-out answers the most
    likelihood: the model's probabilities then mean what they say."""
    import numpy as np
    S = np.array(all_scores, dtype=np.float64)
    S -= S.max(axis=1, keepdims=True)
    t = np.array(truth)
    best = None
    for k in range(4, 800, 2):
        units = float(k)
        Z = S / units
        nll = float((np.log(np.exp(Z).sum(axis=1)) - Z[np.arange(len(t)), t]).sum())
        if best is None or nll < best[0]:
            best = (nll, units)
    return best[1]


def write_model(path, classes, feats, q, qb, units):
    slots = 1 << SLOT_BITS
    table = [(0, 0xFFFFFFFF)] * slots
    for row, h in enumerate(feats):
        s = h & (slots - 1)
        while table[s][0] != 0:
            s = (s + 1) & (slots - 1)
        table[s] = (h, row)
    out = io.BytesIO()
    out.write(b'VTXM')
    out.write(struct.pack('<7I', MODEL_VERSION, len(classes), len(feats), slots, HEAD, int(round(units * 1000)), 0))
    for c in classes:
        name = c.encode()
        out.write(name + b'\0' * (32 - len(name)))
    for v in qb:
        out.write(struct.pack('<i', int(v)))
    for h, row in table:
        out.write(struct.pack('<II', h, row))
    out.write(q.tobytes(order='C'))
    with open(path, 'wb') as f:
        f.write(out.getvalue())


PROSE = ('text', 'markdown', 'restructuredtext')
# What prose may be taken for without harm: other documents.
DOCUMENTS = PROSE + ('troff', 'tex', 'html', 'po', 'diff')
# A text is called a programming or data language only when that is at
# least this many times as probable as the likeliest prose; otherwise it is
# prose, with the language as the runner-up. vonk's Matcher applies the same
# margin (kProseMargin).
PROSE_MARGIN = 1.25


def guarded(s, classes, units):
    """The answer for scores `s`: the best class, unless it is code that
    prose comes close to."""
    g = max(range(len(s)), key=lambda i: (s[i], -i))
    if classes[g] in DOCUMENTS:
        return g
    p = max((i for i in range(len(s)) if classes[i] in PROSE), key=lambda i: (s[i], -i), default=None)
    if p is not None and (s[g] - s[p]) / units < math.log(PROSE_MARGIN):
        return p
    return g


def fit(data_path, model_path, report_path=None):
    with open(data_path, 'rb') as f:
        items = pickle.load(f)
    tr, he = split(items)
    # A format with too few files to learn from is left to its rules.
    tr = {c: v for c, v in tr.items() if len(v) >= MIN_FILES}
    classes = sorted(tr)
    print('training files per format:', {c: len(tr[c]) for c in classes}, file=sys.stderr)
    docs, labels = featurize(tr)
    feats = select_features(docs, labels, classes)
    W, b, _ = train_weights(docs, labels, classes, feats)
    q, qb, scale = quantize(W, b)
    index = {h: i for i, h in enumerate(feats)}
    hdocs, hlabels = featurize({c: v for c, v in he.items() if c in tr})
    cls = {c: i for i, c in enumerate(classes)}
    all_scores = [list(scores_q(q, qb, index, d)) for d in hdocs]
    truth = [cls[l] for l in hlabels]
    units = fit_temperature(all_scores, truth)
    write_model(model_path, classes, feats, q, qb, units)
    # Per-format precision and recall on the held-out part.
    tp, fp, fn, n = {}, {}, {}, {}
    prose_as_code = prose_total = 0
    confusions = {}
    for s, t in zip(all_scores, truth):
        g = guarded(s, classes, units)
        tl, gl = classes[t], classes[g]
        n[tl] = n.get(tl, 0) + 1
        if g == t:
            tp[tl] = tp.get(tl, 0) + 1
        else:
            fp[gl] = fp.get(gl, 0) + 1
            fn[tl] = fn.get(tl, 0) + 1
            confusions[(tl, gl)] = confusions.get((tl, gl), 0) + 1
        if tl in PROSE:
            prose_total += 1
            prose_as_code += gl not in DOCUMENTS
    right = sum(tp.values())
    lines = ['format\theld-out files\tprecision\trecall']
    for c in classes:
        if c not in n:
            lines.append(f'{c}\t0\t-\t-')
            continue
        p = tp.get(c, 0) / max(1, tp.get(c, 0) + fp.get(c, 0))
        r = tp.get(c, 0) / n[c]
        lines.append(f'{c}\t{n[c]}\t{100 * p:.1f}\t{100 * r:.1f}')
    lines.append(f'overall\t{len(truth)}\t\t{100 * right / max(1, len(truth)):.2f}')
    lines.append(f'prose called code\t{prose_as_code} of {prose_total}')
    lines.append(f'features {len(feats)}, classes {len(classes)}, score units per nat {units:.1f}')
    for (a, g), k in sorted(confusions.items(), key=lambda kv: -kv[1])[:25]:
        lines.append(f'confused\t{a} -> {g}\t{k}')
    text = '\n'.join(lines) + '\n'
    print(text)
    if report_path:
        with open(report_path, 'w') as f:
            f.write(text)


def read_whole(path):
    try:
        if path.endswith('.gz'):
            with gzip.open(path, 'rb') as f:
                return f.read()
        with open(path, 'rb') as f:
            return f.read()
    except (OSError, EOFError, gzip.BadGzipFile):
        return None


def whole_file(it, listing):
    """The whole file whose head an item keeps: the head is all the model
    reads, but a user has the whole file, and a head cut inside a value is
    no longer the format it was cut from. `listing` caches each package's
    files. Falls back to the head when the file is gone."""
    label, pkg, folder, sha, data = it
    if len(data) <= HEAD:
        return data  # read whole already
    if pkg not in listing:
        listing[pkg] = package_files(pkg)
    if folder.startswith('/src.zip/') or folder == '/src.zip':
        inner = folder[len('/src.zip/'):]
        for path in listing[pkg]:
            if not path.endswith('/src.zip') or not os.path.isfile(path):
                continue
            with zipfile.ZipFile(path) as z:
                for name in sorted(z.namelist()):
                    if os.path.dirname(name) == inner and name.endswith('.java'):
                        with z.open(name) as f:
                            whole = f.read()
                        if hashlib.sha1(whole[:HEAD + 3]).hexdigest() == sha:
                            return whole
        return data
    for path in listing[pkg]:
        if os.path.dirname(path) != folder or not os.path.isfile(path) or os.path.islink(path):
            continue
        head = read_head(path)
        if head is not None and hashlib.sha1(head).hexdigest() == sha:
            whole = read_whole(path)
            if whole is not None:
                return whole
    return data


def export(data_path, out_dir):
    """Writes the held-out files whole, one folder per format, for the
    benchmark that runs vonk itself over them (bench/vonk/text.sh)."""
    with open(data_path, 'rb') as f:
        items = pickle.load(f)
    _, he = split(items)
    rows = []
    listing = {}
    for label in sorted(he):
        os.makedirs(os.path.join(out_dir, label), exist_ok=True)
        for k, it in enumerate(he[label]):
            rel = f'{label}/{k:05d}'
            with open(os.path.join(out_dir, rel), 'wb') as f:
                f.write(whole_file(it, listing))
            rows.append(f'{rel}\t{label}\t{it[1]}\n')
    with open(os.path.join(out_dir, 'labels.tsv'), 'w') as f:
        f.write('path\tlabel\tpackage\n')
        f.writelines(rows)


if __name__ == '__main__':
    if len(sys.argv) >= 3 and sys.argv[1] == 'collect':
        collect(sys.argv[2], sys.argv[3] if len(sys.argv) > 3 else None)
    elif len(sys.argv) >= 4 and sys.argv[1] == 'export':
        export(sys.argv[2], sys.argv[3])
    elif len(sys.argv) >= 4 and sys.argv[1] == 'fit':
        fit(sys.argv[2], sys.argv[3], sys.argv[4] if len(sys.argv) > 4 else None)
    else:
        sys.exit(__doc__)
