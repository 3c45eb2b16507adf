#!/bin/sh
# The desktop entry and the AppStream metainfo pass their validators, and the metainfo's newest
# release is the program's version.
# Usage: desktop_metadata_test.sh DESKTOP_ENTRY METAINFO VERSION
set -eu
desktop-file-validate "$1"
appstreamcli validate --no-net "$2"
newest=$(grep -o '<release version="[^"]*"' "$2" | head -n 1 | cut -d '"' -f 2)
[ "$newest" = "$3" ] || {
    echo "$2: the newest release is \"$newest\", but the program's version is $3"
    exit 1
}
