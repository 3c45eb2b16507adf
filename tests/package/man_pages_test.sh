#!/bin/sh
# Each manual page renders without a warning, and its OPTIONS section lists exactly the options
# that its program's --help lists: an option added to one is added to the other.
# Usage: man_pages_test.sh PAGE PROGRAM [PAGE PROGRAM]...
set -eu
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0

# The options named in a text: a dash and a letter, or two dashes and a word.
options() {
    sed 's/\\-/-/g' | grep -oE '(^|[^[:alnum:]-])--?[[:alnum:]][[:alnum:]-]*' | sed 's/^[^-]*//' |
        grep -E '^(-[[:alnum:]]|--..+)$' | sort -u
}

while [ $# -ge 2 ]; do
    page=$1 program=$2
    shift 2
    { groff -ww -man -Tutf8 -z "$page"; MANWIDTH=80 man --warnings -l "$page" > /dev/null; } \
        2> "$scratch/warnings"
    if [ -s "$scratch/warnings" ]; then
        echo "$page renders with warnings:"
        cat "$scratch/warnings"
        failed=1
    fi
    "$program" --help | options > "$scratch/help"
    # The tags of the OPTIONS section: the line after each .TP.
    awk '/^\.SH/ { opts = ($2 == "OPTIONS") } opts && tag { print } { tag = /^\.TP/ }' "$page" |
        options > "$scratch/page"
    if [ ! -s "$scratch/page" ] || ! cmp -s "$scratch/help" "$scratch/page"; then
        echo "$page and $program --help differ in their options (< only in --help, > only on the page):"
        diff "$scratch/help" "$scratch/page" || true
        failed=1
    fi
done
exit "$failed"
