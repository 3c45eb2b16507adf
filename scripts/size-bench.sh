#!/bin/bash
# Times `treescan size` against a plain parallel walker (walkfloor: openat + getdents64 + fstatat
# on N threads, the floor for the same system calls) and against du -sb and gdu, interleaved in
# one run: every round runs each command once, in an order rotated from round to round, so that a
# change in the machine's load falls on all of them. --cold drops the page cache before every run
# (as root: sync; echo 3 > /proc/sys/vm/drop_caches). Prints, per tree and command, the median,
# the range, the median CPU time (user + system), the peak RSS, and the median of the per-round
# ratios to walkfloor -t 8 and du -sb.
#
# --before PATH adds a row "before" for another build of treescan (the one to compare with);
# --only "treescan walkfloor8 ..." runs only those rows (walkfloor8 always runs).
#
# usage: scripts/size-bench.sh [--rounds N] [--cold] [--treescan PATH] [--before PATH] [--only ROWS]
#                              --walkfloor FILE.c TREE...
# e.g.   sudo scripts/size-bench.sh --cold --rounds 5 --walkfloor walkfloor.c trees/medium
set -euo pipefail

rounds=5
cold=0
treescan="$(dirname "$0")/../build/bin/treescan"
walkfloor=""
before=""
only=""
trees=()
while [ $# -gt 0 ]; do
    case "$1" in
    --rounds) rounds=$2; shift 2 ;;
    --cold) cold=1; shift ;;
    --treescan) treescan=$2; shift 2 ;;
    --walkfloor) walkfloor=$2; shift 2 ;;
    --before) before=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    *) trees+=("$1"); shift ;;
    esac
done
if [ ${#trees[@]} = 0 ] || [ -z "$walkfloor" ]; then
    echo "usage: $0 [--rounds N] [--cold] [--treescan PATH] [--before PATH] [--only ROWS] --walkfloor FILE.c TREE..." >&2
    exit 2
fi
if [ $cold = 1 ] && ! [ -w /proc/sys/vm/drop_caches ]; then
    echo "$0: --cold needs root (it writes /proc/sys/vm/drop_caches)" >&2
    exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cc -O2 -pthread -o "$work/walkfloor" "$walkfloor"

names=(treescan walkfloor8 walkfloor2 du)
[ -n "$before" ] && names+=(before)
command -v gdu > /dev/null && names+=(gdu)
if [ -n "$only" ]; then
    names=(walkfloor8)
    for n in $only; do
        case " ${names[*]} " in *" $n "*) ;; *) names+=("$n") ;; esac
    done
fi

run() { # name tree -> "seconds peak-KiB user-seconds system-seconds" on stdout
    local cmd
    case $1 in
    treescan) cmd=("$treescan" size "$2") ;;
    before) cmd=("$before" size "$2") ;;
    walkfloor8) cmd=("$work/walkfloor" -t 8 "$2") ;;
    walkfloor2) cmd=("$work/walkfloor" -t 2 "$2") ;;
    du) cmd=(du -sb "$2") ;;
    gdu) cmd=(gdu -nps "$2") ;;
    esac
    if [ $cold = 1 ]; then
        sync
        echo 3 > /proc/sys/vm/drop_caches
    fi
    /usr/bin/time -f "%e %M %U %S" -o "$work/time" "${cmd[@]}" > "$work/out.$1" 2> /dev/null || true
    cat "$work/time"
}

echo "# $(date -u '+%F %T') $(nproc) cores, $( [ $cold = 1 ] && echo cold || echo warm ), $rounds rounds; load: $(cut -d' ' -f1-3 /proc/loadavg)"
for tree in "${trees[@]}"; do
    # One run of each to warm the cache (and to see the answers) before warm rounds.
    [ $cold = 1 ] || for n in "${names[@]}"; do run "$n" "$tree" > /dev/null; done
    : > "$work/rows"
    for ((r = 0; r < rounds; r++)); do
        for ((k = 0; k < ${#names[@]}; k++)); do
            n=${names[$(((k + r) % ${#names[@]}))]}
            echo "$r $n $(run "$n" "$tree")" >> "$work/rows"
            [ $n = treescan ] && cut -f1-3 "$work/out.treescan" >> "$work/answers"
        done
    done
    echo "## $tree"
    printf '%-11s %8s %14s %8s %9s %10s %7s\n' command median range cpu peak-MiB /walkfloor8 /du
    for n in "${names[@]}"; do
        awk -v n="$n" '
            { t[$1 " " $2] = $3; if ($2 == n) { s[++c] = $3; u[c] = $5 + $6; if ($4 > m) m = $4 } }
            function median(a, k,   i, j, x) {
                for (i = 2; i <= k; i++) { x = a[i]; for (j = i - 1; j > 0 && a[j] > x; j--) a[j + 1] = a[j]; a[j + 1] = x }
                return k % 2 ? a[(k + 1) / 2] : (a[k / 2] + a[k / 2 + 1]) / 2
            }
            END {
                for (r = 0; (r " " n) in t; r++) { w[r + 1] = t[r " " n] / t[r " walkfloor8"]; if ((r " du") in t) d[r + 1] = t[r " " n] / t[r " du"] }
                lo = hi = s[1]; for (i = 1; i <= c; i++) { if (s[i] < lo) lo = s[i]; if (s[i] > hi) hi = s[i] }
                printf "%-11s %7.2fs %8.2f-%.2fs %7.2fs %9.1f %9.2fx %7s\n", n, median(s, c), lo, hi, median(u, c), m / 1024, median(w, r), (1 in d) ? sprintf("%.2fx", median(d, r)) : "-" 
            }' "$work/rows"
    done
    echo "treescan's answers: $(sort -u "$work/answers" | tr '\t\n' ' ;')"
    : > "$work/answers"
done
echo "# load after: $(cut -d' ' -f1-3 /proc/loadavg)"
