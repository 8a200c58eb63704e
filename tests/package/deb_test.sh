#!/usr/bin/env bash
# The Debian package as ./dev.sh package makes it, from this build's
# programs (cpack over the build's install rules, as in the release
# build): its name and control fields (libBigWig's package among the
# dependencies, since the programs load it at run time where dpkg-shlibdeps
# cannot see it), its files unpacked with dpkg-deb -x, the unpacked
# quillet-map run, lintian without an error, the AppStream file and the
# desktop entry valid, and the file types the same in the MIME file, the
# desktop entry and the AppStream file. Skipped (77) where a tool is not
# installed.
# Usage: deb_test.sh CPACK BUILD_DIR SOURCE_DIR WORK_DIR VERSION APP_ID BIGWIG_LIBRARY
set -uo pipefail
cpack=$1 build=$2 src=$3 work=$4 version=$5 id=$6 bigwig=$7
for tool in dpkg-deb dpkg-query lintian appstreamcli desktop-file-validate update-mime-database objdump; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (./dev.sh package installs it)"; exit 77; }
done
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

started=$SECONDS
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >cpack.log 2>&1 || { cat cpack.log; exit 1; }
deb=quillet_${version}_amd64.deb
[ -f "$deb" ] || { echo "FAIL: no $deb: $(ls)"; exit 1; }
echo "cpack: $((SECONDS - started)) s"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package) $(field Version) $(field Section)" = "quillet $version science" ] ||
    fail "control: $(dpkg-deb -f "$deb")"
grep -Eq '^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$' <<<"$(field Maintainer)" || fail "maintainer: $(field Maintainer)"
depends=$(field Depends | tr -d ' ' | tr ',' '\n' | sed 's/(.*//')
# The package that holds the library under the name the program loads.
soname=$(objdump -p "$bigwig" | awk '$1 == "SONAME" { print $2 }')
bigwig_package=$(dpkg-query -S "/$soname" 2>/dev/null | head -1 | cut -d: -f1)
[ -n "$bigwig_package" ] || bigwig_package=$(dpkg-query -S "*/$soname" | head -1 | cut -d: -f1)
for package in "$bigwig_package" libqt6widgets6 libqt6svg6 libisal2 libzstd1; do
    grep -qx "$package" <<<"$depends" || fail "Depends lacks $package: $(field Depends)"
done

# The files, unpacked as dpkg would.
dpkg-deb -x "$deb" root || exit 1
for f in usr/bin/quillet usr/bin/quillet-map "usr/share/applications/$id.desktop" \
         "usr/share/metainfo/$id.metainfo.xml" usr/share/mime/packages/quillet-fasta.xml \
         usr/share/icons/hicolor/{16x16,32x32,48x48}/apps/quillet.png usr/share/icons/hicolor/scalable/apps/quillet.svg \
         usr/share/doc/quillet/copyright usr/share/doc/quillet/changelog.gz; do
    [ -f "root/$f" ] || fail "the package lacks /$f"
done
if ldd root/usr/bin/quillet root/usr/bin/quillet-map | grep -q 'not found'; then
    fail "unresolved libraries: $(ldd root/usr/bin/quillet root/usr/bin/quillet-map | grep 'not found')"
fi
# The unpacked quillet-map: its version, the summary of one record, and a
# bigWig, for which it loads libBigWig.
run() { env -i PATH=/usr/bin:/bin root/usr/bin/quillet-map "$@"; }
[ "$(run --version 2>&1)" = "quillet-map $version" ] || fail "--version: $(run --version 2>&1)"
summary=$(run -w 1000 -s 500 --values phix.bw --summary "$src/samples/phix174.fa" 2>&1)
[ "$(sed -n 2p <<<"$summary" | cut -f3,6)" = $'5386\t9' ] && [ "$(wc -l <<<"$summary")" -eq 2 ] ||
    fail "summary: $summary"
[ "$(od -An -tx4 -N4 phix.bw 2>/dev/null | tr -d ' ')" = 888ffc26 ] || fail "phix.bw is no bigWig: $(ls -l phix.bw)"

# lintian: no error (its warnings and notes are shown).
lintian "$deb" >lintian.log 2>&1
grep -v '^running with root privileges' lintian.log
! grep -q '^E:' lintian.log || fail "lintian found errors"
# The AppStream file, with the desktop entry it names, and the desktop entry.
appstreamcli validate-tree --no-net root >appstream.log 2>&1 || fail "appstreamcli: $(cat appstream.log)"
desktop-file-validate "root/usr/share/applications/$id.desktop" || fail "desktop-file-validate"
grep -q "<id>$id</id>" "root/usr/share/metainfo/$id.metainfo.xml" || fail "the AppStream ID is not $id"
newest=$(grep -o -m1 '<release version="[^"]*"' "root/usr/share/metainfo/$id.metainfo.xml" | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "the AppStream file's newest release is $newest, not $version"

# The MIME file builds a database without a complaint (its folder on the
# search path, so no note says it is not), where a compressed FASTA name
# has its own type; the desktop entry opens, and the AppStream file names,
# the types it defines.
cp -r root/usr/share/mime mime
XDG_DATA_DIRS=$PWD XDG_DATA_HOME=$PWD update-mime-database mime >mime.log 2>&1 && [ ! -s mime.log ] ||
    fail "update-mime-database: $(cat mime.log)"
for glob in '*.fa:text/x-fasta' '*.fasta.gz:application/x-compressed-fasta' '*.fa.zst:application/x-zstd-compressed-fasta' \
            '*.fna.xz:application/x-xz-compressed-fasta' '*.fa.bz2:application/x-bzip-compressed-fasta'; do
    grep -qxF "50:${glob#*:}:${glob%%:*}" mime/globs2 || fail "globs2 lacks $glob"
done
types=$(grep -o '<mime-type type="[^"]*"' root/usr/share/mime/packages/quillet-fasta.xml | cut -d'"' -f2 | sort)
[ "$(grep '^MimeType=' "root/usr/share/applications/$id.desktop" | cut -d= -f2 | tr ';' '\n' | grep . | sort)" = "$types" ] ||
    fail "the desktop entry's MimeType is not the MIME file's types ($(tr '\n' ' ' <<<"$types"))"
[ "$(grep -o '<mediatype>[^<]*' "root/usr/share/metainfo/$id.metainfo.xml" | cut -d'>' -f2 | sort)" = "$types" ] ||
    fail "the AppStream file's media types are not the MIME file's types"

echo "package test: $((SECONDS - started)) s"
echo "$failures failed"
[ "$failures" -eq 0 ]
