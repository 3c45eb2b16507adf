#!/usr/bin/env bash
# `treescan size --mark/--changes/--export/--import` as a script would use them, and scans that
# ncdu and gdu wrote of the same tree. $1 is the treescan binary.
set -u
bin=${1:?usage: cli_changes_test.sh TREESCAN}
tmp=$(mktemp -d)
trap 'chmod -R u+rwX "$tmp"; rm -rf "$tmp"' EXIT
export XDG_CACHE_HOME="$tmp/cache" TZ=UTC0
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_eq() { [ "$2" = "$3" ] || { fail "$1"; printf '  expected: %q\n  actual:   %q\n' "$2" "$3" >&2; }; }

t="$tmp/tree"
mkdir -p "$t/a/b" "$t/gone/deeper" "$t/same"
printf '%0100d' 0 >"$t/a/one"
printf '%0200d' 0 >"$t/a/b/two"
printf '%0300d' 0 >"$t/gone/three"
printf '%0400d' 0 >"$t/gone/deeper/four"
printf 'x' >"$t/same/$(printf 'new\nline\xff')"

# No earlier state yet: said on stderr, nothing listed.
"$bin" size --changes "$t" >"$tmp/out" 2>"$tmp/err" || fail "size --changes without an earlier state"
expect_eq "no changes listed without an earlier state" "" "$(cat "$tmp/out")"
grep -q "no earlier state" "$tmp/err" || fail "no word of a missing earlier state"
"$bin" size --cache --mark "$t" >"$tmp/out" || fail "size --cache --mark"
expect_eq "the size line of --mark" "$(printf '1001\t5\t5\t%s' "$t")" "$(cat "$tmp/out")"

printf '%0250d' 0 >"$t/a/b/two"
mkdir "$t/a/new" && printf '%06d' 0 >"$t/a/new/six"
rm -r "$t/gone"
"$bin" size --changes "$t" >"$tmp/out" 2>"$tmp/err" || fail "size --changes"
expect_eq "changes" "removed	700	0	/gone
shrunk	1001	357	
removed	400	0	/gone/deeper
grown	300	356	/a
grown	200	250	/a/b
new	0	6	/a/new" "$(cut -f1-3,5 "$tmp/out" | sed "s|$t||")"
expect_eq "nothing on stderr" "" "$(cat "$tmp/err")"

# A cache folder that can't be written: one line on stderr, the answer still shown, the stored
# cache as it was.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    chmod 755 "$tmp" "$tmp/cache"
    before=$(md5sum "$XDG_CACHE_HOME"/ketra/*)
    setpriv --reuid=65534 --regid=65534 --clear-groups "$bin" size --cache "$t" >"$tmp/out" 2>"$tmp/err"
    expect_eq "exit status with an unwritable cache" "0" "$?"
    expect_eq "the answer with an unwritable cache" "$(printf '357\t4\t4\t%s' "$t")" "$(cat "$tmp/out")"
    expect_eq "one line on stderr" "1" "$(wc -l <"$tmp/err")"
    grep -q "could not store the folder cache: Permission denied" "$tmp/err" || fail "the reason: $(cat "$tmp/err")"
    expect_eq "the stored cache is kept" "$before" "$(md5sum "$XDG_CACHE_HOME"/ketra/*)"
fi

# Export and import: the same totals and lines; ncdu reads what we write.
"$bin" size --export "$tmp/ours.json" "$t" || fail "size --export"
expect_eq "size --import of our export" "$("$bin" size "$t")" "$("$bin" size --import "$tmp/ours.json" "$t")"
expect_eq "list --import of our export" "$("$bin" list --hidden --system "$t/same")" \
    "$("$bin" list --import "$tmp/ours.json" --hidden --system "$t/same")"
expect_eq "export to standard output" "$(sed 1d "$tmp/ours.json")" "$("$bin" size --export - "$t" | sed 1d)"
"$bin" size --export "$tmp/no/such/folder.json" "$t" 2>"$tmp/err"
expect_eq "an export that can't be written" "1" "$?"
expect_eq "  leaves no file" "" "$(ls "$tmp/no" 2>/dev/null)"
"$bin" find "$t" --import "$tmp/ours.json" --text x >/dev/null 2>&1
expect_eq "text search in a scan" "1" "$?"

# Scans that ncdu and gdu wrote of a tree with hard links, links, a FIFO and odd names.
u="$tmp/peer"
mkdir -p "$u/sub/deep" "$u/empty"
printf '%010d' 0 >"$u/sub/ten"
ln "$u/sub/ten" "$u/sub/deep/ten-again"
printf '%05d' 0 >"$u/$(printf 'bad\xff')"
printf '%03d' 0 >"$u/$(printf 'new\nline')"
ln -s sub/ten "$u/link"
mkfifo "$u/pipe"
if command -v ncdu >/dev/null; then
    ncdu -0 -o "$tmp/ncdu.json" "$u" || fail "ncdu -o"
    expect_eq "ncdu's scan: totals" "$("$bin" size "$u")" "$("$bin" size --import "$tmp/ncdu.json" "$u")"
    expect_eq "ncdu's scan: names and sizes" "$("$bin" list --hidden --system --sizes "$u" | cut -f2,4)" \
        "$("$bin" list --import "$tmp/ncdu.json" --hidden --system --sizes "$u" | cut -f2,4)"
    ncdu -f "$tmp/ours.json" -o - >/dev/null 2>&1 || fail "ncdu -f reads our export"
else
    echo "ncdu not installed: its scans not tried" >&2
fi
if command -v gdu >/dev/null; then
    gdu -n -o "$tmp/gdu.json" "$u" >/dev/null || fail "gdu -o"
    # gdu marks only one of two hard links (the other counts again), writes U+FFFD for an
    # invalid byte, and leaves a FIFO unmarked.
    expect_eq "gdu's scan: totals" "$(printf '35\t6\t3\t%s' "$u")" "$("$bin" size --import "$tmp/gdu.json" "$u")"
    expect_eq "gdu's scan: names" "$("$bin" list --hidden --system "$u" | cut -f4 | sed 's/\xff/\xef\xbf\xbd/')" \
        "$("$bin" list --import "$tmp/gdu.json" --hidden --system "$u" | cut -f4)"
else
    echo "gdu not installed: its scans not tried" >&2
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
