#!/bin/bash
# Times `ketra --snapshot --timings` on generated folders of N files (unique 11-character names,
# eight file types, sizes from 0 to 100,000 bytes picked by a hash of the index), each run RUNS
# times under Xvfb at 800x600, and prints the median and the lowest of each figure and of the time
# from load start to first frame.
#
# usage: scripts/snapshot-bench.sh [--runs RUNS] [--no-labels] [--view 3d|tree] [--ketra PATH] N...
# e.g.   scripts/snapshot-bench.sh --runs 7 1000 10000 100000
set -euo pipefail

runs=5
labels=1
view=3d
ketra="$(dirname "$0")/../build/bin/ketra"
counts=()
while [ $# -gt 0 ]; do
    case "$1" in
    --runs) runs=$2; shift 2 ;;
    --no-labels) labels=0; shift ;;
    --view) view=$2; shift 2 ;;
    --ketra) ketra=$2; shift 2 ;;
    *) counts+=("$1"); shift ;;
    esac
done
[ ${#counts[@]} -gt 0 ] || { echo "usage: $0 [--runs RUNS] [--no-labels] [--view 3d|tree] [--ketra PATH] N..." >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A settings store of its own: defaults, or 3D labels off (the key is stored inverted).
mkdir -p "$work/config/Ketra"
if [ $labels = 0 ]; then
    printf '[Settings]\nm_showText=True\n' > "$work/config/Ketra/Ketra.ini"
fi

types=(txt pdf jpg png cpp mp3 zip doc)
sizes=(0 1 10 100 1000 5000 20000 100000)
for n in "${counts[@]}"; do
    dir="$work/files$n"
    mkdir -p "$dir"
    for ((i = 0; i < n; i++)); do
        printf -v name 'a%06d.%s' "$i" "${types[i % 8]}"
        truncate -s "${sizes[((i * 2654435761) >> 13) % 8]}" "$dir/$name"
    done
    for ((r = 0; r < runs; r++)); do
        XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache" \
            xvfb-run -a -s "-screen 0 1280x1024x24" "$ketra" --snapshot "$work/out.png" --view "$view" --timings "$dir" 2>/dev/null
    done | python3 -c '
import collections, statistics, sys
values = collections.defaultdict(list)
for line in sys.stdin:
    key, value = line.split()
    values[key].append(float(value))
keys = ["load_ms", "scale_ms", "build_ms", "first_frame_ms"]
values["to_first_frame_ms"] = [sum(t) for t in zip(*(values[k] for k in keys))]
for how, pick in (("median", statistics.median), ("lowest", min)):
    print(f"{sys.argv[1]:>7} files {how:>6}: " + "  ".join(f"{k} {pick(v):.1f}" for k, v in values.items()))
' "$n"
    rm -rf "$dir"
done
