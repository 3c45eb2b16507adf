#!/bin/sh
# Installs the build into a temporary prefix, then runs the installed program from there: its
# version, and a snapshot of each view of a folder, taking its resources from share/ketra.
# Usage: install_test.sh CMAKE BUILD_DIR
set -eu
cmake_command=$1
build=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

"$cmake_command" --install "$build" --prefix "$prefix" > "$prefix/install.log"
for f in bin/ketra include/treescan.h share/ketra/ext.txt share/ketra/help.htm \
         share/ketra/media share/applications/ketra.desktop \
         share/icons/hicolor/scalable/apps/ketra.svg share/icons/hicolor/256x256/apps/ketra.png; do
    if [ ! -e "$prefix/$f" ]; then
        echo "not installed: $f"
        exit 1
    fi
done
desktop-file-validate "$prefix/share/applications/ketra.desktop"

"$prefix/bin/ketra" --version | grep -q '^ketra [0-9]'

# A settings store and cache of its own; the program's resources only from the prefix.
export XDG_CONFIG_HOME="$prefix/config" XDG_CACHE_HOME="$prefix/cache"
mkdir -p "$prefix/tree/sub"
head -c 5000 /dev/zero > "$prefix/tree/a.txt"
for view in 3d details; do
    "$prefix/bin/ketra" --snapshot "$prefix/$view.png" --view "$view" "$prefix/tree" 2> "$prefix/err.txt" || {
        cat "$prefix/err.txt"
        exit 1
    }
    if grep -q 'no colour file' "$prefix/err.txt"; then
        echo "the installed program did not find share/ketra/ext.txt"
        exit 1
    fi
    [ -s "$prefix/$view.png" ]
done
ldd "$prefix/bin/ketra" | grep -q "libtreescan.so.0 => $prefix/" || {
    echo "the installed program does not use the installed library:"
    ldd "$prefix/bin/ketra" | grep treescan
    exit 1
}
echo "1 passed, 0 failed"
