#!/bin/bash
# Times the first picture and the frames of the 3D view: `ketra --snapshot --timings` on generated
# folders of N files (unique names a000000.txt, ..., eight file types, sizes from 0 to 100,000
# bytes picked by a hash of the index, or all empty with --empty), under Xvfb at 800x600. With
# --floors DIR (the folder of glfloor.cpp and walkfloor.c) the floors run in the same rounds:
# glfloor --labels N (one instanced draw of N boxes and one of N label quads) and walkfloor -t 1
# on the folder (getdents and a stat per entry), and the ratios are printed: Ketra's frame to the
# floor's, and Ketra's load to first frame (read + entries + scale + build + first frame) to the
# floor's read + first picture + warm-up (shaders, JIT, fonts). With --no-labels both go without
# labels.
#
# Every round runs Ketra and each floor once per N, so that a change in the machine's load falls on
# all of them; the figures are medians over the rounds (the ratios: medians of the per-round ratios)
# with the lowest and highest in brackets. Processor times (cpu, all threads) and page faults come
# from Ketra's own --timings, and so do the draw calls and triangles of a frame; on a busy machine
# they vary far less than the times.
#
# The folders are made by one process (a million empty files take about half a minute) in a
# temporary folder, or kept in --keep DIR and reused when they are there. --cold drops the page
# cache before every run of Ketra and of walkfloor (as root: sync; echo 3 > /proc/sys/vm/drop_caches).
# --before PATH runs another build of Ketra in the same rounds (its figures prefixed "before_").
#
# usage: scripts/snapshot-bench.sh [--runs ROUNDS] [--floors DIR] [--empty] [--no-labels]
#            [--view 3d|tree] [--ketra PATH] [--before PATH] [--keep DIR] [--cold] N...
# e.g.   scripts/snapshot-bench.sh --runs 3 --floors ../shared/bench 1000 10000 100000
exec python3 - "$(dirname "$0")" "$@" <<'EOF'
import os, resource, shutil, statistics, subprocess, sys, tempfile, time

here = sys.argv[1]
args = sys.argv[2:]
usage = ("usage: snapshot-bench.sh [--runs ROUNDS] [--floors DIR] [--empty] [--no-labels] "
         "[--view 3d|tree] [--ketra PATH] [--before PATH] [--keep DIR] [--cold] N...")
runs, floors, empty, labels, view, keep, cold, before = 3, None, False, True, "3d", None, False, None
ketra = os.path.join(here, "..", "build", "bin", "ketra")
counts = []
try:
    while args:
        a = args.pop(0)
        if a == "--runs": runs = int(args.pop(0))
        elif a == "--floors": floors = args.pop(0)
        elif a == "--empty": empty = True
        elif a == "--no-labels": labels = False
        elif a == "--view": view = args.pop(0)
        elif a == "--ketra": ketra = args.pop(0)
        elif a == "--before": before = args.pop(0)
        elif a == "--keep": keep = args.pop(0)
        elif a == "--cold": cold = True
        else: counts.append(int(a))
except (IndexError, ValueError):
    counts = []
if not counts or runs < 1 or view not in ("3d", "tree"):
    sys.exit(print(usage, file=sys.stderr) or 2)
if cold and not os.access("/proc/sys/vm/drop_caches", os.W_OK):
    sys.exit(print("snapshot-bench.sh: --cold needs root (it writes /proc/sys/vm/drop_caches)",
                   file=sys.stderr) or 2)

