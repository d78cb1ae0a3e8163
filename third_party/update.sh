#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Refreshes the committed copies of the type databases the build imports.
#   bash third_party/update.sh [TIKA_DIR]
# Debian packages are fetched with `apt-get download` (run `apt-get update`
# first for the newest versions), unpacked in a scratch folder and the
# files we import copied here with the package's copyright file and an
# ORIGIN note (package, version, origin, licence). Nothing is installed.
# TIKA_DIR holds tika-mimetypes.xml, LICENSE.txt and NOTICE.txt (default:
# shared/third-party/tika beside the checkout).
# Review `git diff --stat third_party` afterwards: a new version changes the
# database, so rebuild and run the accuracy benches before committing.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
tika_dir=${1:-$here/../../shared/third-party/tika}

die() { echo "update.sh: $*" >&2; exit 2; }
command -v apt-get >/dev/null || die "apt-get is needed to fetch the Debian packages"
command -v dpkg-deb >/dev/null || die "dpkg-deb is needed to unpack them"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# apt drops privileges to _apt for the download; let it write here.
chmod 777 "$work"

# fetch PACKAGE: downloads and unpacks it into $work/PACKAGE; prints nothing.
fetch() {
    (cd "$work" && apt-get download -q "$1" >/dev/null) || die "cannot download Debian package $1"
    local deb
    deb=$(ls "$work"/"$1"_*.deb | head -n1)
    mkdir -p "$work/$1"
    dpkg-deb -x "$deb" "$work/$1"
    dpkg-deb -f "$deb" Version > "$work/$1.version"
}

# origin DEST PACKAGE FILE LICENCE: writes DEST/ORIGIN.
origin() {
    local dest=$1 pkg=$2 file=$3 licence=$4
    {
        echo "source: $pkg"
        echo "version: $(cat "$work/$pkg.version")"
        echo "origin: Debian 12 package $pkg, $file"
        echo "licence: $licence (copyright: the package's Debian copyright file)"
    } > "$dest/ORIGIN"
}

# Shared-mime-info package files, one folder per Debian package. The first
# is the main database; the build reads it first, the others by name.
mime_packages=(
    "shared-mime-info freedesktop.org.xml GPL-2.0-or-later"
    "chemical-mime-data chemical-mime-data.xml LGPL-2.1-or-later"
    "fontforge-common fontforge.xml GPL-3.0-or-later"
    "fuse-emulator-common fuse.xml GPL-2.0-or-later"
    "gcr gcr-crypto-types.xml LGPL-2.1-or-later"
    "gwyddion-common gwyddion.xml GPL-2.0-or-later"
    "libkf5coreaddons-data kde5.xml LGPL-2.0-or-later"
    "libreoffice-common libreoffice.xml MPL-2.0"
    "wireshark-common org.wireshark.Wireshark.xml GPL-2.0-or-later"
)
rm -rf "$here/mime-info"
for entry in "${mime_packages[@]}"; do
    read -r pkg file licence <<< "$entry"
    fetch "$pkg"
    dest=$here/mime-info/$pkg
    mkdir -p "$dest"
    cp "$work/$pkg/usr/share/mime/packages/$file" "$dest/"
    cp "$work/$pkg/usr/share/doc/$pkg/copyright" "$dest/copyright"
    origin "$dest" "$pkg" "/usr/share/mime/packages/$file" "$licence"
    echo "mime-info/$pkg: $file $(cat "$work/$pkg.version")"
done

# puremagic's flat signature list.
fetch python3-puremagic
dest=$here/puremagic
rm -rf "$dest" && mkdir -p "$dest"
cp "$work"/python3-puremagic/usr/lib/python3/dist-packages/puremagic/magic_data.json "$dest/"
cp "$work"/python3-puremagic/usr/share/doc/python3-puremagic/copyright "$dest/copyright"
origin "$dest" python3-puremagic /usr/lib/python3/dist-packages/puremagic/magic_data.json MIT
echo "puremagic: magic_data.json $(cat "$work/python3-puremagic.version")"

# Tika's type list, with its licence and the notice that must travel with it.
if [ -f "$tika_dir/tika-mimetypes.xml" ]; then
    dest=$here/tika
    rm -rf "$dest" && mkdir -p "$dest"
    cp "$tika_dir/tika-mimetypes.xml" "$tika_dir/LICENSE.txt" "$tika_dir/NOTICE.txt" "$dest/"
    version=$(sed -n 's/^| `tika\/` .*| \(main at [0-9a-f]* ([0-9-]*)\) .*/\1/p' "$tika_dir/../README.md" 2>/dev/null || true)
    {
        echo "source: tika"
        echo "version: ${version:-unknown}"
        echo "origin: Apache Tika, tika-core/src/main/resources/org/apache/tika/mime/tika-mimetypes.xml"
        echo "licence: Apache-2.0 (LICENSE.txt; NOTICE.txt must be kept with it)"
    } > "$dest/ORIGIN"
    echo "tika: tika-mimetypes.xml ${version:-unknown}"
else
    echo "update.sh: no tika-mimetypes.xml in $tika_dir; tika/ left as it is" >&2
fi
