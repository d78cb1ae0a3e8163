#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build tree into a temporary DESTDIR the way the Debian package
# does (prefix /usr) and checks the result as a user would meet it: the
# layout, the links in bin/, the installed identifier run from elsewhere,
# the desktop entry, the AppStream metadata, the icons and the manual pages.
#
#   check_install.sh CMAKE BUILD_DIR PROJECT_VERSION
set -u

cmake_bin=$1
build_dir=$2
version=$3

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
stage=$tmp/stage
root=$stage/usr

if ! DESTDIR=$stage "$cmake_bin" --install "$build_dir" --prefix /usr >"$tmp/install.log" 2>&1; then
    cat "$tmp/install.log"
    echo "FAIL: cmake --install"
    exit 1
fi
pass "cmake --install into DESTDIR"

# --- layout -----------------------------------------------------------------
while read -r kind path; do
    [ -z "$kind" ] && continue
    case $kind in
        exe)  [ -f "$root/$path" ] && [ -x "$root/$path" ] && pass "$path executable" || fail "$path missing or not executable" ;;
        file) [ -s "$root/$path" ] && pass "$path present" || fail "$path missing or empty" ;;
    esac
done <<'LIST'
exe  lib/gui-vonk/gui-vonk
exe  lib/gui-vonk/cmd
exe  lib/gui-vonk/vonk
file lib/gui-vonk/VonkDefs.vkd
file share/applications/org.example.GuiVonk.desktop
file share/metainfo/org.example.GuiVonk.metainfo.xml
file share/gui-vonk/definitions/README.md
file share/doc/gui-vonk/copyright
LIST
grep -qx "License: GPL-3+" "$root/share/doc/gui-vonk/copyright" 2>/dev/null \
    && pass "copyright names the licence" || fail "copyright does not name GPL-3+"

# Links in bin/ must be relative (they are made before the prefix is known
# and must survive DESTDIR staging) and lead into the program folder.
# The definition learner is optional in the tree: checked once it is built.
optional=()
[ -e "$root/lib/gui-vonk/vonk-scan" ] && optional+=(vonk-scan)
for program in gui-vonk vonk vonk-defs "${optional[@]}"; do
    link=$root/bin/$program
    if [ ! -L "$link" ]; then
        fail "bin/$program is not a symbolic link"
        continue
    fi
    target=$(readlink "$link")
    case $target in
        /*) fail "bin/$program points to an absolute path: $target" ;;
        *)  if [ "$(readlink -f "$link")" = "$(readlink -f "$root/lib/gui-vonk/$program")" ] && [ -x "$link" ]; then
                pass "bin/$program -> $target"
            else
                fail "bin/$program -> $target does not reach lib/gui-vonk/$program"
            fi ;;
    esac
done

# The private programs must not point back into the build tree: an installed
# copy would otherwise load libraries from a folder that may be gone.
if command -v readelf >/dev/null; then
    for exe in "$root"/lib/gui-vonk/*; do
        [ -f "$exe" ] && [ -x "$exe" ] || continue
        if readelf -d "$exe" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -qF "$build_dir"; then
            fail "$(basename "$exe") keeps a run path into the build tree"
        fi
    done
    pass "no run path into the build tree"
fi

# Icons: each hicolor size holds a PNG of exactly that size.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{ printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8 }'; }
icons=0
for dir in "$root"/share/icons/hicolor/*/apps; do
    [ -d "$dir" ] || continue
    size=$(basename "$(dirname "$dir")")
    icon=$dir/gui-vonk.png
    if [ -f "$icon" ] && [ "$(png_size "$icon")" = "$size" ]; then
        icons=$((icons + 1))
    else
        fail "icon $size/apps/gui-vonk.png missing or not $size"
    fi
done
for size in 16x16 32x32 48x48; do
    [ -f "$root/share/icons/hicolor/$size/apps/gui-vonk.png" ] || fail "no $size icon"
done
pass "$icons icon sizes checked"

# --- the installed identifier, run from another working directory ---------
work=$tmp/work
mkdir -p "$work/samples/sub"
printf '\x89PNG\r\n\x1a\n\x00\x00\x00\x0dIHDR\x00\x00\x00\x01\x00\x00\x00\x01\x08\x02\x00\x00\x00\x90\x77\x53\xde\x00\x00\x00\x0cIDATx\x9cc\xf8\x0f\x00\x00\x01\x01\x00\x05\x18\xd8N\x00\x00\x00\x00IEND\xaeB`\x82' >"$work/samples/picture.dat"
printf 'GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff!\xf9\x04\x01\x00\x00\x00\x00,\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02D\x01\x00;' >"$work/samples/anim.bin"
printf 'plain words in a file\n' >"$work/samples/notes"
printf '%%PDF-1.4\n%%\xe2\xe3\xcf\xd3\n' >"$work/samples/sub/deep.pdf"
cd "$tmp" || exit 1
vonk=$root/bin/vonk

out=$(cd "$work" && "$vonk" samples/picture.dat 2>&1); rc=$?
if [ $rc -eq 0 ] && grep -q 'picture\.dat' <<<"$out" && grep -q '\.png' <<<"$out"; then
    pass "bin/vonk identifies a PNG named .dat"
