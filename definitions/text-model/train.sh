#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Retrains the text model: installs the Debian packages of packages.txt (as
# root, through apt-get), labels their text files, trains, and writes
# model.bin beside this script plus the held-out figures in heldout.tsv.
# The normal build never runs this; it compiles the committed model.bin.
#   bash definitions/text-model/train.sh [--no-install] [WORK_DIR]
# The same package versions give a byte-identical model.bin.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
install=1
if [ "${1:-}" = "--no-install" ]; then
    install=0
    shift
fi
work=${1:-$(mktemp -d)}
mkdir -p "$work"
if [ "$install" = 1 ]; then
    mapfile -t pkgs < <(sed 's/#.*//' "$here/packages.txt" | awk 'NF { print $1 }')
    # numpy does the training's arithmetic (with the system python3, which
    # sees Debian's python3-numpy).
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends python3-numpy "${pkgs[@]}"
fi
# One thread and a fixed hash seed: sums in the same order on every run.
export OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 PYTHONHASHSEED=0
mkdir -p "$work/packages"
/usr/bin/python3 "$here/train.py" collect "$work/files.pickle" "$work/packages"
/usr/bin/python3 "$here/train.py" fit "$work/files.pickle" "$here/model.bin" "$here/heldout.tsv"
sha256sum "$here/model.bin"
