#!/usr/bin/env bash
# The command `treescan find`, run as a user would. $1 is the treescan binary.
set -u
bin=${1:?usage: cli_find_test.sh TREESCAN}
tmp=$(mktemp -d)
trap 'chmod -R u+rwX "$tmp"; rm -rf "$tmp"' EXIT
fails=0
fail() { echo "FAIL: $*" >&2; fails=$((fails + 1)); }

# expect NAME WANT-FILE-CONTENT -- COMMAND...: sorted stdout must equal WANT, exit status 0.
expect() {
    local what=$1 want=$2
    shift 3
    local got rc
    got=$("$@" | LC_ALL=C sort)
    rc=${PIPESTATUS[0]}
    [ "$rc" -eq 0 ] || fail "$what: exit status $rc"
    [ "$got" == "$want" ] || fail "$what: got
$got
want
$want"
}
# status NAME WANT-STATUS -- COMMAND...: exit status; a message on stderr and nothing on stdout.
status() {
    local what=$1 want=$2
    shift 3
    local out err rc
    out=$("$@" 2>"$tmp/stderr")
    rc=$?
    [ "$rc" -eq "$want" ] || fail "$what: exit status $rc, want $want"
    [ -z "$out" ] || fail "$what: printed on stdout: $out"
    [ -s "$tmp/stderr" ] || fail "$what: no message on stderr"
}

t=$tmp/tree
mkdir -p "$t/sub/deep" "$t/.hid" "$t/with space"
printf 'hello Needle world' >"$t/a.txt"
printf 'needle' >"$t/sub/b.log"
printf 'int x;' >"$t/sub/needle.c"
printf 'xNEEDLE' >"$t/sub/deep/c.dat"
printf 'needle' >"$t/.hid/h.txt"
printf 'needle' >"$t/.dot.txt"
head -c 1000 /dev/zero >"$t/sub/k1000.bin"
head -c 1001 /dev/zero >"$t/sub/k1001.bin"
printf 'needle in a tab' >"$t/with space/tab	name.txt"
mkfifo "$t/needle.fifo"
ln -s a.txt "$t/link-needle.txt"
ln -s sub "$t/linkdir"
ln -s . "$t/loop"
TAB=$'\t'

expect "name, case kept" "$t/sub/needle.c${TAB}6" -- "$bin" find "$t" --name needle
expect "name, any case" "$t/sub/needle.c${TAB}6" -- "$bin" find "$t" --name NEEDLE --ignore-case
expect "text, any case" "$t/a.txt${TAB}18
$t/sub/b.log${TAB}6
$t/sub/deep/c.dat${TAB}7
$t/with space/tab\\tname.txt${TAB}15" -- "$bin" find "$t" --text needle --ignore-case
expect "text, hidden" "$t/.dot.txt${TAB}6
$t/.hid/h.txt${TAB}6
$t/sub/b.log${TAB}6
$t/with space/tab\\tname.txt${TAB}15" -- "$bin" find --hidden "$t" --text needle
expect "bounds are inclusive" "$t/sub/k1000.bin${TAB}1000" -- "$bin" find "$t" --min 1000 --max 1000
expect "min only" "$t/sub/k1000.bin${TAB}1000
$t/sub/k1001.bin${TAB}1001" -- "$bin" find "$t" --min 1000
expect "max only, with name" "$t/sub/b.log${TAB}6" -- "$bin" find "$t" --max 6 --name .log
expect "trailing slash" "$t/sub/b.log${TAB}6" -- "$bin" find "$t/" --name b.log
# A newline in a name is escaped, so every result keeps one line.
printf 'x' >"$t/sub/new
line.bin"
expect "escaped newline" "$t/sub/new\\nline.bin${TAB}1" -- "$bin" find "$t" --name line.bin
rm "$t/sub/new"*
expect "count" "4" -- "$bin" find "$t" --text NEEDLE --ignore-case --count
expect "count of nothing" "0" -- "$bin" find "$t" --name zzz --count
expect "everything, hidden" "9" -- bash -c '"$1" find "$2" --hidden | wc -l | tr -d " "' _ "$bin" "$t"

status "missing folder" 1 -- "$bin" find "$tmp/missing" --name x
status "a file, not a folder" 1 -- "$bin" find "$t/a.txt" --name x
status "no PATH" 2 -- "$bin" find --name x
status "unknown option" 2 -- "$bin" find "$t" --bogus
status "missing value" 2 -- "$bin" find "$t" --name
status "bad byte count" 2 -- "$bin" find "$t" --min 1k
status "negative byte count" 2 -- "$bin" find "$t" --max -5
status "two paths" 2 -- "$bin" find "$t" "$t"

if [ "$fails" -ne 0 ]; then
    echo "$fails failure(s)" >&2
    exit 1
fi
echo "cli_find_test: all passed"