else
    fail "bin/vonk on a PNG (exit $rc): $out"
fi

out=$(cd "$work" && "$vonk" samples 2>&1); rc=$?
if [ $rc -eq 0 ] && grep -q 'picture\.dat' <<<"$out" && grep -q 'anim\.bin' <<<"$out" \
    && grep -q 'notes' <<<"$out" && grep -q '\.gif' <<<"$out" && grep -q '\.png' <<<"$out"; then
    pass "bin/vonk on a folder reports every file in it"
else
    fail "bin/vonk on a folder (exit $rc): $out"
fi

out=$(cd "$work" && "$vonk" -s --tsv samples 2>&1); rc=$?
if [ $rc -eq 0 ] && [ "$(grep -c . <<<"$out")" -eq 4 ] && grep -q 'deep\.pdf' <<<"$out"; then
    pass "bin/vonk -s --tsv descends into subfolders, one line per file"
else
    fail "bin/vonk -s --tsv (exit $rc): $out"
fi

out=$("$vonk" --version 2>&1); rc=$?
if [ $rc -eq 0 ] && grep -qF "$version" <<<"$out"; then
    pass "bin/vonk --version: $out"
else
    fail "bin/vonk --version (exit $rc) does not name $version: $out"
fi

# The identifier must find the database beside the resolved executable, not
# in the working directory or the build tree: without the installed copy it
# has to fail when run from a working directory that holds none.
mv "$root/lib/gui-vonk/VonkDefs.vkd" "$tmp/VonkDefs.vkd.away"
out=$(cd "$work" && "$vonk" samples/picture.dat 2>&1); rc=$?
mv "$tmp/VonkDefs.vkd.away" "$root/lib/gui-vonk/VonkDefs.vkd"
if [ $rc -eq 2 ] && [ -n "$out" ]; then
    pass "without the installed database bin/vonk fails clearly (exit 2)"
else
    fail "bin/vonk without its installed database: exit $rc, output: $out"
fi

# --- desktop entry and metadata -------------------------------------------
desktop=$root/share/applications/org.example.GuiVonk.desktop
metainfo=$root/share/metainfo/org.example.GuiVonk.metainfo.xml
if command -v desktop-file-validate >/dev/null; then
    if out=$(desktop-file-validate "$desktop" 2>&1) && [ -z "$out" ]; then
        pass "desktop-file-validate"
    else
        fail "desktop-file-validate: $out"
    fi
else
    echo "skip: desktop-file-validate not installed"
fi
if command -v appstreamcli >/dev/null; then
    if out=$(appstreamcli validate --no-net "$metainfo" 2>&1); then
        pass "appstreamcli validate --no-net"
    else
        fail "appstreamcli validate: $out"
    fi
else
    echo "skip: appstreamcli not installed"
fi
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$root/bin/$exec_name" ] && pass "Exec=$exec_name is installed in bin/" || fail "Exec=$exec_name is not in bin/"
[ -f "$root/share/icons/hicolor/48x48/apps/$icon_name.png" ] && pass "Icon=$icon_name is installed" || fail "Icon=$icon_name has no icon file"
grep -qF "<project_license>GPL-3.0-or-later</project_license>" "$metainfo" \
    && pass "metainfo names the licence" || fail "metainfo names no project licence"
grep -qF "<release version=\"$version\"" "$metainfo" && pass "metainfo names release $version" || fail "metainfo does not name release $version"
grep -qF "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" \
    && pass "metainfo launches the installed desktop entry" || fail "metainfo launchable does not match $(basename "$desktop")"

# --- manual pages ----------------------------------------------------------
page_text() { if [[ $1 == *.gz ]]; then gzip -dc "$1"; else cat "$1"; fi; }
find_page() { ls "$root/share/man/man1/$1.1" "$root/share/man/man1/$1.1.gz" 2>/dev/null | head -n 1; }
pages=(gui-vonk)
command -v help2man >/dev/null && pages+=(vonk vonk-defs "${optional[@]}")
for name in "${pages[@]}"; do
    page=$(find_page "$name")
    if [ -z "$page" ]; then
        fail "manual page $name(1) not installed"
        continue
    fi
    text=$(page_text "$page")
    if grep -q '^\.SH NAME' <<<"$text" && grep -q "^$name \\\\- \|^${name//-/\\\\-} \\\\- " <<<"$text"; then
        pass "$name(1) installed with a NAME line"
    else
        fail "$name(1) has no proper NAME section"
    fi
done
# Every long option the identifier accepts is described in its page.
page=$(find_page vonk)
if [ -n "$page" ]; then
    text=$(page_text "$page")
    missing=""
    for opt in $("$vonk" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
        grep -qF -- "${opt//-/\\-}" <<<"$text" || missing="$missing $opt"
    done
    [ -z "$missing" ] && pass "vonk(1) lists every option of vonk --help" || fail "vonk(1) lacks:$missing"
    for section in 'EXIT STATUS' 'REPORT' 'FILES' 'ADDING DEFINITIONS'; do
        grep -q "^\.SH \"\?$section" <<<"$text" || fail "vonk(1) has no $section section"
    done
fi

if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all install checks passed"
