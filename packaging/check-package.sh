#!/bin/sh
# Checks the Debian package that `make package` left in BUILD_DIR: lintian reports no error; it
# holds what an install puts in place; its dependencies were read off the binaries; no binary in
# it carries a run path; its metainfo, desktop entry and icon agree (appstreamcli validate-tree).
# Usage: check-package.sh BUILD_DIR
set -eu
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
set -- "$build"/ketra_*.deb
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "check-package: want one ketra_*.deb in $build, found: $*"
    exit 1
fi
deb=$(realpath "$1")
failed=0
fail() {
    echo "check-package: $*"
    failed=1
}

echo "== lintian $deb"
lintian --fail-on error --display-level ">=warning" "$deb" || fail "lintian reports errors"

dpkg-deb -x "$deb" "$scratch/root"
cd "$scratch/root"
for f in usr/bin/ketra usr/bin/treescan usr/include/treescan.h usr/share/ketra/ext.txt \
         usr/share/ketra/help.htm usr/share/ketra/media usr/share/applications/ketra.desktop \
         usr/share/metainfo/org.ketra.Ketra.metainfo.xml usr/share/icons/hicolor/scalable/apps/ketra.svg \
         usr/share/man/man1/ketra.1.gz usr/share/man/man1/treescan.1.gz usr/share/doc/ketra/copyright \
         usr/share/doc/ketra/changelog.gz; do
    [ -e "$f" ] || fail "not in the package: /$f"
done
for size in 16 22 24 32 48 64 128 256; do
    [ -e "usr/share/icons/hicolor/${size}x$size/apps/ketra.png" ] || fail "no ${size}x$size icon"
done
for f in libtreescan.so.0 pkgconfig/treescan.pc cmake/treescan/treescanConfig.cmake; do
    [ -n "$(find usr/lib -path "*/$f")" ] || fail "not in the package: $f"
done

depends=$(dpkg-deb -f "$deb" Depends)
echo "== Depends: $depends"
for lib in libc6 libstdc++6 libqt6widgets6 libqt6opengl6; do
    echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib (dpkg-shlibdeps did not run?)"
done
for binary in usr/bin/*; do
    if readelf -d "$binary" | grep -Eq 'R(UN)?PATH'; then
        fail "/$binary carries a run path: $(readelf -d "$binary" | grep -E 'R(UN)?PATH')"
    fi
done

if dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -Eq 'post(inst|rm)$'; then
    fail "the package has maintainer scripts (a postrm keeps it listed after apt remove)"
fi
version=$(dpkg-deb -f "$deb" Version)
zcat usr/share/doc/ketra/changelog.gz | head -n 1 | grep -q "^ketra ($version)" ||
    fail "the newest entry of packaging/changelog is not version $version"

echo "== appstreamcli validate-tree"
appstreamcli validate-tree --no-net "$scratch/root" || fail "appstreamcli validate-tree fails"
exit "$failed"