work = tempfile.mkdtemp(prefix="snapshot-bench.")
try:
    folders = keep or work
    os.makedirs(folders, exist_ok=True)
    # A settings store of its own: defaults, or 3D labels off (the key is stored inverted).
    os.makedirs(os.path.join(work, "config", "Ketra"))
    if not labels:
        with open(os.path.join(work, "config", "Ketra", "Ketra.ini"), "w") as f:
            f.write("[Settings]\nm_showText=True\n")
    env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(work, "config"),
               XDG_CACHE_HOME=os.path.join(work, "cache"))

    glfloor = walkfloor = None
    if floors:
        glfloor, walkfloor = os.path.join(work, "glfloor"), os.path.join(work, "walkfloor")
        qt = subprocess.run(["pkg-config", "--cflags", "--libs", "Qt6OpenGL", "Qt6Gui"],
                            check=True, capture_output=True, text=True).stdout.split()
        subprocess.run(["g++", "-O2", "-std=c++17", "-fPIC", os.path.join(floors, "glfloor.cpp"),
                        *qt, "-o", glfloor], check=True)
        subprocess.run(["cc", "-O2", "-pthread", "-o", walkfloor, os.path.join(floors, "walkfloor.c")],
                       check=True)

    def make_folder(n):
        kind = "empty" if empty else "mixed"
        path = os.path.join(folders, f"files{n}-{kind}")
        if os.path.isdir(path) and len(os.listdir(path)) == n:
            return path
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        types = ("txt", "pdf", "jpg", "png", "cpp", "mp3", "zip", "doc")
        sizes = (0, 1, 10, 100, 1000, 5000, 20000, 100000)
        width = max(6, len(str(n - 1)))
        started = time.monotonic()
        for i in range(n):
            fd = os.open(os.path.join(path, f"a{i:0{width}d}.{types[i % 8]}"),
                         os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
            size = 0 if empty else sizes[((i * 2654435761) >> 13) % 8]
            if size:
                os.ftruncate(fd, size)
            os.close(fd)
        print(f"# made {path}: {n} files in {time.monotonic() - started:.1f} s", flush=True)
        return path

    def drop_caches():
        if cold:
            os.sync()
            with open("/proc/sys/vm/drop_caches", "w") as f:
                f.write("3\n")

    def timed(cmd):
        """Runs cmd; returns its output, its errors, its time and its processor time (all threads,
        and the X server's where it starts one), in seconds."""
        before = resource.getrusage(resource.RUSAGE_CHILDREN)
        started = time.monotonic()
        p = subprocess.run(cmd, capture_output=True, env=env, text=True)
        seconds = time.monotonic() - started
        after = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
        out, err, code = p.stdout, p.stderr, p.returncode
        if code != 0:
            sys.exit(print(f"snapshot-bench.sh: {' '.join(cmd)} failed:\n{err}", file=sys.stderr) or 1)
        return out, err, seconds, cpu

    xvfb = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24"]
    out_png = os.path.join(work, "out.png")
    print(f"# {time.strftime('%F %T')} {os.cpu_count()} cores, {'cold' if cold else 'warm'}, {runs} rounds, "
          f"labels {'on' if labels else 'off'}, view {view}; load average: "
          f"{open('/proc/loadavg').read().split()[:3]}", flush=True)
    for n in counts:
        folder = make_folder(n)
        rows = {}  # figure -> list over rounds
        def add(key, value):
            rows.setdefault(key, []).append(value)
        def snapshot(binary, prefix):
            drop_caches()
            out, _, _, _ = timed(xvfb + [binary, "--snapshot", out_png, "--view", view, "--timings", folder])
            k = {}
            for line in out.split("\n"):
                if line.strip():
                    key, value = line.split()
                    k[key] = float(value)
                    add(prefix + key, float(value))
            k["to_first_frame_ms"] = k["load_ms"] + k["scale_ms"] + k["build_ms"] + k["first_frame_ms"]
            add(prefix + "to_first_frame_ms", k["to_first_frame_ms"])
            add(prefix + "to_first_frame_cpu_ms",
                sum(k[f"{s}_cpu_ms"] for s in ("read", "entries", "build", "first_frame")))
            add(prefix + "peak_bytes_per_item", k["peak_mib"] * 1048576 / n)
            return k
        for r in range(runs):
            k = snapshot(ketra, "")
            first = k["to_first_frame_ms"]
            if before:
                b = snapshot(before, "before_")
                add("ratio_before_frame_cpu", k["frame_cpu_ms"] / b["frame_cpu_ms"])
                add("ratio_before_to_first_frame", first / b["to_first_frame_ms"])
            if floors:
                drop_caches()
                _, _, seconds, _ = timed([walkfloor, "-t", "1", folder])
                add("floor_read_ms", seconds * 1000)
                # The floor's processor time per frame: the difference between a run of `extra`
                # more frames and a short one.
                extra = max(15, min(200, 200000 // n))
                gl = [glfloor] + (["--labels"] if labels else [])
                _, _, _, cpu_short = timed(xvfb + gl + ["--frames", "5", str(n)])
                out, err, _, cpu_long = timed(xvfb + gl + ["--frames", str(5 + extra), str(n)])
                f = dict(item.split("=") for item in out.split())
                warm = float(err.split("warm-up ")[1].split(" ms")[0])
                add("floor_frame_ms", float(f["frame_median_ms"]))
                add("floor_frame_cpu_ms", (cpu_long - cpu_short) * 1000 / extra)
                add("floor_first_ms", float(f["first_ms"]))
                add("floor_warmup_ms", warm)
                floor_first = seconds * 1000 + float(f["first_ms"]) + warm
                add("floor_to_first_frame_ms", floor_first)
                add("ratio_frame", k["frame_ms"] / float(f["frame_median_ms"]))
                add("ratio_frame_cpu", k["frame_cpu_ms"] / rows["floor_frame_cpu_ms"][-1])
                add("ratio_to_first_frame", first / floor_first)
        print(f"{n} files ({'empty' if empty else 'mixed sizes'}):")
        for key, values in rows.items():
            fmt = "{:.2f}" if key.startswith("ratio") else "{:.1f}" if "bytes" not in key else "{:.0f}"
            print(f"  {key:24} {fmt.format(statistics.median(values)):>10}   "
                  f"[{fmt.format(min(values))} .. {fmt.format(max(values))}]", flush=True)
finally:
    shutil.rmtree(work, ignore_errors=True)
EOF
