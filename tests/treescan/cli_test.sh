#!/usr/bin/env bash
# The `treescan size` and `treescan list` commands as a script would use them: output lines,
# numbers and exit statuses. $1 is the treescan binary.
set -u
bin=${1:?usage: cli_test.sh TREESCAN}
tmp=$(mktemp -d)
trap 'chmod -R u+rwX "$tmp"; rm -rf "$tmp"' EXIT
export XDG_CACHE_HOME="$tmp/cache"
export TZ=UTC0
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# expect_eq WHAT EXPECTED ACTUAL
expect_eq() {
    if [ "$2" != "$3" ]; then
        fail "$1"
        printf '  expected: %q\n  actual:   %q\n' "$2" "$3" >&2
    fi
}

# expect_status WHAT STATUS COMMAND...: runs the command, checks its exit status.
expect_status() {
    local what=$1 want=$2
    shift 2
    "$@" >"$tmp/out" 2>"$tmp/err"
    local got=$?
    [ "$got" = "$want" ] || fail "$what: exit status $got, expected $want"
}

# The tree: 10 + 20 + 30 + 40 + a link of 8 ("twenty.c") + a hard link (once) + a FIFO (0).
t="$tmp/tree"
mkdir -p "$t/sub/deeper" "$t/.hidden-dir" "$t/empty"
printf '%010d' 0 >"$t/ten.txt"
printf '%020d' 0 >"$t/sub/twenty.c"
printf '%030d' 0 >"$t/sub/deeper/thirty"
printf '%040d' 0 >"$t/.hidden-dir/forty"
ln "$t/sub/twenty.c" "$t/sub/deeper/twenty-again"
ln -s twenty.c "$t/sub/link"
mkfifo "$t/pipe"
printf 'x' >"$t/name with	tab"
touch -d '2001-09-09 01:46:40' "$t/ten.txt"

# size: bytes, files, folders, PATH
expect_status "size" 0 "$bin" size "$t"
expect_eq "size line" "$(printf '109\t8\t4\t%s' "$t")" "$(cat "$tmp/out")"

# --cache: the same answer twice, and the cache file appears under XDG_CACHE_HOME.
expect_status "size --cache (first)" 0 "$bin" size --cache "$t"
first=$(cat "$tmp/out")
expect_status "size --cache (second)" 0 "$bin" size --cache "$t"
expect_eq "size --cache line" "$first" "$(cat "$tmp/out")"
[ -s "$XDG_CACHE_HOME/ketra/folders.cache" ] || fail "size --cache stored no cache file"
# A file that grows in place leaves its folder's time alone: --quick prints the cached (stale)
# answer, the plain --cache one the exact answer, which it also stores.
printf '%030d' 0 >>"$t/sub/deeper/thirty"
touch -d '2001-09-09 01:46:40' "$t/sub/deeper" "$t/sub" "$t"
"$bin" size --cache "$t" >/dev/null
printf 'x' >>"$t/sub/deeper/thirty"
touch -d '2001-09-09 01:46:40' "$t/sub/deeper"
expect_status "size --cache --quick" 0 "$bin" size --cache --quick "$t"
expect_eq "size --cache --quick is the cached answer" "$(printf '139\t8\t4\t%s' "$t")" "$(cat "$tmp/out")"
expect_status "size --cache after a growth in place" 0 "$bin" size --cache "$t"
expect_eq "size --cache is exact" "$(printf '140\t8\t4\t%s' "$t")" "$(cat "$tmp/out")"
expect_status "size --cache --quick again" 0 "$bin" size --cache --quick "$t"
expect_eq "the exact answer was stored" "$(printf '140\t8\t4\t%s' "$t")" "$(cat "$tmp/out")"
truncate -s 30 "$t/sub/deeper/thirty"
touch -d '2001-09-09 01:46:40' "$t/sub/deeper"
"$bin" size --cache "$t" >/dev/null
# A damaged cache file changes nothing in the answer.
printf 'garbage' >"$XDG_CACHE_HOME/ketra/folders.cache"
expect_status "size --cache (damaged cache)" 0 "$bin" size --cache "$t"
expect_eq "size with a damaged cache" "$first" "$(cat "$tmp/out")"

# list: attributes, size, time, name; folders first; hidden and system items only on request;
# a tab in a name is escaped so that the line keeps four fields.
expect_status "list" 0 "$bin" list "$t"
expect_eq "list names" "empty
sub
name with\\ttab
ten.txt" "$(cut -f4 "$tmp/out")"
expect_eq "list line of ten.txt" "$(printf '32\t10\t2001-09-09 01:46:40\tten.txt')" "$(grep 'ten.txt$' "$tmp/out")"
expect_eq "list fields" "4" "$(awk -F'\t' '{print NF}' "$tmp/out" | sort -u)"

expect_status "list --hidden --system" 0 "$bin" list --hidden --system "$t"
expect_eq "list --hidden --system names" ".hidden-dir
empty
sub
name with\\ttab
pipe
ten.txt" "$(cut -f4 "$tmp/out")"
expect_eq "attributes of the FIFO" "4" "$(awk -F'\t' '$4 == "pipe" {print $1}' "$tmp/out")"
expect_eq "attributes of the hidden folder" "18" "$(awk -F'\t' '$4 == ".hidden-dir" {print $1}' "$tmp/out")"

