#!/bin/sh
# Installs the build into a temporary prefix, then builds a small C program against the installed
# library twice, through pkg-config and through find_package(treescan CONFIG), and runs each on a
# folder made here: both must print its total.
# Usage: library_test.sh CMAKE BUILD_DIR CONSUMER_SOURCE_DIR C_COMPILER VERSION
set -eu
cmake_command=$1 build=$2 consumer=$3 cc=$4 version=$5
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

"$cmake_command" --install "$build" --prefix "$prefix" > "$scratch/install.log"

mkdir -p "$scratch/tree/sub/.deeper"
head -c 5000 /dev/zero > "$scratch/tree/a.bin"
head -c 1200 /dev/zero > "$scratch/tree/sub/b.bin"
head -c 34 /dev/zero > "$scratch/tree/sub/.deeper/c.bin"
expected="6234 3 2"

check() { # how, program
    got=$("$2" "$scratch/tree") || { echo "$1: the program failed on the folder"; exit 1; }
    [ "$got" = "$expected" ] || { echo "$1: the program printed \"$got\", not \"$expected\""; exit 1; }
}

# pkg-config, with the .pc file where the install put it.
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name treescan.pc)")
export PKG_CONFIG_PATH
[ "$(pkg-config --modversion treescan)" = "$version" ] || {
    echo "pkg-config gives version $(pkg-config --modversion treescan), not $version"
    exit 1
}
# shellcheck disable=SC2046 # the flags are words
"$cc" -std=c99 -Wall -Wextra -Werror $(pkg-config --cflags treescan) -o "$scratch/by_pkg_config" \
    "$consumer/size_folder.c" $(pkg-config --libs treescan)
LD_LIBRARY_PATH=$(pkg-config --variable=libdir treescan) check pkg-config "$scratch/by_pkg_config"

# CMake's package, into a build folder of the program's own.
"$cmake_command" -S "$consumer" -B "$scratch/consumer" -G Ninja -DCMAKE_C_COMPILER="$cc" \
    -DCMAKE_PREFIX_PATH="$prefix" > "$scratch/configure.log" || { cat "$scratch/configure.log"; exit 1; }
"$cmake_command" --build "$scratch/consumer" > "$scratch/build.log" || { cat "$scratch/build.log"; exit 1; }
check "find_package(treescan CONFIG)" "$scratch/consumer/size_folder"