expect_status "list --sort size --desc" 0 "$bin" list --sort size --desc "$t/sub"
expect_eq "list --sort size --desc" "deeper
twenty.c
link" "$(cut -f4 "$tmp/out")"
expect_eq "a link lists with its own size" "$(printf '1056\t8')" "$(awk -F'\t' '$4 == "link" {print $1 "\t" $2}' "$tmp/out")"

expect_status "list --sort type" 0 "$bin" list --sort type "$t"
expect_eq "list --sort type" "empty
sub
name with\\ttab
ten.txt" "$(cut -f4 "$tmp/out")"

expect_status "list --sizes" 0 "$bin" list --sizes "$t"
expect_eq "folder totals" "0 empty
58 sub" "$(awk -F'\t' 'NR <= 2 {print $2 " " $4}' "$tmp/out")"

# Sort by size with folder sizes orders folders by their totals, not their own sizes.
o="$tmp/ordered"
mkdir -p "$o/a" "$o/b" "$o/c"
printf '%0300d' 0 >"$o/a/x"
printf '%0100d' 0 >"$o/b/x"
printf '%0200d' 0 >"$o/c/x"
expect_status "list --sort size --sizes" 0 "$bin" list --sort size --sizes "$o"
expect_eq "folders by their totals" "100 b
200 c
300 a" "$(awk -F'\t' '{print $2 " " $4}' "$tmp/out")"
expect_status "list --sort size --desc --sizes" 0 "$bin" list --sort size --desc --sizes "$o"
expect_eq "folders by their totals, descending" "a c b" "$(cut -f4 "$tmp/out" | paste -sd' ')"

# Every byte that would break a line or a field is escaped, in list and find alike; other bytes,
# valid UTF-8 or not, pass as they are.
names=($'back\\slash' $'tab\tx' $'new\nline' $'bell\x01' $'del\x7f' $'bad\xff')
escaped=('back\\slash' 'tab\tx' 'new\nline' 'bell\x01' 'del\x7f' $'bad\xff')
for i in "${!names[@]}"; do
    e="$tmp/escape$i"
    mkdir "$e" && printf 'x' >"$e/${names[$i]}"
    expect_status "list of ${escaped[$i]}" 0 "$bin" list "$e"
    expect_eq "list name ${escaped[$i]}" "${escaped[$i]}" "$(cut -f4 "$tmp/out")"
    expect_status "find of ${escaped[$i]}" 0 "$bin" find "$e"
    expect_eq "find escapes ${escaped[$i]}" "$e/${escaped[$i]}$(printf '\t')1" "$(cat "$tmp/out")"
done

# Paths longer than PATH_MAX (4,096 bytes) are taken like any other.
deep="$tmp/deep"
mkdir -p "$deep" && (cd "$deep" && for i in $(seq 22); do mkdir "$(printf 'd%.0s' $(seq 200))" && cd d*; done && printf 'abc' >f)
long=$(cd "$deep" && find . -name f -printf '%h')
long="$deep/${long#./}"
expect_status "size of a long path" 0 "$bin" size "$long"
expect_eq "size of a long path" "$(printf '3\t1\t0\t%s' "$long")" "$(cat "$tmp/out")"
expect_status "list of a long path" 0 "$bin" list "$long"
expect_eq "list of a long path" "f" "$(cut -f4 "$tmp/out")"

# Exit statuses: 1 for a folder that can't be read (with a message), 2 for usage errors.
# The message gives the system's reason, the path escaped as names are.
expect_status "size of a missing folder" 1 "$bin" size "$t/mis"$'\t'"sing"
expect_eq "message for a missing folder" "treescan: $t/mis\\tsing: No such file or directory" "$(cat "$tmp/err")"
expect_status "list of a file" 1 "$bin" list "$t/ten.txt"
expect_eq "message for a file given as PATH" "treescan: $t/ten.txt: Not a directory" "$(cat "$tmp/err")"
expect_status "find in a missing folder" 1 "$bin" find "$t/missing"
expect_eq "message of find" "treescan: $t/missing: No such file or directory" "$(cat "$tmp/err")"
expect_status "size without PATH" 2 "$bin" size
expect_status "size with two paths" 2 "$bin" size "$t" "$t"
expect_status "size with an unknown option" 2 "$bin" size --bogus "$t"
expect_status "list with a bad key" 2 "$bin" list --sort colour "$t"
expect_status "list with --sort and no key" 2 "$bin" list "$t" --sort
expect_status "no command" 2 "$bin"
expect_status "unknown command" 2 "$bin" frobnicate "$t"

# Unreadable folders, as an unprivileged user when running as root.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
    chmod 755 "$tmp"
    chmod 000 "$t/sub/deeper"
    expect_status "size as nobody with an unreadable folder" 0 \
        setpriv --reuid=65534 --regid=65534 --clear-groups env XDG_CACHE_HOME="$tmp/nobody" "$bin" size "$t"
    # ten, twenty, forty, the link (8), the tab file, the FIFO; deeper is a folder not entered
    expect_eq "size as nobody" "$(printf '79\t6\t4\t%s' "$t")" "$(cat "$tmp/out")"
    expect_status "list of an unreadable folder as nobody" 1 \
        setpriv --reuid=65534 --regid=65534 --clear-groups "$bin" list "$t/sub/deeper"
    expect_eq "message for an unreadable folder" "treescan: $t/sub/deeper: Permission denied" "$(cat "$tmp/err")"
    chmod 755 "$t/sub/deeper"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all checks passed"
